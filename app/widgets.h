// The main window's own small widgets: the client area that paints the rounded panels and reports clicks
// and drops on its background, and the off-screen text box that receives the keyboard.
#pragma once

#include <QColor>
#include <QLineEdit>
#include <QMimeData>
#include <QRect>
#include <QWidget>
#include <optional>
#include <vector>

struct RoundedPanel {
    QRect twips; // left, top, width, height
    QColor fill;
};

class FormSurface : public QWidget {
    Q_OBJECT
public:
    explicit FormSurface(QWidget* parent);
    void addPanel(RoundedPanel panel) { m_panels.push_back(panel); }
    // Drops are taken over the background and over these children; over any other child they are refused.
    void setDropTargets(std::vector<const QWidget*> targets) { m_dropTargets = std::move(targets); }

signals:
    void clicked();
    // target: the child the drop landed on, or nullptr for the background itself.
    void dropped(const QWidget* target, const QMimeData* data);
    // A drag came over the window, and went away again without a drop (or with one the window refused).
    void dragEntered(const QMimeData* data);
    void dragLeft();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The drop target at pos: the background (nullptr) or one of the targets; nothing elsewhere.
    std::optional<const QWidget*> dropTargetAt(const QPoint& pos) const;

    std::vector<RoundedPanel> m_panels;
    std::vector<const QWidget*> m_dropTargets;
    bool m_pressed = false;
};

class KeySink : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

signals:
    void keyDown(int keyCode, Qt::KeyboardModifiers modifiers);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
