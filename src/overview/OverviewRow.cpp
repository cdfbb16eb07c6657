// Reading a taxpayer's list answer into its overview row.
#include "overview/OverviewRow.h"

#include "history/TransmissionList.h"
#include "history/VersionAnswer.h"
#include "net/SoapEnvelope.h"

#include <QRegularExpression>

#include <algorithm>
#include <set>

namespace Overview {

QStringList headers() {
    QStringList out(kColumns);
    out[ColIE] = QStringLiteral("IE");
    out[ColRazaoSocial] = QStringLiteral("Razão social");
    out[ColSituacao] = QStringLiteral("Situação");
    out[ColChave] = QStringLiteral("Chave");
    out[ColSimples] = QStringLiteral("Simples");
    out[ColUltimaReferencia] = QStringLiteral("Última referência");
    out[ColStatus] = QStringLiteral("Status");
    out[ColProtocolo] = QStringLiteral("Protocolo");
    out[ColPendentes] = QStringLiteral("Pendentes");
    out[ColMesesSemEnvio] = QStringLiteral("Meses sem transmissão");
    out[ColCertificado] = QStringLiteral("Certificado (dias)");
    return out;
}

Row initialRow(const ContribuinteRow& taxpayer, std::optional<int> certificateDaysLeft) {
    Row row;
    row.cells = QStringList(kColumns, QString());
    row.hasKey = !taxpayer.Chave.trimmed().isEmpty();
    row.cells[ColIE] = taxpayer.IE;
    row.cells[ColRazaoSocial] = taxpayer.RazaoSocial;
    row.cells[ColChave] = row.hasKey ? QStringLiteral("Sim") : QStringLiteral("Não");
    if (taxpayer.OptanteSimples)
        row.cells[ColSimples] =
            *taxpayer.OptanteSimples ? QStringLiteral("Sim") : QStringLiteral("Não");
    if (certificateDaysLeft)
        row.cells[ColCertificado] = QString::number(*certificateDaysLeft);
    row.cells[ColSituacao] = row.hasKey ? kWaiting : kNoKey;
    return row;
}

QList<int> referenceMonths(const QString& referencia) {
    static const QRegularExpression kMonth(QStringLiteral("(\\d{1,2})\\s*/\\s*(\\d{4})"));
    QList<int> months;
    for (auto it = kMonth.globalMatch(referencia); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const int month = m.captured(1).toInt();
        if (month >= 1 && month <= 12)
            months.append(m.captured(2).toInt() * 12 + month - 1);
    }
    return months;
}

namespace {

// The last four-digit year named in the working years ("2025/2026" -> 2026).
int workingYear(const QString& anoTrabalho) {
    static const QRegularExpression kYear(QStringLiteral("\\d{4}"));
    int year = 0;
    for (auto it = kYear.globalMatch(anoTrabalho); it.hasNext();)
        year = std::max(year, it.next().captured(0).toInt());
    return year;
}

} // namespace

Row withAnswer(Row row, const QString& wholeAnswer) {
    row.wholeAnswer = wholeAnswer;
    const QString returnText = Soap::GetResult(wholeAnswer, QStringLiteral("return"));
    const History::ListAnswer list = History::readTransmissionList(returnText);
    if (list.kind == History::ListAnswerKind::InvalidKey) {
        row.cells[ColSituacao] = kInvalidKey;
        return row;
    }
    if (list.kind == History::ListAnswerKind::AccessDenied) {
        row.cells[ColSituacao] = kDenied;
        return row;
    }
    if (list.kind == History::ListAnswerKind::NotXml) {
        row.cells[ColSituacao] = QStringLiteral("Falha: resposta do servidor ilegível");
        return row;
    }

    int latest = -1;
    int pending = 0;
    std::set<int> covered;
    for (const QStringList& t : list.rows) {
        const QString& referencia = t[History::ColReferencia];
        if (referencia.trimmed() == History::kPendingReference) {
            ++pending;
            continue;
        }
        const QList<int> months = referenceMonths(referencia);
        covered.insert(months.begin(), months.end());
        const int last = months.isEmpty() ? -1 : *std::max_element(months.begin(), months.end());
        if (last >= latest) {
            latest = last;
            row.cells[ColUltimaReferencia] = referencia;
            row.cells[ColStatus] = t[History::ColStatus];
            row.cells[ColProtocolo] = t[History::ColProtocolo];
        }
    }
    row.listed = true;
    row.processedMonths = QList<int>(covered.begin(), covered.end());
    row.pending = pending;
    if (pending > 0)
        row.cells[ColPendentes] =
            pending == 1 ? History::kPendingReference
                         : QStringLiteral("%1 (%2)").arg(History::kPendingReference).arg(pending);

    try {
        const History::VersionFields fields = History::readVersionFields(returnText);
        row.anoTrabalho = fields.anoTrabalho;
        const int year = workingYear(fields.anoTrabalho);
        const QDate today = fields.dataServidor.date();
        const int current = today.year() * 12 + today.month() - 1;
        QStringList missing;
        for (int month = 1; year > 0 && month <= 12; ++month) {
            const int key = year * 12 + month - 1;
            if (key < current && covered.count(key) == 0)
                missing << QStringLiteral("%1").arg(month, 2, 10, QLatin1Char('0'));
        }
        if (!missing.isEmpty())
            row.cells[ColMesesSemEnvio] =
                missing.join(QStringLiteral(", ")) + QStringLiteral(" (%1)").arg(year);
    } catch (const std::exception&) {
        // Without the server's date the due months are unknown: left empty.
    }
    row.cells[ColSituacao] = kDone;
    return row;
}

Row withFailure(Row row, const QString& reason) {
    row.cells[ColSituacao] = QStringLiteral("Falha: ") + reason;
    return row;
}

} // namespace Overview
