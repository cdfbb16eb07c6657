// Wording of the reader child's failures (see ChildFailureText.h).
#include "certificates/ChildFailureText.h"

#include "childprocess/ChildFrames.h"

QString secondsText(std::chrono::milliseconds timeout) {
    return QString::number((timeout.count() + 999) / 1000);
}

QString sourceFailureText(const CertificateChild::Failure& failure,
                          std::chrono::milliseconds timeout) {
    using Kind = CertificateChild::Failure::Kind;
    switch (failure.kind()) {
    case Kind::Missing:
        return QStringLiteral("o leitor de certificados (%1) não foi encontrado ou não pôde ser "
                              "iniciado.")
            .arg(QString::fromLatin1(CertificateChild::kProgramName));
    case Kind::TimedOut:
        return QStringLiteral("não respondeu em ") + secondsText(timeout) + QStringLiteral(" s.");
    case Kind::Crashed:
        return QStringLiteral("terminou de forma anormal.");
    case Kind::TooLarge:
        return QStringLiteral("resposta grande demais; leitura interrompida.");
    case Kind::Malformed:
        break;
    }
    return QStringLiteral("resposta ilegível (%1).").arg(failure.detail());
}

QString moduleFailureLine(const QString& name, const QString& file,
                          const CertificateChild::Failure& failure,
                          std::chrono::milliseconds timeout) {
    if (failure.kind() == CertificateChild::Failure::Kind::TimedOut)
        return QStringLiteral("Módulo travado: ") + name + QStringLiteral(" (") + file +
               QStringLiteral(") não respondeu em ") + secondsText(timeout) + QStringLiteral(" s.");
    return name + QStringLiteral(" (") + file + QStringLiteral("): ") +
           sourceFailureText(failure, timeout);
}

QString leftOutText(std::uint64_t bytes) {
    // Whole MiB, rounded up: an object just over the limit does not read as
    // the limit itself.
    const auto mib = [](std::uint64_t n) {
        return QString::number((n + (1u << 20) - 1) >> 20);
    };
    return QStringLiteral("certificado de ") + mib(bytes) +
           QStringLiteral(" MB deixado de fora (o limite é ") + mib(ChildFrames::kMaxPayload) +
           QStringLiteral(" MB).");
}
