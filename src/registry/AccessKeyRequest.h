// The access-key request: one SOAP call "Transferencia.ecnpj" that asks the
// municipal server for a taxpayer's key, and the reading of its fixed-position
// answer (server date, Simples Nacional flag, key).
#pragma once

#include <QDateTime>
#include <QString>

class SoapClient;

struct AccessKeyAnswer {
    // False when the answer mentions "NAO_AUTORIZADO": the other fields are
    // then empty.
    bool authorised = false;
    QDateTime serverDate; // the server's clock, as local time
    bool simples = false; // position 51 holds exactly "S"
    QString key;          // positions 61-68; shorter (even empty) for a short record
};

namespace AccessKey {

// The fixed text sent as parameter "key" with every request.
inline const QString kRequestKey = QStringLiteral("!KTRVWXNBQ!");
inline const QString kOperation = QStringLiteral("Transferencia.ecnpj");

// Reads a whole answer body. "NAO_AUTORIZADO" anywhere, letter case ignored,
// means not authorised. Otherwise the "return" text is read by position:
// 21-39 the date ("yyyy-MM-dd HH:mm:ss" or "dd/MM/yyyy HH:mm:ss", read the
// same under every locale), 51 the Simples flag, 61-68 the key.
// Throws RuntimeError (source "Transferencia.ecnpj") when the answer has no
// "return" text or its date cannot be read.
AccessKeyAnswer readAnswer(const QString& body);

} // namespace AccessKey

// Sends "Transferencia.ecnpj" with ie, cnpj (both as given, punctuation kept)
// and the fixed key to Soap::ServicePath, and reads the answer.
// Throws NetworkError when no answer came, RuntimeError when the answer is
// unreadable (see AccessKey::readAnswer).
AccessKeyAnswer requestAccessKey(SoapClient& soap, const QString& ie, const QString& cnpj);
