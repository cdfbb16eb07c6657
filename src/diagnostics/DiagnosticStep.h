// One line of the connection diagnostics: what was tried, how long it took
// and what came of it, in the words the technician reads and copies.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>

struct DiagnosticStep {
    enum class Outcome {
        Ok,        // worked
        Attention, // worked, but something deserves a look (no certificates, little space)
        Failed,    // did not work; detail says why
        Skipped,   // not tried, because an earlier step failed; detail says which
        Cancelled, // the user stopped the diagnostics before or during it
    };

    QString name;
    Outcome outcome = Outcome::Ok;
    QString detail;
    qint64 ms = 0; // time the step took; not shown for a step not tried

    // "[OK] Consulta de nome (3 ms): detail"; a step not tried shows no time.
    QString line() const;
};

namespace DiagnosticReport {

// The whole report as text for support: a heading with the program's version
// and the date and time the steps started, then one line per step ("\n" line
// ends).
QString text(const QList<DiagnosticStep>& steps, const QDateTime& started);

} // namespace DiagnosticReport
