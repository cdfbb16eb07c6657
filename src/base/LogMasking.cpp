// Masking of secrets before they reach the support log.
#include "base/LogMasking.h"

#include <QRegularExpression>

namespace LogMasking {

Kind kindOf(const QString& name) {
    const QString n = name.trimmed().toLower();
    for (const char* key : {"chave", "key", "token"})
        if (n.endsWith(QLatin1String(key)))
            return Kind::Key;
    for (const char* secret : {"senha", "password", "passwd", "pwd", "pin"})
        if (n.endsWith(QLatin1String(secret)))
            return Kind::Secret;
    for (const char* personal :
         {"contador", "cpf", "cnpj", "crc", "razao_nome", "endereco", "complemento", "bairro",
          "cidade", "estado", "cep", "telefone", "email"})
        if (n.endsWith(QLatin1String(personal)))
            return Kind::Personal;
    return Kind::Plain;
}

QString maskKey(const QString& key) {
    if (key.size() <= 2)
        return QString(key.size(), QLatin1Char('*'));
    return QString(key.size() - 2, QLatin1Char('*')) + key.right(2);
}

QString field(const QString& name, const QString& value) {
    switch (kindOf(name)) {
    case Kind::Key:
        return maskKey(value);
    case Kind::Secret:
        return QStringLiteral("(omitida)");
    case Kind::Personal:
        return QStringLiteral("(%1 caracteres)").arg(value.size());
    case Kind::Plain:
        break;
    }
    return value;
}

QString text(const QString& text) {
    // A name is the run of letters, digits and "_" just before "=" or ":"
    // (blanks allowed around it); the value may stand in quotation marks or
    // apostrophes. The address's user and password are left to userInfo.
    static const QRegularExpression pair(
        QStringLiteral("([A-Za-z0-9_]+)[ \\t]*[=:](?!//)[ \\t]*[\"']?([^&\\s\\[\\](),;\"']*)"));
    static const QRegularExpression userInfo(QStringLiteral("(://[^/\\s:@]*):[^/\\s@]*@"));
    QString out;
    qsizetype from = 0;
    // A Plain pair gives up its value to the search, so that in "Falha:
    // senha=abc" the password is still found.
    for (qsizetype at = 0;;) {
        const QRegularExpressionMatch m = pair.match(text, at);
        if (!m.hasMatch())
            break;
        at = m.capturedStart(2);
        // An empty value has nothing to hide, and is how a value masked
        // already ("(omitida)") reads: masking twice changes nothing.
        if (kindOf(m.captured(1)) == Kind::Plain || m.captured(2).isEmpty())
            continue;
        out += text.mid(from, at - from) + field(m.captured(1), m.captured(2));
        from = at = m.capturedEnd(2);
    }
    out += text.mid(from);
    out.replace(userInfo, QStringLiteral("\\1:(omitida)@"));
    return out;
}

} // namespace LogMasking
