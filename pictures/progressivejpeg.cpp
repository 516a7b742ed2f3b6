// A progressive JPEG's 1/8-scale coefficients, rewritten as a baseline JPEG a row of blocks at a time. Every
// check libjpeg makes of a progressive file, as an error or as a warning, is a refusal here, so that what is
// not refused decodes exactly as the whole file would; the refused files go the usual way.
#include "progressivejpeg.h"

#include "jpegentropy.h"
#include "platform/picture.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <condition_variable>
#include <csetjmp>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace pictures {
namespace jpeg {
namespace {

constexpr int kSOF0 = 0xC0;
constexpr int kSOF2 = 0xC2;
constexpr int kDHT = 0xC4;
constexpr int kSOI = 0xD8;
constexpr int kEOI = 0xD9;
constexpr int kSOS = 0xDA;
constexpr int kDQT = 0xDB;
constexpr int kDRI = 0xDD;
constexpr int kAPP0 = 0xE0;
constexpr int kAPP14 = 0xEE;
constexpr int kAPP15 = 0xEF;
constexpr int kCOM = 0xFE;
constexpr int kTEM = 0x01;

constexpr int kMaxSide = 65500;                         // libjpeg's JPEG_MAX_DIMENSION
constexpr int kMaxBlocksInMcu = 10;                     // libjpeg's limit for an interleaved scan
constexpr int kMaxAl = 13;                              // libjpeg's bound on a scan's point transform
constexpr qsizetype kMaxMarkerBytes = 16 * 1024 * 1024; // APPn and COM segments carried over
constexpr std::size_t kMaxCursors = 64;                 // scans decoded side by side; more is no real file
constexpr std::size_t kSurveyBuffer = 128 * 1024;
constexpr std::size_t kCursorBuffer = 32 * 1024;

using Quantisation = std::array<std::uint16_t, 64>; // in the file's zigzag order

void appendSegment(QByteArray& out, int marker, const QByteArray& payload) {
    const qsizetype length = payload.size() + 2;
    out += char(0xFF);
    out += char(marker);
    out += char(length >> 8);
    out += char(length & 0xFF);
    out += payload;
}

std::uint16_t bigEndian16(const QByteArray& bytes, qsizetype at) {
    return std::uint16_t(std::uint8_t(bytes[at]) << 8 | std::uint8_t(bytes[at + 1]));
}

// libjpeg's own answer to a header: the transform size it takes for each component at 1/8; false when it
// refuses the header, warns about it, or would not decode it to RGB or grey.
struct ProbeErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

extern "C" void leaveProbe(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ProbeErrors*>(info->err)->jump, 1);
}
extern "C" void quietProbe(j_common_ptr) {}

bool probeTransformSizes(const QByteArray& header, int* sizes, int components) {
    jpeg_decompress_struct info{};
    ProbeErrors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = leaveProbe;
    errors.manager.output_message = quietProbe;
    jpeg_create_decompress(&info);
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(header.constData()),
                 static_cast<unsigned long>(header.size()));
    const bool readable =
        jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK && info.num_components == components &&
        (components == 1 ? info.jpeg_color_space == JCS_GRAYSCALE
                         : info.jpeg_color_space == JCS_YCbCr || info.jpeg_color_space == JCS_RGB);
    if (readable) {
        info.scale_num = 1;
        info.scale_denom = 8;
        jpeg_calc_output_dimensions(&info);
        for (int i = 0; i < components; ++i) {
            sizes[i] = info.comp_info[i].DCT_scaled_size;
        }
    }
    const bool quiet = errors.manager.num_warnings == 0;
    jpeg_destroy_decompress(&info);
    return readable && quiet;
}

// The stream's tables are fixed, since it is written before all of it is known: every DC size and every AC
// symbol has a code, the short ones going to what DC-only blocks and small chroma values use.
const HuffmanTable& streamTable(bool dc) {
    static const HuffmanTable dcTable = [] {
        std::array<std::uint32_t, 256> frequency{};
        const std::array<std::uint32_t, 16> bySize = {4000, 6000, 8000, 8000, 6000, 4000, 2000, 1000,
                                                      400,  100,  30,   10,   2,    1,    1,    1};
        std::copy(bySize.begin(), bySize.end(), frequency.begin());
        return optimalTable(frequency);
    }();
    static const HuffmanTable acTable = [] {
        std::array<std::uint32_t, 256> frequency{};
        for (int run = 0; run < 16; ++run) {
            for (int size = 1; size <= 15; ++size) {
                frequency[std::size_t(run << 4 | size)] = 1u << std::max(0, 16 - 2 * size - run);
            }
        }
        frequency[0x00] = 1u << 20; // end of block
        frequency[0xF0] = 64;       // a run of sixteen zeros
        return optimalTable(frequency);
    }();
    return dc ? dcTable : acTable;
}

} // namespace

