// Picture box drawing into a persistent backing image, so that what was drawn survives every repaint.
#include "picturebox.h"

#include "twips.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

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
    m_width = width;
    m_height = height;
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

void PictureBox::ensureBacking() {
    const int b = borderPixels();
    const QSize inner(std::max(0, width() - 2 * b), std::max(0, height() - 2 * b));
    const qreal dpr = devicePixelRatioF();
    if (!m_backing.isNull() && m_backing.deviceIndependentSize().toSize() == inner &&
        qFuzzyCompare(m_backing.devicePixelRatio(), dpr)) {
        return;
    }
    QImage fresh(inner * dpr, QImage::Format_ARGB32_Premultiplied);
    fresh.setDevicePixelRatio(dpr);
    fresh.fill(m_background);
    if (!m_backing.isNull()) {
        // What was drawn stays where it was when the box grows or shrinks, as a persistent drawing does.
        QPainter p(&fresh);
        p.drawImage(QRectF(QPointF(0, 0), m_backing.deviceIndependentSize()), m_backing);
    }
    m_backing = std::move(fresh);
}

void PictureBox::resizeEvent(QResizeEvent*) {
    keepBackingInSize();
}

void PictureBox::clear() {
    ensureBacking();
    m_backing.fill(m_background);
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

void PictureBox::paintEvent(QPaintEvent*) {
    ensureBacking();
    QPainter p(this);
    const int b = borderPixels();
    p.drawImage(QPointF(b, b), m_backing);
    const QRect r = rect();
    switch (m_border) {
    case Border::FlatSingle:
        p.setPen(palette().color(QPalette::WindowText));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        break;
    case Border::Sunken3D:
        // Two bevels: shadow and dark shadow on the top and left, light and highlight on the bottom and
        // right.
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        p.setPen(palette().color(QPalette::Shadow));
        p.drawLine(r.topLeft() + QPoint(1, 1), r.topRight() + QPoint(-1, 1));
        p.drawLine(r.topLeft() + QPoint(1, 1), r.bottomLeft() + QPoint(1, -1));
        p.setPen(palette().color(QPalette::Midlight));
        p.drawLine(r.bottomLeft() + QPoint(1, -1), r.bottomRight() + QPoint(-1, -1));
        p.drawLine(r.topRight() + QPoint(-1, 1), r.bottomRight() + QPoint(-1, -1));
        break;
    case Border::None:
        break;
    }
}

} // namespace platform
