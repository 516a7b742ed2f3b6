// Picture box drawing into a persistent backing image, so that what was drawn survives every repaint.
#include "picturebox.h"

#include "twips.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>

namespace platform {

PictureBox::PictureBox(QWidget* parent, Border border, QColor background)
    : QWidget(parent), m_border(border), m_background(background),
      m_foreColor(palette().color(QPalette::WindowText)), m_fontPoints(font().pointSizeF()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int PictureBox::borderPixels() const {
    switch (m_border) {
    case Border::FlatSingle:
        return 1;
    case Border::Sunken3D:
        return 2;
    default:
        return 0;
    }
}

void PictureBox::setGeometryTwips(int left, int top, int width, int height) {
    m_left = left;
    m_top = top;
    setGeometry(twipsRect(left, top, width, height));
    keepBackingInSize(); // a hidden box gets its resize event only when shown
}

void PictureBox::keepBackingInSize() {
    // A box never drawn on has nothing to keep: its backing image is made at its first drawing or painting,
    // so the hundred tile boxes cost no memory before the first game.
    if (!m_backing.isNull()) {
        ensureBacking();
    }
}

void PictureBox::setLeftTwips(int left) {
    m_left = left;
    move(twipsToPixelsRounded(left), twipsToPixelsRounded(m_top));
}

void PictureBox::setTopTwips(int top) {
    m_top = top;
    move(twipsToPixelsRounded(m_left), twipsToPixelsRounded(top));
}

bool PictureBox::ensureBacking() {
    const int b = borderPixels();
    const QSize inner(std::max(0, width() - 2 * b), std::max(0, height() - 2 * b));
    const qreal dpr = devicePixelRatioF();
    // Whole device pixels, rounded up: at a fractional ratio the box shows as many as its place on the
    // screen gives it, one fewer or more depending on where it stands.
    const QSize device(int(std::ceil(inner.width() * dpr)), int(std::ceil(inner.height() * dpr)));
    if (!m_backing.isNull() && m_backing.size() == device &&
        qFuzzyCompare(m_backing.devicePixelRatio(), dpr)) {
        return false;
    }
    const bool blank = m_backing.isNull();
    QImage fresh(device, QImage::Format_ARGB32_Premultiplied);
    fresh.setDevicePixelRatio(dpr);
    fresh.fill(m_background);
    if (!m_backing.isNull()) {
        // What was drawn stays where it was when the box grows or shrinks, as a persistent drawing does.
        QPainter p(&fresh);
        p.drawImage(QRectF(QPointF(0, 0), m_backing.deviceIndependentSize()), m_backing);
    }
    m_backing = std::move(fresh);
    return blank;
}

void PictureBox::resizeEvent(QResizeEvent*) {
    keepBackingInSize();
}

void PictureBox::clear() {
    if (!ensureBacking()) { // a backing just made is blank already: a second fill of a large one costs time
        m_backing.fill(m_background);
    }
    m_currentX = 0;
    m_currentY = 0;
    update();
}

void PictureBox::paintPicture(const Picture& picture, const QRectF& destTwips, const QRectF& sourceTwips) {
    ensureBacking();
    if (picture.isEmpty()) {
        return;
    }
    QPainter p(&m_backing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    // A source reaching past the picture is clipped and the target shrinks with it: the rest stays cleared.
    p.drawImage(twipsRectF(destTwips.x(), destTwips.y(), destTwips.width(), destTwips.height()),
                picture.image(), picture.sourcePixels(sourceTwips));
    update();
}

QFont PictureBox::printFont() const {
    QFont f = font();
    // Points through twips, so the size does not hang on the backing image's own dots-per-inch.
    f.setPixelSize(std::max(1, int(m_fontPoints * 20 / kTwipsPerPixel + 0.5)));
    f.setBold(m_fontBold);
    return f;
}

void PictureBox::print(const QString& text) {
    ensureBacking();
    QPainter p(&m_backing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QFont f = printFont();
    p.setFont(f);
    p.setPen(m_foreColor);
    const QFontMetricsF metrics(f, &m_backing);
    p.drawText(QPointF(twipsToPixels(m_currentX), twipsToPixels(m_currentY) + metrics.ascent()), text);
    m_currentY += metrics.height() * kTwipsPerPixel; // the next print goes on the next line
    update();
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click) {
        emit clicked();
    }
}

namespace {
// The device pixel boundary an edge lands on: rounded half up, as the toolkit rounds a widget's clip and
// its own fills, so that neighbouring widgets share no pixel and leave none out.
int deviceEdge(double device) {
    return int(std::floor(device + 0.5));
}
} // namespace

// Drawn in whole device pixels: at a fractional ratio a logical pixel is no whole number of them, and lines
// and images placed in logical pixels would straddle, blur or leave a column unpainted. The border lines
// are equally thick all round and the backing image is shown pixel for pixel.
void PictureBox::paintEvent(QPaintEvent*) {
    ensureBacking();
    QPainter p(this);
    const QTransform toDevice = p.deviceTransform();
    const QTransform toLogical = toDevice.inverted();
    const QRectF exact = toDevice.mapRect(QRectF(rect()));
    QRect area(QPoint(deviceEdge(exact.left()), deviceEdge(exact.top())),
               QPoint(deviceEdge(exact.right()) - 1, deviceEdge(exact.bottom()) - 1));
    const auto fill = [&](const QRect& device, const QColor& colour) {
        p.fillRect(toLogical.mapRect(QRectF(device)), colour);
    };
    const int line = std::max(1, int(std::lround(devicePixelRatioF())));
    // A border line: its top and left in one colour, its bottom and right (drawn over the corners) in
    // another.
    const auto frame = [&](const QColor& topLeft, const QColor& bottomRight) {
        fill(QRect(area.left(), area.top(), area.width(), line), topLeft);
        fill(QRect(area.left(), area.top(), line, area.height()), topLeft);
        fill(QRect(area.left(), area.bottom() - line + 1, area.width(), line), bottomRight);
        fill(QRect(area.right() - line + 1, area.top(), line, area.height()), bottomRight);
        area.adjust(line, line, -line, -line);
    };
    const QPalette& pal = palette();
    switch (m_border) {
    case Border::FlatSingle:
        frame(pal.color(QPalette::WindowText), pal.color(QPalette::WindowText));
        break;
    case Border::Sunken3D:
        // Two bevels: shadow and dark shadow on the top and left, light and highlight on the bottom and
        // right.
        frame(pal.color(QPalette::Mid), pal.color(QPalette::Light));
        frame(pal.color(QPalette::Shadow), pal.color(QPalette::Midlight));
        break;
    case Border::None:
        break;
    }
    if (area.isEmpty()) {
        return;
    }
    const QRect shown(area.topLeft(), area.size().boundedTo(m_backing.size()));
    if (shown != area) {
        fill(area, m_background);
    }
    p.drawImage(toLogical.mapRect(QRectF(shown)), m_backing, QRectF(QPointF(0, 0), QSizeF(shown.size())));
}

} // namespace platform
