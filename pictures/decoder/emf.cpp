// EMF decoding: libemf2svg turns the records into SVG, which Qt's renderer draws.
#include "render.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdlib>
#include <emf2svg.h>
#include <memory>

namespace metafile {

namespace {
struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

std::optional<QByteArray> toSvg(std::span<const unsigned char> file) {
    std::vector<char> data(file.begin(), file.end()); // the converter wants a mutable buffer
    char emptyNamespace[] = "";
    generatorOptions options{};
    options.nameSpace = emptyNamespace;
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    char* svg = nullptr;
    std::size_t length = 0;
    const int ok = emf2svg(data.data(), data.size(), &svg, &length, &options);
    const std::unique_ptr<char, FreeDeleter> owned(svg);
    if (ok == 0 || svg == nullptr || length == 0) {
        return std::nullopt;
    }
    return QByteArray(svg, qsizetype(length));
}
} // namespace

std::optional<Rendered> renderEmf(std::span<const unsigned char> file) {
    const std::optional<Extent> extent = emfFrameExtent(file);
    if (!extent || !emfHeaderFits(file)) {
        return std::nullopt;
    }
    const std::optional<QByteArray> svg = toSvg(file);
    if (!svg) {
        return std::nullopt;
    }
    QSvgRenderer renderer(*svg);
    if (!renderer.isValid()) {
        return std::nullopt;
    }
    const PixelSize size = renderSize(*extent);
    QImage image(size.width, size.height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return std::nullopt;
    }
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, size.width, size.height));
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    Rendered out{*extent, size.width, size.height, {}};
    out.argb.resize(std::size_t(size.width) * std::size_t(size.height));
    for (int y = 0; y < size.height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        std::copy(row, row + size.width, out.argb.begin() + std::ptrdiff_t(y) * size.width);
    }
    return out;
}

} // namespace metafile
