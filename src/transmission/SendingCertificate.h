// The accountant's certificate as both transmission windows judge it before a
// file goes out: it must carry the accountant's document and be valid on the
// server's date.
#pragma once

#include "certificates/Certificate.h"

#include <QDateTime>
#include <QString>

namespace SendingCertificate {

// Texts of the selection the user is shown.
inline const QString kDialogTitle = QStringLiteral("Selecione o certificado do contador");
inline const QString kDialogText = QStringLiteral("Escolha o certificado digital do contador");

// Refusal text (critical icon; the title is the window's own).
inline const QString kInvalid =
    QStringLiteral("O Certificado escolhido é inválido. Verifique a validade e se o mesmo confere "
                   "com os dados informados no cadastro do contador.");

// The date the validity is judged on: the server's date of the last version
// call, or `now` when no version call has succeeded yet.
QDateTime judgingDate(const QDateTime& dataServidor, const QDateTime& now);

// Accepted when the accountant's document (punctuation removed; empty matches
// every certificate) occurs in the DER bytes, letter case ignored, and `date`
// lies within the validity window, both ends included.
bool accepted(const Certificate& certificate, const QString& accountantDocument,
              const QDateTime& date);

} // namespace SendingCertificate