struct Component {
    int id = 0;
    int h = 1;
    int v = 1;
    int tq = 0;
    int widthInBlocks = 0; // blocks that hold picture
    int heightInBlocks = 0;
    int stride = 0;                 // blocks a row: whole MCUs, as an interleaved scan codes them
    int kept = 1;                   // coefficients kept a block: the DC alone, or all 64 when 1/8 reads more
    std::array<int, 64> progress{}; // libjpeg's coef_bits: bits still to come, -1 before any
    std::optional<Quantisation> quantisation; // as it stood at the component's first scan
    std::vector<std::int16_t> row;            // the current row of MCUs: v rows of blocks
    std::vector<std::uint64_t> nonzero;       // when all are kept: which zigzag positions are nonzero
    int predictor = 0;                        // the stream's DC prediction
};

struct Scan {
    int count = 0;
    std::array<int, 4> components{};
    std::array<int, 4> dcTable{};
    std::array<int, 4> acTable{};
    int ss = 0;
    int se = 0;
    int ah = 0;
    int al = 0;
    int restartInterval = 0;
    qint64 data = 0;                                       // where its entropy-coded data starts
    std::array<std::optional<HuffmanDecoder>, 4> decoders; // the table each component's decode uses
};

// One needed scan, decoded a row of MCUs at a time from its own place in the file.
struct Cursor {
    Cursor(QIODevice& file, Scan s)
        : scan(std::move(s)), source(file, scan.data, kCursorBuffer), reader(source) {}
    Scan scan;
    ByteSource source;
    BitReader reader;
    int mcu = 0;
    int restarts = 0;
    int eobRun = 0;
    std::array<int, 4> predictors{};
};

class EighthScaleTranscoder {
public:
    explicit EighthScaleTranscoder(QIODevice& file) : m_file(file) {}
    bool survey();
    bool produce(QByteArray& out);
    bool finished() const { return m_row > m_mcusDown; }

private:
    int nextMarker(ByteSource& source);
    bool segment(ByteSource& source, int marker);
    std::optional<QByteArray> payload(ByteSource& source);
    bool keepMarker(int marker, const QByteArray& bytes);
    bool defineQuantisation(const QByteArray& bytes);
    bool defineHuffman(const QByteArray& bytes);
    bool defineFrame(const QByteArray& bytes);
    int scan(ByteSource& source);
    std::optional<Scan> scanHeader(const QByteArray& bytes) const;
    bool startScans();
    bool acceptScan(Scan& scan);
    bool acceptComponent(Scan& scan, int i);
    static void clearRow(Component& c);
    bool decodeRow(Cursor& cursor);
    template <typename Visit> bool forEachMcuInRow(Cursor& cursor, Visit visit);
    bool restart(Cursor& cursor);
    bool decodeAcFirst(Cursor& cursor, Component& c, std::size_t block);
    bool decodeAcRefine(Cursor& cursor, Component& c, std::size_t block);
    QByteArray header(bool probe) const;
    bool encodeRow();
    bool encodeBlock(Component& c, std::size_t block);

    QIODevice& m_file;
    std::vector<Component> m_components;
    int m_width = 0;
    int m_height = 0;
    int m_maxH = 1;
    int m_maxV = 1;
    int m_mcusAcross = 0;
    int m_mcusDown = 0;
    std::array<std::optional<Quantisation>, 4> m_quantisation;
    std::array<std::optional<HuffmanTable>, 4> m_dcTables;
    std::array<std::optional<HuffmanTable>, 4> m_acTables;
    int m_restartInterval = 0;
    QByteArray m_markers; // APPn and COM segments before the first scan, as they stand
    bool m_scanning = false;
    std::vector<Scan> m_needed;
    std::vector<std::unique_ptr<Cursor>> m_cursors;
    int m_row = -1; // the row of MCUs to produce next; -1 before the header
    BitWriter m_writer;
    HuffmanCodes m_dcCodes{streamTable(true)};
    HuffmanCodes m_acCodes{streamTable(false)};
};

// The markers and the scans, up to the end of the file: what each needed scan is and where its data starts.
bool EighthScaleTranscoder::survey() {
    ByteSource source(m_file, 0, kSurveyBuffer);
    if (source.next() != 0xFF || source.next() != kSOI) {
        return false;
    }
    int marker = nextMarker(source);
    while (marker != kEOI) {
        if (marker == kSOS) {
            marker = scan(source);
        } else if (segment(source, marker)) {
            marker = nextMarker(source);
        } else {
            return false;
        }
        if (marker < 0) {
            return false;
        }
    }
    // Coefficients never completed would have the decoder smooth the blocks instead.
    return m_scanning && std::all_of(m_components.begin(), m_components.end(), [](const Component& c) {
               return std::all_of(c.progress.begin(), c.progress.end(), [](int bits) { return bits == 0; });
           });
}

