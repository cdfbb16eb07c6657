// Reading the transmission list and the status rule of a click.
#include "history/TransmissionList.h"

#include "base/RuntimeError.h"
#include "history/HistoryXml.h"
#include "history/VersionAnswer.h"

#include <QDomDocument>
#include <QDomElement>

namespace {

int columnOf(const QString& elementName) {
    static const char* const kNames[History::kListColumns] = {"referencia", "data", "protocolo",
                                                              "status", "adicionado"};
    for (int c = 0; c < History::kListColumns; ++c)
        if (elementName == QLatin1String(kNames[c]))
            return c;
    return -1;
}

} // namespace

namespace History {

QList<Soap::SoapParam> listCallParams(const QString& ie, const QString& chave) {
    return {{QStringLiteral("strNome"), ie},
            {QStringLiteral("strDiretorioDestino"), kDestination},
            {QStringLiteral("Chave"), chave}};
}

bool isInvalidKeyAnswer(const QString& text) {
    return text.trimmed().toUpper() == QLatin1String("CHAVE_INVALIDA");
}

ListAnswer readTransmissionList(const QString& xmlConteudo) {
    ListAnswer answer;
    if (isInvalidKeyAnswer(xmlConteudo)) {
        answer.kind = ListAnswerKind::InvalidKey;
        return answer;
    }
    if (keyRejected(xmlConteudo)) {
        answer.kind = ListAnswerKind::AccessDenied;
        return answer;
    }
    QDomDocument doc;
    if (!parseXml(xmlConteudo, doc, &answer.reason)) {
        answer.kind = ListAnswerKind::NotXml;
        return answer;
    }
    answer.kind = ListAnswerKind::Transmissions;
    const QDomElement root = doc.documentElement();
    if (root.tagName() != QLatin1String("listaTransferencias"))
        return answer;
    for (QDomElement t = root.firstChildElement(QStringLiteral("transferencia")); !t.isNull();
         t = t.nextSiblingElement(QStringLiteral("transferencia"))) {
        QStringList row(kListColumns);
        QString message;
        for (QDomElement child = t.firstChildElement(); !child.isNull();
             child = child.nextSiblingElement()) {
            if (child.tagName() == QLatin1String("mensagem"))
                message = child.text().trimmed();
            const int column = columnOf(child.tagName());
            if (column < 0)
                continue;
            row[column] = child.text();
            if (column == ColReferencia && row[column] == kPendingReference)
                answer.pending = true;
        }
        answer.rows << row;
        answer.messages << message;
    }
    return answer;
}

DetailAction detailActionForStatus(const QString& status) {
    if (status == QLatin1String("3"))
        return DetailAction::FetchReceipt;
    bool ok = false;
    const qlonglong number = status.trimmed().toLongLong(&ok);
    if (!ok)
        throw RuntimeError(13, QStringLiteral("Principal.RecebeDadosProtocolo"),
                           QStringLiteral("Status ilegível: \"") + status + QLatin1Char('"'));
    return number == 1 ? DetailAction::HideOkAndTree : DetailAction::HideAll;
}

} // namespace History
