// Sizes kept in twips (1/1440 inch), as the program's grids and trees have
// always been laid out, turned into pixels of the screen they appear on.
#pragma once

namespace Twips {

// Pixels for a width in twips on a screen of the given logical dots per inch:
// 15 twips per pixel at 96 dpi, rounded to the nearest pixel.
int TwipsToPixels(int twips, double logicalDpi);

} // namespace Twips
