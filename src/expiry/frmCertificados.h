// The "Certificados" window: every certificate the program can see (own
// folder, tokens, browsers) with its days left, and beside each registered
// taxpayer and the accountant the certificate found for its document and how
// long it lasts. Sources are listed off the window's thread ("Lendo
// certificados..."); a source that fails is named in one line. Read-only:
// nothing is imported, removed or written. The window unloads itself on close.
#pragma once

#include "certificates/CertificateSource.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTreeWidget;
struct AppContext;

class frmCertificados : public QWidget {
    Q_OBJECT
public:
    explicit frmCertificados(AppContext& context, QWidget* parent = nullptr);

    QLabel* lblLendo;
    QLabel* lblFalhas;
    QTreeWidget* lstCertificados; // every certificate seen
    QTreeWidget* lstCadastros;    // taxpayers and accountant with their certificate
    QPushButton* cmdAtualizar;
    QPushButton* cmdFechar;

    // Lists the sources again (nothing happens while a listing runs).
    void cmdAtualizar_Click();
    bool listing() const { return m_listing; }

private:
    void listed(const CertificateListing& listing);

    AppContext& m_context;
    bool m_listing = false;
};
