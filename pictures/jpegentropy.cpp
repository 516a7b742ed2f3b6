// Reading and writing Huffman-coded JPEG data.
#include "jpegentropy.h"

#include <QIODevice>
#include <algorithm>
#include <cstring>
#include <limits>

namespace pictures::jpeg {

const std::array<std::uint8_t, 80> kNaturalOrder = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33,
    40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36,
    29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54,
    47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

namespace {
constexpr std::size_t kFirstRead = 16 * 1024;
}

ByteSource::ByteSource(QIODevice& device, qint64 start, std::size_t bufferSize)
    : m_device(device), m_position(start),
      m_buffer(std::make_unique_for_overwrite<std::uint8_t[]>(bufferSize)), m_size(bufferSize) {}

bool ByteSource::refill() {
    if (m_device.pos() != m_position && !m_device.seek(m_position)) {
        m_at = m_end = 0;
        return false;
    }
    const std::size_t size = m_first ? std::min(m_size, kFirstRead) : m_size;
    m_first = false;
    const qint64 got = m_device.read(reinterpret_cast<char*>(m_buffer.get()), qint64(size));
    m_position += std::max<qint64>(got, 0);
    m_at = 0;
    m_end = got > 0 ? std::size_t(got) : 0;
    return m_end > 0;
}

int ByteSource::refillAndNext() {
    return refill() ? m_buffer[m_at++] : -1;
}

bool ByteSource::read(std::uint8_t* out, std::size_t count) {
    while (count > 0) {
        if (m_at == m_end && !refill()) {
            return false;
        }
        const std::size_t piece = std::min(count, m_end - m_at);
        std::memcpy(out, m_buffer.get() + m_at, piece);
        m_at += piece;
        out += piece;
        count -= piece;
    }
    return true;
}

bool ByteSource::skip(std::size_t count) {
    while (count > 0) {
        if (m_at == m_end && !refill()) {
            return false;
        }
        const std::size_t piece = std::min(count, m_end - m_at);
        m_at += piece;
        count -= piece;
    }
    return true;
}

int ByteSource::skipToMarker(bool overRestarts) {
    for (;;) {
        for (;;) {
            if (m_at == m_end && !refill()) {
                return -1;
            }
            const void* ff = std::memchr(m_buffer.get() + m_at, 0xFF, m_end - m_at);
            if (ff != nullptr) {
                m_at = std::size_t(static_cast<const std::uint8_t*>(ff) - m_buffer.get()) + 1;
                break;
            }
            m_at = m_end;
        }
        int code = next();
        while (code == 0xFF) { // fill bytes before a marker
            code = next();
        }
        if (code < 0) {
            return -1;
        }
        if (code != 0 && !(overRestarts && isRestart(code))) {
            return code;
        }
    }
}

std::optional<HuffmanDecoder> HuffmanDecoder::make(const HuffmanTable& table, bool dc) {
    HuffmanDecoder decoder;
    int symbols = 0;
    std::int32_t code = 0;
    for (int length = 1; length <= 16; ++length) {
        const int count = table.counts[std::size_t(length)];
        if (symbols + count > 256 || std::size_t(symbols + count) > table.symbols.size()) {
            return std::nullopt;
        }
        if (count > 0 && code + count >= (1 << length)) { // an all-ones code, which libjpeg refuses
            return std::nullopt;
        }
        decoder.m_offset[std::size_t(length)] = symbols - code;
        decoder.m_maxCode[std::size_t(length)] = count > 0 ? code + count - 1 : -1;
        for (int i = 0; i < count && length <= kLookupBits; ++i) {
            const int first = (code + i) << (kLookupBits - length);
            const auto entry = std::uint16_t(length << 8 | table.symbols[std::size_t(symbols + i)]);
            std::fill_n(decoder.m_lookup.begin() + first, 1 << (kLookupBits - length), entry);
        }
        code += count;
        symbols += count;
        code <<= 1;
    }
    decoder.m_maxCode[17] = std::numeric_limits<std::int32_t>::max();
    decoder.m_symbols.assign(table.symbols.begin(), table.symbols.begin() + symbols);
    if (dc && std::any_of(decoder.m_symbols.begin(), decoder.m_symbols.end(), [](int s) { return s > 15; })) {
        return std::nullopt;
    }
    return decoder;
}

void BitReader::fill() {
    m_overrun = m_overrun || m_count < m_padding;
    while (m_count <= 56) {
        int byte = -1;
        if (m_marker == 0) {
            byte = m_source.next();
            if (byte == 0xFF) {
                int after = m_source.next();
                while (after == 0xFF) {
                    after = m_source.next();
                }
                byte = after == 0 ? 0xFF : -1; // FF 00 is a data byte; anything else a marker
                m_marker = after == 0 ? 0 : (after < 0 ? -1 : after);
            } else if (byte < 0) {
                m_marker = -1;
            }
        }
        if (byte < 0) {
            byte = 0;
            m_padding += 8;
        }
        m_bits = (m_bits << 8) | std::uint64_t(byte);
        m_count += 8;
    }
}

int BitReader::decodeLong(const HuffmanDecoder& table) {
    int length = HuffmanDecoder::kLookupBits + 1;
    auto code = std::int32_t(take(length));
    while (length <= 16 && code > table.m_maxCode[std::size_t(length)]) {
        code = (code << 1) | std::int32_t(take(1));
        ++length;
    }
    if (length > 16) {
        return -1;
    }
    return table.m_symbols[std::size_t(code + table.m_offset[std::size_t(length)])];
}

int BitReader::finish() {
    const int marker = m_marker != 0 ? m_marker : m_source.skipToMarker(false);
    m_bits = 0;
    m_count = 0;
    m_padding = 0;
    m_marker = 0;
    m_overrun = false;
    return marker;
}

HuffmanTable optimalTable(const std::array<std::uint32_t, 256>& frequencies) {
    constexpr int kSymbols = 257; // the last one reserves the all-ones code point
    std::array<std::uint64_t, kSymbols> freq{};
    std::copy(frequencies.begin(), frequencies.end(), freq.begin());
    freq[256] = 1;
    std::array<int, kSymbols> size{};
    std::array<int, kSymbols> others;
    others.fill(-1);
    for (;;) {
        // The two least frequent trees (ties to the larger symbol) become one.
        int c1 = -1;
        int c2 = -1;
        for (int i = 0; i < kSymbols; ++i) {
            if (freq[std::size_t(i)] != 0 && (c1 < 0 || freq[std::size_t(i)] <= freq[std::size_t(c1)])) {
                c1 = i;
            }
        }
        for (int i = 0; i < kSymbols; ++i) {
            if (i != c1 && freq[std::size_t(i)] != 0 &&
                (c2 < 0 || freq[std::size_t(i)] <= freq[std::size_t(c2)])) {
                c2 = i;
            }
        }
        if (c2 < 0) {
            break;
        }
        freq[std::size_t(c1)] += freq[std::size_t(c2)];
        freq[std::size_t(c2)] = 0;
        for (int c = c1;; c = others[std::size_t(c)]) {
            ++size[std::size_t(c)];
            if (others[std::size_t(c)] < 0) {
                others[std::size_t(c)] = c2;
                break;
            }
        }
        for (int c = c2; c >= 0; c = others[std::size_t(c)]) {
            ++size[std::size_t(c)];
        }
    }
    std::array<int, kSymbols + 1> counts{};
    for (int s : size) {
        counts[std::size_t(s)] += s > 0 ? 1 : 0;
    }
    // Codes longer than 16 bits move up the tree (Annex K.3), two at a time.
    for (int i = kSymbols; i > 16; --i) {
        while (counts[std::size_t(i)] > 0) {
            int j = i - 2;
            while (counts[std::size_t(j)] == 0) {
                --j;
            }
            counts[std::size_t(i)] -= 2;
            counts[std::size_t(i - 1)] += 1;
            counts[std::size_t(j + 1)] += 2;
            counts[std::size_t(j)] -= 1;
        }
    }
    int longest = 16;
    while (counts[std::size_t(longest)] == 0) {
        --longest;
    }
    --counts[std::size_t(longest)]; // the reserved code point goes
    HuffmanTable table;
    for (int length = 1; length <= 16; ++length) {
        table.counts[std::size_t(length)] = std::uint8_t(counts[std::size_t(length)]);
    }
    for (int length = 1; length <= kSymbols; ++length) {
        for (int s = 0; s < 256; ++s) {
            if (size[std::size_t(s)] == length) {
                table.symbols.push_back(std::uint8_t(s));
            }
        }
    }
    return table;
}

void BitWriter::drain() {
    while (m_count >= 8) {
        m_count -= 8;
        const auto byte = char(std::uint8_t(m_bits >> m_count));
        m_bytes.push_back(byte);
        if (byte == '\xFF') {
            m_bytes.push_back('\0');
        }
    }
}

void BitWriter::takeBytes(QByteArray& out, bool end) {
    if (end && m_count % 8 != 0) {
        put((1u << (8 - m_count % 8)) - 1, 8 - m_count % 8);
    }
    drain();
    out.append(m_bytes.data(), qsizetype(m_bytes.size()));
    m_bytes.clear();
}

HuffmanCodes::HuffmanCodes(const HuffmanTable& table) {
    std::uint32_t next = 0;
    std::size_t symbol = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < table.counts[std::size_t(length)]; ++i) {
            const std::uint8_t s = table.symbols[symbol++];
            code[s] = std::uint16_t(next++);
            this->length[s] = std::uint8_t(length);
        }
        next <<= 1;
    }
}

} // namespace pictures::jpeg
