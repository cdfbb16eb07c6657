// The archive's rules around one sending, for whoever sends (a transmission
// window, a batch row): before it, the digest of the file; while it runs,
// how far the request got; after it, the record of what the server made of
// it. Whether the same bytes were already delivered is asked of the memory
// every desk shares (sendings/SendingRule.h), not of this desk's files. No
// message is shown here: the sender shows the failure texts.
#pragma once

#include "archive/SentArchive.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>

namespace SentArchive {

class ArchivedSending {
public:
    // A sending of the file at `path` for taxpayer `ie`; kind is kDeclaration
    // or kSimples, references as sent ("1_2014,2_2014", empty for an
    // extract). The file is digested now, unless `known` (a digest of it
    // made earlier, by the checks) is stillCurrent: nullopt when it cannot be
    // read (the upload will say why; nothing is asked or recorded then).
    static std::optional<ArchivedSending>
    prepare(const QString& ie, const QString& kind, const QString& references, const QString& path,
            const std::optional<Digest>& known = std::nullopt);

    // A sending made earlier whose end was never recorded (the program
    // stopped while it was under way), of the bytes with `sha256`, now known
    // to be held by the server: finish() records it, with its copy only
    // while the file at `path` still has those bytes. Reads the file whole.
    static ArchivedSending resumed(const QString& ie, const QString& kind,
                                   const QString& references, const QString& path,
                                   const QString& sha256);

    // The request began to go out (the connection was made): from now on the
    // end of the sending is recorded.
    void requestStarted() { m_requestStarted = true; }
    // Whether it did: a sending that never started leaves no trace.
    bool started() const { return m_requestStarted; }
    // The last byte of the request has left the client.
    void wholeRequestSent() { m_record.wholeRequestSent = true; }
    // While the reply is awaited, after wholeRequestSent: writes the copy
    // finish() keeps if the server may hold the file (see
    // SentArchive::stageCopy), `now` being about when the sending ends; the
    // reply then waits less for the archive. Dropped by a refusal. When it
    // cannot be written (the file changed since its digest, say), finish()
    // copies the file as it would without it and says why.
    void stageCopy(const QDateTime& now);

    // Records the end of the sending at `endedAt`: result is kAccepted,
    // kRefused or kNoReply, reply the server's text or why none came. A
    // sending whose request never started leaves nothing. Returns the empty
    // text, or why the archive could not keep it (see SentArchive::store).
    QString finish(const QString& result, const QString& reply, const QDateTime& endedAt);

    const Record& record() const { return m_record; }
    // The digest the record holds, with the file's times when it was read.
    const Digest& digest() const { return m_digest; }
    // The file sent, as given to prepare().
    const QString& path() const { return m_path; }

private:
    ArchivedSending() = default;
    // The sending of these bytes, its size and digest not yet known.
    static ArchivedSending of(const QString& ie, const QString& kind, const QString& references,
                              const QString& path, const QString& sha256);

    Record m_record;
    Digest m_digest;
    QString m_path;
    // Shared by the copies of this sending; the last one gone drops it.
    std::shared_ptr<StagedCopy> m_staged;
    bool m_requestStarted = false;
    bool m_keepCopy = true;
};

} // namespace SentArchive
