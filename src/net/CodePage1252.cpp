// Windows-1252 by its table.
#include "net/CodePage1252.h"

#include <QList>

#include <array>

namespace {

// The characters of the bytes 0x80 to 0x9F; the rest of the code page is
// Latin-1.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

namespace CodePage1252 {

std::optional<char> byteOf(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (std::size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == c)
            return char(0x80 + i);
    return std::nullopt;
}

QString firstOutside(const QString& text) {
    for (const char32_t c : text.toUcs4())
        if (!byteOf(c))
            return QString::fromUcs4(&c, 1);
    return {};
}

QByteArray encode(const QString& text) {
    QByteArray out;
    for (const char32_t c : text.toUcs4())
        out += byteOf(c).value_or('?');
    return out;
}

QString decode(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (const char b : bytes) {
        const auto byte = static_cast<unsigned char>(b);
        out += byte >= 0x80 && byte < 0xA0 ? QChar(kHigh[byte - 0x80]) : QChar(byte);
    }
    return out;
}

} // namespace CodePage1252
