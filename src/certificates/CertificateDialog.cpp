// The certificate selection dialog: its layout, the rows and their filter,
// the listing of the sources, and choosing one. Importing and removing
// (CertificateDialogImport.cpp) and the token login
// (CertificateDialogLogin.cpp) live beside it.
#include "certificates/CertificateDialog.h"

#include "certificates/CertificateExpiry.h"
#include "certificates/CertificateListLook.h"
#include "certificates/CertificateMessages.h"
#include "certificates/CertificateRows.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "validation/DigitString.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QString shortDate(const QDateTime& d) {
    return d.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
}

enum Column { Holder, Document, Issuer, ValidTo, DaysLeft, Origin, Serial };
constexpr int kIndexRole = Qt::UserRole;
constexpr int kSortRole = Qt::UserRole + 1;

// Sorts the date and days columns by their values, the others as text.
class Row : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        if (column == ValidTo || column == DaysLeft)
            return data(DaysLeft, kSortRole).toLongLong() <
                   other.data(DaysLeft, kSortRole).toLongLong();
        return text(column).localeAwareCompare(other.text(column)) < 0;
    }
};

} // namespace

CertificateDialog::CertificateDialog(CertificateStore& store, Prompter& prompter,
                                     const Clock& clock, Questions questions, const QString& title,
                                     const QString& displayText,
                                     const QList<CertificateStore::Entry>& entries, QWidget* parent)
    : QDialog(parent), m_store(store), m_prompter(prompter), m_clock(clock),
      m_questions(std::move(questions)) {
    setObjectName(QStringLiteral("CertificateDialog"));
    setWindowTitle(title);
    setModal(true);

    lblTexto = named(new QLabel(displayText, this), "lblTexto");
    lblTexto->setWordWrap(true);
    lstCertificados = named(new QTreeWidget(this), "lstCertificados");
    lstCertificados->setAccessibleName(QStringLiteral("Certificados digitais"));
    lstCertificados->setHeaderLabels({QStringLiteral("Titular"), QStringLiteral("CNPJ/CPF"),
                                      QStringLiteral("Emitido por"), QStringLiteral("Válido até"),
                                      QStringLiteral("Dias restantes"), QStringLiteral("Origem"),
                                      QStringLiteral("Número de série")});
    lstCertificados->setSortingEnabled(true);
    lstCertificados->sortByColumn(Holder, Qt::AscendingOrder);
    lstCertificados->setRootIsDecorated(false);
    lstCertificados->setSelectionMode(QAbstractItemView::SingleSelection);
    lstCertificados->setAllColumnsShowFocus(true);
    // Every column in sight at the opening size: the issuer, then the
    // holder, then the origin give up width (their whole text is the tip).
    keepColumnsFitted(lstCertificados, {{Issuer, 90}, {Holder, 180}, {Origin, 140}});
    lblTexto->setBuddy(lstCertificados);
    lblVazio = named(new QLabel(QStringLiteral("Nenhum certificado importado. Use \"Importar...\" "
                                               "para adicionar o arquivo do certificado (.pfx, "
                                               ".p12, .cer, .crt ou .pem)."),
                                this),
                     "lblVazio");
    lblVazio->setWordWrap(true);
    // One line confirming the last import; empty until then.
    lblStatus = named(new QLabel(this), "lblStatus");
    lblStatus->setWordWrap(true);
    lblLendo = named(new QLabel(QStringLiteral("Lendo certificados..."), this), "lblLendo");
    lblLendo->hide();
    lblFalhas = named(new QLabel(this), "lblFalhas");
    lblFalhas->setWordWrap(true);
    lblFalhas->hide();
    txtProcurar = named(new QLineEdit(this), "txtProcurar");
    txtProcurar->setAccessibleName(QStringLiteral("Procurar por titular ou CNPJ/CPF"));
    txtProcurar->setPlaceholderText(QStringLiteral("Titular ou CNPJ/CPF"));
    auto* lblProcurar = named(new QLabel(QStringLiteral("&Procurar:"), this), "lblProcurar");
    lblProcurar->setBuddy(txtProcurar);

    cmdImportar = named(new QPushButton(QStringLiteral("&Importar..."), this), "cmdImportar");
    cmdRemover = named(new QPushButton(QStringLiteral("&Remover"), this), "cmdRemover");
    cmdEntrar = named(new QPushButton(QStringLiteral("&Entrar no token..."), this), "cmdEntrar");
    cmdEntrar->setAutoDefault(false);
    cmdEntrar->hide();
    cmdOK = named(new QPushButton(QStringLiteral("OK"), this), "cmdOK");
    cmdCancelar = named(new QPushButton(QStringLiteral("Cancelar"), this), "cmdCancelar");
    cmdOK->setDefault(true);
    cmdImportar->setAutoDefault(false);
    cmdRemover->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdImportar);
    buttons->addWidget(cmdRemover);
    buttons->addWidget(cmdEntrar);
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancelar);
    auto* find = new QHBoxLayout;
    find->addWidget(lblProcurar);
    find->addWidget(txtProcurar);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblTexto);
    layout->addLayout(find);
    layout->addWidget(lstCertificados);
    layout->addWidget(lblLendo);
    layout->addWidget(lblFalhas);
    layout->addWidget(lblVazio);
    layout->addWidget(lblStatus);
    layout->addLayout(buttons);
    resize(980, 400);

    setTabOrder(txtProcurar, lstCertificados);
    setTabOrder(lstCertificados, cmdImportar);
    setTabOrder(cmdImportar, cmdRemover);
    setTabOrder(cmdRemover, cmdEntrar);
    setTabOrder(cmdEntrar, cmdOK);
    setTabOrder(cmdOK, cmdCancelar);

    connect(cmdImportar, &QPushButton::clicked, this, [this] { importFromFile(); });
    connect(cmdRemover, &QPushButton::clicked, this, [this] { removeSelected(); });
    connect(cmdEntrar, &QPushButton::clicked, this, [this] { logInToToken(); });
    connect(txtProcurar, &QLineEdit::textChanged, this, [this] { filter(); });
    connect(cmdOK, &QPushButton::clicked, this, [this] { chooseSelected(); });
    connect(cmdCancelar, &QPushButton::clicked, this, [this] { cancelChoice(); });
    connect(lstCertificados, &QTreeWidget::itemSelectionChanged, this,
            [this] { selectionChanged(); });
    connect(lstCertificados, &QTreeWidget::itemActivated, this, [this] { chooseSelected(); });

    fill(ownFolderRows(entries), QString());
    lstCertificados->setFocus();
}

