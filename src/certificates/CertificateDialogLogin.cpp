// The certificate selection dialog's token login: the PIN of a token that
// shows its certificates only after it, then the login off the window's
// thread; the certificates found join the list.
#include "certificates/CertificateDialog.h"

#include "certificates/CertificateRows.h"
#include "certificates/TokenLogin.h"

#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

void CertificateDialog::logInToToken() {
    try {
        if (m_loginTokens.isEmpty() || m_listing)
            return;
        const LoginToken token = m_loginTokens.first();
        std::optional<QString> pin =
            m_questions.askPin ? m_questions.askPin(token.label) : std::nullopt;
        if (!pin)
            return;
        // Off the window's thread, as the listing: a token that hangs leaves
        // the dialog usable (Cancelar still works).
        m_listing = true;
        cmdEntrar->setEnabled(false);
        lblLendo->show();
        logIntoTokenAsync(token, *pin, this, [this](const TokenLoginResult& result) {
            loggedIn(result.found, result.error);
        });
        pin->fill(QLatin1Char('0'));
    } catch (const RuntimeError& e) {
        showError(e.description());
    }
}

void CertificateDialog::loggedIn(const QList<SourcedCertificate>& found,
                                 const std::optional<QString>& error) {
    try {
        m_listing = false;
        lblLendo->hide();
        cmdEntrar->setEnabled(true);
        if (error) {
            showError(*error);
            return;
        }
        m_loginTokens.removeFirst();
        cmdEntrar->setVisible(!m_loginTokens.isEmpty());
        QList<SourcedCertificate> entries = m_found;
        entries.append(found);
        fill(entries, QString());
        if (!found.isEmpty())
            selectCertificate(found.first().certificate.der);
        lstCertificados->setFocus();
    } catch (const RuntimeError& e) {
        showError(e.description());
    }
}
