// The holder's documents as ICP-Brasil certificates carry them: otherName
// entries of the subject alternative name, 2.16.76.1.3.3 holding the
// company's CNPJ and 2.16.76.1.3.1 holding the person's birth date, CPF and
// further fields in fixed positions; plus whether the certificate is an
// authority's (basic constraints CA), which the token and browser lists leave
// out.
#pragma once

#include <QByteArray>
#include <QString>

struct HolderDocuments {
    QString cnpj;             // 14 digits, empty when absent or not 14 digits
    QString cpf;              // 11 digits, empty when absent or all zeros
    bool isAuthority = false; // basicConstraints cA is true
};

// Reads the documents from DER bytes. Never throws: bytes that are not a
// certificate, or entries of an unexpected form, give empty documents.
HolderDocuments readHolderDocuments(const QByteArray& der);

// The document for a list column: the CNPJ as "11.222.333/0001-81", else the
// CPF as "123.456.789-09", else the empty text.
QString formattedDocument(const HolderDocuments& documents);
