// Rules of the main window that tests can run without a window.
#include "app/PrincipalLogic.h"

#include "base/RuntimeError.h"
#include "store/ContadorRepository.h"
#include "store/ContribuinteRepository.h"

namespace PrincipalLogic {

namespace {
// Run-time error number of a taxpayer in use missing from the local table
// (the "no current record" number the error report has always shown).
constexpr qint32 kTaxpayerNotFound = 3021;
} // namespace

QString BrowserUrl(const QString& url) {
    if (url.startsWith(QLatin1String("http"), Qt::CaseInsensitive))
        return url;
    return QStringLiteral("http://") + url;
}

QString CaptionWithYear(const QString& caption, const QString& anoTrabalho) {
    if (caption.contains(anoTrabalho))
        return caption;
    return caption + QStringLiteral(" - Ano trabalho: ") + anoTrabalho;
}

TransmitPlan PlanTransmission(LocalDb& db, const QString& ie) {
    const std::optional<ContadorRow> contador = selectContador(db);
    if (!contador)
        return {};
    const std::optional<ContribuinteRow> contribuinte = findContribuinte(db, ie);
    if (!contribuinte)
        throw RuntimeError(kTaxpayerNotFound, QStringLiteral("Principal.Command1_Click"),
                           QStringLiteral("O contribuinte de Inscrição Estadual ") + ie +
                               QStringLiteral(" não está cadastrado neste computador."));
    const bool declaration =
        contribuinte->OptanteSimples.has_value() && !*contribuinte->OptanteSimples;
    return {declaration ? TransmitPlan::Target::Declaration : TransmitPlan::Target::Simples,
            contador->cont_cpf_cnpj};
}

} // namespace PrincipalLogic
