// A ranking folder of the test's own: each case starts with no ranking file and empty tables, and the
// ranking goes back to its usual folder afterwards.
#pragma once

#include "ranking/module1.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>

struct ScratchRanking {
    std::unique_ptr<QTemporaryDir> dir;

    // Call from the test's init(); fails the case when no folder can be made.
    void begin() {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        ranking::Module1::setRankingFolder(dir->path());
        ranking::Module1::tables = ranking::Tables{};
    }
    void end() {
        ranking::Module1::setRankingFolder(QString());
        dir.reset();
    }
    QString path() const { return dir->filePath(QStringLiteral("ranking.txt")); }
};
