// zorupa-metafile: decodes one WMF or EMF file read from standard input and writes its pixels and natural
// extent to standard output. It runs as a process of its own, under time and memory limits set by the
// game, because the metafile parsers are old C code facing untrusted files: whatever goes wrong here ends
// this process, never the game. Exit status 0 with a complete answer, anything else is a failure.
#include "render.h"

#include <QGuiApplication>
#include <cstdio>
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

std::optional<metafile::Rendered> renderEmfWithFonts(std::span<const unsigned char> file, char* program) {
    // Text needs Qt's font database, which needs a GUI application; no window is ever shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char* argv[] = {program, nullptr};
    QGuiApplication app(argc, argv);
    return metafile::renderEmf(file);
}
} // namespace

int main(int, char** argv) {
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
        picture = renderEmfWithFonts(file, argv[0]);
        break;
    case metafile::Kind::None:
        return 3;
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