void CertificateDialog::fill(const QList<SourcedCertificate>& entries, const QString& selectId) {
    m_found = entries;
    m_entries = mergeSameCertificates(entries);
    lstCertificados->setSortingEnabled(false);
    lstCertificados->clear();
    const QDate today = m_clock.today();
    QTreeWidgetItem* toSelect = nullptr;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const SourcedCertificate& e = m_entries[i];
        const Certificate& c = e.certificate;
        const int days = daysLeft(c, today);
        auto* item = new Row(lstCertificados, {holderText(c), formattedDocument(e.documents),
                                               c.issuerName.isEmpty() ? c.issuer : c.issuerName,
                                               shortDate(c.validTo), daysLeftText(days), e.origin,
                                               shortSerial(c.serialNumber)});
        item->setData(Holder, kIndexRole, static_cast<int>(i));
        item->setData(DaysLeft, kSortRole, c.validTo.toSecsSinceEpoch());
        item->setToolTip(Holder, c.subject);
        item->setToolTip(Issuer, c.issuer);
        item->setToolTip(Origin, e.origin);
        item->setToolTip(Serial, c.serialNumber);
        markDaysLeft(item, days);
        if ((!selectId.isEmpty() && e.storeId == selectId) || (selectId.isEmpty() && !toSelect))
            toSelect = item;
    }
    lstCertificados->setSortingEnabled(true);
    if (selectId.isEmpty() && lstCertificados->topLevelItemCount() > 0)
        toSelect = lstCertificados->topLevelItem(0);
    if (toSelect)
        lstCertificados->setCurrentItem(toSelect);
    lblVazio->setVisible(m_entries.isEmpty() && !m_listing);
    fitColumnsNow(lstCertificados);
    filter();
    selectionChanged();
}

