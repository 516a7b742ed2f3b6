// Preview and tile-face painting.
#include "painting.h"

#include "platform/picturebox.h"

namespace pictures {

double sourceSide(const platform::Picture& picture) {
    const double s = picture.width() > picture.height() ? picture.width() : picture.height();
    return 0.5 * s;
}

double pieceSide(const platform::Picture& picture, int n) {
    const double s = picture.width() > picture.height() ? picture.width() : picture.height();
    return (s / n) * 0.5;
}

void paintPreview(platform::PictureBox& box, const platform::Picture& picture) {
    const double side = sourceSide(picture);
    box.clear();
    box.paintPicture(picture, QRectF(0, 0, kPreviewSide, kPreviewSide), QRectF(0, 0, side, side));
}

void paintPieces(Boxes boxes, const platform::Picture& picture, int n, int tileSize) {
    const double q = pieceSide(picture, n);
    int k = 0;
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c, ++k) {
            platform::PictureBox& box = *boxes[static_cast<std::size_t>(k)];
            box.clear();
            box.paintPicture(picture, QRectF(0, 0, tileSize, tileSize), QRectF(c * q, r * q, q, q));
        }
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
