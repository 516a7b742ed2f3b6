// The picture value, and the one safe way to open a file the player names.
#include "picture.h"

#include "twips.h"

#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

Picture::Picture(QImage image, QSizeF extentHiMetric) : m_image(std::move(image)), m_extent(extentHiMetric) {}

QRectF Picture::sourcePixels(const QRectF& twips) const {
    if (isEmpty() || m_extent.isEmpty()) {
        return {};
    }
    const double sx = m_image.width() / m_extent.width() * kHiMetricPerTwip;
    const double sy = m_image.height() / m_extent.height() * kHiMetricPerTwip;
    return {twips.x() * sx, twips.y() * sy, twips.width() * sx, twips.height() * sy};
}

QSizeF extentOfPixels(QSize pixels) {
    return {pixels.width() * kHiMetricPerPixel, pixels.height() * kHiMetricPerPixel};
}

std::unique_ptr<QFile> openRegularFile(const QString& path) {
    if (path.startsWith(u':')) { // compiled-in resources live in memory
        auto file = std::make_unique<QFile>(path);
        return file->open(QIODevice::ReadOnly) ? std::move(file) : nullptr;
    }
    // Non-blocking, so that opening a FIFO returns at once; the type is checked on what was opened.
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, 0) != 0) {
        ::close(fd);
        return nullptr;
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return nullptr;
    }
    return file;
}

std::optional<FileStamp> fileStamp(const QString& path) {
    struct stat st {};
    if (path.startsWith(u':') || ::stat(QFile::encodeName(path).constData(), &st) != 0 ||
        !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    const auto ns = [](const timespec& t) { return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
    return FileStamp{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::int64_t(st.st_size),
                     ns(st.st_mtim), ns(st.st_ctim)};
}

} // namespace platform
