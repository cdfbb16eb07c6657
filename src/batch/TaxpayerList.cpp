// One taxpayer's transmission list as a batch reads it.
#include "batch/TaxpayerList.h"

#include "history/VersionAnswer.h"
#include "net/SoapEnvelope.h"
#include "overview/OverviewRow.h"

#include <algorithm>

namespace TaxpayerList {

namespace {

// Months (year * 12 + month - 1) sorted, without repeats; a list's text is
// read by the overview's referenceMonths.
QList<int> sortedMonths(QList<int> months) {
    std::sort(months.begin(), months.end());
    months.erase(std::unique(months.begin(), months.end()), months.end());
    return months;
}

QList<int> monthsOfReferences(const QString& references) {
    QList<int> months;
    for (const QString& id : references.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = id.split(QLatin1Char('_'));
        if (parts.size() == 2)
            months.append(parts[1].toInt() * 12 + parts[0].toInt() - 1);
    }
    return sortedMonths(months);
}

} // namespace

Facts read(const QString& wholeAnswer) {
    Facts facts;
    const QString returnText = Soap::GetResult(wholeAnswer, QStringLiteral("return"));
    History::ListAnswer list = History::readTransmissionList(returnText);
    facts.kind = list.kind;
    if (list.kind != History::ListAnswerKind::Transmissions)
        return facts;
    facts.rows = std::move(list.rows);
    try {
        const History::VersionFields fields = History::readVersionFields(returnText);
        facts.anoTrabalho = fields.anoTrabalho;
        facts.dataServidor = fields.dataServidor;
    } catch (const std::exception&) {
        // No date at its place: the working years are unknown too.
    }
    return facts;
}

QString problemText(const Facts& facts) {
    switch (facts.kind) {
    case History::ListAnswerKind::InvalidKey:
        return History::kInvalidKeyText;
    case History::ListAnswerKind::AccessDenied:
        return History::kAccessDeniedText;
    case History::ListAnswerKind::NotXml:
        return QStringLiteral("Resposta do servidor ilegível");
    case History::ListAnswerKind::Transmissions:
        break;
    }
    return {};
}

Found find(const Facts& facts, const QString& references, const QDateTime& sentAt) {
    const QList<int> wanted = monthsOfReferences(references);
    const QDateTime from = sentAt.isValid() ? sentAt.addSecs(-kClockSlackSeconds) : QDateTime();
    const auto recent = [&](const QStringList& row) {
        if (!from.isValid())
            return true;
        const std::optional<QDateTime> when =
            History::parseServerDateTime(row.value(History::ColData).trimmed());
        return when && *when >= from;
    };
    Found found;
    for (const QStringList& row : facts.rows) {
        const QString referencia = row.value(History::ColReferencia).trimmed();
        if (referencia == History::kPendingReference) {
            if (recent(row))
                found.kind = Found::Kind::Pending;
            continue;
        }
        const bool same =
            (wanted.isEmpty() || sortedMonths(Overview::referenceMonths(referencia)) == wanted) &&
            recent(row);
        if (same && !row.value(History::ColProtocolo).trimmed().isEmpty()) {
            // The newest comes first in the list: the first match is it.
            found.kind = Found::Kind::Processed;
            found.protocol = row.value(History::ColProtocolo).trimmed();
            return found;
        }
    }
    return found;
}

QString monthsText(const QString& references) {
    QStringList out;
    for (const QString& id : references.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = id.split(QLatin1Char('_'));
        if (parts.size() == 2)
            out << QStringLiteral("%1/%2")
                       .arg(parts[0].toInt(), 2, 10, QLatin1Char('0'))
                       .arg(parts[1]);
    }
    return out.join(QStringLiteral(", "));
}

} // namespace TaxpayerList
