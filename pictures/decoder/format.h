// What the game and its decoder helper agree on: how a metafile is recognised and measured from its
// header, the request the game sends, and the layout of the decoded picture the helper writes back.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace metafile {

enum class Kind { None, Wmf, Emf };

struct Extent {
    double width = 0; // HiMetric (0.01 mm)
    double height = 0;
};

// The helper refuses anything larger; the game reads no more than this to hand over.
inline constexpr std::size_t kMaxFileBytes = 64u * 1024 * 1024;
// Rendered pictures are at most this many pixels on their long side...
inline constexpr int kMaxSide = 4096;
// ...and at least this many, so a small drawing still fills the preview sharply.
inline constexpr int kMinLongSide = 1024;
// An extent beyond this (a 100 m drawing) is nonsense from a damaged header.
inline constexpr double kMaxExtent = 10'000'000.0;

inline constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7u;
inline constexpr std::uint32_t kEmfSignature = 0x464D4520u; // " EMF"

inline std::uint16_t le16(std::span<const unsigned char> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
inline std::uint32_t le32(std::span<const unsigned char> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
inline std::int16_t les16(std::span<const unsigned char> b, std::size_t at) {
    return static_cast<std::int16_t>(le16(b, at));
}
inline std::int32_t les32(std::span<const unsigned char> b, std::size_t at) {
    return static_cast<std::int32_t>(le32(b, at));
}

// A standard WMF header: type 1 (memory) or 2 (disk), header size 9 words, version 0x0100 or 0x0300.
inline bool isStandardWmfHeader(std::span<const unsigned char> b, std::size_t at) {
    if (b.size() < at + 18) {
        return false;
    }
    const std::uint16_t type = le16(b, at), words = le16(b, at + 2), version = le16(b, at + 4);
    return (type == 1 || type == 2) && words == 9 && (version == 0x0100 || version == 0x0300);
}

inline bool isPlaceableWmf(std::span<const unsigned char> b) {
    return b.size() >= 22 && le32(b, 0) == kPlaceableKey;
}

inline Kind kindOf(std::span<const unsigned char> b) {
    if (isPlaceableWmf(b) ? isStandardWmfHeader(b, 22) : isStandardWmfHeader(b, 0)) {
        return Kind::Wmf;
    }
    // EMR_HEADER: record type 1 first, its signature at byte 40.
    if (b.size() >= 88 && le32(b, 0) == 1 && le32(b, 40) == kEmfSignature) {
        return Kind::Emf;
    }
    return Kind::None;
}

// Whether the header's largest record fits in the file: libwmf allocates that much before reading any.
inline bool wmfRecordsFit(std::span<const unsigned char> b) {
    const std::size_t at = isPlaceableWmf(b) ? 22 : 0;
    return isStandardWmfHeader(b, at) && std::uint64_t(le32(b, at + 12)) * 2 <= b.size();
}

// Whether EMR_HEADER lies within the file and its description within the header; the converter
// reads the description wherever the header points.
inline bool emfHeaderFits(std::span<const unsigned char> b) {
    if (kindOf(b) != Kind::Emf) {
        return false;
    }
    const std::uint64_t size = le32(b, 4), chars = le32(b, 64), offset = le32(b, 68);
    return size >= 88 && size <= b.size() && size % 4 == 0 &&
           (chars == 0 || (offset >= 88 && offset + 2 * chars <= size));
}

inline bool plausible(Extent e) {
    return std::isfinite(e.width) && std::isfinite(e.height) && e.width > 0 && e.height > 0 &&
           e.width <= kMaxExtent && e.height <= kMaxExtent;
}

// The placeable header's bounding box in its own units per inch: (Right - Left) * 2540 / Inch.
inline std::optional<Extent> placeableExtent(std::span<const unsigned char> b) {
    if (!isPlaceableWmf(b)) {
        return std::nullopt;
    }
    const int left = les16(b, 6), top = les16(b, 8), right = les16(b, 10), bottom = les16(b, 12);
    const int inch = le16(b, 14);
    if (inch == 0) {
        return std::nullopt;
    }
    const Extent e{std::abs(right - left) * 2540.0 / inch, std::abs(bottom - top) * 2540.0 / inch};
    return plausible(e) ? std::optional(e) : std::nullopt;
}

// EMR_HEADER.rclFrame, bytes 24 to 39, already in 0.01 mm.
inline std::optional<Extent> emfFrameExtent(std::span<const unsigned char> b) {
    if (kindOf(b) != Kind::Emf) {
        return std::nullopt;
    }
    const double left = les32(b, 24), top = les32(b, 28), right = les32(b, 32), bottom = les32(b, 36);
    const Extent e{std::abs(right - left), std::abs(bottom - top)};
    return plausible(e) ? std::optional(e) : std::nullopt;
}

// The pixel size a picture of this extent is rendered at: 96 dpi, within the side bounds above.
struct PixelSize {
    int width = 0, height = 0;
};
inline PixelSize renderSize(Extent e) {
    const double w = e.width * 96.0 / 2540.0, h = e.height * 96.0 / 2540.0;
    const double longSide = w > h ? w : h;
    double scale = 1.0;
    if (longSide > kMaxSide) {
        scale = kMaxSide / longSide;
    } else if (longSide < kMinLongSide) {
        scale = kMinLongSide / longSide;
    }
    auto side = [&](double v) { return std::clamp(static_cast<int>(std::lround(v * scale)), 1, kMaxSide); };
    return {side(w), side(h)};
}

// The memory for the answer's pixels (kMaxSide * kMaxSide * 4 bytes) is the helper's descriptor 3 from its
// start, so that a helper started ahead of a choice has it ready; a prepared helper maps this much of it
// before the request comes.
inline constexpr int kAnswerDescriptor = 3;
inline constexpr std::size_t kPreparedAnswerBytes = 16u * 1024 * 1024;

// Writes a zero into each page of fresh memory, so that its first use by a picture costs no trap.
inline void touchPages(void* memory, std::size_t length) {
    auto* bytes = static_cast<volatile unsigned char*>(memory);
    for (std::size_t at = 0; at < length; at += 4096) {
        bytes[at] = 0;
    }
}

// What the game sends the helper: this header, with one descriptor: the picture file, open for reading.
struct Request {
    char magic[4] = {'Z', 'R', 'Q', '1'};
    std::uint32_t longSide = 0; // the most pixels the answer may have on its long side
};
static_assert(sizeof(Request) == 8);

// The layers of confinement the helper had in force while it decoded, as it reports them.
enum Layer : std::uint32_t {
    kLandlockFiles = 1u << 0,   // file system access beneath what decoding reads, nothing writable
    kLandlockNetwork = 1u << 1, // no TCP
    kLandlockScope = 1u << 2,   // no abstract sockets, no signals outside
    kSyscallFilter = 1u << 3,   // the seccomp filter
};

// What the helper answers on success: this header on its channel, and width * height pixels of 32-bit ARGB
// (not premultiplied, so that no bit pattern is invalid) in the machine's byte order, row after row, in the
// memory the game handed it with the request. An opaque picture's alpha bytes mean nothing.
struct OutputHeader {
    char magic[4] = {'Z', 'M', 'F', '1'};
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t layers = 0; // Layer flags
    std::uint16_t opaque = 0; // 1: every pixel is opaque
    double extentWidth = 0;
    double extentHeight = 0;
};
static_assert(sizeof(OutputHeader) == 32);

inline std::size_t pixelBytes(const OutputHeader& h) {
    return std::size_t(h.width) * h.height * 4;
}

// A well-formed header of an answer, from exactly its bytes.
inline std::optional<OutputHeader> parseHeader(std::span<const unsigned char> bytes) {
    OutputHeader h;
    if (bytes.size() != sizeof h) {
        return std::nullopt;
    }
    std::memcpy(&h, bytes.data(), sizeof h);
    const bool sane = std::memcmp(h.magic, "ZMF1", 4) == 0 && h.width >= 1 && h.height >= 1 &&
                      h.width <= kMaxSide && h.height <= kMaxSide &&
                      plausible({h.extentWidth, h.extentHeight});
    return sane ? std::optional(h) : std::nullopt;
}

// The header of a complete, well-formed answer given as one stream (the header, then its pixels), or
// nothing for anything else.
inline std::optional<OutputHeader> parseOutput(std::span<const unsigned char> out) {
    if (out.size() < sizeof(OutputHeader)) {
        return std::nullopt;
    }
    const std::optional<OutputHeader> h = parseHeader(out.first(sizeof(OutputHeader)));
    if (!h || out.size() != sizeof(OutputHeader) + pixelBytes(*h)) {
        return std::nullopt;
    }
    return h;
}

} // namespace metafile
