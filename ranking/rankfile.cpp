// ranking.txt on disk. Reads never block and never run past a bound; writes replace the file in one step
// under a lock that every copy of the game takes, so two games finished together both keep their entries.
#include "rankfile.h"

#include "filesystem.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace ranking {

namespace {

// A file that keeps changing under the reader is given up after this many reads.
constexpr int kReadAttempts = 3;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

bool sameVersion(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Reads from fd until its end or until bytes is full; the count read, or -1.
qint64 readAll(int fd, QByteArray& bytes) {
    qint64 total = 0;
    while (total < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + total, static_cast<size_t>(bytes.size() - total));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        total += got;
    }
    return total;
}

enum class Attempt { Done, Changed };

// One read of the file as it stands. The type is checked before the open, so that no FIFO or device is ever
// opened, and again on the open file, in case the name was given to something else in between.
Attempt readOnce(const QByteArray& path, ReadResult& result) {
    result = {};
    struct stat named {};
    if (::stat(path.constData(), &named) != 0) {
        result.status = errno == ENOENT ? ReadStatus::Missing : ReadStatus::Unreadable;
        return Attempt::Done;
    }
    if (!S_ISREG(named.st_mode) || named.st_size > kMaxFileBytes) {
        return Attempt::Done;
    }
    // Non-blocking, so that even a FIFO put there since the check opens at once.
    const FileDescriptor fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened {};
    if (fd.get() < 0 || ::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        opened.st_size > kMaxFileBytes) {
        return Attempt::Done;
    }
    // One byte more than the file holds shows a file that grew while it was read.
    QByteArray bytes(static_cast<qsizetype>(opened.st_size) + 1, Qt::Uninitialized);
    const qint64 got = readAll(fd.get(), bytes);
    if (got < 0) {
        return Attempt::Done;
    }
    struct stat after {};
    if (got != opened.st_size || ::fstat(fd.get(), &after) != 0 || !sameVersion(opened, after)) {
        return Attempt::Changed; // written in place by another program while it was read
    }
    bytes.truncate(static_cast<qsizetype>(got));
    result = {ReadStatus::Read, bytes};
    return Attempt::Done;
}

} // namespace

QString writeFailureTitle() {
    return QStringLiteral("保存不可通知");
}

namespace {

WriteResult writeFailure(const QString& path) {
    return {false,
            QStringLiteral("ランキングを保存出来ませんでした。\n%1").arg(QDir::toNativeSeparators(path))};
}

// The random part of a new file's temporary name is six ASCII letters. A suffix that reads as a word
// (all small, all capitals, or a capital and five small: "backup", "BACKUP", "Backup") may be the player's
// own copy, and is left alone.
bool isTemporarySuffix(QStringView suffix) {
    if (suffix.size() != 6) {
        return false;
    }
    int upper = 0;
    for (const QChar c : suffix) {
        if (c >= u'A' && c <= u'Z') {
            ++upper;
        } else if (c < u'a' || c > u'z') {
            return false;
        }
    }
    const bool capitalised = upper == 1 && suffix[0].isUpper();
    return upper > 0 && upper < 6 && !capitalised;
}

// A rewrite killed between writing its temporary file and renaming it leaves that file behind. Only a copy
// holding the lock writes, so whatever is left beside the file now is such a remnant.
void removeLeftovers(const QString& path) {
    const QFileInfo written(QFileInfo(path).canonicalFilePath());
    const QString name = written.fileName();
    const QDir folder = written.absoluteDir();
    const QFileInfoList candidates =
        folder.entryInfoList({name + QStringLiteral(".??????")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& candidate : candidates) {
        if (!candidate.isSymLink() && candidate.isFile() &&
            isTemporarySuffix(QStringView(candidate.fileName()).sliced(name.size() + 1))) {
            QFile::remove(candidate.filePath());
        }
    }
}

// A name beside the file for the new one, in the form removeLeftovers knows: six letters, mixed in case.
QByteArray temporaryNameFor(const QByteArray& path) {
    QByteArray suffix(6, 'a');
    do {
        for (char& c : suffix) {
            const auto letter = static_cast<char>(QRandomGenerator::system()->bounded(26));
            c = static_cast<char>((QRandomGenerator::system()->bounded(2) ? 'A' : 'a') + letter);
        }
    } while (!isTemporarySuffix(QString::fromLatin1(suffix)));
    return path + '.' + suffix;
}

// Everything or nothing: a short count goes on from where it stopped, an interruption is tried again.
bool writeAll(FileSystem& calls, int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote =
            calls.write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        done += wrote;
    }
    return true;
}

// The new file, whole and on the disk, under a name of its own; an empty name if it could not be made so,
// with nothing left behind.
QByteArray writeTemporary(FileSystem& calls, const QByteArray& path, const QByteArray& bytes,
                          std::optional<mode_t> mode) {
    constexpr int kNameAttempts = 16;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QByteArray temporary = temporaryNameFor(path);
        const int fd = calls.createNew(temporary, 0666);
        if (fd < 0 && errno == EEXIST) {
            continue;
        }
        if (fd < 0) {
            return {};
        }
        // The player's own permissions on the file stay with it.
        const bool written =
            (!mode || ::fchmod(fd, *mode) == 0) && writeAll(calls, fd, bytes) && calls.fsync(fd) == 0;
        if (calls.close(fd) == 0 && written) {
            return temporary;
        }
        calls.unlink(temporary);
        return {};
    }
    return {};
}

