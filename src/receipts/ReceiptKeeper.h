// The receipts of processed sendings, fetched from the server once and kept
// in the archive for the office's clients: the receipt XML of the detail call,
// the printable page the receipt link serves (kept as served, HTML or PDF,
// once it is judged a receipt), the client's own PDF made from the XML and a
// record of the sending as its list showed it (JSON, without the key).
// Filed under arquivo/<IE>/recibos/<AAAA-MM of the reference>/, each file
// named "<IE> <razão social> <AAAA-MM> protocolo <N>", private like the rest
// of the application folder. No widgets: the PDF is made by the caller's
// writer.
#pragma once

#include "history/Receipt.h"
#include "net/PageClient.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class SoapClient;

namespace Receipts {

// One processed sending as its taxpayer's list shows it.
struct Sending {
    QString ie;
    QString razaoSocial;
    QString chave;
    QString referencia; // as listed, "MM/yyyy"
    QString protocolo;
    QString processedAt; // the list's date, as listed
};

// "yyyy-MM" of a listed reference "MM/yyyy" (blanks ignored); empty when it
// is no month.
QString referenceMonth(const QString& referencia);

// The folder of a taxpayer's receipts of one reference month ("yyyy-MM"):
// <archive root>/<IE>/recibos/<month>.
QString folderOf(const QString& ie, const QString& month);

// "<IE> <razão social> <AAAA-MM> protocolo <N>": the name every file of a
// receipt starts with. Characters a file name cannot hold (or a person would
// not type) are left out of the company's name, which is cut at 60.
QString baseName(const Sending& sending);

// What a printable page is.
enum class PageKind { Html, Pdf };

// Judges a page served at the receipt link: a receipt is an HTTP 200 answer,
// a PDF (type application/pdf, starting "%PDF-") or an HTML page (type
// text/html) that names the protocol and asks for no password. nullopt with
// `why` (Portuguese) otherwise: another status, another type, an empty body,
// a login page, an error page served with 200.
std::optional<PageKind> judgePage(const HttpPage& page, const QString& protocolo, QString* why);

// The files a receipt has in the archive (each empty when missing).
struct Files {
    QString xml;
    QString page;   // .html or .pdf as served
    QString pdf;    // the client's own PDF, "<base> (programa).pdf"
    QString record; // "<base>.json": the sending as its list showed it
    // Whether the receipt is archived: its XML and its page.
    bool complete() const { return !xml.isEmpty() && !page.isEmpty(); }
};
// What the archive holds for sending, found by IE, month and protocol (a
// company renamed since does not fetch it again).
Files filesOf(const Sending& sending);

// A receipt kept in the archive, read back from its record.
struct Kept {
    Sending sending; // chave left empty: the record never holds a key
    Files files;
    // The PDF to hand to the company: the page when it was served as a PDF,
    // else the client's own; empty when neither is there.
    QString handout() const;
};
// Every receipt kept for the reference month ("yyyy-MM") of every taxpayer,
// by IE and protocol. Unreadable records are skipped. Never throws.
QList<Kept> keptInMonth(const QString& month);
// Every receipt kept for the taxpayer ie, newest reference month first.
QList<Kept> keptOf(const QString& ie);
// Reference months ("yyyy-MM") with some receipt kept, newest first.
QStringList monthsKept();

// Writes bytes as `path` with QSaveFile (nothing half-written), in a folder
// made private like the application folder. A file already there with the
// same bytes is kept; with other bytes it is never replaced: the new bytes go
// to "<name> (2).<ext>" (or the next free number) and `note` says so.
// Returns the path holding the bytes, or empty with `error` set. Never throws.
// `isPrivate`: whether the folder and file are kept the user's alone (the
// archive's rule by default; a folder the user picked keeps its own).
QString writeOnce(const QString& path, const QByteArray& bytes, QString* note, QString* error);
QString writeOnce(const QString& path, const QByteArray& bytes, QString* note, QString* error,
                  bool isPrivate);

struct Outcome {
    enum class State {
        Kept,        // fetched now: every file of the receipt is in the archive
        AlreadyKept, // nothing fetched: it was archived before
        Failed,      // something could not be had or kept; `text` says what
    };
    State state = State::Failed;
    Files files;
    QString text; // why it failed, or a note (a receipt that differed from an earlier one)
};

// Makes the client's PDF of a receipt: its bytes, or empty with `error` set.
using PdfMaker =
    std::function<QByteArray(const Sending&, const History::ReceiptDocument&, QString* error)>;

class Keeper {
public:
    // soap: the detail call; pages: the receipt link's GET; host: the
    // server's host as the settings hold it (the link has no port). Not
    // owned; they must outlive the keeper.
    Keeper(SoapClient& soap, PageClient& pages, PdfMaker makePdf, QString host);

    // Fetches what the archive lacks of sending's receipt (nothing when it
    // is complete) and keeps it. Never throws: a network failure, a receipt
    // XML that cannot be read, a page that is not a receipt or a file that
    // cannot be written is a Failed outcome with its reason; what was kept
    // before the failure stays, and the next call fetches the rest.
    Outcome keep(const Sending& sending);

private:
    SoapClient& m_soap;
    PageClient& m_pages;
    PdfMaker m_makePdf;
    QString m_host;
};

} // namespace Receipts
