// Contrast of text on fixed colours.
#include "colours.h"

#include <QWidget>
#include <cmath>

namespace platform {

namespace {
// WCAG 2's relative luminance of an sRGB colour.
double luminance(QColor c) {
    const auto linear = [](double channel) {
        return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}
} // namespace

double contrastRatio(QColor a, QColor b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor textColourOn(QColor fill, QColor schemeText) {
    return contrastRatio(fill, schemeText) >= kMinTextContrast ? schemeText : QColor(Qt::black);
}

void keepTextReadableOn(QWidget* widget, QColor fill, std::initializer_list<QPalette::ColorRole> textRoles) {
    QPalette pal = widget->palette();
    for (const QPalette::ColorRole role : textRoles) {
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            pal.setColor(group, role, textColourOn(fill, pal.color(group, role)));
        }
    }
    widget->setPalette(pal);
}

} // namespace platform