// The rename is an entry in the folder: only once the folder is synced does it outlast a power cut. A file
// system that has no such sync for folders says so with EINVAL, and has nothing more to give. On failure
// errno tells why.
bool syncFolder(FileSystem& calls, const QByteArray& folder) {
    const int fd = calls.openFolder(folder);
    if (fd < 0) {
        return false;
    }
    const bool synced = calls.fsync(fd) == 0 || errno == EINVAL;
    return calls.close(fd) == 0 && synced;
}

// The write itself; the caller holds the lock. The new file is written beside the old one, synced, renamed
// over it, and the folder synced, so that after a crash or a power cut the file is the old one or the new
// one, whole, and, where the folder syncs, a write reported as done stays done.
WriteResult replaceFile(const QString& path, const QByteArray& bytes, FileSystem& calls) {
    // The file a link names is the one replaced, and the link kept; but never a FIFO or a device.
    const QByteArray named = QFile::encodeName(path);
    struct stat existing {};
    std::optional<mode_t> mode;
    QByteArray target = named;
    if (::stat(named.constData(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode)) {
            return writeFailure(path);
        }
        mode = existing.st_mode & 07777;
        target = QFile::encodeName(QFileInfo(path).canonicalFilePath());
    }
    const QByteArray temporary = writeTemporary(calls, target, bytes, mode);
    if (temporary.isEmpty()) {
        return writeFailure(path);
    }
    if (calls.rename(temporary, target) != 0) {
        calls.unlink(temporary);
        return writeFailure(path);
    }
    // From the rename on, the new file is the one every reader gets: the write is done. A folder that will
    // not sync only leaves the rename less sure to outlast a power cut; told as a failure, it would have the
    // player store the same entry a second time, or clear a ranking already cleared.
    const QString folder = QFileInfo(QFile::decodeName(target)).absolutePath();
    if (!syncFolder(calls, QFile::encodeName(folder))) {
        const int why = errno;
        qWarning("zorupa: the folder %s could not be synced after %s was written: %s",
                 qUtf8Printable(QDir::toNativeSeparators(folder)),
                 qUtf8Printable(QDir::toNativeSeparators(path)), std::strerror(why));
    }
    removeLeftovers(path);
    return {};
}

} // namespace

ReadResult readRankingFile(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    ReadResult result;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        if (readOnce(native, result) == Attempt::Done) {
            return result;
        }
    }
    return {};
}

QString lockPathFor(const QString& rankingPath) {
    return rankingPath + QStringLiteral(".lock");
}

RankingLock::RankingLock(const QString& rankingPath) : m_lock(lockPathFor(rankingPath)) {
    m_lock.setStaleLockTime(kStaleLockAge);
    // QLockFile's own wait sleeps 100 ms and more between tries; a rival's update is over in a millisecond
    // or two.
    const QDeadlineTimer deadline(kLockWait);
    while (!(m_held = m_lock.tryLock(0))) {
        if (m_lock.error() != QLockFile::LockFailedError || deadline.hasExpired()) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

WriteResult writeRankingFile(const QString& path, const QByteArray& bytes, FileSystem& calls) {
    const RankingLock lock(path);
    return lock.held() ? replaceFile(path, bytes, calls) : writeFailure(path);
}

EntryResult updateRankingFile(const QString& path, Tables& tables, int size, const QString& time,
                              const QString& name, FileSystem& calls) {
    using Outcome = EntryResult::Outcome;
    const RankingLock lock(path);
    if (!lock.held()) {
        return {Outcome::NotSaved, kNoPlace, writeFailure(path).error};
    }
    const ReadResult read = readRankingFile(path);
    if (read.status == ReadStatus::Unreadable) {
        return {Outcome::Unreadable, kNoPlace, {}};
    }
    const QByteArray before = read.status == ReadStatus::Read ? read.bytes : emptyRanking();
    Tables now;
    readRanking(before, now);
    const int place = placeFor(now, size, time);
    if (place == kNoPlace) {
        tables = now;
        return {Outcome::Outranked, kNoPlace, {}};
    }
    const QByteArray after = rankingWithEntry(before, size, place, time, name);
    const WriteResult written = replaceFile(path, after, calls);
    if (!written.ok) {
        tables = now;
        return {Outcome::NotSaved, place, written.error};
    }
    tables = Tables{};
    readRanking(after, tables);
    return {Outcome::Stored, place, {}};
}

void adoptProgramRanking(const QString& programRanking, const QString& dataRanking) {
    struct stat existing {};
    if (::lstat(QFile::encodeName(dataRanking).constData(), &existing) == 0 || errno != ENOENT) {
        return; // the data folder has a ranking of its own already
    }
    const ReadResult read = readRankingFile(programRanking);
    if (read.status != ReadStatus::Read) {
        return;
    }
    const QByteArray copy = readsAsRanking(read.bytes) ? read.bytes : rankingEntries(read.bytes);
    const RankingLock lock(dataRanking);
    if (lock.held() && !QFileInfo::exists(dataRanking)) {
        replaceFile(dataRanking, copy, systemFileSystem());
    }
}

} // namespace ranking
