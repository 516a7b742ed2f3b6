// Preview and tile-face painting.
#include "painting.h"

#include "platform/picturebox.h"
#include "platform/twips.h"

#include <cmath>

namespace pictures {

double sourceSide(const platform::Picture& picture) {
    const double s = picture.width() > picture.height() ? picture.width() : picture.height();
    return 0.5 * s;
}

double pieceSide(const platform::Picture& picture, int n) {
    const double s = picture.width() > picture.height() ? picture.width() : picture.height();
    return (s / n) * 0.5;
}

int neededLongSide(double devicePixelRatio) {
    const double previewPixels = platform::twipsToPixels(kPreviewSide) * devicePixelRatio;
    return static_cast<int>(std::ceil(previewPixels * 144 / 127));
}

void paintPreview(platform::PictureBox& box, const platform::Picture& picture) {
    const double side = sourceSide(picture);
    box.clear();
    box.paintPicture(picture, QRectF(0, 0, kPreviewSide, kPreviewSide), QRectF(0, 0, side, side));
}

void paintPieces(Boxes boxes, const platform::Picture& picture, const engine::Layout& layout) {
    const double q = pieceSide(picture, layout.n);
    const double t = layout.pitch;
    for (std::size_t k = 0; k < layout.cells.size() && k < boxes.size(); ++k) {
        const engine::Cell c = layout.cells[k];
        boxes[k]->clear();
        boxes[k]->paintPicture(picture, QRectF(0, 0, t, t), QRectF(c.x * q, c.y * q, q, q));
    }
}

QString numberText(int boxIndex) {
    return QLatin1Char(' ') + QString::number(boxIndex + 1);
}

void overlayNumbers(Boxes boxes) {
    for (std::size_t k = 0; k < boxes.size(); ++k) {
        platform::PictureBox& box = *boxes[k];
        const QString text = numberText(static_cast<int>(k));
        box.setCurrentX(40);
        box.setCurrentY(40);
        box.setFontSize(12);
        box.setForeColor(QColor(255, 255, 255));
        box.setFontBold(true);
        box.print(text);
        box.setCurrentX(50);
        box.setCurrentY(50);
        box.setFontSize(12);
        box.setForeColor(QColor(0, 0, 0));
        box.setFontBold(false);
        box.print(text);
    }
}

void numberBoxes(Boxes boxes) {
    for (std::size_t k = 0; k < boxes.size(); ++k) {
        boxes[k]->setCurrentX(50);
        boxes[k]->setCurrentY(50);
        boxes[k]->print(numberText(static_cast<int>(k)));
    }
}

} // namespace pictures
