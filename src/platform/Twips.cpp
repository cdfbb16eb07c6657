// Twips to pixels for the grids and trees of every window.
#include "platform/Twips.h"

#include <cmath>

namespace Twips {

int TwipsToPixels(int twips, double logicalDpi) {
    return static_cast<int>(std::lround(twips * logicalDpi / 1440.0));
}

} // namespace Twips
