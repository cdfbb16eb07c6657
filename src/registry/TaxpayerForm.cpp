// Field checks and rows of the taxpayer windows.
#include "registry/TaxpayerForm.h"

#include "validation/CNPJValida.h"
#include "validation/IEValida.h"

#include <algorithm>

namespace TaxpayerForm {

namespace {

bool hasDigit(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

} // namespace

int lengthWithoutPrompts(const QString& maskedText) {
    return static_cast<int>(maskedText.size() - maskedText.count(QLatin1Char('_')));
}

QString documentDigits(const QString& text) {
    QString out = text;
    out.remove(QLatin1Char('.'));
    out.remove(QLatin1Char('/'));
    out.remove(QLatin1Char('-'));
    return out;
}

QString cnpjFocusMessage(const QString& cnpj) {
    return CNPJValida::ValidaCNPJ(cnpj) ? QString() : kFocusCnpj;
}

QString updateIeFocusMessage(const QString& ie) {
    return IEValida::ValidaIE(ie, kUf) ? QString() : kFocusIeInvalida;
}

QString newIeFocusMessage(int count) {
    return count > 0 ? kJaCadastrado : QString();
}

QString firstFieldError(const Fields& fields, bool requireKey) {
    // The check digit alone lets an untouched field through (its blanks count
    // as zeros) and the row would be stored under "________".
    if (!hasDigit(fields.ie) || !IEValida::ValidaIE(fields.ie, kUf))
        return kMsgIe;
    if (fields.razaoSocial.isEmpty())
        return kMsgRazaoSocial;
    if (lengthWithoutPrompts(fields.cnpj) != kCnpjLength)
        return kMsgCnpjIncompleto;
    if (!CNPJValida::ValidaCNPJ(fields.cnpj))
        return kMsgCnpjInvalido;
    if (lengthWithoutPrompts(fields.cnae) != kCnaeLength)
        return kMsgCnae;
    if (requireKey && fields.chave.isEmpty())
        return kMsgChave;
    return {};
}

std::optional<Message> okRefusal(const Fields& fields, const QString& erroMsg) {
    const QString error = firstFieldError(fields, true);
    if (!error.isEmpty())
        return Message{error, kTitle, MsgIcon::Critical, MsgButtons::Ok};
    if (!erroMsg.isEmpty())
        return Message{kMsgCorrija, QString(), MsgIcon::None, MsgButtons::Ok};
    return std::nullopt;
}

ContribuinteRow rowToInsert(const Fields& fields) {
    ContribuinteRow row;
    row.IE = fields.ie;
    row.RazaoSocial = fields.razaoSocial;
    row.Cnpj = fields.cnpj;
    row.Cnae = fields.cnae;
    row.Chave = fields.chave;
    row.CCM = fields.ccm;
    row.OptanteSimples = fields.optanteSimples;
    return row;
}

ContribuinteRow rowToUpdate(const Fields& fields) {
    ContribuinteRow row;
    row.IE = fields.ie;
    row.RazaoSocial = fields.razaoSocial;
    row.Cnae = fields.cnae;
    row.CCM = fields.ccm;
    row.OptanteSimples = fields.optanteSimples;
    return row;
}

} // namespace TaxpayerForm