// A marker right where one must stand (fill bytes allowed), or -1.
int EighthScaleTranscoder::nextMarker(ByteSource& source) {
    if (source.next() != 0xFF) {
        return -1;
    }
    int code = source.next();
    while (code == 0xFF) {
        code = source.next();
    }
    return code > 0 ? code : -1;
}

std::optional<QByteArray> EighthScaleTranscoder::payload(ByteSource& source) {
    const int high = source.next();
    const int low = source.next();
    if (high < 0 || low < 0 || (high << 8 | low) < 2) {
        return std::nullopt;
    }
    QByteArray bytes((high << 8 | low) - 2, Qt::Uninitialized);
    if (!source.read(reinterpret_cast<std::uint8_t*>(bytes.data()), std::size_t(bytes.size()))) {
        return std::nullopt;
    }
    return bytes;
}

bool EighthScaleTranscoder::segment(ByteSource& source, int marker) {
    if (isRestart(marker) || marker == kTEM) {
        return true; // markers without a segment, which the decoder passes over
    }
    const std::optional<QByteArray> bytes = payload(source);
    if (!bytes) {
        return false;
    }
    if ((marker >= kAPP0 && marker <= kAPP15) || marker == kCOM) {
        return keepMarker(marker, *bytes);
    }
    switch (marker) {
    case kDQT:
        return defineQuantisation(*bytes);
    case kDHT:
        return defineHuffman(*bytes);
    case kDRI:
        m_restartInterval = bytes->size() == 2 ? bigEndian16(*bytes, 0) : -1;
        return m_restartInterval >= 0;
    case kSOF2:
        return m_components.empty() && defineFrame(*bytes);
    default:
        return false; // other frame types, arithmetic coding, DNL, and anything unknown
    }
}

// The markers before the first scan go over to the stream, where they tell the decoder the colour space and
// the reader the orientation and colour profile, as they do here. Later ones change nothing the decoder
// gives, except a JFIF or Adobe marker, which is refused.
bool EighthScaleTranscoder::keepMarker(int marker, const QByteArray& bytes) {
    if (m_scanning) {
        return marker != kAPP0 && marker != kAPP14;
    }
    appendSegment(m_markers, marker, bytes);
    return m_markers.size() <= kMaxMarkerBytes;
}

bool EighthScaleTranscoder::defineQuantisation(const QByteArray& bytes) {
    qsizetype at = 0;
    while (at < bytes.size()) {
        const int precision = std::uint8_t(bytes[at]) >> 4;
        const int slot = std::uint8_t(bytes[at]) & 0x0F;
        const qsizetype size = 64 * (precision + 1);
        if (precision > 1 || slot >= 4 || at + 1 + size > bytes.size()) {
            return false;
        }
        Quantisation table{};
        for (int i = 0; i < 64; ++i) {
            table[std::size_t(i)] =
                precision != 0 ? bigEndian16(bytes, at + 1 + 2 * i) : std::uint8_t(bytes[at + 1 + i]);
        }
        m_quantisation[std::size_t(slot)] = table;
        at += 1 + size;
    }
    return true;
}

bool EighthScaleTranscoder::defineHuffman(const QByteArray& bytes) {
    qsizetype at = 0;
    while (bytes.size() - at > 16) {
        int index = std::uint8_t(bytes[at]);
        HuffmanTable table;
        int total = 0;
        for (int length = 1; length <= 16; ++length) {
            table.counts[std::size_t(length)] = std::uint8_t(bytes[at + length]);
            total += table.counts[std::size_t(length)];
        }
        at += 17;
        if (total > 256 || total > bytes.size() - at) {
            return false;
        }
        table.symbols.assign(bytes.begin() + at, bytes.begin() + at + total);
        at += total;
        const bool ac = (index & 0x10) != 0;
        index -= ac ? 0x10 : 0;
        if (index >= 4) {
            return false;
        }
        (ac ? m_acTables : m_dcTables)[std::size_t(index)] = std::move(table);
    }
    return at == bytes.size();
}

