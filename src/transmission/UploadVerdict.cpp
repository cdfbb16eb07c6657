// Reading the server's verdict on an upload.
#include "transmission/UploadVerdict.h"

#include "archive/SentArchive.h"
#include "transmission/DeclarationReply.h"
#include "transmission/SimplesReply.h"

namespace UploadVerdict {

QString Verdict::result() const {
    return refused ? SentArchive::kRefused : SentArchive::kAccepted;
}

Verdict declaration(const QString& replyText) {
    Verdict verdict;
    const QString refusal = DeclarationReply::refusal(replyText);
    if (refusal.isEmpty())
        return verdict;
    verdict.refused = true;
    verdict.boxes << Message{refusal, QStringLiteral("ERROR"), MsgIcon::Critical, MsgButtons::Ok};
    return verdict;
}

Verdict simples(const QByteArray& reply, const QString& replyText) {
    const QStringList markers = SimplesReply::messages(reply);
    if (markers.isEmpty())
        return declaration(replyText);
    Verdict verdict;
    verdict.refused = true;
    for (const QString& message : markers)
        verdict.boxes << Message{message, QString(), MsgIcon::None, MsgButtons::Ok};
    return verdict;
}

} // namespace UploadVerdict
