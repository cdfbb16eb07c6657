// Writes each message box into the support log before showing it.
#include "platform/LoggedPrompter.h"

#include "base/SupportLog.h"

namespace {

QString iconWord(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Critical:
        return QStringLiteral("erro");
    case MsgIcon::Warning:
        return QStringLiteral("aviso");
    case MsgIcon::Information:
        return QStringLiteral("informação");
    case MsgIcon::None:
        break;
    }
    return QStringLiteral("mensagem");
}

} // namespace

MsgAnswer LoggedPrompter::show(const Message& message) {
    SupportLog::write(
        QStringLiteral("mensagem"),
        QStringLiteral("[%1%2] %3%4")
            .arg(iconWord(message.icon),
                 message.buttons == MsgButtons::YesNo ? QStringLiteral(", sim/não") : QString(),
                 message.title.isEmpty() ? QString() : message.title + QStringLiteral(": "),
                 message.text));
    return m_inner.show(message);
}
