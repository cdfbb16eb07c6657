// The accountant window's decisions, free of widgets.
#include "accountant/AccountantForm.h"

#include "validation/CNPJValida.h"
#include "validation/CPFValida.h"

#include <array>

namespace AccountantForm {

namespace {

// Parameter name and field of each "Transferencia.contador" parameter, in order.
struct ParamField {
    const char* name;
    QString ContadorRow::*field;
};

const std::array<ParamField, 12> kParams = {{
    {"thisCont_cpf_cnpj", &ContadorRow::cont_cpf_cnpj},
    {"thisCont_num_crc", &ContadorRow::cont_num_crc},
    {"thisCont_razao_nome", &ContadorRow::cont_razao_nome},
    {"thisCont_nom_endereco", &ContadorRow::cont_nom_endereco},
    {"thisCont_num_endereco", &ContadorRow::cont_num_predial},
    {"thisCont_complemento", &ContadorRow::cont_dsc_complemento},
    {"thisCont_nom_bairro", &ContadorRow::cont_nom_bairro},
    {"thisCont_nom_cidade", &ContadorRow::cont_nom_cidade},
    {"thisCont_nom_estado", &ContadorRow::cont_nom_estado},
    {"thisCont_num_telefone", &ContadorRow::cont_num_telefone},
    {"thisCont_num_cep", &ContadorRow::cont_num_cep},
    {"thisCont_email", &ContadorRow::cont_email},
}};

ContadorRow doubled(const ContadorRow& plain) {
    ContadorRow row;
    for (const ParamField& p : kParams)
        row.*p.field = doubleQuotes(plain.*p.field);
    return row;
}

// The document test of the confirmation: the check digits and a minimum
// length once the placeholders, points and hyphens are gone (the "/" of a
// CNPJ still counts, so a CNPJ one digit short reaches 14 and is judged by
// its check digits alone).
bool documentAccepted(const QString& document, bool cpfMask) {
    QString bare = document;
    bare.remove(QLatin1Char('_')).remove(QLatin1Char('.')).remove(QLatin1Char('-'));
    if (cpfMask)
        return CPFValida::ValidaCPF(document) && bare.size() >= 11;
    return CNPJValida::ValidaCNPJ(document) && bare.size() >= 14;
}

} // namespace

PersonType personType(bool cpfMask) {
    return cpfMask ? PersonType::Fisica : PersonType::Juridica;
}

bool cpfMaskForStored(const QString& storedDocument) {
    return storedDocument.size() == 14;
}

QString doubleQuotes(const QString& text) {
    QString result = text;
    return result.replace(QLatin1Char('\''), QStringLiteral("''"));
}

QString documentFocusMessage(const QString& document, bool cpfMask) {
    if (cpfMask)
        return CPFValida::ValidaCPF(document) ? QString() : kMsgCpf;
    return CNPJValida::ValidaCNPJ(document) ? QString() : kMsgCnpj;
}

CheckOutcome runChecks(const Fields& fields, const AskProceedWithoutCrc& askProceed) {
    // The checks judge the texts as they would go into the statement, with
    // apostrophes doubled; the row to store keeps the plain texts.
    const ContadorRow v = doubled(fields.values);
    CheckOutcome outcome;
    outcome.row = fields.values;
    const auto fail = [&outcome](const QString& message) {
        outcome.erroMsg = message;
        return outcome;
    };

    if (!documentAccepted(v.cont_cpf_cnpj, fields.cpfMask))
        return fail(fields.cpfMask ? kMsgCpf : kMsgCnpj);

    if (v.cont_email.size() < 6)
        return fail(kMsgEmail);

    if (v.cont_num_crc.trimmed().isEmpty()) {
        if (!askProceed || !askProceed())
            return fail(kMsgSemCrc);
        outcome.row.cont_num_crc.clear();
    }

    if (v.cont_razao_nome.size() < 5)
        return fail(kMsgRazaoSocial);
    if (v.cont_nom_endereco.isEmpty())
        return fail(kMsgEndereco);
    if (v.cont_num_predial.isEmpty())
        return fail(kMsgNumero);

    QString cep = v.cont_num_cep;
    if (cep.isEmpty() || cep.remove(QLatin1Char('_')).size() != 9)
        return fail(kMsgCep);

    if (v.cont_nom_bairro.trimmed().isEmpty())
        return fail(kMsgBairro);
    if (v.cont_nom_cidade.trimmed().isEmpty())
        return fail(kMsgCidade);

    // A substring search, case-sensitive: "" and a letter that ends a code
    // ("P") pass, "sp" does not.
    if (!kEstados.contains(v.cont_nom_estado + QLatin1Char(',')))
        return fail(kMsgUf);

    return outcome;
}

QList<Soap::SoapParam> registrationParams(const ContadorRow& plain) {
    QList<Soap::SoapParam> params;
    params.reserve(static_cast<qsizetype>(kParams.size()));
    for (const ParamField& p : kParams)
        params.append({QString::fromLatin1(p.name), doubleQuotes(plain.*p.field)});
    return params;
}

} // namespace AccountantForm
