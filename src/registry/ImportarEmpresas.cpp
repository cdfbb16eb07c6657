// The company import window: controls, choosing and loading the file, and
// the import with its progress.
#include "registry/ImportarEmpresas.h"

#include "base/RuntimeError.h"
#include "certificates/CertificateMessages.h"
#include "certificates/CertificatePicker.h"
#include "platform/FilePicker.h"
#include "platform/Prompter.h"
#include "platform/Twips.h"
#include "registry/CompanyImport.h"
#include "shell/AppContext.h"
#include "shell/Emblem.h"
#include "shell/ErrorReport.h"
#include "shell/WindowRegistry.h"
#include "store/LocalDb.h"

#include <QCloseEvent>
#include <QColor>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <exception>
#include <optional>

namespace {

const QString kWindowName = QStringLiteral("ImportarEmpresas");

struct ColumnSpec {
    const char* header;
    int twips;
    bool centred;
};
// Headers and widths of the review grid, in column order.
constexpr std::array<ColumnSpec, 4> kColumns{{
    {"IE", 1500, true},
    {"CNPJ", 1800, true},
    {"CNAE", 1200, true},
    {"Razão Social", 5000, false},
}};

template <class W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

ImportarEmpresas::ImportarEmpresas(AppContext& context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setObjectName(kWindowName);
    setWindowTitle(
        QStringLiteral("Cadastro de Empresas - Através do Arquivo NovaGIA - Importação"));
    setWindowIcon(Emblem::icon());
    buildControls();
}

int ImportarEmpresas::gridColumnTwips(int column) {
    return column >= 0 && column < static_cast<int>(kColumns.size()) ? kColumns[column].twips : 0;
}

void ImportarEmpresas::buildControls() {
    Text1 = named(new QLineEdit(QStringLiteral("Selecione o arquivo a importar"), this), "Text1");
    Text1->setReadOnly(true);
    Text1->setAccessibleName(QStringLiteral("Arquivo a importar"));
    Command2 = named(new QPushButton(QStringLiteral("Selecionar Arquivo"), this), "Command2");
    Command3 = named(new QPushButton(QStringLiteral("Carregar Dados"), this), "Command3");
    Command3->hide();

    MSFlexGrid1 =
        named(new QTableWidget(0, static_cast<int>(kColumns.size()), this), "MSFlexGrid1");
    MSFlexGrid1->setAccessibleName(QStringLiteral("Empresas do arquivo"));
    MSFlexGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MSFlexGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    MSFlexGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    MSFlexGrid1->verticalHeader()->hide();
    MSFlexGrid1->horizontalHeader()->setSectionsClickable(false);
    QStringList headers;
    for (const ColumnSpec& c : kColumns)
        headers << QString::fromUtf8(c.header);
    MSFlexGrid1->setHorizontalHeaderLabels(headers);
    MSFlexGrid1->hide();

    Label1 = named(new QLabel(QStringLiteral("Atenção, a importação não será concluída, existe "
                                             "inconsistência nos cadastros."),
                              this),
                   "Label1");
    Label2 = named(
        new QLabel(QStringLiteral("Para prosseguir, corrija as informações e tente novamente."),
                   this),
        "Label2");
    for (QLabel* l : {Label1, Label2}) {
        l->setWordWrap(true);
        l->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
        l->hide();
    }

    lblImportacao = named(new QLabel(this), "lblImportacao");
    prgImportacao = named(new QProgressBar(this), "prgImportacao");
    prgImportacao->setAccessibleName(QStringLiteral("Progresso da importação"));
    lblImportacao->hide();
    prgImportacao->hide();

    Command1 = named(new QPushButton(QStringLiteral("Impo&rtar"), this), "Command1");
    Command1->hide();
    // Enter in the review grid imports, as OK does in a list; while the
    // import is not offered it does nothing (never the file dialog).
    Command1->setDefault(true);

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(Text1, 1);
    fileRow->addWidget(Command2);
    auto* loadRow = new QHBoxLayout;
    loadRow->addWidget(Command3);
    loadRow->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->addLayout(fileRow);
    layout->addLayout(loadRow);
    layout->addWidget(MSFlexGrid1, 1);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(lblImportacao);
    layout->addWidget(prgImportacao);
    layout->addLayout(buttons);

    QWidget* order[] = {Text1, Command2, Command3, MSFlexGrid1, Command1};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(Command1, &QPushButton::clicked, this, &ImportarEmpresas::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &ImportarEmpresas::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &ImportarEmpresas::Command3_Click);

    // Wide enough for the four columns at their designed widths.
    int gridWidth = 0;
    for (const ColumnSpec& c : kColumns)
        gridWidth += Twips::TwipsToPixels(c.twips, logicalDpiX());
    resize(gridWidth + 60, 440);
}

void ImportarEmpresas::Command2_Click() {
    if (!m_context.files)
        return;
    const std::optional<QString> path = m_context.files->openFile(
        {QStringLiteral("Escolha o arquivo"),
         QStringLiteral("Arquivos exportados do NovaGIA (*.mdb)"), QStringLiteral("mdb")});
    if (!path)
        return;
    // Only a loaded and reviewed file may be imported: a new choice waits
    // for its own load.
    if (*path != Text1->text()) {
        MSFlexGrid1->hide();
        Command1->hide();
        Label1->hide();
        Label2->hide();
    }
    Text1->setText(*path);
    Command3->show();
}

void ImportarEmpresas::Command3_Click() {
    QList<AccessExport::Company> companies;
    try {
        companies = AccessExport::readCompanies(Text1->text());
        if (companies.size() > CompanyImport::kMaxCompanies)
            throw RuntimeError(6, kWindowName, QStringLiteral("Empresas demais no arquivo"));
    } catch (const std::exception& error) {
        m_context.prompter->show(CompanyImport::readFailureMessage(error));
        return;
    }
    if (companies.isEmpty()) {
        m_context.prompter->show(
            {CompanyImport::kEmptyFile, QString(), MsgIcon::None, MsgButtons::Ok});
        return;
    }
    fillGrid(companies);
}

void ImportarEmpresas::fillGrid(const QList<AccessExport::Company>& companies) {
    QTableWidget* g = MSFlexGrid1;
    g->clearContents();
    g->setRowCount(static_cast<int>(companies.size()));
    const double dpi = logicalDpiX();
    for (int c = 0; c < static_cast<int>(kColumns.size()); ++c)
        g->setColumnWidth(c, Twips::TwipsToPixels(kColumns[c].twips, dpi));
    g->show();

    bool anyInconsistent = false;
    for (int row = 0; row < g->rowCount(); ++row) {
        const AccessExport::Company& company = companies.at(row);
        const QString values[] = {company.IE, company.Cnpj, company.Cnae, company.RazaoSocial};
        const bool inconsistent = CompanyImport::isInconsistent(company);
        anyInconsistent = anyInconsistent || inconsistent;
        for (int c = 0; c < static_cast<int>(kColumns.size()); ++c) {
            auto* item = new QTableWidgetItem(values[c]);
            if (kColumns[c].centred)
                item->setTextAlignment(Qt::AlignCenter);
            else
                item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            if (inconsistent)
                item->setBackground(QColor(255, 0, 0));
            g->setItem(row, c, item);
        }
    }

    // The designed widths are the least; a column whose texts are wider
    // (a formatted CNPJ in a large font) grows to show them whole.
    for (int c = 0; c < static_cast<int>(kColumns.size()); ++c) {
        const int designed = g->columnWidth(c);
        g->resizeColumnToContents(c);
        g->setColumnWidth(c, std::max(designed, g->columnWidth(c)));
    }

    Command1->setVisible(!anyInconsistent);
    Label1->setVisible(anyInconsistent);
    Label2->setVisible(anyInconsistent);
}

void ImportarEmpresas::Command1_Click() {
    SelecionarCertificado();
}

void ImportarEmpresas::SelecionarCertificado() {
    if (m_importing)
        return;
    const auto okBox = [this](const QString& text) {
        m_context.prompter->show({text, QString(), MsgIcon::None, MsgButtons::Ok});
    };

    // The import reads the file again; the grid is only for review.
    QList<AccessExport::Company> companies;
    try {
        companies = AccessExport::readCompanies(Text1->text());
    } catch (const std::exception& error) {
        m_context.prompter->show(CompanyImport::readFailureMessage(error));
        return;
    }
    // The file may have changed since it was reviewed: what is imported must
    // pass the same review, so a changed file is shown again instead.
    if (companies.isEmpty() ||
        std::any_of(companies.cbegin(), companies.cend(), CompanyImport::isInconsistent)) {
        Command3_Click();
        return;
    }

    try {
        LocalDb db;

        // One certificate for the whole import. No company is current yet, so
        // the taxpayer document is empty and every certificate matches: there
        // is nothing to check before the server's dates are known.
        std::optional<Certificate> certificate;
        try {
            if (!m_context.certificates)
                throw RuntimeError(-1, kWindowName,
                                   QStringLiteral("Sem repositório de certificados"));
            certificate = m_context.certificates->pick(CertificateMessages::kDialogTitle,
                                                       CertificateMessages::kDialogText);
        } catch (const std::exception&) {
            okBox(CertificateMessages::componentFailure());
            return;
        }
        if (!certificate)
            return;
        if (certificate->hasCrlDistributionPoints) {
            const QString cdp = VerificarCDP(*certificate);
            if (!cdp.isEmpty())
                okBox(cdp);
        }

        if (!m_context.soap)
            throw RuntimeError(-1, kWindowName, QStringLiteral("Sem cliente SOAP"));
        setImporting(true);
        const CompanyImport::Outcome outcome =
            CompanyImport::run(companies, *certificate, *m_context.soap, db, *m_context.prompter,
                               [this](int index, int count, const AccessExport::Company& company) {
                                   showProgress(index, count, company);
                               });
        setImporting(false);
        if (outcome == CompanyImport::Outcome::Completed)
            close();
    } catch (const RuntimeError& error) {
        setImporting(false);
        m_context.prompter->show(ErrorReport::ErrorMessage(error));
    } catch (const std::exception& error) {
        setImporting(false);
        m_context.prompter->show(ErrorReport::ErrorMessage(
            RuntimeError(0, kWindowName, QString::fromLocal8Bit(error.what()))));
    }
}

void ImportarEmpresas::showProgress(int index, int count, const AccessExport::Company& company) {
    prgImportacao->setRange(0, count);
    prgImportacao->setValue(index);
    lblImportacao->setText(QStringLiteral("Empresa %1 de %2: %3 (Inscrição Estadual %4)")
                               .arg(index + 1)
                               .arg(count)
                               .arg(company.RazaoSocial.trimmed(), company.IE));
}

void ImportarEmpresas::setImporting(bool on) {
    m_importing = on;
    for (QWidget* w : {static_cast<QWidget*>(Text1), static_cast<QWidget*>(Command1),
                       static_cast<QWidget*>(Command2), static_cast<QWidget*>(Command3)})
        w->setEnabled(!on);
    lblImportacao->setVisible(on);
    prgImportacao->setVisible(on);
    if (on) {
        prgImportacao->setValue(0);
        lblImportacao->clear();
    }
}

void ImportarEmpresas::reject() {
    close();
}

void ImportarEmpresas::closeEvent(QCloseEvent* event) {
    // Half an import must not be left behind by a close box.
    if (m_importing) {
        event->ignore();
        return;
    }
    if (m_context.windows && m_context.windows->loaded(kWindowName) == this)
        m_context.windows->unload(kWindowName);
    event->accept();
}
