// UFVer: the version dialog. Shown without blocking the main window, one copy at a time, and able to
// outlive the main window.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class UFVer : public QDialog {
    Q_OBJECT
public:
    // Shows the one version dialog, creating it when none is open, and brings it to the front.
    static UFVer* showInstance();

    void Command1_Click(); // OK

    static const QString& text(); // the three lines the dialog shows

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    UFVer();
    void createControls();

    QLabel* Image1 = nullptr;
    QPlainTextEdit* Text1 = nullptr;
    QPushButton* Command1 = nullptr;
};
