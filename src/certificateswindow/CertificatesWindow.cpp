// The certificates window: two read-only lists over the certificate sources
// and the registered holders.
#include "certificateswindow/CertificatesWindow.h"

#include "base/RuntimeError.h"
#include "certificates/CertificateExpiry.h"
#include "certificates/CertificateListLook.h"
#include "certificates/CertificateMessages.h"
#include "certificates/CertificateRows.h"
#include "certificates/CertificateSources.h"
#include "certificates/ExpiryWatch.h"
#include "certificates/TokenLogin.h"
#include "certificateswindow/WatchedHolders.h"
#include "platform/Clock.h"
#include "platform/PinPrompter.h"
#include "platform/Prompter.h"
#include "shell/AppContext.h"
#include "shell/Emblem.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QTreeWidget* list(QWidget* parent, const char* name, const QString& accessible,
                  const QStringList& headers) {
    auto* w = new QTreeWidget(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setAccessibleName(accessible);
    w->setHeaderLabels(headers);
    w->setRootIsDecorated(false);
    w->setAllColumnsShowFocus(true);
    w->setSortingEnabled(true);
    w->sortByColumn(0, Qt::AscendingOrder);
    return w;
}

QString dateOf(const Certificate& c) {
    return c.validTo.toString(QStringLiteral("dd/MM/yyyy"));
}

} // namespace

CertificatesWindow::CertificatesWindow(AppContext& context, QWidget* parent)
    : QWidget(parent, Qt::Window), m_context(context) {
    setObjectName(QStringLiteral("CertificatesWindow"));
    setWindowTitle(QStringLiteral("Certificados"));
    setWindowIcon(Emblem::icon());
    setAttribute(Qt::WA_DeleteOnClose);

    auto* lblTodos = new QLabel(QStringLiteral("Certificados &encontrados:"), this);
    lstCertificados =
        list(this, "lstCertificados", QStringLiteral("Certificados encontrados"),
             {QStringLiteral("Titular"), QStringLiteral("CNPJ/CPF"), QStringLiteral("Válido até"),
              QStringLiteral("Dias restantes"), QStringLiteral("Origem")});
    lblTodos->setBuddy(lstCertificados);
    keepColumnsFitted(lstCertificados, {{0, 180}, {4, 140}});
    auto* lblCad = new QLabel(QStringLiteral("Contribuintes e &contador:"), this);
    lstCadastros = list(this, "lstCadastros", QStringLiteral("Contribuintes e contador"),
                        {QStringLiteral("Cadastro"), QStringLiteral("Nome"),
                         QStringLiteral("Documento"), QStringLiteral("Certificado"),
                         QStringLiteral("Válido até"), QStringLiteral("Dias restantes")});
    lblCad->setBuddy(lstCadastros);
    keepColumnsFitted(lstCadastros, {{3, 180}, {1, 140}});
    lblLendo = new QLabel(QStringLiteral("Lendo certificados..."), this);
    lblLendo->setObjectName(QStringLiteral("lblLendo"));
    lblLendo->hide();
    lblFalhas = new QLabel(this);
    lblFalhas->setObjectName(QStringLiteral("lblFalhas"));
    lblFalhas->setWordWrap(true);
    lblFalhas->hide();
    cmdAtualizar = new QPushButton(QStringLiteral("&Atualizar"), this);
    cmdAtualizar->setObjectName(QStringLiteral("cmdAtualizar"));
    cmdEntrar = new QPushButton(QStringLiteral("&Entrar no token..."), this);
    cmdEntrar->setObjectName(QStringLiteral("cmdEntrar"));
    cmdEntrar->hide();
    cmdFechar = new QPushButton(QStringLiteral("&Fechar"), this);
    cmdFechar->setObjectName(QStringLiteral("cmdFechar"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdAtualizar);
    buttons->addWidget(cmdEntrar);
    buttons->addStretch(1);
    buttons->addWidget(cmdFechar);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblTodos);
    layout->addWidget(lstCertificados, 1);
    layout->addWidget(lblCad);
    layout->addWidget(lstCadastros, 1);
    layout->addWidget(lblLendo);
    layout->addWidget(lblFalhas);
    layout->addLayout(buttons);
    resize(860, 520);

    setTabOrder(lstCertificados, lstCadastros);
    setTabOrder(lstCadastros, cmdAtualizar);
    setTabOrder(cmdAtualizar, cmdEntrar);
    setTabOrder(cmdEntrar, cmdFechar);
    connect(cmdAtualizar, &QPushButton::clicked, this, [this] { refresh(); });
    connect(cmdEntrar, &QPushButton::clicked, this, [this] { logInToToken(); });
    connect(cmdFechar, &QPushButton::clicked, this, [this] { close(); });

    refresh();
}

