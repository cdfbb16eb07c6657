// CNPJ check digits; see CNPJValida.h for the rules on letters and length.
#include "validation/CNPJValida.h"

#include "validation/CheckDigit.h"
#include "validation/DigitString.h"

namespace CNPJValida {

bool ValidaCNPJ(const QString& cnpj) {
    const DigitString positions = DigitString::alphanumericOf(cnpj);
    return CheckDigit::standardMatches(positions, {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2}) &&
           CheckDigit::standardMatches(positions, {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2});
}

} // namespace CNPJValida
