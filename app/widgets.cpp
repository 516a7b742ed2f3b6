// Client area and keyboard sink of the main window.
#include "widgets.h"

#include "platform/keys.h"
#include "platform/twips.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>
#include <algorithm>

FormSurface::FormSurface(QWidget* parent) : QWidget(parent) {
    setAcceptDrops(true);
    setAutoFillBackground(true);
}

void FormSurface::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    for (const RoundedPanel& panel : m_panels) {
        const QRect r =
            platform::twipsRect(panel.twips.x(), panel.twips.y(), panel.twips.width(), panel.twips.height());
        p.setPen(QPen(palette().color(QPalette::WindowText), 1));
        p.setBrush(panel.fill);
        // The corner: about a sixth of the shorter side, as classic rounded shapes were drawn.
        const double radius = std::min(r.width(), r.height()) / 6.0;
        p.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    }
}

void FormSurface::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
}

void FormSurface::mouseReleaseEvent(QMouseEvent* event) {
    if (m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
    m_pressed = false;
}

// Qt offers a drop over a child that takes no drops to this widget, so the refusal over controls that are
// not drop targets (tiles, buttons, the size box, the check box, the frame) is made here.
std::optional<const QWidget*> FormSurface::dropTargetAt(const QPoint& pos) const {
    const QWidget* child = childAt(pos);
    if (child == nullptr ||
        std::find(m_dropTargets.begin(), m_dropTargets.end(), child) != m_dropTargets.end()) {
        return child;
    }
    return std::nullopt;
}

// A drag is taken as a whole wherever it enters, even over a tile on its way to a panel: Qt sends no further
// moves, nor the drop, to a widget that refused the enter. Whether a drop may land is answered position by
// position as the drag moves, and the drop is judged where it is released. Data that is no file is taken
// too: dropping it tells the player that it cannot be shown.
void FormSurface::dragEnterEvent(QDragEnterEvent* event) {
    event->acceptProposedAction();
    emit dragEntered(event->mimeData());
}

void FormSurface::dragLeaveEvent(QDragLeaveEvent* event) {
    QWidget::dragLeaveEvent(event);
    emit dragLeft();
}

void FormSurface::dragMoveEvent(QDragMoveEvent* event) {
    if (dropTargetAt(event->position().toPoint())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void FormSurface::dropEvent(QDropEvent* event) {
    const std::optional<const QWidget*> target = dropTargetAt(event->position().toPoint());
    if (!target) {
        event->ignore();
        emit dragLeft(); // a refused drop ends the drag as a leave would, and Qt sends none after it
        return;
    }
    event->acceptProposedAction();
    emit dropped(*target, event->mimeData());
}

void KeySink::keyPressEvent(QKeyEvent* event) {
    emit keyDown(platform::virtualKeyCode(*event), event->modifiers());
    QLineEdit::keyPressEvent(event); // the key is not consumed; what collects here is never read
}