void CertificatesWindow::refresh() {
    try {
        if (m_listing)
            return;
        if (!m_context.certificateSearch) {
            listed({});
            return;
        }
        m_listing = true;
        cmdAtualizar->setEnabled(false);
        lblLendo->show();
        listCertificatesAsync(m_context.certificateSearch->sources(),
                              m_context.certificateSearch->timeout(), this,
                              [this](const CertificateListing& result) { listed(result); });
    } catch (const RuntimeError& e) {
        m_listing = false;
        cmdAtualizar->setEnabled(true);
        m_context.prompter->show(
            {e.description(), CertificateMessages::kTitle, MsgIcon::Critical, MsgButtons::Ok});
    }
}

void CertificatesWindow::logInToToken() {
    try {
        if (m_listing || m_loginTokens.isEmpty() || !m_context.pins)
            return;
        const LoginToken token = m_loginTokens.first();
        std::optional<QString> pin = m_context.pins->askPin(token.label);
        if (!pin)
            return;
        m_listing = true;
        cmdAtualizar->setEnabled(false);
        cmdEntrar->setEnabled(false);
        lblLendo->show();
        logIntoTokenAsync(token, *pin, this,
                          [this](const TokenLoginResult& result) { loggedIn(result); });
        pin->fill(QLatin1Char('0'));
    } catch (const RuntimeError& e) {
        m_context.prompter->show(
            {e.description(), CertificateMessages::kTitle, MsgIcon::Critical, MsgButtons::Ok});
    }
}

void CertificatesWindow::loggedIn(const TokenLoginResult& result) {
    m_listing = false;
    cmdAtualizar->setEnabled(true);
    cmdEntrar->setEnabled(true);
    lblLendo->hide();
    if (result.error) {
        m_context.prompter->show(
            {*result.error, CertificateMessages::kTitle, MsgIcon::Critical, MsgButtons::Ok});
        return;
    }
    m_loginTokens.removeFirst();
    CertificateListing listing = m_shown;
    listing.certificates.append(result.found);
    listing.loginTokens = m_loginTokens;
    listed(listing);
}

void CertificatesWindow::listed(const CertificateListing& listing) {
    m_listing = false;
    cmdAtualizar->setEnabled(true);
    lblLendo->hide();
    m_shown = listing;
    m_loginTokens = listing.loginTokens;
    cmdEntrar->setVisible(!m_loginTokens.isEmpty() && m_context.pins);
    QStringList failures = listing.failures;
    const QDate today = m_context.clock->today();
    const QList<SourcedCertificate> certificates = mergeSameCertificates(listing.certificates);

    lstCertificados->setSortingEnabled(false);
    lstCertificados->clear();
    for (const SourcedCertificate& c : certificates) {
        const int days = daysLeft(c.certificate, today);
        auto* item = new QTreeWidgetItem(lstCertificados,
                                         {holderText(c.certificate), formattedDocument(c.documents),
                                          dateOf(c.certificate), daysLeftText(days), c.origin});
        item->setToolTip(0, c.certificate.subject);
        item->setToolTip(4, c.origin);
        markDaysLeft(item, days);
    }
    lstCertificados->setSortingEnabled(true);
    fitColumnsNow(lstCertificados);

    lstCadastros->setSortingEnabled(false);
    lstCadastros->clear();
    try {
        for (const WatchRow& row : watchHolders(registeredHolders(), certificates, today)) {
            QStringList cells{row.holder.role, row.holder.name, row.holder.document};
            if (row.certificate) {
                const Certificate& c = row.certificate->certificate;
                cells << (c.holderName + QStringLiteral(" (") + row.certificate->origin +
                          QLatin1Char(')'))
                      << dateOf(c) << daysLeftText(row.daysLeft);
            } else {
                cells << QStringLiteral("Nenhum certificado encontrado") << QString() << QString();
            }
            auto* item = new QTreeWidgetItem(lstCadastros, cells);
            item->setToolTip(3, cells[3]);
            if (row.certificate)
                markDaysLeft(item, row.daysLeft);
        }
    } catch (const RuntimeError& e) {
        // The certificates are still worth seeing without the registrations.
        failures.append(QStringLiteral("Cadastros: ") + e.description());
    }
    lstCadastros->setSortingEnabled(true);
    fitColumnsNow(lstCadastros);
    lblFalhas->setText(failures.join(QLatin1Char('\n')));
    lblFalhas->setVisible(!failures.isEmpty());
}
