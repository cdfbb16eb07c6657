// What the accountant window decides without any widget: the person type
// from the document mask, the mask for a stored document, the confirmation's
// field checks in their fixed order with their messages, the parameters of
// the registration call "Transferencia.contador" and the row to store.
//
// Field texts are taken as the window reads them: masked fields with their
// literals and "_" for every untyped position, never reduced to digits.
#pragma once

#include "net/SoapEnvelope.h"
#include "store/ContadorRepository.h"

#include <QList>
#include <QString>
#include <functional>

namespace AccountantForm {

// Document masks as the masked field shows them ("#" is one digit position;
// the company mask also admits capital letters in its first twelve positions).
inline const QString kCnpjMask = QStringLiteral("##.###.###/####-##");
inline const QString kCpfMask = QStringLiteral("###.###.###-##");
inline const QString kTelefoneMask = QStringLiteral("####-####");
inline const QString kCepMask = QStringLiteral("#####-###");

// The accepted state codes, each followed by ",": the state check searches
// this text for the typed code plus ",".
inline const QString kEstados = QStringLiteral(
    "AC,AL,AM,AP,BA,CE,DF,ES,GO,MA,MG,MS,MT,PA,PB,PE,PI,PR,RJ,RN,RO,RR,RS,SC,SE,SP,TO,");

// Messages written into the window's `erroMsg` label.
inline const QString kMsgCpf = QStringLiteral("Documento CPF Informado incorretamente");
inline const QString kMsgCnpj = QStringLiteral("Documento CNPJ Informado incorretamente");
inline const QString kMsgEmail = QStringLiteral("Favor digitar um e-mail");
inline const QString kMsgSemCrc = QStringLiteral(
    "Você optou por não prosseguir sem o CRC, favor digitar e clicar em OK novamente");
inline const QString kMsgRazaoSocial = QStringLiteral("Favor digitar a Razão Social corretamente");
inline const QString kMsgEndereco = QStringLiteral("Favor digitar o Endereço corretamente");
inline const QString kMsgNumero = QStringLiteral("Favor digitar o Número corretamente");
inline const QString kMsgCep = QStringLiteral("Favor digitar o CEP corretamente");
inline const QString kMsgBairro = QStringLiteral("Favor digitar o Bairro corretamente");
inline const QString kMsgCidade = QStringLiteral("Favor digitar a Cidade corretamente");
inline const QString kMsgUf =
    QStringLiteral("Favor digitar o UF corretamente.  Ex: SP, RJ, PR, MG (em maiúsculo)");

// The question asked when the CRC is blank (a Yes/No box).
inline const QString kAskSemCrc = QStringLiteral("Deseja prosseguir sem o CRC?");

enum class PersonType { Fisica, Juridica };

// The window's fields: the twelve texts in `tblContador` column order, as read
// (plain, apostrophes not doubled), and whether the document field carries
// the natural-person (CPF) mask.
struct Fields {
    ContadorRow values;
    bool cpfMask = false;
};

// The person type is never stored: the CPF mask means a natural person, any
// other mask a company.
PersonType personType(bool cpfMask);

// Mask for a document read from `tblContador`: exactly 14 characters is a
// formatted CPF ("123.456.789-09"); any other length gets the company mask.
bool cpfMaskForStored(const QString& storedDocument);

// `text` with every "'" replaced by "''".
QString doubleQuotes(const QString& text);

// The document check run when the document field loses the focus: the check
// digits alone (ValidaCPF with the CPF mask, else ValidaCNPJ). Returns the
// message for `erroMsg`, or the empty text when the digits are right.
QString documentFocusMessage(const QString& document, bool cpfMask);

// Answers the question kAskSemCrc: true for Yes (go on with an empty CRC).
using AskProceedWithoutCrc = std::function<bool()>;

// Outcome of the confirmation's checks.
struct CheckOutcome {
    // Message for `erroMsg` of the first check that failed; empty when every
    // check passed (a valid document empties `erroMsg`).
    QString erroMsg;
    // The row to store when every check passed: the plain texts, with the CRC
    // emptied when the user chose to go on without it.
    ContadorRow row;

    bool passed() const { return erroMsg.isEmpty(); }
};

// Runs the checks in their fixed order (document, e-mail, CRC, Razão Social,
// Endereço, Número, CEP, Bairro, Cidade, Estado) on the field texts with
// apostrophes doubled, stopping at the first failure. `askProceed` is called
// only when the CRC is blank after trimming, and only after the document and
// e-mail checks passed. Never throws unless `askProceed` does.
CheckOutcome runChecks(const Fields& fields, const AskProceedWithoutCrc& askProceed);

// The SOAP operation that registers the accountant with the server.
inline const QString kOperation = QStringLiteral("Transferencia.contador");

// The twelve parameters of "Transferencia.contador" in their order, each value
// the field's text with "'" doubled (the envelope builder escapes & < > itself).
QList<Soap::SoapParam> registrationParams(const ContadorRow& plain);

} // namespace AccountantForm
