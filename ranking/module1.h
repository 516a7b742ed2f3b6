// Module1: the ranking of the running program, one object that the application owns and hands to the windows
// that use it. It keeps the tables RankTime and RankName as last read, finds the place a finished game earns,
// stores an entry under the lock, clears the file, and knows where ranking.txt lives.
#pragma once

#include "rankbytes.h"
#include "rankfile.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace ranking {

// The place a finished time earns, and the ranking it was found in.
struct Placement {
    enum class Outcome {
        Placed,     // at place
        NoPlace,    // the file has five better or equal times, or there is no time to rank
        Unreadable, // the file cannot be read now: the place is found when the entry is stored
    };
    Outcome outcome = Outcome::NoPlace;
    int place = kNoPlace;
    Tables shown; // the ranking as read; empty when it could not be read
};

class Module1 {
public:
    // folder: where ranking.txt is kept. Empty: beside the program when its folder can be written, in the
    // player's data folder otherwise (which takes over a ranking left beside the program the first time).
    // calls: the file system calls that rewrite it, the system's own unless a test gives others.
    explicit Module1(QString folder = QString(), FileSystem& calls = systemFileSystem());

    QString rankingPath() const;
    const Tables& tables() const { return m_tables; }

    // Reads ranking.txt into the tables, creating it empty first when it is missing. False when it cannot be
    // read: the tables are then as they were.
    bool myRankLoad();
    // The bytes of ranking.txt, created empty first when it is missing; nothing when it cannot be read.
    std::optional<QByteArray> loadRankingBytes() const;
    // Writes ranking.txt with every slot empty: the clearing.
    WriteResult myRankInit() const;
    // The place a finished game of this size earns with this time (none for a game the clock cannot show) in
    // the file as it is now.
    Placement placementFor(int size, const std::optional<QString>& time);
    // Stores a finished game's entry where its time ranks in the file as it is at this moment: read, place,
    // insert and rewrite as one step that no other copy of the game can come between.
    EntryResult recordEntry(int size, const QString& time, const QString& name);

private:
    QString m_folder;
    FileSystem* m_calls;
    Tables m_tables;
};

// The folder for ranking.txt: the program's folder when it can be written, the player's data folder
// otherwise.
QString rankingFolderFor(const QString& programFolder, const QString& dataFolder);

} // namespace ranking
