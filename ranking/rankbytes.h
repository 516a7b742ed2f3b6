// The ranking file as bytes: five best times for each grid size in its 49-line layout, in code page 932 with
// CR LF. Every reader of the file's bytes and every writer of them is here, and all of it is pure: bytes in,
// tables or bytes out. Placement and insertion work on the tables.
#pragma once

#include "engine/sizes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QStringList>
#include <array>

namespace ranking {

inline constexpr int kPlaces = 5;
inline constexpr int kNoPlace = kPlaces + 1; // what a time that earns none of the five places is given
// The file's code page: 932 with the Microsoft extensions, so "～" (81 60) and "①" read as Windows wrote
// them.
inline constexpr char kCodePage[] = "windows-31j";

// "3×3" .. "10×10" (the engine's size text): the file's section headers and the ranking windows' size texts.
QString sizeText(int size);

// Indexed [size][place 0..5]; only the listed sizes and places 1..5 are used.
using RankTable = std::array<std::array<QString, kPlaces + 1>, engine::kLargestGrid + 1>;

struct Tables {
    RankTable RankTime; // "mm:ss", or empty for an empty slot
    RankTable RankName;
};

// Bytes in, tables out. Slots the bytes do not reach keep what the tables held.
void readRanking(QByteArrayView bytes, Tables& tables);
void readRanking(const QByteArray& bytes, Tables& tables);
// Tables in, bytes out: the 49-line layout. Text the code page cannot hold is written as "?".
QByteArray writeRanking(const Tables& tables);
// The file with every slot empty.
QByteArray emptyRanking();

// The file with one entry put in at place of its size, the lower places moved down one: the program's own
// layout, in which every other entry keeps its bytes as they stood, so that nothing the code page cannot say
// is turned into "?" on the way.
QByteArray rankingWithEntry(QByteArrayView bytes, int size, int place, const QString& time,
                            const QString& name);
// The file's entries in the program's own layout, each with its bytes as they stood.
QByteArray rankingEntries(QByteArrayView bytes);
// Whether the bytes are a whole ranking as the program writes one: the eight sections with their headers,
// five entry lines each, and the closing "0", every line ended by CR LF.
bool readsAsRanking(QByteArrayView bytes);

// The ranking window's lines: for each size in list order, its five entry lines with every "," turned into a
// tab. A line the bytes lack shows as the empty slot the program would have written there.
using RankListLines = std::array<QStringList, engine::kGridSizeCount>;
RankListLines rankListLines(QByteArrayView bytes);

// The place 1..5 that time earns among the size's entries, or kNoPlace. A time equal to a stored one goes
// below it.
int placeFor(const Tables& tables, int size, const QString& time);
// Puts the entry at place, moving the lower places down one; what stood at place 5 is dropped.
void insertEntry(Tables& tables, int size, int place, const QString& time, const QString& name);
// A typed name as the file can hold it: control characters, line breaks among them, become blanks.
QString storableName(const QString& typed);
// The name stored for a player who typed none: the date as "yy/mm/dd".
QString dateName(QDate date);

} // namespace ranking
