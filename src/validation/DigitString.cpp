// Digit string of a typed number; see DigitString.h.
#include "validation/DigitString.h"

namespace {

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

DigitString DigitString::digitsOf(const QString& text) {
    QString kept;
    kept.reserve(text.size());
    for (const QChar c : text) {
        if (isDigit(c))
            kept.append(c);
    }
    return DigitString(std::move(kept));
}

DigitString DigitString::alphanumericOf(const QString& text) {
    QString kept;
    kept.reserve(text.size());
    for (const QChar c : text) {
        // Only the 26 ASCII letters count; QChar::toUpper would also map
        // characters such as "ı" or "ſ" onto them.
        if (isDigit(c) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')))
            kept.append(c);
        else if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            kept.append(QChar(c.unicode() - u'a' + u'A'));
    }
    return DigitString(std::move(kept));
}

int DigitString::at(int k) const {
    if (k < 1 || k > chars_.size())
        return 0;
    return chars_.at(k - 1).unicode() - u'0';
}

int DigitString::weightedSum(std::initializer_list<int> weights, int firstPosition) const {
    int sum = 0;
    int position = firstPosition;
    for (const int weight : weights)
        sum += at(position++) * weight;
    return sum;
}

qint64 DigitString::leadingNumber(int count) const {
    qint64 value = 0;
    for (int k = 1; k <= count; ++k)
        value = value * 10 + at(k);
    return value;
}

DigitString DigitString::slice(qsizetype start, int count) const {
    if (start > chars_.size())
        return DigitString(QString());
    return DigitString(chars_.mid(start - 1, count));
}
