// Text on the design's fixed light colours, kept readable under any colour scheme of the desktop.
#pragma once

#include <QColor>
#include <QPalette>
#include <initializer_list>

class QWidget;

namespace platform {

// The contrast of two colours as WCAG 2 defines it, from 1 (the same) to 21 (black on white).
double contrastRatio(QColor a, QColor b);

inline constexpr double kMinTextContrast = 4.5; // WCAG's level for normal-sized text

// The colour for text standing on a fixed fill: the scheme's own where it reads there (every light
// scheme), black where it does not (a dark scheme's light text on the design's light panels).
QColor textColourOn(QColor fill, QColor schemeText);

// Sets the widget's text roles to a colour that reads on the fill; the other roles follow the scheme.
void keepTextReadableOn(QWidget* widget, QColor fill, std::initializer_list<QPalette::ColorRole> textRoles);

} // namespace platform