bool EighthScaleTranscoder::defineFrame(const QByteArray& bytes) {
    if (bytes.size() < 6) {
        return false;
    }
    m_height = bigEndian16(bytes, 1);
    m_width = bigEndian16(bytes, 3);
    const int count = std::uint8_t(bytes[5]);
    if (std::uint8_t(bytes[0]) != 8 || (count != 1 && count != 3) || bytes.size() != 6 + 3 * count ||
        m_width == 0 || m_height == 0 || m_width > kMaxSide || m_height > kMaxSide ||
        qint64(m_width) * m_height > platform::kMaxSourcePixels) {
        return false;
    }
    m_components.resize(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        Component& c = m_components[std::size_t(i)];
        c.id = std::uint8_t(bytes[6 + 3 * i]);
        c.h = std::uint8_t(bytes[7 + 3 * i]) >> 4;
        c.v = std::uint8_t(bytes[7 + 3 * i]) & 0x0F;
        c.tq = std::uint8_t(bytes[8 + 3 * i]);
        const auto sameId = [&c](const Component& other) { return other.id == c.id; };
        if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 ||
            std::any_of(m_components.begin(), m_components.begin() + i, sameId)) {
            return false;
        }
        m_maxH = std::max(m_maxH, c.h);
        m_maxV = std::max(m_maxV, c.v);
    }
    m_mcusAcross = (m_width + 8 * m_maxH - 1) / (8 * m_maxH);
    m_mcusDown = (m_height + 8 * m_maxV - 1) / (8 * m_maxV);
    for (Component& c : m_components) {
        c.widthInBlocks = int((qint64(m_width) * c.h + 8 * m_maxH - 1) / (8 * m_maxH));
        c.heightInBlocks = int((qint64(m_height) * c.v + 8 * m_maxV - 1) / (8 * m_maxV));
        c.stride = m_mcusAcross * c.h;
        c.progress.fill(-1);
    }
    return true;
}

// Once the frame is known and the first scan comes: what each component needs at 1/8, by libjpeg's word.
bool EighthScaleTranscoder::startScans() {
    if (m_components.empty()) {
        return false;
    }
    int blocksInMcu = 0;
    for (const Component& c : m_components) {
        blocksInMcu += c.h * c.v;
    }
    std::array<int, 3> sizes{};
    if ((m_components.size() > 1 && blocksInMcu > kMaxBlocksInMcu) ||
        !probeTransformSizes(header(true), sizes.data(), int(m_components.size()))) {
        return false;
    }
    for (std::size_t i = 0; i < m_components.size(); ++i) {
        Component& c = m_components[i];
        c.kept = sizes[i] == 1 ? 1 : 64;
        c.row.assign(std::size_t(c.v) * std::size_t(c.stride) * std::size_t(c.kept), 0);
        if (c.kept > 1) {
            c.nonzero.assign(std::size_t(c.v) * std::size_t(c.stride), 0);
        }
    }
    m_scanning = true;
    return true;
}

std::optional<Scan> EighthScaleTranscoder::scanHeader(const QByteArray& bytes) const {
    Scan scan;
    scan.count = bytes.isEmpty() ? 0 : std::uint8_t(bytes[0]);
    if (scan.count < 1 || scan.count > 4 || bytes.size() != 4 + 2 * scan.count) {
        return std::nullopt;
    }
    for (int i = 0; i < scan.count; ++i) {
        const int id = std::uint8_t(bytes[1 + 2 * i]);
        const auto found = std::find_if(m_components.begin(), m_components.end(),
                                        [id](const Component& c) { return c.id == id; });
        const int index = int(found - m_components.begin());
        // The standard lists a scan's components in the frame's order. libjpeg-turbo rejects some other
        // orders outright and reads the rest, so a file with any other order is left to it whole.
        if (found == m_components.end() || (i > 0 && index <= scan.components[std::size_t(i - 1)])) {
            return std::nullopt;
        }
        scan.components[std::size_t(i)] = index;
        scan.dcTable[std::size_t(i)] = std::uint8_t(bytes[2 + 2 * i]) >> 4;
        scan.acTable[std::size_t(i)] = std::uint8_t(bytes[2 + 2 * i]) & 0x0F;
    }
    const qsizetype tail = 1 + 2 * scan.count;
    scan.ss = std::uint8_t(bytes[tail]);
    scan.se = std::uint8_t(bytes[tail + 1]);
    scan.ah = std::uint8_t(bytes[tail + 2]) >> 4;
    scan.al = std::uint8_t(bytes[tail + 2]) & 0x0F;
    scan.restartInterval = m_restartInterval;
    return scan;
}

// The checks libjpeg makes as a scan starts: its parameters, its place in the progression, its tables.
bool EighthScaleTranscoder::acceptScan(Scan& scan) {
    const bool dc = scan.ss == 0;
    const bool badBand = dc ? scan.se != 0 : scan.ss > scan.se || scan.se > 63 || scan.count != 1;
    if (badBand || (scan.ah != 0 && scan.al != scan.ah - 1) || scan.al > kMaxAl) {
        return false;
    }
    int blocksInMcu = 0;
    for (int i = 0; i < scan.count; ++i) {
        const Component& c = m_components[std::size_t(scan.components[std::size_t(i)])];
        blocksInMcu += scan.count > 1 ? c.h * c.v : 1;
    }
    if (blocksInMcu > kMaxBlocksInMcu) {
        return false;
    }
    for (int i = 0; i < scan.count; ++i) {
        if (!acceptComponent(scan, i)) {
            return false;
        }
    }
    return true;
}

