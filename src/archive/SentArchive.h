// The local archive of what the office sent and received, kept in the
// application folder under arquivo/<IE>/<AAAA-MM>/ (the month the sending
// ended): a record of every sending the server may have seen, with a copy of
// the file when the server may hold it, and the receipts the user opened.
// The archive keeps this desk's files; the memory every desk shares, which
// the duplicate rule reads, is in the database (store/SendingRepository.h),
// and the archive's records are read into it once
// (archive/ArchivedSending.h holds the rules around one sending). Nothing here shows a message:
// failures come back as Portuguese texts for the caller's line.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

namespace SentArchive {

// What the server made of a sending, as the record keeps it.
inline const QString kAccepted = QStringLiteral("aceito");
inline const QString kRefused = QStringLiteral("recusado");
// The request went out but no reply came: the server may have it.
inline const QString kNoReply = QStringLiteral("sem resposta");

// Kinds of file sent.
inline const QString kDeclaration = QStringLiteral("declaracao");
inline const QString kSimples = QStringLiteral("simples");

struct Record {
    QDateTime sentAt;   // when the server answered (or the sending ended), local time
    QString ie;         // taxpayer
    QString kind;       // kDeclaration or kSimples
    QString references; // as sent in "gias" ("1_2014,2_2014"); empty for an extract
    QString fileName;   // the name the file had when it was chosen
    QString sha256;     // lower-case hex of the bytes sent
    qint64 size = 0;    // bytes
    QString result;     // kAccepted, kRefused or kNoReply
    QString reply;      // the server's reply text (or why none came)
    // Whether the whole request left the client. Only a sending without a
    // reply needs it: cut off before the end, the server cannot hold the file.
    // Records written before it was kept read as true (nothing is known).
    bool wholeRequestSent = false;
    // Filled when read back from the archive: the record and its copy (empty
    // when none is kept, see serverMayHoldIt).
    QString archivedFile;
    QString recordFile;
};

// Whether the server may hold what a record describes: it accepted the file,
// or the whole request went out and no reply came. Only such a sending keeps
// its copy (and makes sending the same bytes again a question).
bool serverMayHoldIt(const Record& record);

// The archive's root: "arquivo" in the application folder.
QString rootFolder();
// The folder of a taxpayer's month: rootFolder()/<IE>/<yyyy-MM of `when`>.
// Characters of the IE other than letters and digits become "_".
QString monthFolder(const QString& ie, const QDateTime& when);

// SHA-256 of a file's bytes as lower-case hex, with its size and the file's
// times when it was read. nullopt (and `error` set, when given) when the
// file cannot be opened or read, or is not a regular file (a FIFO, a device,
// a folder: refused without blocking, `error` then notRegularText()).
struct Digest {
    QString sha256;
    qint64 size = 0;
    // Taken before the bytes were read: a digest is reused only while the
    // file still shows the same ones (stillCurrent).
    QDateTime modified;
    QDateTime statusChanged; // set by every write, even one that restores the modification time
    // Whether the file had changed so shortly before it was read that a
    // further change could leave both times as they are (they move in
    // steps of the file system's clock): such a digest is never reused.
    bool tooRecent = true;
};
std::optional<Digest> digestFile(const QString& path, QString* error = nullptr);
// "não é um arquivo comum": why digestFile refuses what is not a regular file.
QString notRegularText();

// Whether `digest`, made of the file at `path` earlier, still stands for its
// bytes without reading them: same size, modification and status-change
// times, and not tooRecent. A file that may have changed is digested again.
bool stillCurrent(const Digest& digest, const QString& path);

// A copy of a sent file written while the server's reply is awaited (see
// ArchivedSending::wholeRequestSent): hashed as it is written and flushed to
// the disk, but without a name until store() keeps it; dropped, or after a
// crash, it leaves nothing.
class StagedCopy;

// Writes the staged copy of `sourcePath` for a sending of taxpayer `ie`,
// `fileName` and `sha256` as the record will hold them, in the month folder
// of `when` (about when the sending will end). nullptr (with
// `error` set) when it cannot be written or the file no longer has `sha256`
// (it changed since it was digested). Never throws.
std::shared_ptr<StagedCopy> stageCopy(const QString& ie, const QString& fileName,
                                      const QString& sourcePath, const QString& sha256,
                                      const QDateTime& when, QString* error = nullptr);

// Writes a record into the month folder of record.sentAt, named
// "<yyyyMMdd-HHmmss>-<file name>.json". When serverMayHoldIt(record), a copy
// of the file is kept first under the same name without ".json": `staged`
// when given (written during the sending), else one copied from
// `sourcePath` now and hashed as it is written; it must have record.sha256
// (a file changed since it was sent is not archived, its bytes are no longer
// the ones sent), and it is on the disk before the record is written, so a
// record never points at a missing copy. Other records keep no copy: a
// refused or broken-off sending is not worth its size. Existing entries are
// never overwritten: a second sending in the same second gets its own name.
// `keepCopy` false writes the record alone (the file no longer holds the
// bytes sent). Returns the empty text on success, else why it failed, in
// Portuguese; nothing half-written is left behind. Never throws.
QString store(const Record& record, const QString& sourcePath, StagedCopy* staged = nullptr,
              bool keepCopy = true);

// Every record of a taxpayer, newest first. Unreadable records are skipped.
QList<Record> list(const QString& ie);

// Every record of every taxpayer in the archive, newest first.
QList<Record> listAll();

// Writes a receipt's XML text into the month folder of `openedAt`, named by
// its protocol number ("protocolo-<numero>.xml"; a name already there is
// replaced, as the receipt is the same). Returns the path written, or the
// empty text with `error` set.
QString storeReceiptXml(const QString& ie, const QString& protocolo, const QString& xml,
                        const QDateTime& openedAt, QString* error);

// A receipt kept in the archive: its XML and, beside it, the PDF made of it
// (pdfFile empty when there is none).
struct ReceiptFile {
    QString protocolo;
    QDateTime savedAt; // when the XML was written (the `openedAt` it was given)
    QString xmlFile;
    QString pdfFile;
};

// Every receipt of a taxpayer, newest first.
QList<ReceiptFile> receipts(const QString& ie);

} // namespace SentArchive
