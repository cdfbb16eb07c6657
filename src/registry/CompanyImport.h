// The company import without its window: which rows of an export are
// inconsistent, the texts the import shows, and the import itself (one key
// request per company, the certificate's validity on each answer's server
// date, storing every company the server knows that is not yet registered).
#pragma once

#include "certificates/Certificate.h"
#include "platform/Prompter.h"
#include "registry/AccessExportReader.h"

#include <QList>
#include <QString>

#include <exception>
#include <functional>

class LocalDb;
class Prompter;
class SoapClient;

namespace CompanyImport {

// Title of the boxes that carry one.
inline const QString kTitle = QStringLiteral("VAV-UVOD - RJ");

// Load: the file cannot be read as an export (OK box, kTitle, no icon).
inline const QString kInvalidFile = QStringLiteral(
    "Erro: Arquivo inválido, você deve selecionar um arquivo conforme o manual indicar");
// Load or import: the file cannot be read because the program that reads
// Access files is missing from the installation (critical icon, kTitle).
inline const QString kReaderMissing = QStringLiteral(
    "Erro: o leitor de arquivos Access (dadav-leitor-mdb) não foi encontrado junto ao programa. "
    "Reinstale o programa e tente novamente.");
// Load: the export holds no company (OK box without title, no icon).
inline const QString kEmptyFile = QStringLiteral("Erro: Arquivo está vazio");
// Import finished (information icon, kTitle).
inline const QString kCompleted = QStringLiteral("Importação Concluída");

// The load counts companies with a 16-bit signed counter: an export with
// more companies than this is refused with kInvalidFile.
inline constexpr int kMaxCompanies = 32767;
static_assert(AccessExport::kMostRowsRead > kMaxCompanies, "a longer export must read as such");

// The box for a file that could not be read (AccessExport::readCompanies
// threw `error`): kReaderMissing when the reader is not installed, else
// kInvalidFile.
Message readFailureMessage(const std::exception& error);

// A row is inconsistent when its CNPJ fails the check digits or its name,
// trimmed of blanks, is empty.
bool isInconsistent(const AccessExport::Company& company);

// The server has no record of the company (error icon, kTitle). `name` is
// the name as read, trailing blank included. Lines end with CR+LF.
QString notAuthorisedMessage(const QString& name, const QString& ie);
// The company's IE is already registered (error icon, kTitle).
QString duplicateMessage(const QString& name, const QString& ie);

// How an import ended.
enum class Outcome {
    Completed,         // every company was handled; kCompleted was shown
    CertificateStop,   // the certificate is not valid on a server date
    CommunicationStop, // a key request got no usable answer
    DatabaseStop,      // the local database failed
};

// Called before each company's key request: position from 0, count, company.
using Progress = std::function<void(int index, int count, const AccessExport::Company&)>;

// Runs the import of `companies` in order with the chosen certificate.
// Per company: asks the server for the key (SoapClient), shows the
// not-authorised message and goes on when the server does not know it; stops
// with "Certificado expirado, contate seu fornecedor" when the certificate is
// not valid on the answer's server date; stores the company with its key
// (CCM and OptanteSimples left NULL) unless its IE is registered, else shows
// the duplicate message. A key request without a usable answer stops with the
// connection-failure text naming the settings' host; a database failure stops
// with the error report. Companies stored before a stop stay stored. Shows
// kCompleted only when every company was handled. Never throws.
Outcome run(const QList<AccessExport::Company>& companies, const Certificate& certificate,
            SoapClient& soap, LocalDb& db, Prompter& prompter, const Progress& progress = {});

} // namespace CompanyImport
