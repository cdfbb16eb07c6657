// What a list of certificates shows, shared by the selection dialog and the
// certificates window: one row per certificate however many places hold it,
// the holder's name, and the serial number short enough for its column.
#pragma once

#include "certificates/CertificateSource.h"
#include "certificates/CertificateStore.h"

#include <QList>
#include <QString>

// The certificates with each certificate once: entries with the same DER
// bytes (the same certificate on a token and in a browser's database, say)
// become the first of them, its origin naming every place in the order found
// ("Token e-CNPJ (libsofthsm2.so), Navegador (nssdb)"), and the own folder's
// file id kept when one of them has it (so it stays removable). Order of
// first appearance is kept.
QList<SourcedCertificate> mergeSameCertificates(const QList<SourcedCertificate>& certificates);

// The own folder's entries as rows: origin "Pasta do programa", the file id
// kept (so they can be removed), the holder's documents read.
QList<SourcedCertificate> ownFolderRows(const QList<CertificateStore::Entry>& entries);

// The holder's common name, else the whole subject line.
QString holderText(const Certificate& certificate);

// The serial number for a narrow column: whole up to kSerialShownDigits
// characters, else "…" and its last kSerialShownDigits characters (the
// whole number goes in the cell's tip). Issuers number in sequence or at
// random; either way the end tells two certificates apart.
QString shortSerial(const QString& serialNumber);
constexpr int kSerialShownDigits = 10;