bool EighthScaleTranscoder::acceptComponent(Scan& scan, int i) {
    Component& c = m_components[std::size_t(scan.components[std::size_t(i)])];
    const bool dc = scan.ss == 0;
    if (!dc && c.progress[0] < 0) {
        return false; // AC before any DC
    }
    for (int k = scan.ss; k <= scan.se; ++k) {
        if (scan.ah != std::max(c.progress[std::size_t(k)], 0)) {
            return false; // a refinement of bits that never came, or a repeat
        }
        c.progress[std::size_t(k)] = scan.al;
    }
    if (!c.quantisation) {
        if (c.tq >= 4 || !m_quantisation[std::size_t(c.tq)]) {
            return false;
        }
        c.quantisation = m_quantisation[std::size_t(c.tq)];
    }
    if (dc && scan.ah != 0) {
        return true; // a DC refinement reads plain bits
    }
    const int table = dc ? scan.dcTable[std::size_t(i)] : scan.acTable[std::size_t(i)];
    const auto& tables = dc ? m_dcTables : m_acTables;
    if (table >= 4 || !tables[std::size_t(table)]) {
        return false;
    }
    scan.decoders[std::size_t(i)] = HuffmanDecoder::make(*tables[std::size_t(table)], dc);
    return scan.decoders[std::size_t(i)].has_value();
}

// Notes a scan, to be decoded later if it carries what 1/8 reads, and steps over its data to the next
// marker: the one the decoder would find after it too.
int EighthScaleTranscoder::scan(ByteSource& source) {
    const std::optional<QByteArray> bytes = payload(source);
    std::optional<Scan> scan = bytes ? scanHeader(*bytes) : std::nullopt;
    if (!scan || (!m_scanning && !startScans()) || !acceptScan(*scan)) {
        return -1;
    }
    if (scan->ss == 0 || m_components[std::size_t(scan->components[0])].kept > 1) {
        if (m_needed.size() == kMaxCursors) {
            return -1;
        }
        scan->data = source.position();
        m_needed.push_back(std::move(*scan));
    }
    return source.skipToMarker(true);
}

// A row's blocks back to zeros. Where AC is kept, only the coefficients known to be nonzero are touched:
// most of a photo's chroma blocks have none.
void EighthScaleTranscoder::clearRow(Component& c) {
    if (c.kept == 1) {
        std::fill(c.row.begin(), c.row.end(), 0);
        return;
    }
    for (std::size_t block = 0; block < c.nonzero.size(); ++block) {
        std::int16_t* coefficients = &c.row[block * 64];
        coefficients[0] = 0;
        for (std::uint64_t left = c.nonzero[block]; left != 0; left &= left - 1) {
            coefficients[kNaturalOrder[std::size_t(std::countr_zero(left))]] = 0;
        }
        c.nonzero[block] = 0;
    }
}

// The next piece of the stream: its header, a row of MCUs, or its end.
bool EighthScaleTranscoder::produce(QByteArray& out) {
    if (m_row < 0) {
        out += header(false);
        for (Scan& scan : m_needed) {
            m_cursors.push_back(std::make_unique<Cursor>(m_file, std::move(scan)));
        }
        m_needed.clear();
        m_row = 0;
        return true;
    }
    if (m_row == m_mcusDown) {
        m_writer.takeBytes(out, true);
        out += QByteArray("\xFF\xD9", 2);
        ++m_row;
        return true;
    }
    for (Component& c : m_components) {
        clearRow(c);
    }
    for (const auto& cursor : m_cursors) {
        if (!decodeRow(*cursor)) {
            return false;
        }
    }
    const bool encoded = encodeRow();
    m_writer.takeBytes(out, false);
    ++m_row;
    return encoded;
}

bool EighthScaleTranscoder::decodeRow(Cursor& cursor) {
    const Scan& scan = cursor.scan;
    if (scan.ss == 0 && scan.ah == 0) {
        return forEachMcuInRow(cursor, [&](int i, Component& c, std::size_t block) {
            const int size = cursor.reader.decode(*scan.decoders[std::size_t(i)]);
            if (size < 0) {
                return false;
            }
            const int difference = cursor.reader.extended(size);
            int& predictor = cursor.predictors[std::size_t(i)];
            if ((predictor >= 0 && difference > INT_MAX - predictor) ||
                (predictor < 0 && difference < INT_MIN - predictor)) {
                return false;
            }
            predictor += difference;
            c.row[block * std::size_t(c.kept)] = std::int16_t(std::uint32_t(predictor) << scan.al);
            return true;
        });
    }
    if (scan.ss == 0) {
        return forEachMcuInRow(cursor, [&](int, Component& c, std::size_t block) {
            std::int16_t& dc = c.row[block * std::size_t(c.kept)];
            dc = std::int16_t(dc | (cursor.reader.take(1) << scan.al));
            return true;
        });
    }
    if (scan.ah == 0) {
        return forEachMcuInRow(
            cursor, [&](int, Component& c, std::size_t block) { return decodeAcFirst(cursor, c, block); });
    }
    return forEachMcuInRow(
        cursor, [&](int, Component& c, std::size_t block) { return decodeAcRefine(cursor, c, block); });
}

