// The certificate selection dialog over the user's certificate store.
#include "certificates/CertificateDialog.h"

#include "certificates/CertificateMessages.h"
#include "platform/Prompter.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QString shortDate(const QDateTime& d) {
    return d.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
}

QString holderOf(const Certificate& c) {
    return c.holderName.isEmpty() ? c.subject : c.holderName;
}

} // namespace

CertificateDialog::CertificateDialog(CertificateStore& store, Prompter& prompter,
                                     Questions questions, const QString& title,
                                     const QString& displayText,
                                     const QList<CertificateStore::Entry>& entries, QWidget* parent)
    : QDialog(parent), m_store(store), m_prompter(prompter), m_questions(std::move(questions)) {
    setObjectName(QStringLiteral("CertificateDialog"));
    setWindowTitle(title);
    setModal(true);

    lblTexto = named(new QLabel(displayText, this), "lblTexto");
    lblTexto->setWordWrap(true);
    lstCertificados = named(new QTreeWidget(this), "lstCertificados");
    lstCertificados->setAccessibleName(QStringLiteral("Certificados digitais"));
    lstCertificados->setHeaderLabels({QStringLiteral("Titular"), QStringLiteral("Emitido por"),
                                      QStringLiteral("Válido a partir de"),
                                      QStringLiteral("Válido até"),
                                      QStringLiteral("Número de série")});
    lstCertificados->setRootIsDecorated(false);
    lstCertificados->setSelectionMode(QAbstractItemView::SingleSelection);
    lstCertificados->setAllColumnsShowFocus(true);
    lstCertificados->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
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

    cmdImportar = named(new QPushButton(QStringLiteral("&Importar..."), this), "cmdImportar");
    cmdRemover = named(new QPushButton(QStringLiteral("&Remover"), this), "cmdRemover");
    cmdOK = named(new QPushButton(QStringLiteral("OK"), this), "cmdOK");
    cmdCancelar = named(new QPushButton(QStringLiteral("Cancelar"), this), "cmdCancelar");
    cmdOK->setDefault(true);
    cmdImportar->setAutoDefault(false);
    cmdRemover->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdImportar);
    buttons->addWidget(cmdRemover);
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancelar);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblTexto);
    layout->addWidget(lstCertificados);
    layout->addWidget(lblVazio);
    layout->addWidget(lblStatus);
    layout->addLayout(buttons);
    resize(860, 360);

    setTabOrder(lstCertificados, cmdImportar);
    setTabOrder(cmdImportar, cmdRemover);
    setTabOrder(cmdRemover, cmdOK);
    setTabOrder(cmdOK, cmdCancelar);

    connect(cmdImportar, &QPushButton::clicked, this, [this] { cmdImportar_Click(); });
    connect(cmdRemover, &QPushButton::clicked, this, [this] { cmdRemover_Click(); });
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancelar, &QPushButton::clicked, this, [this] { cmdCancelar_Click(); });
    connect(lstCertificados, &QTreeWidget::itemSelectionChanged, this,
            [this] { selectionChanged(); });
    connect(lstCertificados, &QTreeWidget::itemActivated, this, [this] { cmdOK_Click(); });

    fill(entries, QString());
}

void CertificateDialog::fill(const QList<CertificateStore::Entry>& entries,
                             const QString& selectId) {
    m_entries = entries;
    lstCertificados->clear();
    QTreeWidgetItem* toSelect = nullptr;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const Certificate& c = m_entries[i].certificate;
        auto* item =
            new QTreeWidgetItem(lstCertificados, {holderOf(c), c.issuer, shortDate(c.validFrom),
                                                  shortDate(c.validTo), c.serialNumber});
        item->setData(0, Qt::UserRole, static_cast<int>(i));
        item->setToolTip(0, c.subject);
        if (m_entries[i].id == selectId || (selectId.isEmpty() && i == 0))
            toSelect = item;
    }
    if (toSelect)
        lstCertificados->setCurrentItem(toSelect);
    lblVazio->setVisible(m_entries.isEmpty());
    selectionChanged();
}

void CertificateDialog::reload(const QString& selectId) {
    fill(m_store.list(), selectId);
}

void CertificateDialog::selectionChanged() {
    const bool any = current() != nullptr;
    cmdOK->setEnabled(any);
    cmdRemover->setEnabled(any);
}

const CertificateStore::Entry* CertificateDialog::current() const {
    const QList<QTreeWidgetItem*> items = lstCertificados->selectedItems();
    if (items.isEmpty())
        return nullptr;
    const int index = items.first()->data(0, Qt::UserRole).toInt();
    return index >= 0 && index < m_entries.size() ? &m_entries[index] : nullptr;
}

void CertificateDialog::showError(const QString& text) {
    m_prompter.show({text, CertificateMessages::kTitle, MsgIcon::Critical, MsgButtons::Ok});
}

void CertificateDialog::cmdImportar_Click() {
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
                imported = m_store.importFile(path, password);
            } catch (const CertificateImportError& e) {
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
        const bool listed = std::any_of(
            m_entries.cbegin(), m_entries.cend(),
            [&](const CertificateStore::Entry& entry) { return entry.id == imported->id; });
        reload(imported->id);
        const QString holder = holderOf(imported->certificate);
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

void CertificateDialog::cmdRemover_Click() {
    try {
        const CertificateStore::Entry* entry = current();
        if (!entry)
            return;
        const QString holder = holderOf(entry->certificate);
        const MsgAnswer answer = m_prompter.show(
            {QStringLiteral("Deseja remover o certificado de ") + holder +
                 QStringLiteral(" da lista? O arquivo original do certificado não é alterado."),
             CertificateMessages::kTitle, MsgIcon::Warning, MsgButtons::YesNo});
        if (answer != MsgAnswer::Yes)
            return;
        m_store.remove(entry->id);
        lblStatus->clear();
        reload(QString());
    } catch (const RuntimeError& e) {
        showError(e.description());
    }
}

void CertificateDialog::cmdOK_Click() {
    if (const CertificateStore::Entry* entry = current()) {
        m_chosen = entry->certificate;
        accept();
    }
}

void CertificateDialog::cmdCancelar_Click() {
    m_chosen.reset();
    reject();
}
