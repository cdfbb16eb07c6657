// Check digits of a state registration number (IE, "Inscrição Estadual") under
// the rule of one of the 27 Brazilian state codes.
//
// Only "0".."9" of the typed text count, and positions beyond the end count as
// 0, so no rule tests the number of digits (beyond the choices that PE, RN and
// RO make by length) and an empty text passes wherever zeros do. Two texts of
// the typed form still matter: São Paulo's rural numbers start with a capital
// "P", and Rondônia reads its six digits at a place set by the typed length.
#pragma once

#include <QString>

namespace IEValida {

// True when the check digit(s) of ie match under the rule of uf. uf is compared
// exactly and case-sensitively with the upper-case codes ("sp" is no code);
// when it names no rule, and for "AP" numbers whose digits do not start with
// "03", no rule runs and the result is true. Never throws.
bool ValidaIE(const QString& ie, const QString& uf);

} // namespace IEValida
