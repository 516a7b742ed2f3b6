// libFuzzer harness for the 1/8 path of progressive JPEGs: any bytes through the survey and the stream.
// Whatever the path takes and completes must decode to exactly the pixels the reader gets from the whole
// file at 1/8; a difference is a picture the player would see change.
#include "pictures/progressivejpeg.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>
#include <QtMath>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr qint64 kMaxComparedPixels = 4'000'000; // larger frames cost the fuzzer more than they find

QImage decodeAtEighth(QIODevice& device, QSize scaled) {
    QImageReader reader(&device, "jpeg");
    reader.setScaledSize(scaled);
    return reader.read();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv); // image plugins are found through the application
    QImageReader::setAllocationLimit(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer file(&bytes);
    file.open(QIODevice::ReadOnly);
    const QSize original = QImageReader(&file, "jpeg").size();
    // The reader decodes at 1/8 only when the asked size is at most an eighth on both sides.
    if (original.width() < 8 || original.height() < 8 ||
        qint64(original.width()) * original.height() > kMaxComparedPixels || !file.seek(0)) {
        return 0;
    }
    const std::unique_ptr<pictures::EighthScaleJpeg> stream = pictures::EighthScaleJpeg::make(file);
    if (!stream) {
        return 0;
    }
    const QSize scaled(original.width() / 8, original.height() / 8);
    const QImage eighth = decodeAtEighth(*stream, scaled);
    if (!stream->complete()) {
        return 0;
    }
    file.seek(0);
    if (eighth != decodeAtEighth(file, scaled)) {
        std::abort(); // the 1/8 path changed the picture
    }
    return 0;
}