// The blocks a scan codes in the current row of MCUs, in its order: a component's own blocks when it is
// alone in the scan, whole MCUs (their padding blocks too) when several share it; restart markers between
// its intervals.
template <typename Visit> bool EighthScaleTranscoder::forEachMcuInRow(Cursor& cursor, Visit visit) {
    const Scan& scan = cursor.scan;
    auto next = [&] {
        const bool due = scan.restartInterval > 0 && cursor.mcu > 0 && cursor.mcu % scan.restartInterval == 0;
        ++cursor.mcu;
        return !due || restart(cursor);
    };
    if (scan.count == 1) {
        Component& c = m_components[std::size_t(scan.components[0])];
        for (int y = 0; y < c.v && m_row * c.v + y < c.heightInBlocks; ++y) {
            for (int x = 0; x < c.widthInBlocks; ++x) {
                if (!next() || !visit(0, c, std::size_t(y * c.stride + x)) || cursor.reader.overrun()) {
                    return false;
                }
            }
        }
        return true;
    }
    for (int mx = 0; mx < m_mcusAcross; ++mx) {
        if (!next()) {
            return false;
        }
        for (int i = 0; i < scan.count; ++i) {
            Component& c = m_components[std::size_t(scan.components[std::size_t(i)])];
            for (int y = 0; y < c.v; ++y) {
                for (int x = 0; x < c.h; ++x) {
                    if (!visit(i, c, std::size_t(y * c.stride + mx * c.h + x))) {
                        return false;
                    }
                }
            }
        }
        if (cursor.reader.overrun()) {
            return false;
        }
    }
    return true;
}

// Between restart intervals: the expected RSTn, and a fresh start of the predictions.
bool EighthScaleTranscoder::restart(Cursor& cursor) {
    if (cursor.reader.finish() != kRestartFirst + (cursor.restarts & 7)) {
        return false;
    }
    ++cursor.restarts;
    cursor.eobRun = 0;
    cursor.predictors.fill(0);
    return true;
}

bool EighthScaleTranscoder::decodeAcFirst(Cursor& cursor, Component& c, std::size_t block) {
    if (cursor.eobRun > 0) {
        --cursor.eobRun;
        return true;
    }
    const Scan& scan = cursor.scan;
    std::int16_t* coefficients = &c.row[block * 64];
    std::uint64_t& nonzero = c.nonzero[block];
    for (int k = scan.ss; k <= scan.se; ++k) {
        const int symbol = cursor.reader.decode(*scan.decoders[0]);
        if (symbol < 0) {
            return false;
        }
        const int run = symbol >> 4;
        const int size = symbol & 0x0F;
        if (size != 0) {
            k += run;
            if (k > scan.se) {
                return false; // a run past the band
            }
            const auto value = std::int16_t(std::uint32_t(cursor.reader.extended(size)) << scan.al);
            coefficients[kNaturalOrder[std::size_t(k)]] = value;
            const std::uint64_t bit = std::uint64_t(1) << k;
            nonzero = value != 0 ? nonzero | bit : nonzero & ~bit;
        } else if (run == 15) {
            k += 15;
        } else {
            cursor.eobRun = (1 << run) + (run != 0 ? int(cursor.reader.take(run)) : 0) - 1;
            break;
        }
    }
    return true;
}

// Successive approximation of AC coefficients: new coefficients of magnitude one, and a correction bit for
// every coefficient already nonzero that the band passes.
bool EighthScaleTranscoder::decodeAcRefine(Cursor& cursor, Component& c, std::size_t block) {
    const Scan& scan = cursor.scan;
    const int plus = 1 << scan.al;
    const int minus = int(~0u << scan.al);
    std::int16_t* coefficients = &c.row[block * 64];
    BitReader& reader = cursor.reader;
    auto correct = [&](std::int16_t& coefficient) {
        if (reader.take(1) != 0 && (coefficient & plus) == 0) {
            coefficient = std::int16_t(coefficient + (coefficient >= 0 ? plus : minus));
        }
    };
    int k = scan.ss;
    if (cursor.eobRun == 0) {
        for (; k <= scan.se; ++k) {
            const int symbol = reader.decode(*scan.decoders[0]);
            if (symbol < 0 || (symbol & 0x0F) > 1) {
                return false;
            }
            int run = symbol >> 4;
            int value = 0;
            if ((symbol & 0x0F) != 0) {
                value = reader.take(1) != 0 ? plus : minus;
            } else if (run != 15) {
                cursor.eobRun = (1 << run) + (run != 0 ? int(reader.take(run)) : 0);
                break;
            }
            for (; k <= scan.se; ++k) {
                std::int16_t& coefficient = coefficients[kNaturalOrder[std::size_t(k)]];
                if (coefficient != 0) {
                    correct(coefficient);
                } else if (--run < 0) {
                    break;
                }
            }
            if (value != 0) {
                if (k > scan.se) {
                    return false; // a new coefficient past the band
                }
                coefficients[kNaturalOrder[std::size_t(k)]] = std::int16_t(value);
                c.nonzero[block] |= std::uint64_t(1) << k;
            }
        }
    }
    if (cursor.eobRun > 0) {
        // The rest of the band holds only corrections: one bit for each nonzero coefficient, in order.
        const std::uint64_t band =
            k > scan.se ? 0 : (~std::uint64_t(0) << k) & (~std::uint64_t(0) >> (63 - scan.se));
        for (std::uint64_t left = c.nonzero[block] & band; left != 0; left &= left - 1) {
            correct(coefficients[kNaturalOrder[std::size_t(std::countr_zero(left))]]);
        }
        --cursor.eobRun;
    }
    return true;
}

