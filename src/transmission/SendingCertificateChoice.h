// The accountant's certificate chosen for sending, with the checks every
// sending window makes (SendingCertificate): the selection dialog (which logs
// in to a token, its PIN asked there), the accountant on file now, the
// document and validity check on the server's date, and the revocation-list
// notice. The refusals are shown here; the caller only branches.
#pragma once

#include <QString>

struct AppContext;

namespace SendingCertificateChoice {

enum class Outcome {
    StoreFailed,          // the certificate store could not be used (shown)
    Cancelled,            // the user closed the selection (nothing shown)
    AccountantUnreadable, // the accountant could not be read (error report shown)
    Refused,              // not the accountant's or not valid then (refusal shown)
    Accepted,
};

struct Choice {
    Outcome outcome = Outcome::Cancelled;
    // The accountant's document without punctuation, read after the choice;
    // valid for Refused and Accepted.
    QString accountantDocument;
};

// Runs the choice. refusalTitle: the title of the refusal box; where: the
// window named in an error report. Never throws.
Choice choose(AppContext& context, const QString& refusalTitle, const QString& where);

} // namespace SendingCertificateChoice