void CertificateDialog::filter() {
    const QString text = txtProcurar->text().trimmed();
    const QString digits = DigitString::digitsOf(text).text();
    for (int i = 0; i < lstCertificados->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = lstCertificados->topLevelItem(i);
        const bool shown = text.isEmpty() ||
                           item->text(Holder).contains(text, Qt::CaseInsensitive) ||
                           (!digits.isEmpty() &&
                            DigitString::digitsOf(item->text(Document)).text().contains(digits));
        item->setHidden(!shown);
    }
    QTreeWidgetItem* currentItem = lstCertificados->currentItem();
    if (!currentItem || currentItem->isHidden()) {
        lstCertificados->clearSelection();
        for (int i = 0; i < lstCertificados->topLevelItemCount(); ++i) {
            if (!lstCertificados->topLevelItem(i)->isHidden()) {
                lstCertificados->setCurrentItem(lstCertificados->topLevelItem(i));
                break;
            }
        }
    }
    selectionChanged();
}

void CertificateDialog::startListing(CertificateSourceList sources,
                                     std::chrono::milliseconds timeout) {
    m_listing = true;
    lblLendo->show();
    lblVazio->hide();
    listCertificatesAsync(std::move(sources), timeout, this,
                          [this](const CertificateListing& result) { listed(result); });
}

void CertificateDialog::listed(const CertificateListing& listing) {
    try {
        m_listing = false;
        lblLendo->hide();
        m_loginTokens = listing.loginTokens;
        cmdEntrar->setVisible(!m_loginTokens.isEmpty());
        lblFalhas->setText(listing.failures.join(QLatin1Char('\n')));
        lblFalhas->setVisible(!listing.failures.isEmpty());
        fill(listing.certificates, QString());
    } catch (const RuntimeError& e) {
        showError(e.description());
    }
}

void CertificateDialog::selectionChanged() {
    const SourcedCertificate* entry = current();
    cmdOK->setEnabled(entry != nullptr);
    // Tokens and browsers are never written to: only the own folder's
    // copies can be removed.
    cmdRemover->setEnabled(entry && !entry->storeId.isEmpty());
}

const SourcedCertificate* CertificateDialog::current() const {
    const QList<QTreeWidgetItem*> items = lstCertificados->selectedItems();
    if (items.isEmpty() || items.first()->isHidden())
        return nullptr;
    const int index = items.first()->data(Holder, kIndexRole).toInt();
    return index >= 0 && index < m_entries.size() ? &m_entries[index] : nullptr;
}

void CertificateDialog::showError(const QString& text) {
    m_prompter.show({text, CertificateMessages::kTitle, MsgIcon::Critical, MsgButtons::Ok});
}

void CertificateDialog::selectCertificate(const QByteArray& der) {
    for (int i = 0; i < lstCertificados->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = lstCertificados->topLevelItem(i);
        if (m_entries[item->data(Holder, kIndexRole).toInt()].certificate.der == der)
            lstCertificados->setCurrentItem(item);
    }
}

void CertificateDialog::chooseSelected() {
    if (const SourcedCertificate* entry = current()) {
        m_chosen = entry->certificate;
        accept();
    }
}

void CertificateDialog::cancelChoice() {
    m_chosen.reset();
    reject();
}