// SOI, the carried-over markers, one quantisation table a component, the frame, the tables, one scan.
QByteArray EighthScaleTranscoder::header(bool probe) const {
    QByteArray out("\xFF\xD8", 2);
    out += m_markers;
    QByteArray frame;
    frame += char(8);
    frame += char(m_height >> 8);
    frame += char(m_height & 0xFF);
    frame += char(m_width >> 8);
    frame += char(m_width & 0xFF);
    frame += char(m_components.size());
    QByteArray scan;
    scan += char(m_components.size());
    for (std::size_t i = 0; i < m_components.size(); ++i) {
        const Component& c = m_components[i];
        Quantisation table;
        table.fill(1); // the probe asks only about sizes
        if (!probe) {
            table = *c.quantisation;
        }
        const bool wide = std::any_of(table.begin(), table.end(), [](int q) { return q > 255; });
        QByteArray quantisation(1, char((wide ? 0x10 : 0) | int(i)));
        for (const std::uint16_t q : table) {
            if (wide) {
                quantisation += char(q >> 8);
            }
            quantisation += char(q & 0xFF);
        }
        appendSegment(out, kDQT, quantisation);
        frame += char(c.id);
        frame += char(c.h << 4 | c.v);
        frame += char(i);
        scan += char(c.id);
        scan += char(0);
    }
    appendSegment(out, kSOF0, frame);
    QByteArray tables;
    for (const bool dc : {true, false}) {
        const HuffmanTable& table = streamTable(dc);
        tables += char(dc ? 0x00 : 0x10);
        for (int length = 1; length <= 16; ++length) {
            tables += char(table.counts[std::size_t(length)]);
        }
        tables +=
            QByteArray(reinterpret_cast<const char*>(table.symbols.data()), qsizetype(table.symbols.size()));
    }
    appendSegment(out, kDHT, tables);
    scan += QByteArray("\x00\x3F\x00", 3);
    appendSegment(out, kSOS, scan);
    return out;
}

// The current row in baseline order: one interleaved scan of whole MCUs, or the one component's blocks.
bool EighthScaleTranscoder::encodeRow() {
    if (m_components.size() == 1) {
        Component& c = m_components.front();
        for (int y = 0; y < c.v && m_row * c.v + y < c.heightInBlocks; ++y) {
            for (int x = 0; x < c.widthInBlocks; ++x) {
                if (!encodeBlock(c, std::size_t(y * c.stride + x))) {
                    return false;
                }
            }
        }
        return true;
    }
    for (int mx = 0; mx < m_mcusAcross; ++mx) {
        for (Component& c : m_components) {
            for (int y = 0; y < c.v; ++y) {
                for (int x = 0; x < c.h; ++x) {
                    if (!encodeBlock(c, std::size_t(y * c.stride + mx * c.h + x))) {
                        return false;
                    }
                }
            }
        }
    }
    return true;
}

