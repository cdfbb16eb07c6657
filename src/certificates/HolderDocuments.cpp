// Reading the ICP-Brasil otherName entries with OpenSSL.
#include "certificates/HolderDocuments.h"

#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace {

struct X509Free {
    void operator()(X509* p) const { X509_free(p); }
};
struct NamesFree {
    void operator()(GENERAL_NAMES* p) const { GENERAL_NAMES_free(p); }
};
struct ConstraintsFree {
    void operator()(BASIC_CONSTRAINTS* p) const { BASIC_CONSTRAINTS_free(p); }
};

// Issuers encode the value as OCTET STRING, PrintableString, UTF8String or
// IA5String; all carry ASCII digits.
QString valueText(const ASN1_TYPE* value) {
    if (!value)
        return {};
    switch (value->type) {
    case V_ASN1_OCTET_STRING:
    case V_ASN1_PRINTABLESTRING:
    case V_ASN1_UTF8STRING:
    case V_ASN1_IA5STRING: {
        const ASN1_STRING* s = value->value.asn1_string;
        return QString::fromLatin1(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)),
                                   ASN1_STRING_length(s));
    }
    default:
        return {};
    }
}

bool allDigits(const QString& text) {
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return !text.isEmpty();
}

bool allZeros(const QString& text) {
    for (const QChar c : text)
        if (c != QLatin1Char('0'))
            return false;
    return true;
}

QString oidText(const ASN1_OBJECT* oid) {
    char buffer[80] = {};
    OBJ_obj2txt(buffer, sizeof buffer, oid, 1);
    return QString::fromLatin1(buffer);
}

} // namespace

HolderDocuments readHolderDocuments(const QByteArray& der) {
    HolderDocuments documents;
    const auto* p = reinterpret_cast<const unsigned char*>(der.constData());
    std::unique_ptr<X509, X509Free> x(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    if (!x) {
        ERR_clear_error();
        return documents;
    }
    std::unique_ptr<BASIC_CONSTRAINTS, ConstraintsFree> constraints(static_cast<BASIC_CONSTRAINTS*>(
        X509_get_ext_d2i(x.get(), NID_basic_constraints, nullptr, nullptr)));
    documents.isAuthority = constraints && constraints->ca;
    std::unique_ptr<GENERAL_NAMES, NamesFree> names(static_cast<GENERAL_NAMES*>(
        X509_get_ext_d2i(x.get(), NID_subject_alt_name, nullptr, nullptr)));
    ERR_clear_error();
    if (!names)
        return documents;
    for (int i = 0; i < sk_GENERAL_NAME_num(names.get()); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(names.get(), i);
        if (name->type != GEN_OTHERNAME)
            continue;
        const QString oid = oidText(name->d.otherName->type_id);
        const QString value = valueText(name->d.otherName->value);
        if (oid == QLatin1String("2.16.76.1.3.3")) {
            if (value.size() == 14 && allDigits(value))
                documents.cnpj = value;
        } else if (oid == QLatin1String("2.16.76.1.3.1")) {
            // Birth date (ddmmyyyy) in characters 1-8, the CPF in 9-19.
            const QString cpf = value.mid(8, 11);
            if (cpf.size() == 11 && allDigits(cpf) && !allZeros(cpf))
                documents.cpf = cpf;
        }
    }
    return documents;
}

QString formattedDocument(const HolderDocuments& d) {
    if (!d.cnpj.isEmpty())
        return d.cnpj.left(2) + QLatin1Char('.') + d.cnpj.mid(2, 3) + QLatin1Char('.') +
               d.cnpj.mid(5, 3) + QLatin1Char('/') + d.cnpj.mid(8, 4) + QLatin1Char('-') +
               d.cnpj.mid(12, 2);
    if (!d.cpf.isEmpty())
        return d.cpf.left(3) + QLatin1Char('.') + d.cpf.mid(3, 3) + QLatin1Char('.') +
               d.cpf.mid(6, 3) + QLatin1Char('-') + d.cpf.mid(9, 2);
    return {};
}
