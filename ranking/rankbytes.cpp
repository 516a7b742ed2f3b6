// The ranking file's bytes: the one line reader, the decoder and encoder of code page 932, and everything
// that reads or writes the 49-line layout.
#include "rankbytes.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <optional>
#include <vector>

namespace ranking {

namespace {

const QByteArray kLineEnd = QByteArrayLiteral("\r\n");

bool isUsedSize(int size) {
    return engine::isListedGrid(size);
}

// Lines end at CR LF as the program writes them; a lone CR or LF ends one too, so a file edited elsewhere
// still reads line by line. A final line without an ending is still a line.
class LineReader {
public:
    explicit LineReader(QByteArrayView bytes) : m_bytes(bytes) {}
    bool atEnd() const { return m_pos >= m_bytes.size(); }
    qsizetype position() const { return m_pos; }
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

// The line each slot takes from the bytes: pass after pass over the file, each slot takes the last line that
// falls on it. A file that ends after a header leaves that size and the larger ones without lines.
using SlotLines =
    std::array<std::array<std::optional<QByteArrayView>, kPlaces + 1>, engine::kLargestGrid + 1>;

SlotLines slotLines(QByteArrayView bytes) {
    SlotLines lines{};
    LineReader reader(bytes);
    while (!reader.atEnd()) {
        for (const int size : engine::kGridSizes) {
            if (reader.atEnd()) {
                break;
            }
            reader.next(); // the section header; its text is not checked
            if (reader.atEnd()) {
                break;
            }
            for (int place = 1; place <= kPlaces; ++place) {
                lines[size][place] = reader.atEnd() ? QByteArrayView() : reader.next();
            }
        }
    }
    return lines;
}

// The time and name bytes of each slot, as the file holds them; empty where it holds nothing.
struct RawSlot {
    QByteArray time;
    QByteArray name;
};
using RawTable = std::array<std::array<RawSlot, kPlaces + 1>, engine::kLargestGrid + 1>;

RawTable rawSlots(QByteArrayView bytes) {
    const SlotLines lines = slotLines(bytes);
    RawTable table;
    for (const int size : engine::kGridSizes) {
        for (int place = 1; place <= kPlaces; ++place) {
            if (const auto& line = lines[size][place]) {
                table[size][place] = {field(*line, 1).toByteArray(), field(*line, 2).toByteArray()};
            }
        }
    }
    return table;
}

QByteArray writeRaw(const RawTable& table) {
    Encoder encode;
    QByteArray bytes;
    bytes.reserve(1024);
    for (const int size : engine::kGridSizes) {
        bytes += encode(sizeText(size)) + kLineEnd;
        for (int place = 1; place <= kPlaces; ++place) {
            const RawSlot& slot = table[size][place];
            bytes += QByteArray::number(place) + ',' + slot.time + ',' + slot.name + kLineEnd;
        }
    }
    bytes += '0' + kLineEnd;
    return bytes;
}

} // namespace

QString sizeText(int size) {
    return QString::fromStdString(engine::sizeText(size));
}

void readRanking(const QByteArray& bytes, Tables& tables) {
    readRanking(QByteArrayView(bytes), tables);
}

void readRanking(QByteArrayView bytes, Tables& tables) {
    // Only the lines that reach a slot are decoded, so a huge file costs one scan for line ends.
    const SlotLines lines = slotLines(bytes);
    for (const int size : engine::kGridSizes) {
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
    RawTable table;
    for (const int size : engine::kGridSizes) {
        for (int place = 1; place <= kPlaces; ++place) {
            table[size][place] = {encode(storableName(tables.RankTime[size][place])),
                                  encode(storableName(tables.RankName[size][place]))};
        }
    }
    return writeRaw(table);
}

QByteArray emptyRanking() {
    return writeRanking(Tables{});
}

QByteArray rankingWithEntry(QByteArrayView bytes, int size, int place, const QString& time,
                            const QString& name) {
    RawTable table = rawSlots(bytes);
    if (isUsedSize(size) && place >= 1 && place <= kPlaces) {
        auto& entries = table[size];
        for (int i = kPlaces; i > place; --i) {
            entries[i] = entries[i - 1];
        }
        Encoder encode;
        entries[place] = {encode(storableName(time)), encode(storableName(name))};
    }
    return writeRaw(table);
}

QByteArray rankingEntries(QByteArrayView bytes) {
    return writeRaw(rawSlots(bytes));
}

bool readsAsRanking(QByteArrayView bytes) {
    Encoder encode;
    LineReader reader(bytes);
    auto nextLine = [&]() -> std::optional<QByteArrayView> {
        if (reader.atEnd()) {
            return std::nullopt;
        }
        const qsizetype start = reader.position();
        const QByteArrayView line = reader.next();
        // Every line ends in CR LF, the last one too.
        const bool crlf = reader.position() == start + line.size() + 2 && bytes[start + line.size()] == '\r';
        return crlf ? std::optional(line) : std::nullopt;
    };
    for (const int size : engine::kGridSizes) {
        const auto header = nextLine();
        if (!header || *header != encode(sizeText(size))) {
            return false;
        }
        for (int place = 1; place <= kPlaces; ++place) {
            const auto entry = nextLine();
            const QByteArray start = QByteArray::number(place) + ',';
            if (!entry || !entry->startsWith(start) || entry->count(',') < 2) {
                return false;
            }
        }
    }
    const auto closing = nextLine();
    return closing && *closing == "0" && reader.atEnd();
}

RankListLines rankListLines(QByteArrayView bytes) {
    std::vector<QByteArrayView> lines;
    for (LineReader reader(bytes); !reader.atEnd();) {
        lines.push_back(reader.next());
    }
    constexpr std::size_t kLinesPerSection = 1 + kPlaces; // header, then places 1..5
    RankListLines lists;
    for (std::size_t i = 0; i < lists.size(); ++i) {
        for (int place = 1; place <= kPlaces; ++place) {
            const std::size_t at = i * kLinesPerSection + std::size_t(place);
            QString line =
                at < lines.size() ? decode(lines[at]) : QString::number(place) + QStringLiteral(",,");
            lists[i].append(line.replace(QLatin1Char(','), QLatin1Char('\t')));
        }
    }
    return lists;
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

} // namespace ranking
