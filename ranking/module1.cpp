// The ranking file: its 49-line layout read and written as bytes, placement of a finished time, and the
// few calls that touch the disk.
#include "module1.h"

#include "engine/board.h"
#include "rankfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringEncoder>

namespace ranking {

namespace {

const QByteArray kLineEnd = QByteArrayLiteral("\r\n");

QString g_folderOverride;
const QString kFileName = QStringLiteral("/ranking.txt");

bool isUsedSize(int size) {
    return size >= kFirstSize && size <= kLastSize;
}

// Lines end at CR LF as the program writes them; a lone CR or LF ends one too, so a file edited elsewhere
// still reads line by line. A final line without an ending is still a line.
class LineReader {
public:
    explicit LineReader(QByteArrayView bytes) : m_bytes(bytes) {}
    bool atEnd() const { return m_pos >= m_bytes.size(); }
    QByteArrayView next() {
        const qsizetype start = m_pos;
        const qsizetype size = m_bytes.size();
        while (m_pos < size && m_bytes[m_pos] != '\r' && m_bytes[m_pos] != '\n') {
            ++m_pos;
        }
        const QByteArrayView line = m_bytes.sliced(start, m_pos - start);
        if (m_pos < size) {
            const bool crlf = m_bytes[m_pos] == '\r' && m_pos + 1 < size && m_bytes[m_pos + 1] == '\n';
            m_pos += crlf ? 2 : 1;
        }
        return line;
    }

private:
    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
};

// Field index of a comma-separated line; missing fields are empty. Code page 932 never uses ',' as the
// second byte of a character, so splitting the bytes splits the text.
QByteArrayView field(QByteArrayView line, int index) {
    qsizetype start = 0;
    for (int i = 0; i < index; ++i) {
        const qsizetype comma = line.indexOf(',', start);
        if (comma < 0) {
            return {};
        }
        start = comma + 1;
    }
    const qsizetype comma = line.indexOf(',', start);
    return line.sliced(start, (comma < 0 ? line.size() : comma) - start);
}

// Bytes that are not code page 932 read as U+FFFD, so that they show as broken and are written back as "?".
QString decode(QByteArrayView bytes) {
    static QStringDecoder decoder(kCodePage, QStringDecoder::Flag::Stateless |
                                                 QStringDecoder::Flag::ConvertInvalidToNull);
    QString text = decoder.decode(bytes);
    decoder.resetState();
    text.replace(QChar(0), QChar::ReplacementCharacter);
    return text;
}

// The converter keeps its error flag once set, even through resetState(), so a fresh one follows each
// failure.
class Encoder {
public:
    QByteArray operator()(const QString& input) {
        const QString text = withoutLoneSurrogates(input);
        QByteArray bytes = m_encoder->encode(text);
        if (!m_encoder->hasError()) {
            return bytes;
        }
        m_encoder.emplace(kCodePage);
        return byCodePoint(text);
    }

private:
    // Half a surrogate pair would be held back by the converter as the start of a character still to come.
    static QString withoutLoneSurrogates(QString text) {
        const QString& view = text; // reading through a const view leaves a shared string unshared
        for (qsizetype i = 0; i < view.size(); ++i) {
            if (view[i].isHighSurrogate() && i + 1 < view.size() && view[i + 1].isLowSurrogate()) {
                ++i;
            } else if (view[i].isSurrogate()) {
                text[i] = QChar::ReplacementCharacter;
            }
        }
        return text;
    }

    // The converter's own substitute is two bytes; the Windows conversion writes one "?" per character.
    QByteArray byCodePoint(const QString& text) {
        QByteArray bytes;
        for (qsizetype i = 0; i < text.size();) {
            const bool pair =
                text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
            const qsizetype length = pair ? 2 : 1;
            const QByteArray one = m_encoder->encode(QStringView(text).sliced(i, length));
            if (m_encoder->hasError()) {
                bytes += '?';
                m_encoder.emplace(kCodePage);
            } else {
                bytes += one;
            }
            i += length;
        }
        return bytes;
    }

