// The main window's rules that need no window: the browser address rule, the
// caption of a transmission window and the transmit command's
// choice of window. Principal calls these; tests call them directly.
#pragma once

#include <QString>

class LocalDb;

namespace PrincipalLogic {

// The address OpenBrowser hands to the desktop: "http://" is put in front
// unless the text already begins with "http" (any letter case).
QString BrowserUrl(const QString& url);

// The caption a transmission window gets when opened by the transmit command:
// " - Ano trabalho: " + anoTrabalho appended, unless the caption already
// contains anoTrabalho (an empty anoTrabalho counts as contained), so pressing
// the command again never appends it twice.
QString CaptionWithYear(const QString& caption, const QString& anoTrabalho);

// Which window the transmit command opens, and the accountant's document.
struct TransmitPlan {
    enum class Target {
        NoAccountant, // tblContador is empty: the accountant window instead
        Declaration,  // frmUpload (OptanteSimples false)
        Simples,      // frmUploadSimples (OptanteSimples true or NULL)
    };
    Target target = Target::NoAccountant;
    QString contCpfCnpj; // cont_cpf_cnpj of the first accountant row, as stored
};

// Reads the accountant and, only when there is one, the taxpayer with this
// IE. Throws DbError when the database fails, and RuntimeError when the
// taxpayer in use is not in tblContribuinte.
TransmitPlan PlanTransmission(LocalDb& db, const QString& ie);

} // namespace PrincipalLogic
