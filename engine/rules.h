// The formulas that turn random draws, clicks and elapsed time into the game's numbers.
#pragma once

#include "board.h"

#include <cstdint>
#include <string>

namespace engine {

// How many successful moves a shuffle makes: nearest(r·N·N·5 + 100), so 100 .. 100 + 5·N².
int shuffleCount(double r, int n);
// The direction drawn for a shuffle attempt: nearest(r·3 + 1). Halves go to even, so the cut points
// are 1/6 (1|2), 1/2 (2 stays 2) and 5/6 (3|4): codes 2 and 3 come twice as often as 1 and 4.
int shuffleDirection(double r);

// The step of a player's slide: the tile pitch over the slide steps, to the nearest twip.
int playerStep(int tileSize);

// The code that moves the clicked tile, or kNone. Neighbours are tried left, right, above, below.
int clickToDirection(const Board& board, int tileIndex);

// "mm:ss" of an elapsed time, as the clock shows it: minutes wrap at the hour.
std::string clockText(std::int64_t elapsedSeconds);

} // namespace engine