// A block's DC difference, then its nonzero AC coefficients in zigzag order with the zero runs between
// them. A value too large for a baseline code (beyond 15 bits) refuses the file.
bool EighthScaleTranscoder::encodeBlock(Component& c, std::size_t block) {
    const std::int16_t* coefficients = &c.row[block * std::size_t(c.kept)];
    const int difference = coefficients[0] - c.predictor;
    c.predictor = coefficients[0];
    const int dcSize = category(difference);
    if (dcSize > 15) {
        return false;
    }
    auto put = [&](const HuffmanCodes& codes, int symbol, int size, int value) {
        const std::uint32_t bits = std::uint32_t(value < 0 ? value - 1 : value) & ((1u << size) - 1);
        m_writer.put(std::uint32_t(codes.code[std::size_t(symbol)]) << size | bits,
                     codes.length[std::size_t(symbol)] + size);
    };
    if (c.kept == 1 || c.nonzero[block] == 0) { // the DC and the end of the block at once
        const int length = m_dcCodes.length[std::size_t(dcSize)] + dcSize + m_acCodes.length[0];
        const std::uint32_t bits =
            std::uint32_t(difference < 0 ? difference - 1 : difference) & ((1u << dcSize) - 1);
        const std::uint64_t code = (std::uint64_t(m_dcCodes.code[std::size_t(dcSize)]) << dcSize | bits)
                                       << m_acCodes.length[0] |
                                   m_acCodes.code[0];
        if (length <= 32) {
            m_writer.put(std::uint32_t(code), length);
            return true;
        }
    }
    put(m_dcCodes, dcSize, dcSize, difference);
    int last = 0;
    for (std::uint64_t left = c.kept > 1 ? c.nonzero[block] & ~std::uint64_t(1) : 0; left != 0;
         left &= left - 1) {
        const int zigzag = std::countr_zero(left);
        const int value = coefficients[kNaturalOrder[std::size_t(zigzag)]];
        int run = zigzag - last - 1;
        for (; run > 15; run -= 16) {
            put(m_acCodes, 0xF0, 0, 0);
        }
        const int size = category(value);
        if (size > 15) {
            return false;
        }
        put(m_acCodes, run << 4 | size, size, value);
        last = zigzag;
    }
    if (last != 63) {
        put(m_acCodes, 0x00, 0, 0);
    }
    return true;
}

// The stream made on a thread of its own, a few pieces ahead of the reader, so that the transcoding and the
// decoder's work share the machine's cores.
class EighthScaleProducer {
public:
    explicit EighthScaleProducer(std::unique_ptr<EighthScaleTranscoder> transcoder)
        : m_transcoder(std::move(transcoder)), m_thread([this] { run(); }) {}
    ~EighthScaleProducer() {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    // The next piece; false at the end of the stream, or when a scan proved bad (failed()).
    bool next(QByteArray& piece) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_pieces.empty() || m_done; });
        if (m_pieces.empty()) {
            return false;
        }
        piece = std::move(m_pieces.front());
        m_pieces.pop_front();
        lock.unlock();
        m_changed.notify_all();
        return true;
    }
    bool failed() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_failed;
    }
    // Whether the whole stream was made from sound scans and handed over.
    bool handedOver() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_done && !m_failed && m_pieces.empty();
    }

private:
    static constexpr std::size_t kAhead = 8;            // pieces made and not yet read
    static constexpr qsizetype kPieceBytes = 16 * 1024; // rows gathered into one piece

    void run() {
        bool more = true;
        while (more) {
            QByteArray piece;
            bool sound = true;
            while (sound && piece.size() < kPieceBytes && !m_transcoder->finished()) {
                sound = m_transcoder->produce(piece);
            }
            more = sound && !m_transcoder->finished();
            std::unique_lock<std::mutex> lock(m_mutex);
            m_failed = !sound;
            if (sound) {
                m_pieces.push_back(std::move(piece));
            }
            m_done = !more;
            m_changed.notify_all();
            if (more) {
                m_changed.wait(lock, [this] { return m_pieces.size() < kAhead || m_stop; });
                more = !m_stop;
            }
        }
    }

    std::unique_ptr<EighthScaleTranscoder> m_transcoder;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QByteArray> m_pieces;
    bool m_done = false;
    bool m_failed = false;
    bool m_stop = false;
    std::thread m_thread; // last: it starts once the rest is made
};

} // namespace jpeg

EighthScaleJpeg::EighthScaleJpeg(std::unique_ptr<jpeg::EighthScaleProducer> producer)
    : m_producer(std::move(producer)) {}

EighthScaleJpeg::~EighthScaleJpeg() = default;

std::unique_ptr<EighthScaleJpeg> EighthScaleJpeg::make(QIODevice& file) {
    auto transcoder = std::make_unique<jpeg::EighthScaleTranscoder>(file);
    if (!transcoder->survey()) {
        return nullptr;
    }
    std::unique_ptr<EighthScaleJpeg> stream(
        new EighthScaleJpeg(std::make_unique<jpeg::EighthScaleProducer>(std::move(transcoder))));
    stream->QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    return stream;
}

bool EighthScaleJpeg::complete() const {
    return m_at == m_chunk.size() && m_producer->handedOver();
}

qint64 EighthScaleJpeg::readData(char* data, qint64 maxSize) {
    while (m_at == m_chunk.size() && !m_ended) {
        // A piece read through is gone: at the end there is none to hand over again.
        m_chunk.clear();
        m_at = 0;
        m_ended = !m_producer->next(m_chunk);
    }
    if (m_at == m_chunk.size()) {
        return m_producer->failed() ? -1 : 0; // the end, or nothing more as the scans proved bad
    }
    const qint64 count = std::min<qint64>(maxSize, m_chunk.size() - m_at);
    std::copy_n(m_chunk.constData() + m_at, count, data);
    m_at += count;
    return count;
}

} // namespace pictures
