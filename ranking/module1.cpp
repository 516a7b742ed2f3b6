// The ranking object: where ranking.txt lives, and the few steps the game takes with it.
#include "module1.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace ranking {

namespace {
const QString kFileName = QStringLiteral("/ranking.txt");
} // namespace

QString rankingFolderFor(const QString& programFolder, const QString& dataFolder) {
    const QFileInfo info(programFolder);
    return info.isDir() && info.isWritable() ? programFolder : dataFolder;
}

Module1::Module1(QString folder, FileSystem& calls) : m_folder(std::move(folder)), m_calls(&calls) {}

QString Module1::rankingPath() const {
    if (!m_folder.isEmpty()) {
        return m_folder + kFileName;
    }
    // Asked afresh each time: the program's folder may become writable or stop being so while the game runs.
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString folder = rankingFolderFor(programFolder, dataFolder);
    if (folder == dataFolder) {
        QDir().mkpath(folder);
        adoptProgramRanking(programFolder + kFileName, dataFolder + kFileName);
    }
    return folder + kFileName;
}

std::optional<QByteArray> Module1::loadRankingBytes() const {
    const QString path = rankingPath();
    ReadResult read = readRankingFile(path);
    if (read.status == ReadStatus::Missing) {
        myRankInit();
        read = readRankingFile(path);
        if (read.status == ReadStatus::Missing) {
            return emptyRanking(); // a file that is not there is an empty ranking
        }
    }
    if (read.status == ReadStatus::Unreadable) {
        return std::nullopt;
    }
    return read.bytes;
}

bool Module1::myRankLoad() {
    const std::optional<QByteArray> bytes = loadRankingBytes();
    if (bytes) {
        readRanking(*bytes, m_tables);
    }
    return bytes.has_value();
}

WriteResult Module1::myRankInit() const {
    return writeRankingFile(rankingPath(), emptyRanking(), *m_calls);
}

Placement Module1::placementFor(int size, const std::optional<QString>& time) {
    if (!time) {
        return {};
    }
    // Nothing is decided from tables that may be stale: an unreadable file leaves the place to the moment the
    // entry is stored, which reads the file again.
    if (!myRankLoad()) {
        return {Placement::Outcome::Unreadable, kNoPlace, Tables{}};
    }
    const int place = ranking::placeFor(m_tables, size, *time);
    return {place == kNoPlace ? Placement::Outcome::NoPlace : Placement::Outcome::Placed, place, m_tables};
}

EntryResult Module1::recordEntry(int size, const QString& time, const QString& name) {
    return updateRankingFile(rankingPath(), m_tables, size, time, name, *m_calls);
}

} // namespace ranking
