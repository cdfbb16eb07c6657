// The company import's checks, texts and loop.
#include "registry/CompanyImport.h"

#include "access/MdbChild.h"
#include "base/ReadWrite.h"
#include "base/RuntimeError.h"
#include "certificates/CertificateMessages.h"
#include "platform/Prompter.h"
#include "registry/AccessKeyRequest.h"
#include "shell/ErrorReport.h"
#include "store/ContribuinteRepository.h"
#include "store/DbError.h"
#include "validation/CNPJValida.h"

#include <exception>

namespace CompanyImport {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// Trims blanks only, as the check always has: a name of tabs is not blank.
QString trimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

QString companyLines(const QString& name, const QString& ie) {
    return kCrLf + kCrLf + name + kCrLf + QStringLiteral("Inscrição Estadual: ") + ie + kCrLf +
           kCrLf;
}

} // namespace

Message readFailureMessage(const std::exception& error) {
    const auto* runtime = dynamic_cast<const RuntimeError*>(&error);
    if (runtime && runtime->number() == MdbChild::kHelperMissing)
        return {kReaderMissing, kTitle, MsgIcon::Critical, MsgButtons::Ok};
    return {kInvalidFile, kTitle, MsgIcon::None, MsgButtons::Ok};
}

bool isInconsistent(const AccessExport::Company& company) {
    return !CNPJValida::ValidaCNPJ(company.Cnpj) || trimBlanks(company.RazaoSocial).isEmpty();
}

QString notAuthorisedMessage(const QString& name, const QString& ie) {
    return QStringLiteral("Não é possível cadastrar a empresa: ") + companyLines(name, ie) +
           QStringLiteral("Empresa não está cadastrada nos servidores da Prefeitura.") + kCrLf +
           QStringLiteral(
               "Se a empresa pertencer ao Muncípio, por favor, nos informe imediatamente.");
}

QString duplicateMessage(const QString& name, const QString& ie) {
    return QStringLiteral("Empresa já cadastrada anteriormente: ") + companyLines(name, ie) +
           QStringLiteral("A empresa não será cadastrada, para não gerar duplicidade");
}

Outcome run(const QList<AccessExport::Company>& companies, const Certificate& certificate,
            SoapClient& soap, LocalDb& db, Prompter& prompter, const Progress& progress) {
    const auto box = [&prompter](const QString& text, const QString& title, MsgIcon icon) {
        prompter.show({text, title, icon, MsgButtons::Ok});
    };

    const int count = static_cast<int>(companies.size());
    for (int i = 0; i < count; ++i) {
        const AccessExport::Company& company = companies.at(i);
        if (progress)
            progress(i, count, company);

        AccessKeyAnswer answer;
        try {
            answer = requestAccessKey(soap, company.IE, company.Cnpj);
        } catch (const std::exception&) {
            // No answer, or one without a readable date: the server could not
            // be asked, which says nothing about the certificate.
            box(CertificateMessages::connectionFailure(
                    ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("host"))),
                QString(), MsgIcon::None);
            return Outcome::CommunicationStop;
        }

        if (!answer.authorised) {
            box(notAuthorisedMessage(company.RazaoSocial, company.IE), kTitle, MsgIcon::Critical);
            continue;
        }
        if (!certificateValidAt(certificate, answer.serverDate)) {
            box(CertificateMessages::kExpired, QString(), MsgIcon::None);
            return Outcome::CertificateStop;
        }

        try {
            if (findContribuinte(db, company.IE)) {
                box(duplicateMessage(company.RazaoSocial, company.IE), kTitle, MsgIcon::Critical);
                continue;
            }
            ContribuinteRow row;
            row.IE = company.IE;
            row.RazaoSocial = company.RazaoSocial;
            row.Cnpj = company.Cnpj;
            row.Cnae = company.Cnae;
            row.Chave = answer.key;
            insertImportedContribuinte(db, row);
        } catch (const RuntimeError& error) {
            prompter.show(ErrorReport::ErrorMessage(error));
            return Outcome::DatabaseStop;
        }
    }

    box(kCompleted, kTitle, MsgIcon::Information);
    return Outcome::Completed;
}

} // namespace CompanyImport
