// Fuzz target for the document checks. The first two bytes are the state
// code, the rest the typed registration (UTF-8). Besides running every check
// on any text, it aborts when a property that holds for every input breaks.
#include "validation/CNPJValida.h"
#include "validation/CPFValida.h"
#include "validation/IEValida.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Only "0".."9" count for a CPF, so dropping everything else must not matter.
QString asciiDigitsOnly(const QString& text) {
    QString digits;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits.append(c);
    }
    return digits;
}

bool isAscii(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() > 0x7f)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const qsizetype codeLength = size < 2 ? static_cast<qsizetype>(size) : 2;
    const QString uf = QString::fromLatin1(bytes, codeLength);
    const QString ie =
        QString::fromUtf8(bytes + codeLength, static_cast<qsizetype>(size) - codeLength);

    IEValida::ValidaIE(ie, uf);
    // Codes are upper case; a lower-cased code names no rule, so it passes.
    if (!IEValida::ValidaIE(ie, uf.toLower()))
        std::abort();

    const bool cnpj = CNPJValida::ValidaCNPJ(ie);
    if (isAscii(ie) && CNPJValida::ValidaCNPJ(ie.toUpper()) != cnpj)
        std::abort();

    if (CPFValida::ValidaCPF(ie) != CPFValida::ValidaCPF(asciiDigitsOnly(ie)))
        std::abort();
    return 0;
}
