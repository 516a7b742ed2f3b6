// Boards as text, for the tests of the rules and of the windows alike: rows separated by " / ", "_" for the
// empty cell, as in "0 1 2 / 3 4 5 / 6 7 _".
#pragma once

#include "engine/board.h"

#include <string>

namespace engine {

std::string boardToText(const Board& board);
// The board a text describes. Anything that is not a board (ragged rows, a size outside 2..10, a tile
// missing, doubled or out of range, no empty cell or two) throws std::invalid_argument naming the fault.
Board boardFromText(const std::string& text, int tileSize = 0);

} // namespace engine
