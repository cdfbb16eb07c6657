// Lenient Base64 decoder: three bytes per group of four characters, padding
// counted from "=" anywhere in the text.
#include "net/Enc64.h"

#include "base/RuntimeError.h"

#include <array>
#include <cstdint>

namespace {

// Value of each single-byte code; everything outside the alphabet is 0.
constexpr std::array<std::uint8_t, 256> makeTable() {
    std::array<std::uint8_t, 256> t{};
    for (int i = 0; i < 26; ++i) {
        t[static_cast<std::size_t>('A' + i)] = static_cast<std::uint8_t>(i);
        t[static_cast<std::size_t>('a' + i)] = static_cast<std::uint8_t>(26 + i);
    }
    for (int i = 0; i < 10; ++i)
        t[static_cast<std::size_t>('0' + i)] = static_cast<std::uint8_t>(52 + i);
    t[static_cast<std::size_t>('+')] = 62;
    t[static_cast<std::size_t>('/')] = 63;
    return t;
}

constexpr std::array<std::uint8_t, 256> kTable = makeTable();

// Characters above U+00FF have no single-byte code; they count as outside the
// alphabet, like any other unknown character.
std::uint32_t valueOf(QChar ch) {
    const char16_t u = ch.unicode();
    return u > 0xFF ? 0u : kTable[u];
}

} // namespace

namespace Enc64 {

QByteArray MyDecode(const QString& text) {
    QString s = text;
    s.remove(QLatin1Char('\r'));
    s.remove(QLatin1Char('\n'));

    if (s.size() % 4 != 0)
        throw RuntimeError(static_cast<qint32>(0x80040000u), QStringLiteral("MyDecode"),
                           QStringLiteral("Input string is not valid Base64."));

    int padding = 0;
    if (s.contains(QLatin1String("==")))
        padding = 2;
    else if (s.contains(QLatin1Char('=')))
        padding = 1;

    QByteArray out;
    out.reserve(s.size() / 4 * 3);
    for (qsizetype i = 0; i < s.size(); i += 4) {
        const std::uint32_t v = (valueOf(s[i]) << 18) | (valueOf(s[i + 1]) << 12) |
                                (valueOf(s[i + 2]) << 6) | valueOf(s[i + 3]);
        out.append(static_cast<char>((v >> 16) & 0xFF));
        out.append(static_cast<char>((v >> 8) & 0xFF));
        out.append(static_cast<char>(v & 0xFF));
    }
    // Text with "=" is at least one group long, so at most 2 of 3+ bytes go.
    out.chop(padding);
    return out;
}

} // namespace Enc64
