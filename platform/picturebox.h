// A picture box: a widget that keeps what is drawn on it in a backing image at the screen's pixel ratio,
// and offers the drawing the game needs: clear, stretch-draw a region of a picture, print text.
#pragma once

#include "picture.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QWidget>

namespace platform {

class PictureBox : public QWidget {
    Q_OBJECT
public:
    enum class Border { None, FlatSingle, Sunken3D };

    PictureBox(QWidget* parent, Border border, QColor background);

    // Geometry in twips, relative to the parent's client area. Sizes include the border.
    void setGeometryTwips(int left, int top, int width, int height);
    void setLeftTwips(int left);
    void setTopTwips(int top);
    int leftTwips() const { return m_left; }
    int topTwips() const { return m_top; }
    int borderPixels() const;

    // Drawing; coordinates are twips inside the border.
    void clear();
    void paintPicture(const Picture& picture, const QRectF& destTwips, const QRectF& sourceTwips);
    void setCurrentX(double twips) { m_currentX = twips; }
    void setCurrentY(double twips) { m_currentY = twips; }
    void setFontSize(double points) { m_fontPoints = points; }
    void setFontBold(bool bold) { m_fontBold = bold; }
    void setForeColor(QColor colour) { m_foreColor = colour; }
    QColor foreColor() const { return m_foreColor; }
    double fontSize() const { return m_fontPoints; }
    bool fontBold() const { return m_fontBold; }
    // Prints text with its top-left at the current position, in the box's font, size, weight and colour.
    void print(const QString& text);

    const QImage& backing() const { return m_backing; }

signals:
    void clicked(); // a press and a release of the left button inside the box

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool ensureBacking(); // true when it made the backing anew, blank
    void keepBackingInSize();
    QFont printFont() const;

    Border m_border;
    QColor m_background;
    QColor m_foreColor;
    QImage m_backing;
    int m_left = 0, m_top = 0;
    double m_currentX = 0, m_currentY = 0;
    double m_fontPoints;
    bool m_fontBold = false;
    bool m_pressed = false;
};

} // namespace platform
