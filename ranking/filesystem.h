// The file system calls that replace ranking.txt, behind one seam: a test puts its own calls in to see their
// order, and to make any one of them fail as a full disk, a pulled USB stick or a broken NFS server would.
#pragma once

#include <QByteArray>
#include <sys/types.h>

namespace ranking {

// Each call is the system call of the same name and returns what it returns; errno tells why one failed.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // A file that did not exist before, open for writing only.
    virtual int createNew(const QByteArray& path, mode_t mode);
    virtual ssize_t write(int fd, const char* data, size_t size);
    virtual int fsync(int fd);
    virtual int close(int fd);
    virtual int rename(const QByteArray& from, const QByteArray& to);
    virtual int unlink(const QByteArray& path);
    // The folder itself, open for reading, so that its entries can be synced.
    virtual int openFolder(const QByteArray& path);
};

// The system's own calls, which every rewrite uses unless it is given others.
FileSystem& systemFileSystem();

} // namespace ranking
