// What is painted from the current picture: the preview and the tile faces, both from one square region
// at the picture's top-left, and the numbers printed over the tiles.
#pragma once

#include "engine/game.h"
#include "platform/picture.h"

#include <QString>
#include <span>

namespace platform {
class PictureBox;
}

namespace pictures {

using Boxes = std::span<platform::PictureBox* const>;

inline constexpr int kPreviewSide = engine::kBoardSpan; // twips: the square is stretched over the board

// The side of the source square: half the picture's longer side in HiMetric, taken as a length in twips.
// Converted back to the picture's extent that is 127/144 of the longer side, and it reaches past the
// shorter side's far edge; the destination is cleared first so that part stays blank.
double sourceSide(const platform::Picture& picture);
// The side of one of the N x N pieces: (S / N) · 0.5, in that order.
double pieceSide(const platform::Picture& picture, int n);

// The long side in pixels a raster picture needs at this device-pixel ratio: its source square (127/144 of
// the long side) then covers the preview's device pixels one to one, and each tile face needs less.
int neededLongSide(double devicePixelRatio);

// The preview: clear the box and stretch the source square over 6015 x 6015 twips.
void paintPreview(platform::PictureBox& box, const platform::Picture& picture);
// The pieces: box k gets the piece of tile k's home cell, stretched to the tile pitch from its corner.
void paintPieces(Boxes boxes, const platform::Picture& picture, const engine::Layout& layout);
// The numbers over painted pieces: white bold at (40, 40), then black regular at (50, 50), 12 points.
void overlayNumbers(Boxes boxes);
// The numbers alone, when no picture is held: printed at (50, 50) as the box stands, without clearing.
void numberBoxes(Boxes boxes);
// A number as printed: the digits after one blank, the place of a sign.
QString numberText(int boxIndex);

} // namespace pictures
