// The ranking file: reading it into the tables, rewriting it whole, and a finished game's locked update, with
// every slot filled.
#include "bench.h"
#include "ranking/module1.h"

#include <QTemporaryDir>

using namespace ranking;

ZORUPA_BENCH(ranking_file) {
    QTemporaryDir dir;
    Module1 ranking(dir.path());
    // Forty filled slots with Japanese names, the largest file the game writes in ordinary play.
    Tables filled;
    for (const int size : engine::kGridSizes) {
        for (int place = 1; place <= kPlaces; ++place) {
            filled.RankTime[size][place] = QStringLiteral("%1:30").arg(place * 7, 2, 10, QChar(u'0'));
            filled.RankName[size][place] = QStringLiteral("名前%1〜プレイヤー").arg(size * 10 + place);
        }
    }
    const auto rewrite = [&ranking, &filled] {
        writeRankingFile(ranking.rankingPath(), writeRanking(filled));
    };
    rewrite();
    bench::measure("myRankLoad (40 filled slots)", 500, [&ranking] { ranking.myRankLoad(); });
    bench::measure("full rewrite (atomic)", 500, rewrite);
    // Lock, reload, place, insert, rewrite, unlock: what OK in the name entry costs. Target: 2 ms.
    // Each time a second better than the last, from an empty 7×7, so that every run places, inserts and
    // writes.
    filled.RankTime[7] = {};
    rewrite();
    int seconds = 3600;
    const auto update = [&seconds, &ranking] {
        --seconds;
        const QString time = QStringLiteral("%1:%2")
                                 .arg(seconds / 60, 2, 10, QChar(u'0'))
                                 .arg(seconds % 60, 2, 10, QChar(u'0'));
        if (ranking.recordEntry(7, time, QStringLiteral("名前〜")).outcome != EntryResult::Outcome::Stored) {
            qFatal("the locked update stored nothing");
        }
    };
    bench::measure("locked update (recordEntry)", 500, update);
    // The rewrite syncs the new file, and then the folder, to the disk: most of its wall time is those waits,
    // which a folder in memory does not have.
    if (QTemporaryDir memory(QStringLiteral("/dev/shm/zorupa-bench-XXXXXX")); memory.isValid()) {
        Module1 inMemory(memory.path());
        bench::measure("full rewrite in a memory folder (/dev/shm)", 500,
                       [&] { writeRankingFile(inMemory.rankingPath(), writeRanking(filled)); });
        const auto updateInMemory = [&seconds, &inMemory] {
            --seconds;
            const QString time = QStringLiteral("%1:%2")
                                     .arg(seconds / 60, 2, 10, QChar(u'0'))
                                     .arg(seconds % 60, 2, 10, QChar(u'0'));
            inMemory.recordEntry(7, time, QStringLiteral("名前〜"));
        };
        bench::measure("locked update in a memory folder (/dev/shm)", 500, updateInMemory);
    }
    bench::measure("readRanking + writeRanking, bytes only", 500, [&filled] {
        Tables t;
        readRanking(writeRanking(filled), t);
    });
}
