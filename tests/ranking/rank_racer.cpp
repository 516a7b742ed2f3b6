// A copy of the game finishing one game after another, for the test of two copies storing entries at once.
//   rank_racer FOLDER SIZE COUNT
// Once a line arrives on stdin, it stores COUNT entries for SIZE in FOLDER/ranking.txt as fast as it can,
// each a second better than the one before and named by its number, and prints how many were not saved
// and how many of its entries another copy's rewrite had lost.
#include "ranking/module1.h"

#include <QCoreApplication>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::cerr << "usage: rank_racer FOLDER SIZE COUNT\n";
        return 2;
    }
    using namespace ranking;
    Module1 ranking(QString::fromLocal8Bit(argv[1]));
    const int size = std::stoi(argv[2]);
    const int count = std::stoi(argv[3]);
    std::string go;
    std::getline(std::cin, go);
    int unsaved = 0;
    int lost = 0;
    for (int i = 0; i < count; ++i) {
        const int seconds = 3599 - i;
        const QString time = QStringLiteral("%1:%2")
                                 .arg(seconds / 60, 2, 10, QChar(u'0'))
                                 .arg(seconds % 60, 2, 10, QChar(u'0'));
        const EntryResult result = ranking.recordEntry(size, time, QString::number(i));
        if (result.outcome != EntryResult::Outcome::Stored) {
            ++unsaved;
        } else if (i > 0 && ranking.tables().RankName[size][2] != QString::number(i - 1)) {
            // Each entry is the best of its size, so the one before it must stand just below it.
            ++lost;
        }
    }
    std::cout << unsaved << ' ' << lost << std::endl;
    return 0;
}
