// libFuzzer harness: any bytes through the raster picture loader, as a dropped file would reach it.
#include "pictures/raster.h"

#include <QBuffer>
#include <QGuiApplication>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv); // image plugins are found through the application
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const platform::Picture picture = pictures::loadRasterPicture(buffer);
    if (!picture.isEmpty() && (picture.image().width() > platform::kMaxDecodedSide ||
                               picture.image().height() > platform::kMaxDecodedSide || picture.width() <= 0 ||
                               picture.height() <= 0)) {
        std::abort(); // the loader's own promise broken
    }
    return 0;
}
