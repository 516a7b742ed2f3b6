// SVG drawings, drawn like metafiles at the size the game needs; their extent comes from the root's width
// and height, in CSS units (a pixel is 1/96 inch).
#include "photos.h"

#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>

namespace decoder {

namespace {
// HiMetric of one unit of each CSS length.
double himetricPerUnit(QStringView unit) {
    if (unit.isEmpty() || unit == u"px") {
        return 2540.0 / 96;
    }
    if (unit == u"mm") {
        return 100;
    }
    if (unit == u"cm") {
        return 1000;
    }
    if (unit == u"in") {
        return 2540;
    }
    if (unit == u"pt") {
        return 2540.0 / 72;
    }
    if (unit == u"pc") {
        return 2540.0 / 6;
    }
    return 0; // percentages and units relative to a font mean nothing on their own
}

double lengthInHiMetric(const QString& text) {
    static const QRegularExpression length(
        QStringLiteral(R"(^\s*([0-9]*\.?[0-9]+(?:[eE][-+]?[0-9]+)?)\s*([a-z%]*)\s*$)"));
    const QRegularExpressionMatch m = length.match(text);
    return m.hasMatch() ? m.captured(1).toDouble() * himetricPerUnit(m.capturedView(2)) : 0;
}

// The extent the root element gives, or its view box taken in pixels, or the renderer's own size.
QSizeF extentOf(const QByteArray& file, const QSvgRenderer& renderer) {
    QXmlStreamReader xml(file);
    while (!xml.atEnd() && !xml.isStartElement()) {
        xml.readNext();
    }
    if (xml.isStartElement() && xml.name() == u"svg") {
        const QXmlStreamAttributes attributes = xml.attributes();
        const double w = lengthInHiMetric(attributes.value(QStringLiteral("width")).toString());
        const double h = lengthInHiMetric(attributes.value(QStringLiteral("height")).toString());
        if (w > 0 && h > 0) {
            return {w, h};
        }
    }
    const QRectF box = renderer.viewBoxF();
    const QSizeF pixels = box.isValid() && !box.isEmpty() ? box.size() : QSizeF(renderer.defaultSize());
    return pixels * (2540.0 / 96);
}
} // namespace

std::optional<platform::Picture> drawSvg(const QByteArray& file, int longSide) {
    QSvgRenderer renderer(file);
    if (!renderer.isValid()) {
        return std::nullopt;
    }
    const QSizeF extent = extentOf(file, renderer);
    if (!(extent.width() > 0 && extent.height() > 0 && extent.width() <= 1e7 && extent.height() <= 1e7)) {
        return std::nullopt;
    }
    const double scale = longSide / std::max(extent.width(), extent.height());
    const QSize size(std::max(1, int(std::lround(extent.width() * scale))),
                     std::max(1, int(std::lround(extent.height() * scale))));
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return std::nullopt;
    }
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    return platform::Picture(std::move(image), extent);
}

} // namespace decoder
