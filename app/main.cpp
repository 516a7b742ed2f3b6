// Zorupa Nemi: a sliding picture puzzle.
#include "application.h"
#include "ufmain.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    setupApplication(app);
    UFMain window;
    window.show();
    return app.exec();
}
