// The main window's own small widgets: the client area that paints the rounded panels and takes clicks
// and drops, and the off-screen text box that receives the keyboard.
#pragma once

#include <QColor>
#include <QLineEdit>
#include <QRect>
#include <QWidget>
#include <vector>

class UFMain;

struct RoundedPanel {
    QRect twips; // left, top, width, height
    QColor fill;
};

class FormSurface : public QWidget {
    Q_OBJECT
public:
    FormSurface(UFMain* owner, QWidget* parent);
    void addPanel(RoundedPanel panel) { m_panels.push_back(panel); }
    const std::vector<RoundedPanel>& panels() const { return m_panels; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    UFMain* m_owner;
    std::vector<RoundedPanel> m_panels;
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
