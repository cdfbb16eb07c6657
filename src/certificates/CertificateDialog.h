// The certificate selection dialog: the certificates of the user's store with
// holder, issuer, validity and serial number, a line confirming the last
// import, and buttons to import a certificate file, remove one, choose one or
// cancel. The file and password questions come in
// as functions, so the program asks with its own dialogs and tests answer
// from a script; messages go through the Prompter.
#pragma once

#include "certificates/CertificateStore.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class Prompter;
class QLabel;
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
    };

    // entries: the store's certificates as listed just before; store and
    // prompter must outlive the dialog.
    CertificateDialog(CertificateStore& store, Prompter& prompter, Questions questions,
                      const QString& title, const QString& displayText,
                      const QList<CertificateStore::Entry>& entries, QWidget* parent = nullptr);

    // The certificate chosen with OK; nullopt before that or after a cancel.
    const std::optional<Certificate>& chosen() const { return m_chosen; }

    QLabel* lblTexto;
    QLabel* lblVazio;  // shown while the store is empty
    QLabel* lblStatus; // the last import: new or already in the list
    QTreeWidget* lstCertificados;
    QPushButton* cmdImportar;
    QPushButton* cmdRemover;
    QPushButton* cmdOK;
    QPushButton* cmdCancelar;

    // Asks for a file (and its password when it has one), imports it, selects
    // it and says in lblStatus whether it is new or was already listed.
    // Failures are shown in a message box; the dialog stays open.
    void cmdImportar_Click();
    // Asks Yes/No, then removes the selected certificate from the store.
    void cmdRemover_Click();
    // Closes with the selected certificate (nothing happens without one).
    void cmdOK_Click();
    void cmdCancelar_Click();

private:
    void fill(const QList<CertificateStore::Entry>& entries, const QString& selectId);
    void reload(const QString& selectId);
    void selectionChanged();
    const CertificateStore::Entry* current() const;
    void showError(const QString& text);

    CertificateStore& m_store;
    Prompter& m_prompter;
    Questions m_questions;
    QList<CertificateStore::Entry> m_entries;
    std::optional<Certificate> m_chosen;
};
