// Reading an ISO base media file's boxes (HEIF and AVIF are such files) as far as the decoder needs them
// beside libheif: which properties the primary item has.
#include "heifboxes.h"

#include <algorithm>
#include <cstring>
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

// The content of the first box of that type among the boxes within the range, if they are whole.
std::optional<Range> childBox(Bytes file, Range within, const char* type) {
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
            return std::nullopt;
        }
        if (std::memcmp(file.data() + at + 4, type, 4) == 0) {
            return Range{at + header, at + std::size_t(size)};
        }
        at += std::size_t(size);
    }
    return std::nullopt;
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
    for (std::size_t at = ipco.begin; at + 8 <= ipco.end;) {
        const std::uint64_t size = bigEndian(file, at, 4);
        if (size < 8 || size > ipco.end - at) {
            break; // a 64-bit or broken size: libheif refuses such a file anyway
        }
        types.emplace_back(reinterpret_cast<const char*>(file.data() + at + 4), 4);
        at += std::size_t(size);
    }
    return types;
}

// Whether one of the iprp box's ipma boxes gives the item one of those property types. Each is a full box:
// a count of entries, each an item number (16 bits in version 0, 32 after), a count of associations and
// those, 8 bits each (or 16 with flag 1), an essential bit then the property's index.
bool itemHasProperty(Bytes file, Range iprp, std::uint32_t item, const std::vector<std::string_view>& types,
                     std::initializer_list<std::string_view> wanted) {
    for (std::size_t box = iprp.begin; box + 8 <= iprp.end;) {
        const std::uint64_t size = bigEndian(file, box, 4);
        if (size < 8 || size > iprp.end - box) {
            return false;
        }
        const Range content{box + 8, box + std::size_t(size)};
        box += std::size_t(size);
        if (std::memcmp(file.data() + content.begin - 4, "ipma", 4) != 0 || content.end - content.begin < 8) {
            continue;
        }
        const bool wideItems = file[content.begin] != 0;
        const bool wideIndices = (file[content.begin + 3] & 1) != 0;
        const std::uint64_t entries = bigEndian(file, content.begin + 4, 4);
        std::size_t at = content.begin + 8;
        for (std::uint64_t e = 0; e < entries; ++e) {
            const int itemBytes = wideItems ? 4 : 2;
            if (at + std::size_t(itemBytes) + 1 > content.end) {
                break;
            }
            const auto id = std::uint32_t(bigEndian(file, at, itemBytes));
            const std::size_t count = file[at + std::size_t(itemBytes)];
            at += std::size_t(itemBytes) + 1;
            const int indexBytes = wideIndices ? 2 : 1;
            if (at + count * std::size_t(indexBytes) > content.end) {
                break;
            }
            for (std::size_t a = 0; a < count && id == item; ++a) {
                const std::uint64_t index = bigEndian(file, at + a * std::size_t(indexBytes), indexBytes) &
                                            (wideIndices ? 0x7FFF : 0x7F);
                if (index >= 1 && index <= types.size() &&
                    std::find(wanted.begin(), wanted.end(), types[index - 1]) != wanted.end()) {
                    return true;
                }
            }
            at += count * std::size_t(indexBytes);
        }
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
    return primary && ipco &&
           itemHasProperty(file, *iprp, *primary, propertyTypes(file, *ipco), {"irot", "imir"});
}

} // namespace decoder
