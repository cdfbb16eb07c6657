// The certificates window: two read-only lists over the certificate sources
// and the registered holders.
#include "expiry/frmCertificados.h"

#include "base/RuntimeError.h"
#include "certificates/CertificateExpiry.h"
#include "certificates/CertificateMessages.h"
#include "certificates/CertificateSources.h"
#include "certificates/ExpiryWatch.h"
#include "expiry/WatchedHolders.h"
#include "platform/Prompter.h"
#include "shell/AppContext.h"
#include "shell/Emblem.h"

#include <QBrush>
#include <QColor>
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
    w->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return w;
}

// Rows near or past their end read the same in words; the colour helps the eye.
void mark(QTreeWidgetItem* item, int days) {
    if (days > kExpiryWarningDays)
        return;
    const QBrush brush(days < 0 ? QColor(0xB0, 0x00, 0x20) : QColor(0x9A, 0x5B, 0x00));
    for (int column = 0; column < item->columnCount(); ++column)
        item->setForeground(column, brush);
}

QString dateOf(const Certificate& c) {
    return c.validTo.toString(QStringLiteral("dd/MM/yyyy"));
}

} // namespace

frmCertificados::frmCertificados(AppContext& context, QWidget* parent)
    : QWidget(parent, Qt::Window), m_context(context) {
    setObjectName(QStringLiteral("frmCertificados"));
    setWindowTitle(QStringLiteral("Certificados"));
    setWindowIcon(Emblem::icon());
    setAttribute(Qt::WA_DeleteOnClose);

    auto* lblTodos = new QLabel(QStringLiteral("Certificados &encontrados:"), this);
    lstCertificados =
        list(this, "lstCertificados", QStringLiteral("Certificados encontrados"),
             {QStringLiteral("Titular"), QStringLiteral("CNPJ/CPF"), QStringLiteral("Válido até"),
              QStringLiteral("Dias restantes"), QStringLiteral("Origem")});
    lblTodos->setBuddy(lstCertificados);
    auto* lblCad = new QLabel(QStringLiteral("Contribuintes e &contador:"), this);
    lstCadastros = list(this, "lstCadastros", QStringLiteral("Contribuintes e contador"),
                        {QStringLiteral("Cadastro"), QStringLiteral("Nome"),
                         QStringLiteral("Documento"), QStringLiteral("Certificado"),
                         QStringLiteral("Válido até"), QStringLiteral("Dias restantes")});
    lblCad->setBuddy(lstCadastros);
    lblLendo = new QLabel(QStringLiteral("Lendo certificados..."), this);
    lblLendo->setObjectName(QStringLiteral("lblLendo"));
    lblLendo->hide();
    lblFalhas = new QLabel(this);
    lblFalhas->setObjectName(QStringLiteral("lblFalhas"));
    lblFalhas->setWordWrap(true);
    lblFalhas->hide();
    cmdAtualizar = new QPushButton(QStringLiteral("&Atualizar"), this);
    cmdAtualizar->setObjectName(QStringLiteral("cmdAtualizar"));
    cmdFechar = new QPushButton(QStringLiteral("&Fechar"), this);
    cmdFechar->setObjectName(QStringLiteral("cmdFechar"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdAtualizar);
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
    setTabOrder(cmdAtualizar, cmdFechar);
    connect(cmdAtualizar, &QPushButton::clicked, this, [this] { cmdAtualizar_Click(); });
    connect(cmdFechar, &QPushButton::clicked, this, [this] { close(); });

    cmdAtualizar_Click();
}

void frmCertificados::cmdAtualizar_Click() {
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

void frmCertificados::listed(const CertificateListing& listing) {
    m_listing = false;
    cmdAtualizar->setEnabled(true);
    lblLendo->hide();
    QStringList failures = listing.failures;
    const QDate today = QDate::currentDate();

    lstCertificados->setSortingEnabled(false);
    lstCertificados->clear();
    for (const SourcedCertificate& c : listing.certificates) {
        const int days = daysLeft(c.certificate, today);
        auto* item = new QTreeWidgetItem(
            lstCertificados,
            {c.certificate.holderName.isEmpty() ? c.certificate.subject : c.certificate.holderName,
             formattedDocument(c.documents), dateOf(c.certificate), daysLeftText(days), c.origin});
        mark(item, days);
    }
    lstCertificados->setSortingEnabled(true);

    lstCadastros->setSortingEnabled(false);
    lstCadastros->clear();
    try {
        for (const WatchRow& row : watchHolders(registeredHolders(), listing.certificates, today)) {
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
            if (row.certificate)
                mark(item, row.daysLeft);
        }
    } catch (const RuntimeError& e) {
        // The certificates are still worth seeing without the registrations.
        failures.append(QStringLiteral("Cadastros: ") + e.description());
    }
    lstCadastros->setSortingEnabled(true);
    lblFalhas->setText(failures.join(QLatin1Char('\n')));
    lblFalhas->setVisible(!failures.isEmpty());
}
