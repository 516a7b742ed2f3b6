// libFuzzer harness: any bytes through the decoder helper's table of formats to its raster readers (Qt's
// readers and the 1/8 path of progressive JPEGs), as a dropped file reaches them inside the helper.
#include "pictures/decoder/formats.h"

#include <QGuiApplication>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv); // image plugins are found through the application
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const decoder::Bytes file(data, size);
    const decoder::Format& format = decoder::formatOf(file);
    // Metafiles have a harness of their own; the photo formats' libraries are fuzzed where they are made.
    bool raster = false;
    for (const char* name : {"jpeg", "png", "gif", "bmp", "ico", "qt"}) {
        raster = raster || std::strcmp(format.name, name) == 0;
    }
    if (!raster) {
        return 0;
    }
    const decoder::Decoded picture = format.decode(file, platform::kMaxDecodedSide);
    if (picture && (picture->image().width() > platform::kMaxDecodedSide ||
                    picture->image().height() > platform::kMaxDecodedSide || picture->width() <= 0 ||
                    picture->height() <= 0)) {
        std::abort(); // the loader's own promise broken
    }
    return 0;
}
