// Zorupa Nemi: a sliding picture puzzle.
#include "application.h"
#include "ranking/module1.h"
#include "ufmain.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    setupApplication(app);
    // The ranking lives as long as the program: a name entry may stay open after the main window has closed.
    ranking::Module1 ranking;
    UFMain window(ranking);
    window.show();
    return app.exec();
}
