// The local archive of a taxpayer as one list, newest first.
#include "archive/ArchiveListing.h"

#include "archive/SentArchive.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace SentArchive {

namespace {

QString kindText(const QString& kind) {
    if (kind == kDeclaration)
        return QStringLiteral("Declaração");
    if (kind == kSimples)
        return QStringLiteral("Extrato do Simples");
    return kind;
}

} // namespace

QString readableReferences(const QString& sent) {
    static const QRegularExpression kReference(QStringLiteral("^\\s*(\\d{1,2})_(\\d{4})\\s*$"));
    QStringList out;
    for (const QString& part : sent.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = kReference.match(part);
        out << (m.hasMatch() ? QStringLiteral("%1/%2")
                                   .arg(m.captured(1).toInt(), 2, 10, QLatin1Char('0'))
                                   .arg(m.captured(2))
                             : part.trimmed());
    }
    return out.join(QStringLiteral(", "));
}

QList<ListingEntry> listing(const QString& ie) {
    QList<ListingEntry> out;
    for (const Record& r : list(ie))
        out.append({r.sentAt, kindText(r.kind), readableReferences(r.references), r.fileName,
                    r.size, r.result, r.sha256, r.archivedFile, QString()});
    for (const ReceiptFile& r : receipts(ie))
        out.append({r.savedAt, QStringLiteral("Recibo"), QString(),
                    QStringLiteral("Protocolo ") + r.protocolo, std::nullopt, QString(), QString(),
                    r.pdfFile.isEmpty() ? r.xmlFile : r.pdfFile, r.xmlFile});
    // Both parts come newest first; a stable sort keeps their own orders.
    std::stable_sort(out.begin(), out.end(),
                     [](const ListingEntry& a, const ListingEntry& b) { return a.when > b.when; });
    return out;
}

} // namespace SentArchive
