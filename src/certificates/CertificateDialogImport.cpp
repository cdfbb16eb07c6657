// The certificate selection dialog's own folder: importing a certificate
// file (asking its password until it opens) and removing an imported one.
#include "certificates/CertificateDialog.h"

#include "certificates/CertificateMessages.h"
#include "certificates/CertificateRows.h"
#include "platform/Prompter.h"

#include <QFileInfo>
#include <QLabel>
#include <QTreeWidget>

#include <algorithm>

void CertificateDialog::reload(const QString& selectId) {
    // Only the own folder changes under the dialog; the rows of tokens and
    // browsers stay as they were listed.
    QList<SourcedCertificate> entries;
    for (const SourcedCertificate& e : m_found)
        if (e.storeId.isEmpty())
            entries.append(e);
    entries.append(ownFolderRows(m_store.list()));
    fill(entries, selectId);
}

void CertificateDialog::importFromFile() {
    lblStatus->clear();
    try {
        const QString path = m_questions.chooseFile ? m_questions.chooseFile() : QString();
        if (path.isEmpty())
            return;
        const QString fileName = QFileInfo(path).fileName();
        QString password;
        std::optional<CertificateStore::Entry> imported;
        // A protected file is first tried without a password; then the user
        // is asked until the password opens it or the question is cancelled.
        for (bool asked = false; !imported;) {
            try {
                imported = m_store.importFile(path, password, m_questions.chooseCertificate);
            } catch (const CertificateImportError& e) {
                if (e.reason() == CertificateImportError::Reason::Cancelled)
                    return;
                if (e.reason() != CertificateImportError::Reason::WrongPassword)
                    throw;
                if (asked)
                    showError(e.description());
                const auto answer =
                    m_questions.askPassword ? m_questions.askPassword(fileName) : std::nullopt;
                if (!answer)
                    return;
                password = *answer;
                asked = true;
            }
        }
        const bool listed =
            std::any_of(m_entries.cbegin(), m_entries.cend(), [&](const SourcedCertificate& entry) {
                return entry.storeId == imported->id;
            });
        reload(imported->id);
        const QString holder = holderText(imported->certificate);
        lblStatus->setText(listed ? QStringLiteral("O certificado de ") + holder +
                                        QStringLiteral(" já estava na lista.")
                                  : QStringLiteral("Certificado de ") + holder +
                                        QStringLiteral(" importado."));
        // The imported certificate is the selected row: Enter chooses it.
        lstCertificados->setFocus();
    } catch (const RuntimeError& e) {
        showError(e.description());
    }
}

void CertificateDialog::removeSelected() {
    try {
        const SourcedCertificate* entry = current();
        if (!entry || entry->storeId.isEmpty())
            return;
        const QString holder = holderText(entry->certificate);
        const MsgAnswer answer = m_prompter.show(
            {QStringLiteral("Deseja remover o certificado de ") + holder +
                 QStringLiteral(" da lista? O arquivo original do certificado não é alterado."),
             CertificateMessages::kTitle, MsgIcon::Warning, MsgButtons::YesNo});
        if (answer != MsgAnswer::Yes)
            return;
        m_store.remove(entry->storeId);
        lblStatus->clear();
        reload(QString());
    } catch (const RuntimeError& e) {
        showError(e.description());
    }
}
