// libFuzzer harness: any bytes through the decoder helper's decoders (libwmf, libemf2svg and Qt's SVG
// renderer) and through the game's check of the helper's answer.
#include "decoder/format.h"
#include "decoder/render.h"
#include "pictures/decoderhelper.h"

#include <QGuiApplication>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv); // the SVG renderer's text needs fonts
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const unsigned char> file(data, size);
    std::optional<metafile::Rendered> rendered;
    switch (metafile::kindOf(file)) {
    case metafile::Kind::Wmf:
        rendered = metafile::renderWmf(file);
        break;
    case metafile::Kind::Emf:
        rendered = metafile::renderEmf(file);
        break;
    case metafile::Kind::None:
        break;
    }
    if (rendered && (rendered->width < 1 || rendered->width > metafile::kMaxSide ||
                     rendered->argb.size() != std::size_t(rendered->width) * std::size_t(rendered->height))) {
        std::abort();
    }
    const QByteArray answer = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const platform::Picture picture = pictures::pictureFromHelperOutput(answer);
    if (!picture.isEmpty() && picture.image().width() > metafile::kMaxSide) {
        std::abort();
    }
    return 0;
}
