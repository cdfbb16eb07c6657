// The report's lines and its text.
#include "diagnostics/DiagnosticStep.h"

#include "base/ProgramInfo.h"

#include <QDateTime>
#include <QLocale>

QString DiagnosticStep::line() const {
    QString mark;
    switch (outcome) {
    case Outcome::Ok:
        mark = QStringLiteral("[OK]");
        break;
    case Outcome::Attention:
        mark = QStringLiteral("[ATENÇÃO]");
        break;
    case Outcome::Failed:
        mark = QStringLiteral("[FALHA]");
        break;
    case Outcome::Skipped:
        mark = QStringLiteral("[NÃO FEITO]");
        break;
    case Outcome::Cancelled:
        mark = QStringLiteral("[CANCELADO]");
        break;
    }
    const bool tried = outcome != Outcome::Skipped && !(outcome == Outcome::Cancelled && ms == 0);
    return mark + QLatin1Char(' ') + name +
           (tried ? QStringLiteral(" (%1 ms)").arg(ms) : QString()) + QStringLiteral(": ") + detail;
}

namespace DiagnosticReport {

QString text(const QList<DiagnosticStep>& steps, const QDateTime& started) {
    QString out = QStringLiteral("Diagnóstico da conexão\nVersão do programa: %1\nData: %2\n\n")
                      .arg(ProgramInfo::version(),
                           QLocale(QLocale::Portuguese, QLocale::Brazil)
                               .toString(started, QStringLiteral("dd/MM/yyyy HH:mm:ss")));
    for (const DiagnosticStep& step : steps)
        out += step.line() + QLatin1Char('\n');
    return out;
}

} // namespace DiagnosticReport
