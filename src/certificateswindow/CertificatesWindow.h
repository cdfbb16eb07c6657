// The "Certificados" window: every certificate the program can see (own
// folder, tokens, browsers) with its days left, and beside each registered
// taxpayer and the accountant the certificate found for its document and how
// long it lasts. Sources are listed off the window's thread ("Lendo
// certificados..."); a source that fails is named in one line. A token that
// shows its certificates only after the PIN is offered "Entrar no token...",
// as in the selection dialog. Read-only: nothing is imported, removed or
// written. The window unloads itself on close.
#pragma once

#include "certificates/CertificateSource.h"
#include "certificates/TokenLogin.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTreeWidget;
struct AppContext;

class CertificatesWindow : public QWidget {
    Q_OBJECT
public:
    explicit CertificatesWindow(AppContext& context, QWidget* parent = nullptr);

    QLabel* lblLendo;
    QLabel* lblFalhas;
    QTreeWidget* lstCertificados; // every certificate seen
    QTreeWidget* lstCadastros;    // taxpayers and accountant with their certificate
    QPushButton* cmdAtualizar;
    QPushButton* cmdEntrar; // shown while a token waits for its PIN
    QPushButton* cmdFechar;

    // Lists the sources again (nothing happens while a listing runs).
    void refresh();
    // Asks the PIN of the first token that waits for one (through the
    // context's PinPrompter), then logs in off the window's thread; its
    // certificates join both lists and are watched like the others. A wrong
    // PIN is said in a box.
    void logInToToken();
    // Whether a listing or a login is under way.
    bool listing() const { return m_listing; }

private:
    void listed(const CertificateListing& listing);
    void loggedIn(const TokenLoginResult& result);

    AppContext& m_context;
    bool m_listing = false;
    CertificateListing m_shown;      // what the lists show, before merging
    QList<LoginToken> m_loginTokens; // tokens still waiting for their PIN
};
