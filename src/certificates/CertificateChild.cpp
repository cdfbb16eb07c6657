// Running the certificate reader child and checking its records.
#include "certificates/CertificateChild.h"

namespace CertificateChild {

void setProgram(const QString& path) {
    ChildRunner::setProgram(kProgramName, path);
}

QString program() {
    return ChildRunner::program(kProgramName);
}

std::vector<CertificateFrames::Record> run(const QStringList& arguments, const Limits& limits,
                                           const QByteArray* secret) {
    using Kind = Failure::Kind;
    const QString helper = program();
    std::string output;
    ChildRunner::Exit exit;
    try {
        exit = ChildRunner::run({helper, arguments, limits, secret},
                                [&output](std::string_view piece) { output.append(piece); });
    } catch (const Failure& e) {
        if (e.kind() == Kind::Missing && e.detail().isEmpty())
            throw Failure(Kind::Missing, QString::fromLatin1(kProgramName));
        throw;
    }
    if (!exit.normal)
        throw Failure(Kind::Crashed, QString());
    CertificateFrames::Parsed parsed = CertificateFrames::parse(output);
    if (!parsed.ok)
        throw Failure(exit.code == 0 ? Kind::Malformed : Kind::Crashed,
                      QString::fromStdString(parsed.error));
    return std::move(parsed.records);
}

} // namespace CertificateChild
