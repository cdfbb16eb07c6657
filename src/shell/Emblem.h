// The program's emblem (a shield with the municipality's initial), drawn in
// code so the program ships no artwork of others; used by the opening window
// and as the windows' icon.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace Emblem {

// The emblem at side x side device-independent pixels, for the given device
// pixel ratio (sharp on high-dpi screens).
QPixmap pixmap(int side, qreal devicePixelRatio = 1.0);

// The emblem at the usual icon sizes.
QIcon icon();

} // namespace Emblem
