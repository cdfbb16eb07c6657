// The texts the certificate step and the access-key request show, kept in one
// place so the taxpayer window, the company import and the transmission
// windows show them character for character. Line breaks are CR+LF.
#pragma once

#include "base/SiteInfo.h"

#include <QString>
#include <QtGlobal>

namespace CertificateMessages {

// Title of the certificate step's and the access-key request's boxes that
// carry one.
inline const QString kTitle = QStringLiteral("VAV-UVOD - RJ");

// Selection dialog of the taxpayer registration and the company import.
inline const QString kDialogTitle = QStringLiteral("Selecione o Certificado Digital (e-CNPJ)");
inline const QString kDialogText =
    QStringLiteral("Escolha o certificado e-CNPJ da empresa para receber a chave");

// The chosen certificate carries neither document (information icon, kTitle).
inline const QString kNoMatch =
    QStringLiteral("O Certificado não possui informações da empresa selecionada ou contador.");

// The certificate is not valid on the server's date (OK box without title).
inline const QString kExpired = QStringLiteral("Certificado expirado, contate seu fornecedor");

// The server has no record of the taxpayer (error icon, kTitle).
inline const QString kNotAuthorised =
    QStringLiteral("Atenção, não foi encontrado cadastro para as informações preenchidas.\r\n\r\n"
                   "Solicitamos entrar em contato por E-MAIL com o suporte, informando: CNPJ, IE "
                   "e CNAE do contribuinte.");

// Page of the municipal site about the certificate components.
inline QString componentHelpUrl() {
    return SiteInfo::url() + QStringLiteral("/certificado-digital");
}

// The certificate store or dialog cannot be used (OK box without title).
inline QString componentFailure() {
    return QStringLiteral(
               "O programa não pode inicializar os componentes necessários.\r\n"
               "Favor verificar com o suporte técnico da sua empresa se os componentes estão "
               "instalados, é provável que o erro tenha ocorrido ao tentar inicializar os "
               "componentes de certificado digital. Alguns programas de antivirus podem afetar "
               "estas funções. \r\n\r\n"
               "Maiores informações sobre os componentes de certificado digital em ") +
           componentHelpUrl();
}

// The distribution points could not be read (OK box without title); code in
// upper-case hexadecimal without leading zeros.
inline QString cdpFailure(quint32 code) {
    return QStringLiteral("Could not retrieve the URLs from the CDP extension: 0x") +
           QString::number(code, 16).toUpper();
}

// The access-key request got no usable answer (OK box without title); host is
// the settings' host alone, without port or path.
inline QString connectionFailure(const QString& host) {
    return QStringLiteral("Detectamos que há um problema de comunicação com a URL http://") + host +
           QStringLiteral(". \r\n\r\nVerifique sua conectividade de Internet. \r\n\r\n"
                          "Obs: Recomendamos solicitar assistência ao responsável pela "
                          "manutenção da rede");
}

} // namespace CertificateMessages
