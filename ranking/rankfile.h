// ranking.txt on disk: the one reader, the atomic writer, and the lock that makes a finished game's update a
// single step for every copy of the game that shares the file.
#pragma once

#include "module1.h"

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
WriteResult writeRankingFile(const QString& path, const QByteArray& bytes);

// The update of a finished game, one step under the lock: reloads the file into tables, places the time and
// inserts the entry where it ranks now, and rewrites the file.
EntryResult updateRankingFile(const QString& path, Tables& tables, int size, const QString& time,
                              const QString& name);

// The first time the data folder's ranking is used, the entries of the ranking beside the program (which
// cannot be written) are copied into it, so that nothing the player had is hidden.
void adoptProgramRanking(const QString& programRanking, const QString& dataRanking);

} // namespace ranking
