// The local archive window.
#include "archivewindow/ArchiveWindow.h"

#include "archive/ArchiveListing.h"
#include "archive/SentArchive.h"
#include "base/RuntimeError.h"
#include "platform/Prompter.h"
#include "platform/UrlOpener.h"
#include "receipts/ReceiptKeeper.h"
#include "shell/AppContext.h"
#include "shell/Emblem.h"
#include "shell/ErrorReport.h"
#include "shell/ProgramState.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>

namespace {

const QString kName = QStringLiteral("ArchiveWindow");
const QString kTitle = QStringLiteral("VAV-UVOD - Arquivo local");
enum Column {
    ColData,
    ColTipo,
    ColReferencias,
    ColArquivo,
    ColTamanho,
    ColResultado,
    ColSha,
    ColRecibos
};

// The files of a kept receipt, as the "Recibos" column names them.
QString filesText(const Receipts::Files& files) {
    QStringList out;
    if (!files.page.isEmpty())
        out << (files.page.endsWith(QLatin1String(".pdf")) ? QStringLiteral("página (PDF)")
                                                           : QStringLiteral("página (HTML)"));
    else
        out << QStringLiteral("sem a página");
    if (!files.pdf.isEmpty())
        out << QStringLiteral("PDF do programa");
    if (!files.xml.isEmpty())
        out << QStringLiteral("XML");
    return out.join(QStringLiteral(", "));
}

// The kept receipts of an accepted sending's months ("01/2026, 02/2026").
QString receiptsOfSending(const QList<Receipts::Kept>& kept, const QString& references) {
    QStringList out;
    for (const QString& month : references.split(QStringLiteral(", "), Qt::SkipEmptyParts))
        for (const Receipts::Kept& k : kept)
            if (Receipts::referenceMonth(k.sending.referencia) == Receipts::referenceMonth(month))
                out << QStringLiteral("protocolo %1 (%2)").arg(k.sending.protocolo, month);
    return out.join(QStringLiteral("; "));
}
constexpr qsizetype kShaShown = 16;

} // namespace

ArchiveWindow::ArchiveWindow(AppContext& context, QWidget* parent)
    : QWidget(parent, Qt::Window), m_context(context) {
    setObjectName(kName);
    setWindowTitle(caption());
    setWindowIcon(Emblem::icon());

    lblContribuinte = new QLabel(this);
    lblContribuinte->setObjectName(QStringLiteral("lblContribuinte"));
    Grid = new QTableWidget(0, 8, this);
    Grid->setObjectName(QStringLiteral("Grid"));
    Grid->setAccessibleName(QStringLiteral("Arquivo local"));
    Grid->setHorizontalHeaderLabels({QStringLiteral("Data"), QStringLiteral("Tipo"),
                                     QStringLiteral("Referências"), QStringLiteral("Arquivo"),
                                     QStringLiteral("Tamanho"), QStringLiteral("Resultado"),
                                     QStringLiteral("SHA-256"), QStringLiteral("Recibos")});
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid->verticalHeader()->hide();
    Grid->horizontalHeader()->setStretchLastSection(true);
    connect(Grid, &QTableWidget::cellDoubleClicked, this, [this] { openCopy(); });

    cmdAbrir = new QPushButton(QStringLiteral("&Abrir"), this);
    cmdAbrir->setObjectName(QStringLiteral("cmdAbrir"));
    cmdAbrirXml = new QPushButton(QStringLiteral("Abrir &XML do recibo"), this);
    cmdAbrirXml->setObjectName(QStringLiteral("cmdAbrirXml"));
    cmdAtualizar = new QPushButton(QStringLiteral("A&tualizar"), this);
    cmdAtualizar->setObjectName(QStringLiteral("cmdAtualizar"));
    connect(cmdAbrir, &QPushButton::clicked, this, &ArchiveWindow::openCopy);
    connect(cmdAbrirXml, &QPushButton::clicked, this, &ArchiveWindow::openXml);
    connect(cmdAtualizar, &QPushButton::clicked, this, &ArchiveWindow::list);
    if (m_context.state)
        connect(m_context.state, &ProgramState::taxpayerChanged, this, [this] {
            if (isVisible())
                list();
        });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdAtualizar);
    buttons->addStretch(1);
    buttons->addWidget(cmdAbrirXml);
    buttons->addWidget(cmdAbrir);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblContribuinte);
    layout->addWidget(Grid, 1);
    layout->addLayout(buttons);
    resize(900, 420);
}

QString ArchiveWindow::caption() {
    return QStringLiteral("Arquivo local de envios e recibos");
}

void ArchiveWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    list();
}

void ArchiveWindow::list() {
    try {
        Grid->setRowCount(0);
        m_files.clear();
        m_xmls.clear();
        const QString ie = m_context.state ? m_context.state->IE() : QString();
        if (ie.isEmpty()) {
            lblContribuinte->setText(QStringLiteral("Nenhum contribuinte selecionado."));
            return;
        }
        lblContribuinte->setText(QStringLiteral("IE %1 - %2 (pasta %3)")
                                     .arg(ie, m_context.state->RazaoSocial(),
                                          QDir::toNativeSeparators(SentArchive::rootFolder())));
        const QLocale br(QLocale::Portuguese, QLocale::Brazil);
        // The receipts kept for each processed sending come after the
        // archive's own entries, as rows of their own, newest first.
        QList<SentArchive::ListingEntry> entries = SentArchive::listing(ie);
        QStringList receiptTexts(entries.size());
        const QList<Receipts::Kept> kept = Receipts::keptOf(ie);
        for (qsizetype i = 0; i < entries.size(); ++i)
            if (entries[i].result == SentArchive::kAccepted)
                receiptTexts[i] = receiptsOfSending(kept, entries[i].references);
        for (const Receipts::Kept& k : kept) {
            entries.append({QFileInfo(k.files.xml).lastModified(), QStringLiteral("Recibo"),
                            k.sending.referencia,
                            QStringLiteral("Protocolo ") + k.sending.protocolo, std::nullopt,
                            QString(), QString(), k.handout().isEmpty() ? k.files.xml : k.handout(),
                            k.files.xml});
            receiptTexts << filesText(k.files);
        }
        QList<qsizetype> order(entries.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
            return entries[a].when > entries[b].when;
        });
        for (const qsizetype i : order) {
            const SentArchive::ListingEntry& e = entries[i];
            const int r = Grid->rowCount();
            Grid->insertRow(r);
            const QString cells[] = {e.when.toString(QStringLiteral("dd/MM/yyyy HH:mm")),
                                     e.kind,
                                     e.references,
                                     e.name,
                                     e.size ? br.formattedDataSize(*e.size) : QString(),
                                     e.result,
                                     e.sha256,
                                     receiptTexts[i]};
            for (int c = 0; c < int(std::size(cells)); ++c)
                Grid->setItem(r, c, new QTableWidgetItem(cells[c]));
            // The whole digest (64 characters) would push the columns off the
            // window: its start tells sendings apart, the tip holds it whole.
            if (e.sha256.size() > kShaShown) {
                Grid->item(r, ColSha)->setText(e.sha256.left(kShaShown) + QStringLiteral("…"));
                Grid->item(r, ColSha)->setToolTip(e.sha256);
            }
            m_files << e.file;
            m_xmls << e.xml;
        }
        Grid->resizeColumnsToContents();
        // Sizing every column to its contents undoes the last one's stretch:
        // set it again, so the table reaches the window's edge.
        Grid->horizontalHeader()->setStretchLastSection(false);
        Grid->horizontalHeader()->setStretchLastSection(true);
    } catch (const std::exception& error) {
        m_context.prompter->show(ErrorReport::ErrorMessage(RuntimeError::from(kName, error)));
    }
}

void ArchiveWindow::openCopy() {
    open(false);
}

void ArchiveWindow::openXml() {
    open(true);
}

void ArchiveWindow::open(bool xml) {
    try {
        const int row = Grid->currentRow();
        if (row < 0 || row >= m_files.size()) {
            m_context.prompter->show({QStringLiteral("Selecione um item do arquivo."), kTitle,
                                      MsgIcon::Information, MsgButtons::Ok});
            return;
        }
        const QString path = xml ? m_xmls.at(row) : m_files.at(row);
        if (path.isEmpty()) {
            m_context.prompter->show(
                {xml ? QStringLiteral("Este item não é um recibo.")
                     : QStringLiteral("Deste envio o arquivo local guarda só o registro: o "
                                      "servidor recusou o arquivo ou não o recebeu inteiro."),
                 kTitle, MsgIcon::Information, MsgButtons::Ok});
            return;
        }
        if (!m_context.urlOpener || !m_context.urlOpener->openFile(path))
            m_context.prompter->show({QStringLiteral("Não foi possível abrir o arquivo %1.")
                                          .arg(QDir::toNativeSeparators(path)),
                                      kTitle, MsgIcon::Warning, MsgButtons::Ok});
    } catch (const std::exception& error) {
        m_context.prompter->show(ErrorReport::ErrorMessage(RuntimeError::from(kName, error)));
    }
}
