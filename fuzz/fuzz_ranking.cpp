// libFuzzer harness for the ranking file: any bytes as ranking.txt go through the one reader and a finished
// game's locked update. The reader returns them unchanged, what is then written is the program's own 49-line
// layout, which reads and writes back unchanged, a stored entry is in it, and every other entry keeps its
// bytes.
#include "ranking/module1.h"
#include "ranking/rankfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

namespace {

bool isLayout(const QByteArray& bytes) {
    return bytes.count('\n') == 49 && bytes.count('\r') == 49 && bytes.endsWith("\r\n0\r\n");
}

// In memory where the machine has it, so that an update does not wait for the disk.
const QTemporaryDir& folder() {
    static const QTemporaryDir dir(QStringLiteral("/dev/shm/zorupa-fuzz-XXXXXX"));
    static const QTemporaryDir fallback;
    return dir.isValid() ? dir : fallback;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ranking;
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString path = folder().filePath(QStringLiteral("ranking.txt"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(input) != input.size()) {
            std::abort();
        }
    }
    const ReadResult read = readRankingFile(path);
    if (read.status != ReadStatus::Read || read.bytes != input) {
        std::abort();
    }

    Tables tables;
    readRanking(read.bytes, tables);
    const QByteArray written = writeRanking(tables);
    Tables again;
    readRanking(written, again);
    if (!isLayout(written) || writeRanking(again) != written) {
        std::abort();
    }

    // The first byte picks the size, the next two the time; the entry goes where that time ranks.
    const int gridSize = engine::kGridSizes[size > 0 ? data[0] % engine::kGridSizes.size() : 0];
    const int seconds = size > 2 ? (data[1] * 256 + data[2]) % 3600 : 0;
    const QString time =
        QStringLiteral("%1:%2").arg(seconds / 60, 2, 10, QChar(u'0')).arg(seconds % 60, 2, 10, QChar(u'0'));
    Module1 ranking(folder().path());
    const EntryResult entry = ranking.recordEntry(gridSize, time, QStringLiteral("名前"));
    QFile stored(path);
    if (!stored.open(QIODevice::ReadOnly)) {
        std::abort();
    }
    const QByteArray after = stored.readAll();
    if (entry.outcome == EntryResult::Outcome::Stored) {
        Tables result;
        readRanking(after, result);
        if (!isLayout(after) || result.RankTime[gridSize][entry.place] != time ||
            result.RankName[gridSize][entry.place] != QStringLiteral("名前")) {
            std::abort();
        }
        // Every other entry keeps its bytes: the file is the input's entries with this one put in.
        if (after != rankingWithEntry(input, gridSize, entry.place, time, QStringLiteral("名前"))) {
            std::abort();
        }
    } else if (entry.outcome != EntryResult::Outcome::Outranked || after != input) {
        std::abort(); // a time that ranks nowhere leaves the file as it was
    }
    // The entries' copy is the layout, and once there it stays as it is.
    const QByteArray entries = rankingEntries(input);
    if (!isLayout(entries) || !readsAsRanking(entries) || rankingEntries(entries) != entries) {
        std::abort();
    }
    return 0;
}
