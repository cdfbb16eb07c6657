// What the server's reply to an upload comes to, read the same way for both
// transmission windows: the boxes the user is shown and the result the
// archive records. A refusal marked "ERRO" (a wrong key, a missing field...)
// reads alike for a declaration and an extract; the Simples Nacional markers
// keep their own messages.
#pragma once

#include "platform/Prompter.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace UploadVerdict {

struct Verdict {
    bool refused = false;
    QList<Message> boxes; // in the order they are shown; empty for an acceptance
    // SentArchive::kAccepted or kRefused, as the archive records it.
    QString result() const;
};

// A declaration reply: refused when it holds "ERRO", shown as
// DeclarationReply::refusal reads it, titled "ERROR" with the critical icon.
Verdict declaration(const QString& replyText);

// An extract reply: the Simples markers' messages (SimplesReply::messages,
// untitled, no icon) when it holds any; else read as a declaration reply.
Verdict simples(const QByteArray& reply, const QString& replyText);

} // namespace UploadVerdict
