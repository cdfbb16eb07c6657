// The archive's rules around one sending.
#include "archive/ArchivedSending.h"

#include <QFileInfo>

#include <utility>

namespace SentArchive {

std::optional<ArchivedSending> ArchivedSending::prepare(const QString& ie, const QString& kind,
                                                        const QString& references,
                                                        const QString& path,
                                                        const std::optional<Digest>& known) {
    const std::optional<Digest> digest =
        known && stillCurrent(*known, path) ? known : digestFile(path);
    if (!digest)
        return std::nullopt;
    ArchivedSending sending = of(ie, kind, references, path, digest->sha256);
    sending.m_record.size = digest->size;
    sending.m_digest = *digest;
    return sending;
}

ArchivedSending ArchivedSending::of(const QString& ie, const QString& kind,
                                    const QString& references, const QString& path,
                                    const QString& sha256) {
    ArchivedSending sending;
    sending.m_path = path;
    sending.m_record.ie = ie;
    sending.m_record.kind = kind;
    sending.m_record.references = references;
    sending.m_record.fileName = QFileInfo(path).fileName();
    sending.m_record.sha256 = sha256;
    return sending;
}

ArchivedSending ArchivedSending::resumed(const QString& ie, const QString& kind,
                                         const QString& references, const QString& path,
                                         const QString& sha256) {
    ArchivedSending sending = of(ie, kind, references, path, sha256);
    sending.m_record.wholeRequestSent = true;
    sending.m_requestStarted = true;
    const std::optional<Digest> now = digestFile(path);
    sending.m_keepCopy = now && now->sha256 == sha256;
    if (sending.m_keepCopy) {
        sending.m_record.size = now->size;
        sending.m_digest = *now;
    }
    return sending;
}

void ArchivedSending::stageCopy(const QDateTime& now) {
    if (m_requestStarted && m_record.wholeRequestSent && !m_staged)
        m_staged =
            SentArchive::stageCopy(m_record.ie, m_record.fileName, m_path, m_record.sha256, now);
}

QString ArchivedSending::finish(const QString& result, const QString& reply,
                                const QDateTime& endedAt) {
    if (!m_requestStarted)
        return {};
    Record record = m_record;
    record.sentAt = endedAt;
    record.result = result;
    record.reply = reply;
    // A staged copy is used by one record only.
    const std::shared_ptr<StagedCopy> staged = std::exchange(m_staged, nullptr);
    return store(record, m_path, staged.get(), m_keepCopy);
}

} // namespace SentArchive
