// Loading the server's list and receipt texts as XML documents.
#include "history/HistoryXml.h"

#include "net/SafeXml.h"

#include <QDomDocument>

namespace History {

bool parseXml(const QString& text, QDomDocument& doc, QString* reason) {
    QString why;
    const SafeXml::Verdict verdict = SafeXml::check(text);
    if (verdict == SafeXml::Verdict::DocumentType) {
        why = QStringLiteral("O documento contém uma declaração de tipo (DOCTYPE), "
                             "que não é aceita.");
    } else if (verdict == SafeXml::Verdict::TooDeep) {
        why = QStringLiteral("O documento tem elementos aninhados em mais de %1 níveis, "
                             "o que não é aceito.")
                  .arg(SafeXml::kMaxDepth);
    } else {
        int line = 0;
        int column = 0;
        if (doc.setContent(text, false, &why, &line, &column) && !doc.documentElement().isNull())
            return true;
        if (why.isEmpty())
            why = QStringLiteral("O documento XML está vazio.");
    }
    doc.clear();
    if (reason)
        *reason = why;
    return false;
}

QString localName(const QString& qualifiedName) {
    const qsizetype colon = qualifiedName.indexOf(QLatin1Char(':'));
    return colon < 0 ? qualifiedName : qualifiedName.mid(colon + 1);
}

} // namespace History
