// The certificate selection dialog: the certificates of the user's store,
// tokens and browsers with holder, CNPJ or CPF, issuer, end of validity, days
// left (marked near and past the end), origin and serial number; a find
// field, a line confirming the last import, and buttons to import a
// certificate file, remove one, log into a token, choose one or cancel. The
// file, password and PIN questions come in
// as functions, so the program asks with its own dialogs and tests answer
// from a script; messages go through the Prompter.
#pragma once

#include "certificates/CertificateSources.h"
#include "certificates/CertificateStore.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class Clock;
class Prompter;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

class CertificateDialog : public QDialog {
    Q_OBJECT
public:
    struct Questions {
        // The file to import; empty when the user cancels.
        std::function<QString()> chooseFile;
        // The password of a protected file (its name given); nullopt when the
        // user cancels.
        std::function<std::optional<QString>(const QString& fileName)> askPassword;
        // The PIN of a token (its label given), asked in a masked field;
        // nullopt when the user cancels. The answer is used once, never kept.
        std::function<std::optional<QString>(const QString& tokenLabel)> askPin;
        // Which holder's certificate to import when a file holds several;
        // nullopt cancels the import.
        CertificateStore::ChooseCertificate chooseCertificate;
    };

    // entries: the store's certificates as listed just before; store,
    // prompter and clock (today's date, for the days left) must outlive the
    // dialog.
    CertificateDialog(CertificateStore& store, Prompter& prompter, const Clock& clock,
                      Questions questions, const QString& title, const QString& displayText,
                      const QList<CertificateStore::Entry>& entries, QWidget* parent = nullptr);

    // Lists sources on a worker thread, each waited for at most timeout,
    // showing lblLendo meanwhile; the rows found replace the list and each
    // source that failed gets one line in lblFalhas. The dialog stays usable
    // throughout (import, cancel); closing it drops a late answer.
    void startListing(CertificateSourceList sources, std::chrono::milliseconds timeout);
    bool listing() const { return m_listing; }

    // The certificate chosen with OK; nullopt before that or after a cancel.
    const std::optional<Certificate>& chosen() const { return m_chosen; }

    QLabel* lblTexto;
    QLabel* lblVazio;       // shown while the store is empty
    QLabel* lblStatus;      // the last import: new or already in the list
    QLabel* lblLendo;       // "Lendo certificados..." while sources are listed
    QLabel* lblFalhas;      // one line per source that could not be read
    QLineEdit* txtProcurar; // keeps the rows whose holder or document holds the text
    QTreeWidget* lstCertificados;
    QPushButton* cmdImportar;
    QPushButton* cmdEntrar; // shown while a token waits for its PIN
    QPushButton* cmdRemover;
    QPushButton* cmdOK;
    QPushButton* cmdCancelar;

    // Asks for a file (and its password when it has one), imports it, selects
    // it and says in lblStatus whether it is new or was already listed.
    // Failures are shown in a message box; the dialog stays open.
    void importFromFile();
    // Asks Yes/No, then removes the selected certificate from the store.
    void removeSelected();
    // Asks the PIN of the first token that waits for one, then on a worker
    // thread logs in, lists and logs out; its certificates join the list
    // (lblLendo shows meanwhile, listing() is true). A wrong PIN is said in
    // a box.
    void logInToToken();
    // Closes with the selected certificate (nothing happens without one).
    void chooseSelected();
    void cancelChoice();

private:
    // Shows entries (as found, one per place) as rows, each certificate once;
    // selects the own folder's selectId, else the first row.
    void fill(const QList<SourcedCertificate>& entries, const QString& selectId);
    void reload(const QString& selectId);
    void listed(const CertificateListing& listing);
    void loggedIn(const QList<SourcedCertificate>& found, const std::optional<QString>& error);
    void filter();
    // Makes the row of the certificate with these DER bytes the current one.
    void selectCertificate(const QByteArray& der);
    void selectionChanged();
    const SourcedCertificate* current() const;
    void showError(const QString& text);

    CertificateStore& m_store;
    Prompter& m_prompter;
    const Clock& m_clock;
    Questions m_questions;
    QList<SourcedCertificate> m_found;   // one per place found, as listed
    QList<SourcedCertificate> m_entries; // the rows: m_found, each certificate once
    QList<LoginToken> m_loginTokens;
    bool m_listing = false;
    std::optional<Certificate> m_chosen;
};
