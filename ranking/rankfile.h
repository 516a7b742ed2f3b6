// ranking.txt on disk: the one reader, the atomic writer, and the lock that makes a finished game's update a
// single step for every copy of the game that shares the file.
#pragma once

#include "filesystem.h"
#include "rankbytes.h"

#include <QByteArray>
#include <QLockFile>
#include <QString>
#include <chrono>

namespace ranking {

// A real ranking file is about a kilobyte; anything past this is not one, and reading it would only cost
// memory.
inline constexpr qint64 kMaxFileBytes = 1 << 20;
// How long a finished game waits for another copy of the game to finish its update before it gives up.
inline constexpr std::chrono::milliseconds kLockWait{3000};
// An update holds the lock for milliseconds; a lock older than this was left by a copy that hangs.
inline constexpr std::chrono::milliseconds kStaleLockAge{10000};

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

enum class ReadStatus { Read, Missing, Unreadable };
struct ReadResult {
    ReadStatus status = ReadStatus::Unreadable;
    QByteArray bytes;
};
// The whole file in memory. Only a regular file (or a link to one) of at most kMaxFileBytes reads; a FIFO, a
// device or a folder is Unreadable at once, without waiting. A file changed during the read is read again,
// and Unreadable if it keeps changing.
ReadResult readRankingFile(const QString& path);

// The lock file beside the ranking. Taken within kLockWait or not at all.
class RankingLock {
public:
    explicit RankingLock(const QString& rankingPath);
    bool held() const { return m_held; }

private:
    QLockFile m_lock;
    bool m_held = false;
};
QString lockPathFor(const QString& rankingPath);

// Under the lock: replaces the file with bytes in one atomic step. A file that exists but is no regular file
// is never written over.
WriteResult writeRankingFile(const QString& path, const QByteArray& bytes,
                             FileSystem& calls = systemFileSystem());

// The update of a finished game, one step under the lock: reads the file, places the time where it ranks now
// and rewrites the file with the entry put in there, every other entry's bytes kept as they were. The tables
// are left holding what the file holds afterwards.
EntryResult updateRankingFile(const QString& path, Tables& tables, int size, const QString& time,
                              const QString& name, FileSystem& calls = systemFileSystem());

// The first time the data folder's ranking is used, the ranking beside the program (which cannot be written)
// is copied into it byte for byte, so that nothing the player had is hidden or changed: the whole file when
// it reads as a ranking, otherwise its entries in the program's own layout.
void adoptProgramRanking(const QString& programRanking, const QString& dataRanking);

} // namespace ranking
