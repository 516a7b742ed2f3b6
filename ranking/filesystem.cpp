#include "filesystem.h"

#include <fcntl.h>
#include <unistd.h>

namespace ranking {

int FileSystem::createNew(const QByteArray& path, mode_t mode) {
    return ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, mode);
}

ssize_t FileSystem::write(int fd, const char* data, size_t size) {
    return ::write(fd, data, size);
}

int FileSystem::fsync(int fd) {
    return ::fsync(fd);
}

int FileSystem::close(int fd) {
    return ::close(fd);
}

int FileSystem::rename(const QByteArray& from, const QByteArray& to) {
    return ::rename(from.constData(), to.constData());
}

int FileSystem::unlink(const QByteArray& path) {
    return ::unlink(path.constData());
}

int FileSystem::openFolder(const QByteArray& path) {
    return ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOCTTY | O_CLOEXEC);
}

namespace {

FileSystem& systemCalls() {
    static FileSystem calls;
    return calls;
}

} // namespace

FileSystem& systemFileSystem() {
    return systemCalls();
}

} // namespace ranking