    // Made in place, never moved: a moved converter no longer counts its errors.
    std::optional<QStringEncoder> m_encoder{std::in_place, kCodePage};
};

} // namespace

QString sizeText(int size) {
    return QString::fromStdString(engine::sizeText(size));
}

void readRanking(const QByteArray& bytes, Tables& tables) {
    readRanking(QByteArrayView(bytes), tables);
}

void readRanking(QByteArrayView bytes, Tables& tables) {
    // Pass after pass over the file, each slot takes the last line that falls on it. Only those few lines are
    // decoded, so a huge file costs one scan for line ends.
    std::array<std::array<std::optional<QByteArrayView>, kPlaces + 1>, kLastSize + 1> lines{};
    LineReader reader(bytes);
    while (!reader.atEnd()) {
        for (int size = kFirstSize; size <= kLastSize && !reader.atEnd(); ++size) {
            reader.next(); // the section header; its text is not checked
            if (reader.atEnd()) {
                break; // a file that ends after a header leaves this size and the larger ones as they were
            }
            for (int place = 1; place <= kPlaces; ++place) {
                lines[size][place] = reader.atEnd() ? QByteArrayView() : reader.next();
            }
        }
    }
    for (int size = kFirstSize; size <= kLastSize; ++size) {
        for (int place = 1; place <= kPlaces; ++place) {
            if (const auto& line = lines[size][place]) {
                tables.RankTime[size][place] = decode(field(*line, 1));
                tables.RankName[size][place] = decode(field(*line, 2));
            }
        }
    }
}

QByteArray writeRanking(const Tables& tables) {
    Encoder encode;
    QByteArray bytes;
    bytes.reserve(1024);
    for (int size = kFirstSize; size <= kLastSize; ++size) {
        bytes += encode(sizeText(size)) + kLineEnd;
        for (int place = 1; place <= kPlaces; ++place) {
            bytes += QByteArray::number(place) + ',' + encode(storableName(tables.RankTime[size][place])) +
                     ',' + encode(storableName(tables.RankName[size][place])) + kLineEnd;
        }
    }
    bytes += '0' + kLineEnd;
    return bytes;
}

QByteArray emptyRanking() {
    return writeRanking(Tables{});
}

QString writeFailureTitle() {
    return QStringLiteral("保存不可通知");
}

int placeFor(const Tables& tables, int size, const QString& time) {
    if (!isUsedSize(size)) {
        return kNoPlace; // no ranking is kept for other sizes
    }
    for (int place = 1; place <= kPlaces; ++place) {
        const QString& stored = tables.RankTime[size][place];
        if (stored.isEmpty() || stored > time) {
            return place;
        }
    }
    return kNoPlace;
}

void insertEntry(Tables& tables, int size, int place, const QString& time, const QString& name) {
    if (!isUsedSize(size) || place < 1 || place > kPlaces) {
        return;
    }
    for (int i = kPlaces; i > place; --i) {
        tables.RankTime[size][i] = tables.RankTime[size][i - 1];
        tables.RankName[size][i] = tables.RankName[size][i - 1];
    }
    tables.RankTime[size][place] = time;
    tables.RankName[size][place] = name;
}

QString storableName(const QString& typed) {
    QString name = typed;
    for (QChar& c : name) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph) {
            c = u' ';
        }
    }
    return name;
}

QString dateName(QDate date) {
    return date.toString(QStringLiteral("yy/MM/dd"));
}

QString rankingFolderFor(const QString& programFolder, const QString& dataFolder) {
    const QFileInfo info(programFolder);
    return info.isDir() && info.isWritable() ? programFolder : dataFolder;
}

namespace Module1 {

void setRankingFolder(const QString& folder) {
    g_folderOverride = folder;
}

QString rankingPath() {
    if (!g_folderOverride.isEmpty()) {
        return g_folderOverride + kFileName;
    }
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString folder = rankingFolderFor(programFolder, dataFolder);
    if (folder == dataFolder) {
        QDir().mkpath(folder);
        adoptProgramRanking(programFolder + kFileName, dataFolder + kFileName);
    }
    return folder + kFileName;
}

std::optional<QByteArray> loadRankingBytes() {
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

bool reloadRanking() {
    const std::optional<QByteArray> bytes = loadRankingBytes();
    if (bytes) {
        readRanking(*bytes, tables);
    }
    return bytes.has_value();
}

void myRankLoad() {
    reloadRanking();
}

WriteResult myRankInit() {
    return writeRankingFile(rankingPath(), emptyRanking());
}

WriteResult myRankRewrite() {
    return writeRankingFile(rankingPath(), writeRanking(tables));
}

EntryResult recordEntry(int size, const QString& time, const QString& name) {
    return updateRankingFile(rankingPath(), tables, size, time, name);
}

} // namespace Module1

} // namespace ranking
