// Masks written in the notation of the masked fields the office has always
// used ("#" a digit, "##.###.###/####-##"), translated into Qt input masks.
// Pure functions: no widget involved, so the translation is tested alone.
#pragma once

#include <QList>
#include <QString>

namespace MaskInput {

// The character shown, and read, at every position not yet typed.
inline constexpr char16_t kBlank = u'_';

// Qt input mask for a mask in the field notation, with "_" as the blank:
//   "#" digit, "9" optional digit, "?" letter, "A" letter or digit,
//   "a" optional letter or digit, "&" any character, "C" optional character,
//   ">" following letters upper case, "<" lower case, "\" next one literal;
// anything else is a literal shown and read as it is. An empty mask gives
// an empty Qt mask (no mask). ";" cannot be a literal.
QString toQtInputMask(const QString& mask);

// For each position of the text the field reads, whether it is typed (true)
// or a literal (false). Case and escape marks occupy no position.
QList<bool> inputPositions(const QString& mask);

// What the field reads with nothing typed: literals, and "_" at every typed
// position ("#####-###" → "_____-___").
QString emptyReading(const QString& mask);

} // namespace MaskInput
