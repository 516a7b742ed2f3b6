// The Huffman coding of a JPEG's entropy-coded data: its bytes read forward a piece at a time, its codes
// decoded the way libjpeg decodes them (refusing what libjpeg would refuse or warn about), and written back.
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QIODevice;

namespace pictures::jpeg {

// Zigzag position to natural (row-major) position, with the 16 spare entries libjpeg keeps for runs that
// overshoot a band.
extern const std::array<std::uint8_t, 80> kNaturalOrder;

inline constexpr int kRestartFirst = 0xD0; // RST0..RST7
inline constexpr int kRestartLast = 0xD7;
inline bool isRestart(int marker) {
    return marker >= kRestartFirst && marker <= kRestartLast;
}

// A file's bytes read forward from a given offset in pieces, so that a large file is never held whole.
// Several sources may read one device, each from its own place.
class ByteSource {
public:
    ByteSource(QIODevice& device, qint64 start, std::size_t bufferSize);
    qint64 position() const { return m_position - qint64(m_end - m_at); } // of the next byte

    int next() { return m_at < m_end ? m_buffer[m_at++] : refillAndNext(); } // -1 at the end
    bool read(std::uint8_t* out, std::size_t count);
    bool skip(std::size_t count);
    // Steps over entropy-coded data (stuffed bytes, fill bytes, and restart markers when asked) to the next
    // marker and returns its code, the byte after 0xFF; -1 at the end of the file.
    int skipToMarker(bool overRestarts);

private:
    int refillAndNext();
    bool refill();

    QIODevice& m_device;
    qint64 m_position; // of the byte after the buffer's last
    // Left unwritten until read into: a page of fresh memory costs a fault, and a baseline file needs only
    // the first few kilobytes to be told apart.
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_size;
    std::size_t m_at = 0;
    std::size_t m_end = 0;
    bool m_first = true;
};

// A table as a DHT segment defines it: how many codes of each length 1..16, and their symbols.
struct HuffmanTable {
    std::array<std::uint8_t, 17> counts{};
    std::vector<std::uint8_t> symbols;
};

// Canonical Huffman decoding with a lookup of the first bits.
class HuffmanDecoder {
public:
    static constexpr int kLookupBits = 9;
    // Nothing for a table libjpeg refuses: more than 256 codes, a code that does not fit its length, or a
    // DC symbol above 15.
    static std::optional<HuffmanDecoder> make(const HuffmanTable& table, bool dc);

private:
    friend class BitReader;
    std::array<std::uint16_t, 1 << kLookupBits> m_lookup{}; // length << 8 | symbol; 0 for longer codes
    std::array<std::int32_t, 18> m_maxCode{};               // largest code of each length, -1 for none
    std::array<std::int32_t, 17> m_offset{};                // code + offset = index of its symbol
    std::vector<std::uint8_t> m_symbols;
};

// Bits of one entropy-coded segment. Past its end (a marker, or the end of the file) it reads zeros, as
// libjpeg does, but remembers that it did: a decode that needed them is one libjpeg only warned about.
class BitReader {
public:
    explicit BitReader(ByteSource& source) : m_source(source) {}

    std::uint32_t take(int count) { // count 1..16
        if (m_count < count) {
            fill();
        }
        m_count -= count; // past the data when below m_padding: fill() and overrun() notice
        return std::uint32_t(m_bits >> m_count) & ((1u << count) - 1);
    }
    // The symbol of the next code, or -1 for a code longer than 16 bits.
    int decode(const HuffmanDecoder& table) {
        if (m_count < 16) {
            fill();
        }
        const auto head = std::uint32_t(m_bits >> (m_count - HuffmanDecoder::kLookupBits)) &
                          ((1u << HuffmanDecoder::kLookupBits) - 1);
        if (const std::uint16_t entry = table.m_lookup[head]; entry != 0) {
            take(entry >> 8);
            return entry & 0xFF;
        }
        return decodeLong(table);
    }
    // A value of `size` bits after its category, with the sign JPEG gives it.
    int extended(int size) {
        if (size == 0) {
            return 0;
        }
        const auto bits = int(take(size));
        return bits < (1 << (size - 1)) ? bits - (1 << size) + 1 : bits;
    }
    bool overrun() const { return m_overrun || m_count < m_padding; }
    // Ends the segment: the marker that follows it (restart markers too), or -1 at the end of the file.
    int finish();

private:
    void fill();
    int decodeLong(const HuffmanDecoder& table);

    ByteSource& m_source;
    std::uint64_t m_bits = 0;
    int m_count = 0;   // bits held, the lowest m_padding of them the zeros read past the end
    int m_padding = 0; // bits of zeros put in past the end
    int m_marker = 0;  // the marker that ended the data: 0 for none yet, -1 for the end of the file
    bool m_overrun = false;
};

// Code lengths for the given symbol frequencies, at most 16 bits and never all ones (JPEG Annex K.2).
HuffmanTable optimalTable(const std::array<std::uint32_t, 256>& frequencies);

// Entropy-coded bytes with 0xFF stuffed, gathered and handed over a piece at a time.
class BitWriter {
public:
    void put(std::uint32_t bits, int count) { // count 0..32
        m_bits = (m_bits << count) | bits;
        m_count += count;
        if (m_count >= 32) {
            drain();
        }
    }
    // Appends the whole bytes written so far; at the end, with the last one padded with ones.
    void takeBytes(QByteArray& out, bool end);

private:
    void drain();

    std::vector<char> m_bytes;
    std::uint64_t m_bits = 0;
    int m_count = 0; // bits not yet in m_bytes, fewer than 32 between calls
};

// The codes of a table, by symbol.
struct HuffmanCodes {
    explicit HuffmanCodes(const HuffmanTable& table);
    std::array<std::uint16_t, 256> code{};
    std::array<std::uint8_t, 256> length{};
};

// The category of a coefficient value: the number of bits of its magnitude.
inline int category(int value) {
    return int(std::bit_width(unsigned(value < 0 ? -value : value)));
}

} // namespace pictures::jpeg
