// The grid sizes a game is played at. The size list and its menu, the ranking window's size list and the
// ranking file's sections are all made from this one table, smallest first.
#pragma once

#include <array>
#include <string>

namespace engine {

inline constexpr int kSmallestGrid = 3;
inline constexpr int kLargestGrid = 10;
inline constexpr int kGridSizeCount = kLargestGrid - kSmallestGrid + 1;
inline constexpr int kDefaultGrid = 5; // selected when the program starts

// Every listed size in order: kGridSizes[i] is the size of list entry i.
inline constexpr std::array<int, kGridSizeCount> kGridSizes = [] {
    std::array<int, kGridSizeCount> sizes{};
    for (int i = 0; i < kGridSizeCount; ++i) {
        sizes[static_cast<std::size_t>(i)] = kSmallestGrid + i;
    }
    return sizes;
}();

// N for a size entry; no entry selected (-1, text typed into the size box) gives N = 2.
constexpr int gridForEntry(int entryIndex) {
    return entryIndex + kSmallestGrid;
}
constexpr int entryForGrid(int n) {
    return n - kSmallestGrid;
}
constexpr bool isListedGrid(int n) {
    return n >= kSmallestGrid && n <= kLargestGrid;
}

// "3×3" .. "10×10" in UTF-8, with U+00D7 between the two numbers.
std::string sizeText(int n);
// The access key of a size in the size menu: its last digit, so that 10×10 takes "0".
char sizeAccessKey(int n);

} // namespace engine
