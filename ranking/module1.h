// The ranking: five best times for each grid size 3..10, in ranking.txt, and the tables that mirror it.
// Reading and writing the file's bytes are pure functions; the few functions that touch the disk sit on top.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace ranking {

inline constexpr int kFirstSize = 3;
inline constexpr int kLastSize = 10;
inline constexpr int kPlaces = 5;
inline constexpr int kNoPlace = kPlaces + 1; // what a time that earns none of the five places is given

// Indexed [size 0..10][place 0..5]; only sizes 3..10 and places 1..5 are used.
using RankTable = std::array<std::array<QString, kPlaces + 1>, kLastSize + 1>;

struct Tables {
    RankTable RankTime; // "mm:ss", or empty for an empty slot
    RankTable RankName;
};

// Bytes in, tables out: the file's 49-line layout in code page 932 with CR LF.
void readRanking(const QByteArray& bytes, Tables& tables);
void readRanking(QByteArrayView bytes, Tables& tables);
// Tables in, bytes out.
QByteArray writeRanking(const Tables& tables);
// The file with all forty slots empty.
QByteArray emptyRanking();

// The outcome of a write to disk; on failure the previous file is left as it was.
struct WriteResult {
    bool ok = true;
    QString error; // for the player, in the program's own words
};
// The title of the message box that tells the player a write failed.
QString writeFailureTitle();
// Replaces path with bytes in one atomic step: the old file stays whole if anything fails.
WriteResult writeRankingFile(const QString& path, const QByteArray& bytes);

// The place 1..5 that time earns among the size's entries, or kNoPlace. A time equal to a stored one goes
// below it.
int placeFor(const Tables& tables, int size, const QString& time);
// Puts the entry at place, moving the lower places down one; what stood at place 5 is dropped.
void insertEntry(Tables& tables, int size, int place, const QString& time, const QString& name);
// A typed name as the file can hold it: control characters, line breaks among them, become blanks.
QString storableName(const QString& typed);
// The name stored for a player who typed none: the date as "yy/mm/dd".
QString dateName(QDate date);
// The folder for ranking.txt: the program's folder when it can be written, the player's data folder
// otherwise.
QString rankingFolderFor(const QString& programFolder, const QString& dataFolder);

namespace Module1 {

inline Tables tables;           // RankTime and RankName of the running program
inline std::int16_t RankNo = 0; // the place the last finished game earned

// Reads ranking.txt into the tables; a missing file is created empty first.
void myRankLoad();
// The same, telling whether the tables now hold what the file holds (false: a file that exists could not be
// read).
bool reloadRanking();
// Writes ranking.txt with every slot empty.
WriteResult myRankInit();
// Writes ranking.txt from the tables.
WriteResult myRankRewrite();

// Where ranking.txt lives: the program's folder, or the player's data folder when that cannot be written.
QString rankingPath();
// Tests and the benchmark program point the ranking at a folder of their own; an empty folder restores the
// default.
void setRankingFolder(const QString& folder);

} // namespace Module1

} // namespace ranking
