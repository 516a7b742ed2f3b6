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
// The file's code page: 932 with the Microsoft extensions, so "～" (81 60) and "①" read as Windows wrote
// them.
inline constexpr char kCodePage[] = "windows-31j";

// "3×3" .. "10×10" (the engine's size text): the file's section headers and the ranking windows' size texts.
QString sizeText(int size);

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

// The outcome of storing a finished game's entry.
struct EntryResult {
    enum class Outcome {
        Stored,     // written at place
        Outranked,  // the file as it is now has no place for the time; nothing was written
        Unreadable, // the file could not be read; nothing was written over it
        NotSaved,   // the lock or the write failed; the file is as it was
    };
    Outcome outcome = Outcome::Stored;
    int place = kNoPlace;
    QString error; // NotSaved: for the player, in the program's own words
};

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
// The same, telling whether the tables now hold what the file holds (false: the file could not be read, and
// the tables are as they were).
bool reloadRanking();
// The bytes of ranking.txt, created empty first when it is missing; nothing when it cannot be read.
std::optional<QByteArray> loadRankingBytes();
// Writes ranking.txt with every slot empty.
WriteResult myRankInit();
// Writes ranking.txt from the tables.
WriteResult myRankRewrite();
// Stores a finished game's entry where its time ranks in the file as it is now: reload, place, insert and
// rewrite as one step that no other copy of the game can come between. The tables are left holding the file.
EntryResult recordEntry(int size, const QString& time, const QString& name);

// Where ranking.txt lives: the program's folder, or the player's data folder when that cannot be written
// (which takes over the entries of a ranking left in the program's folder the first time).
QString rankingPath();
// Tests and the benchmark program point the ranking at a folder of their own; an empty folder restores the
// default.
void setRankingFolder(const QString& folder);

} // namespace Module1

} // namespace ranking
