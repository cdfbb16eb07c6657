// Translation of field masks into Qt input masks.
#include "platform/MaskInput.h"

namespace MaskInput {

namespace {

// Qt's meaning for each placeholder of the field notation; 0 when the
// character is not a placeholder.
char16_t qtPlaceholder(QChar c) {
    switch (c.unicode()) {
    case u'#':
        return u'9';
    case u'9':
        return u'0';
    case u'?':
        return u'A';
    case u'A':
        return u'N';
    case u'a':
        return u'n';
    case u'&':
        return u'X';
    case u'C':
        return u'x';
    default:
        return 0;
    }
}

bool isQtMeta(QChar c) {
    return QStringLiteral("AaNnXx90Dd#HhBb<>!\\[]{}").contains(c);
}

} // namespace

QString toQtInputMask(const QString& mask) {
    if (mask.isEmpty())
        return {};
    QString qt;
    for (qsizetype i = 0; i < mask.size(); ++i) {
        const QChar c = mask.at(i);
        if (c == u'\\' && i + 1 < mask.size()) {
            const QChar literal = mask.at(++i);
            if (isQtMeta(literal))
                qt += QLatin1Char('\\');
            qt += literal;
        } else if (c == u'>' || c == u'<') {
            qt += c;
        } else if (const char16_t placeholder = qtPlaceholder(c)) {
            qt += QChar(placeholder);
        } else {
            if (isQtMeta(c))
                qt += QLatin1Char('\\');
            qt += c;
        }
    }
    return qt + QLatin1Char(';') + QChar(kBlank);
}

QList<bool> inputPositions(const QString& mask) {
    QList<bool> positions;
    for (qsizetype i = 0; i < mask.size(); ++i) {
        const QChar c = mask.at(i);
        if (c == u'\\' && i + 1 < mask.size()) {
            ++i;
            positions.append(false);
        } else if (c != u'>' && c != u'<') {
            positions.append(qtPlaceholder(c) != 0);
        }
    }
    return positions;
}

QString emptyReading(const QString& mask) {
    QString reading;
    for (qsizetype i = 0; i < mask.size(); ++i) {
        const QChar c = mask.at(i);
        if (c == u'\\' && i + 1 < mask.size())
            reading += mask.at(++i);
        else if (c != u'>' && c != u'<')
            reading += qtPlaceholder(c) != 0 ? QChar(kBlank) : c;
    }
    return reading;
}

} // namespace MaskInput
