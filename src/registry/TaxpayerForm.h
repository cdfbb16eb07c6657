// What the new-taxpayer and taxpayer-update windows decide without a widget:
// the field masks, the field checks in their fixed order with their messages,
// the lost-focus results written into `erroMsg`, the document the certificate
// must carry and the row to store.
//
// Field texts are taken as the windows read them: masked fields with their
// literals and "_" for every untyped position, never reduced to digits.
#pragma once

#include "platform/Prompter.h"
#include "store/ContribuinteRepository.h"

#include <QString>
#include <optional>

namespace TaxpayerForm {

// Field masks ("#" one digit position). The CNPJ field uses MaskedEdit's
// alphanumeric CNPJ mask, which reads "##.###.###/####-##".
inline const QString kIeMask = QStringLiteral("########");
inline const QString kCnaeMask = QStringLiteral("####-#/##");

// Complete lengths, counted without the "_" placeholders.
inline constexpr int kCnpjLength = 18;
inline constexpr int kCnaeLength = 9;

// The state whose IE rule applies.
inline const QString kUf = QStringLiteral("RJ");

// Title of the boxes of both windows.
inline const QString kTitle = QStringLiteral("VAV-UVOD - RJ");

// Results of the lost-focus checks, written into `erroMsg`.
inline const QString kFocusCnpj = QStringLiteral("CNPJ Inválido");
inline const QString kFocusIeInvalida = QStringLiteral("Inscrição Estadual inválida.");
inline const QString kJaCadastrado = QStringLiteral("Contribuinte já cadastrado.");
inline const QString kNaoCadastrado = QStringLiteral("Contribuinte não cadastrado.");

// Messages of the confirmation and key checks (error boxes).
inline const QString kMsgIe = QStringLiteral("Inscrição Estadual inválida");
inline const QString kMsgRazaoSocial = QStringLiteral("Razão Social preenchida incorretamente");
inline const QString kMsgCnpjIncompleto = QStringLiteral("CNPJ preenchido incorretamente");
inline const QString kMsgCnpjInvalido = QStringLiteral("CNPJ preenchido é inválido");
inline const QString kMsgCnae = QStringLiteral("CNAE preenchido incorretamente");
inline const QString kMsgChave = QStringLiteral("Chave não informada");
inline const QString kMsgCorrija = QStringLiteral("Corrija os erros antes de prosseguir");
inline const QString kMsgCriado = QStringLiteral("O contribuinte foi criado!");
inline const QString kMsgAtualizado =
    QStringLiteral("O dados cadastrais do contribuinte foram atualizados");

// The fields of either window as read.
struct Fields {
    QString ie;          // txtIE, masked
    QString razaoSocial; // txtRazaoSocial
    QString cnpj;        // txtCNPJ, masked
    QString cnae;        // txtCNAE, masked
    QString ccm;         // txtInscMunicipal, free text
    QString chave;       // Chave
    bool optanteSimples = false;
};

// Characters left after removing every "_" placeholder.
int lengthWithoutPrompts(const QString& maskedText);

// `text` without ".", "/" and "-": the document the certificate search looks
// for (the 14 CNPJ positions of a complete field).
QString documentDigits(const QString& text);

// erroMsg after leaving the CNPJ field: kFocusCnpj when the check digits
// fail, else empty.
QString cnpjFocusMessage(const QString& cnpj);

// erroMsg after leaving the IE field of the update window: kFocusIeInvalida
// when the RJ check digit fails, else empty.
QString updateIeFocusMessage(const QString& ie);

// erroMsg after leaving the IE field of the new-taxpayer window, given how
// many rows already carry that IE: kJaCadastrado above 0, else empty.
QString newIeFocusMessage(int count);

// The field checks shared by the key button and both confirmations, in their
// fixed order: IE check digit, name, CNPJ length, CNPJ check digits, CNAE
// length and, when `requireKey`, a key. Returns the message of the first
// check that fails, or empty when all pass. An IE without any digit fails
// the IE check; otherwise it is not tested for length: missing positions
// count as zeros. Never throws.
QString firstFieldError(const Fields& fields, bool requireKey);

// The box the confirmation ("OK") of either window shows before it touches
// the database, or nullopt when it may go on: the first failing field check
// (error box, title kTitle), else kMsgCorrija (no icon, no title) when the
// last lost-focus check left `erroMsg` non-empty. Never throws.
std::optional<Message> okRefusal(const Fields& fields, const QString& erroMsg);

// The row the new-taxpayer confirmation inserts: the texts as read (the
// store binds them, so an apostrophe is stored once) and the Simples box.
ContribuinteRow rowToInsert(const Fields& fields);

// The row the update confirmation writes: name, CNAE, CCM and the Simples box
// of the row with this IE. Cnpj and Chave are left empty: the update never
// writes them.
ContribuinteRow rowToUpdate(const Fields& fields);

} // namespace TaxpayerForm
