// A ranking folder of the test's own: each case starts with no ranking file and a ranking object of its own.
#pragma once

#include "ranking/module1.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>

struct ScratchRanking {
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ranking::Module1> ranking;

    // Call from the test's init(); fails the case when no folder can be made.
    void begin() {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        ranking = std::make_unique<ranking::Module1>(dir->path());
    }
    void end() {
        ranking.reset();
        dir.reset();
    }
    QString path() const { return dir->filePath(QStringLiteral("ranking.txt")); }
};
