// The archive's rules around one sending.
#include "archive/ArchivedSending.h"

#include <QFileInfo>

namespace SentArchive {

std::optional<ArchivedSending> ArchivedSending::prepare(const QString& ie, const QString& kind,
                                                        const QString& references,
                                                        const QString& path) {
    const std::optional<Digest> digest = digestFile(path);
    if (!digest)
        return std::nullopt;
    ArchivedSending sending;
    sending.m_path = path;
    sending.m_record.ie = ie;
    sending.m_record.kind = kind;
    sending.m_record.references = references;
    sending.m_record.fileName = QFileInfo(path).fileName();
    sending.m_record.sha256 = digest->sha256;
    sending.m_record.size = digest->size;
    return sending;
}

QString ArchivedSending::duplicateQuestion() const {
    const std::optional<Record> earlier =
        findEarlierSending(m_record.ie, m_record.references, m_record.sha256);
    return earlier ? SentArchive::duplicateQuestion(*earlier) : QString();
}

QString ArchivedSending::finish(const QString& result, const QString& reply,
                                const QDateTime& endedAt) {
    if (!m_requestStarted)
        return {};
    Record record = m_record;
    record.sentAt = endedAt;
    record.result = result;
    record.reply = reply;
    return store(record, m_path);
}

QString duplicateQuestion(const Record& earlier) {
    const QString when = earlier.sentAt.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
    if (earlier.result == kAccepted)
        return QStringLiteral("Este arquivo já foi transmitido em %1. Transmitir novamente?")
            .arg(when);
    return QStringLiteral("Este arquivo foi enviado em %1 mas o servidor não respondeu; verifique "
                          "a lista antes de enviar de novo. Transmitir novamente?")
        .arg(when);
}

} // namespace SentArchive
