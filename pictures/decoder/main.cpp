// zorupa-decoder: decodes one picture file read from standard input, at no more than the long side its
// argument gives, and writes its pixels (in sRGB) and natural extent to standard output. It runs as a
// process of its own, under time and memory limits set by the game, because the decoders of metafiles, SVG
// and the photo formats beyond JPEG, GIF, BMP, ICO and PNG are large parsers facing untrusted files:
// whatever goes wrong here ends this process, never the game. Exit status 0 with a complete answer,
// anything else is a failure.
#include "photos.h"
#include "render.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
std::optional<std::vector<unsigned char>> readInput() {
    std::vector<unsigned char> data;
    unsigned char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n == 0) {
            return data;
        }
        if (n < 0 || data.size() + std::size_t(n) > metafile::kMaxFileBytes) {
            return std::nullopt;
        }
        data.insert(data.end(), chunk, chunk + n);
    }
}

bool writeAll(const void* data, std::size_t length) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (length > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, p, length);
        if (n <= 0) {
            return false;
        }
        p += n;
        length -= std::size_t(n);
    }
    return true;
}

// Text, SVG and Qt's image plugins need a GUI application; no window is ever shown.
template <typename Render> auto withGui(char* program, Render render) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char* argv[] = {program, nullptr};
    QGuiApplication app(argc, argv);
    return render();
}

std::optional<metafile::Rendered> rendered(const std::optional<platform::Picture>& picture) {
    if (!picture || picture->isEmpty()) {
        return std::nullopt;
    }
    const QImage image = picture->image().convertToFormat(QImage::Format_ARGB32);
    metafile::Rendered out{{picture->width(), picture->height()}, image.width(), image.height(), {}};
    out.argb.resize(std::size_t(image.width()) * std::size_t(image.height()));
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        std::copy(row, row + image.width(), out.argb.begin() + std::ptrdiff_t(y) * image.width());
    }
    return out;
}

int longSideArgument(int argc, char** argv) {
    const int side = argc > 1 ? std::atoi(argv[1]) : metafile::kMaxSide;
    return std::clamp(side > 0 ? side : metafile::kMaxSide, 1, metafile::kMaxSide);
}
} // namespace

int main(int argc, char** argv) {
    const int longSide = longSideArgument(argc, argv);
    const std::optional<std::vector<unsigned char>> input = readInput();
    if (!input) {
        return 2;
    }
    const std::span<const unsigned char> file(*input);
    std::optional<metafile::Rendered> picture;
    switch (metafile::kindOf(file)) {
    case metafile::Kind::Wmf:
        picture = metafile::renderWmf(file);
        break;
    case metafile::Kind::Emf:
        picture = withGui(argv[0], [&] { return metafile::renderEmf(file); });
        break;
    case metafile::Kind::None:
        picture = withGui(argv[0], [&] {
            const QByteArray bytes(reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
            return rendered(decoder::decodePicture(bytes, longSide));
        });
        break;
    }
    if (!picture) {
        return 1;
    }
    metafile::OutputHeader header;
    header.width = std::uint32_t(picture->width);
    header.height = std::uint32_t(picture->height);
    header.extentWidth = picture->extent.width;
    header.extentHeight = picture->extent.height;
    const bool written =
        writeAll(&header, sizeof header) && writeAll(picture->argb.data(), picture->argb.size() * 4);
    return written ? 0 : 4;
}
