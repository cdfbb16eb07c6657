// The accountant's certificate chosen and checked for sending.
#include "transmission/SendingCertificateChoice.h"

#include "base/RuntimeError.h"
#include "certificates/CertificateMessages.h"
#include "certificates/CertificatePicker.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "shell/AppContext.h"
#include "shell/ErrorReport.h"
#include "shell/ProgramState.h"
#include "store/ContadorRepository.h"
#include "transmission/SendingCertificate.h"

namespace SendingCertificateChoice {

Choice choose(AppContext& context, const QString& refusalTitle, const QString& where) {
    std::optional<Certificate> chosen;
    try {
        if (!context.certificates)
            throw RuntimeError(-1, where, QStringLiteral("Sem repositório de certificados"));
        chosen = context.certificates->pick(SendingCertificate::kDialogTitle,
                                            SendingCertificate::kDialogText);
    } catch (const RuntimeError&) {
        context.prompter->show(
            {CertificateMessages::componentFailure(), QString(), MsgIcon::None, MsgButtons::Ok});
        return {Outcome::StoreFailed, {}};
    }
    if (!chosen)
        return {Outcome::Cancelled, {}};

    Choice out;
    // The accountant on file now, in case it was changed since the window opened.
    try {
        out.accountantDocument = DadosContador();
    } catch (const RuntimeError& error) {
        context.prompter->show(ErrorReport::ErrorMessage(error));
        return {Outcome::AccountantUnreadable, {}};
    }
    const QDateTime serverDate = context.state ? context.state->DataServidor() : QDateTime();
    if (!SendingCertificate::accepted(
            *chosen, out.accountantDocument,
            SendingCertificate::judgingDate(serverDate, context.clock->now()))) {
        context.prompter->show(
            {SendingCertificate::kInvalid, refusalTitle, MsgIcon::Critical, MsgButtons::Ok});
        out.outcome = Outcome::Refused;
        return out;
    }
    if (chosen->hasCrlDistributionPoints) {
        const QString cdp = VerificarCDP(*chosen);
        if (!cdp.isEmpty())
            context.prompter->show({cdp, QString(), MsgIcon::None, MsgButtons::Ok});
    }
    out.outcome = Outcome::Accepted;
    return out;
}

} // namespace SendingCertificateChoice
