// Fuzz target for the transmission windows' reading of an upload reply: the
// declaration refusal (markup stripped) and the Simples Nacional markers. Any
// bytes give a text, never a crash, and a refusal only for a reply holding
// "ERRO".
#include "transmission/DeclarationReply.h"
#include "transmission/SimplesReply.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = QString::fromLatin1(bytes);
    static_cast<void>(DeclarationReply::stripMarkup(text));
    const QString refusal = DeclarationReply::refusal(text);
    if (!refusal.isEmpty() && !text.contains(QLatin1String("ERRO")))
        __builtin_trap();
    static_cast<void>(SimplesReply::messages(bytes));
    return 0;
}
