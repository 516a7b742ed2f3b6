// Reading an ISO base media file's boxes (HEIF and AVIF are such files) as far as the decoder needs them
// beside libheif: which properties the primary item has.
#include "heifboxes.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

namespace decoder {

std::uint64_t bigEndian(Bytes file, std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        v = v << 8 | file[at + std::size_t(i)];
    }
    return v;
}

namespace {
struct Range {
    std::size_t begin = 0, end = 0;
};

struct Box {
    std::string_view type;
    Range content;
};

// The boxes within the range, each handed to visit (which returns false to stop), as long as they are whole:
// a box that reaches past the range ends the walk.
template <typename Visit> void forEachBox(Bytes file, Range within, Visit visit) {
    for (std::size_t at = within.begin; at + 8 <= within.end;) {
        std::uint64_t size = bigEndian(file, at, 4);
        std::size_t header = 8;
        if (size == 1 && at + 16 <= within.end) { // a 64-bit size after the type
            size = bigEndian(file, at + 8, 8);
            header = 16;
        } else if (size == 0) { // to the end
            size = within.end - at;
        }
        if (size < header || size > within.end - at) {
            return;
        }
        const Box box{{reinterpret_cast<const char*>(file.data() + at + 4), 4},
                      {at + header, at + std::size_t(size)}};
        if (!visit(box)) {
            return;
        }
        at += std::size_t(size);
    }
}

// The content of the first box of that type among the boxes within the range.
std::optional<Range> childBox(Bytes file, Range within, std::string_view type) {
    std::optional<Range> found;
    forEachBox(file, within, [&](const Box& box) {
        if (box.type == type) {
            found = box.content;
        }
        return !found;
    });
    return found;
}

// The primary item's number, from the pitm box (a full box: 16 bits in version 0, 32 after).
std::optional<std::uint32_t> primaryItem(Bytes file, Range meta) {
    const std::optional<Range> pitm = childBox(file, meta, "pitm");
    if (!pitm || pitm->end - pitm->begin < 4) {
        return std::nullopt;
    }
    const int bytes = file[pitm->begin] == 0 ? 2 : 4;
    if (pitm->end - pitm->begin < std::size_t(4 + bytes)) {
        return std::nullopt;
    }
    return std::uint32_t(bigEndian(file, pitm->begin + 4, bytes));
}

// The types of the properties in the ipco box, in their order (the associations count them from 1).
std::vector<std::string_view> propertyTypes(Bytes file, Range ipco) {
    std::vector<std::string_view> types;
    forEachBox(file, ipco, [&](const Box& box) {
        types.push_back(box.type);
        return true;
    });
    return types;
}

// Whether an ipma box gives the item one of those property types. It is a full box: a count of entries, each
// an item number (16 bits in version 0, 32 after), a count of associations and those, 8 bits each (or 16
// with flag 1), an essential bit then the property's index.
bool ipmaGives(Bytes file, Range ipma, std::uint32_t item, const std::vector<std::string_view>& types,
               std::initializer_list<std::string_view> wanted) {
    if (ipma.end - ipma.begin < 8) {
        return false;
    }
    const int itemBytes = file[ipma.begin] != 0 ? 4 : 2;
    const bool wideIndices = (file[ipma.begin + 3] & 1) != 0;
    const int indexBytes = wideIndices ? 2 : 1;
    const std::uint64_t entries = bigEndian(file, ipma.begin + 4, 4);
    std::size_t at = ipma.begin + 8;
    for (std::uint64_t e = 0; e < entries && at + std::size_t(itemBytes) + 1 <= ipma.end; ++e) {
        const auto id = std::uint32_t(bigEndian(file, at, itemBytes));
        const std::size_t count = file[at + std::size_t(itemBytes)];
        at += std::size_t(itemBytes) + 1;
        if (at + count * std::size_t(indexBytes) > ipma.end) {
            return false;
        }
        for (std::size_t a = 0; a < count && id == item; ++a) {
            const std::uint64_t index =
                bigEndian(file, at + a * std::size_t(indexBytes), indexBytes) & (wideIndices ? 0x7FFF : 0x7F);
            if (index >= 1 && index <= types.size() &&
                std::find(wanted.begin(), wanted.end(), types[index - 1]) != wanted.end()) {
                return true;
            }
        }
        at += count * std::size_t(indexBytes);
    }
    return false;
}

} // namespace

bool primaryItemTurns(Bytes file) {
    const std::optional<Range> meta = childBox(file, {0, file.size()}, "meta");
    if (!meta || meta->end - meta->begin < 4) {
        return false;
    }
    const Range children{meta->begin + 4, meta->end}; // a full box
    const std::optional<std::uint32_t> primary = primaryItem(file, children);
    const std::optional<Range> iprp = childBox(file, children, "iprp");
    const std::optional<Range> ipco = iprp ? childBox(file, *iprp, "ipco") : std::nullopt;
    if (!primary || !ipco) {
        return false;
    }
    // The associations may be split over several ipma boxes.
    const std::vector<std::string_view> types = propertyTypes(file, *ipco);
    bool turns = false;
    forEachBox(file, *iprp, [&](const Box& box) {
        turns = box.type == "ipma" && ipmaGives(file, box.content, *primary, types, {"irot", "imir"});
        return !turns;
    });
    return turns;
}

} // namespace decoder
