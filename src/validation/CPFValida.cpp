// CPF check digits; see CPFValida.h.
#include "validation/CPFValida.h"

#include "validation/CheckDigit.h"
#include "validation/DigitString.h"

namespace CPFValida {

bool ValidaCPF(const QString& cpf) {
    const DigitString digits = DigitString::digitsOf(cpf);
    return CheckDigit::standardMatches(digits, {10, 9, 8, 7, 6, 5, 4, 3, 2}) &&
           CheckDigit::standardMatches(digits, {11, 10, 9, 8, 7, 6, 5, 4, 3, 2});
}

} // namespace CPFValida
