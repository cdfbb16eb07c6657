// The main window's transmission list, receipt detail and update notice: the
// server calls and the widgets they fill. The rules (fixed positions, list
// and receipt reading, status rule, receipt address) live in the core files
// of this folder; this file only applies them to the window.
//
// Grid rows: Qt's header is not a row, so grid row 0 is the first
// transmission and "no delivery selected" is "no current row" (currentRow()
// is -1). A refreshed list leaves no row current until the user picks one.
#include "app/Principal.h"
#include "archive/SentArchive.h"
#include "archivewindow/ReceiptPdf.h"
#include "base/AppPaths.h"
#include "base/ReadWrite.h"
#include "base/RuntimeError.h"
#include "history/Receipt.h"
#include "history/TransmissionList.h"
#include "history/VersionAnswer.h"
#include "net/NetworkError.h"
#include "net/SoapClient.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "platform/Twips.h"
#include "shell/AppContext.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QTreeWidget>

static_assert(Principal::kGridColumns == History::kListColumns);
static_assert(int(Principal::ColStatus) == int(History::ColStatus) &&
              int(Principal::ColProtocolo) == int(History::ColProtocolo) &&
              int(Principal::ColReferencia) == int(History::ColReferencia));

namespace {

const QString kTitleRJ = QStringLiteral("VAV-UVOD - RJ");

// The version call's failure message is spelled without the accent on
// "indisponivel"; the detail request's message has it. Both are the texts
// users have always seen.
const Message kVersionUnavailable{
    QStringLiteral("O Servidor está indisponivel, tente novamente mais tarde."), kTitleRJ,
    MsgIcon::None, MsgButtons::Ok};
const Message kDetailUnavailable{
    QStringLiteral("O Servidor está indisponível, tente novamente mais tarde."), kTitleRJ,
    MsgIcon::None, MsgButtons::Ok};

Message cancelledMessage() {
    return {NetworkError::cancelledText(), kTitleRJ, MsgIcon::None, MsgButtons::Ok};
}

// Indentation of the receipt tree, in twips.
constexpr int kTreeIndentTwips = 400;

} // namespace

void Principal::setUpHistory() {
    connect(cmd_Impressao, &QPushButton::clicked, this, &Principal::cmd_Impressao_Click);
    // A keyboard user opens a row's detail with Enter, as a click does.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(key, GridTransmissoes);
        shortcut->setContext(Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this,
                [this] { GridTransmissoes_Click(GridTransmissoes->currentRow()); });
    }
    tvwPessoa->setRootIsDecorated(true);
    tvwPessoa->setIndentation(Twips::TwipsToPixels(kTreeIndentTwips, tvwPessoa->logicalDpiX()));
    // A receipt line is never cut short: the column is as wide as the longest
    // line and the tree scrolls sideways when the window is narrower.
    tvwPessoa->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    tvwPessoa->header()->setStretchLastSection(false);
}

QString Principal::gridText(int row, int column) const {
    if (row < 0 || row >= GridTransmissoes->rowCount())
        return {};
    const QTableWidgetItem* item = GridTransmissoes->item(row, column);
    return item ? item->text() : QString();
}

void Principal::RecebeDadosServer() {
    try {
        // Read first: without the installed version text there is nothing to
        // compare the answer with, and nothing is asked.
        const QString installed = History::readInstalledVersion(AppPaths::infoPath());
        if (!m_context.soap)
            throw RuntimeError(91, QStringLiteral("Principal.RecebeDadosServer"),
                               QStringLiteral("Sem transporte SOAP"));
        const QString answer =
            m_context.soap->call(Soap::ServicePath, History::kListOperation,
                                 History::listCallParams(m_state.IE(), m_state.Chave()));
        const QString returnText = Soap::GetResult(answer, QStringLiteral("return"));
        PopulaGridTransmissoes(returnText);

        if (History::keyRejected(answer)) {
            // The key is no longer good: no taxpayer is in use until the user
            // selects one again.
            m_state.clearTaxpayer();
            frmImportacao->hide();
            Command1->hide();
            return;
        }
        const History::VersionFields fields = History::readVersionFields(returnText);
        m_state.setDataServidor(fields.dataServidor);
        m_state.setAnoTrabalho(fields.anoTrabalho);
        if (History::isUpToDate(answer, installed)) {
            lblAtualizado->show();
            lblnovaatualizacao->hide();
        } else {
            lblAtualizado->hide();
            lblnovaatualizacao->setText(History::newVersionCaption(fields.novaVersao));
            lblnovaatualizacao->show();
        }
        tvwPessoa->hide();
        detApuracao->hide();
    } catch (const std::exception& e) {
        // Whatever failed (network, info.dip, an answer without a list or a
        // date), the user is told the same; what was changed stays.
        m_context.prompter->show(NetworkError::isCancel(e) ? cancelledMessage()
                                                           : kVersionUnavailable);
    }
}

void Principal::PopulaGridTransmissoes(const QString& XMLConteudo) {
    const History::ListAnswer list = History::readTransmissionList(XMLConteudo);
    if (list.kind == History::ListAnswerKind::InvalidKey) {
        m_context.prompter->show(
            {History::kInvalidKeyText, kTitleRJ, MsgIcon::Critical, MsgButtons::Ok});
        Command1->setEnabled(false);
        return; // the previous rows stay
    }
    Command1->setEnabled(true);
    GridTransmissoes->setRowCount(0);
    if (list.kind == History::ListAnswerKind::AccessDenied) {
        m_context.prompter->show(
            {History::kAccessDeniedText, kTitleRJ, MsgIcon::Information, MsgButtons::Ok});
        return;
    }
    if (list.kind == History::ListAnswerKind::NotXml)
        throw RuntimeError(91, QStringLiteral("Principal.PopulaGridTransmissoes"),
                           QStringLiteral("Lista de transmissões ilegível: ") + list.reason);

    GridTransmissoes->setRowCount(int(list.rows.size()));
    for (int row = 0; row < list.rows.size(); ++row)
        for (int column = 0; column < kGridColumns; ++column)
            setGridCell(row, column, list.rows[row][column]);
    // The set-up widths are a minimum: a protocol number must be read whole.
    for (int column = 0; column < kGridColumns; ++column) {
        if (GridTransmissoes->isColumnHidden(column))
            continue;
        const int minimum = GridTransmissoes->columnWidth(column);
        GridTransmissoes->resizeColumnToContents(column);
        if (GridTransmissoes->columnWidth(column) < minimum)
            GridTransmissoes->setColumnWidth(column, minimum);
    }
    GridTransmissoes->setCurrentCell(-1, -1);
    if (list.pending)
        m_context.prompter->show(
            {QStringLiteral("Existe(m) envio(s) aguardando o processamento, verifique as "
                            "transmissões em instantes (Aprox. 5 minutos)"),
             QStringLiteral("VAV-UVOD"), MsgIcon::None, MsgButtons::Ok});
    Text1->setPlainText(XMLConteudo);
}

void Principal::RecebeDadosProtocolo(int row) {
    try {
        switch (History::detailActionForStatus(gridText(row, ColStatus))) {
        case History::DetailAction::HideOkAndTree:
            labelOK->hide();
            tvwPessoa->hide();
            return;
        case History::DetailAction::HideAll:
            labelOK->hide();
            tvwPessoa->hide();
            detApuracao->hide();
            return;
        case History::DetailAction::FetchReceipt:
            break;
        }
        Text1->clear();
        if (!m_context.soap)
            throw RuntimeError(91, QStringLiteral("Principal.RecebeDadosProtocolo"),
                               QStringLiteral("Sem transporte SOAP"));
        const QString answer = m_context.soap->call(
            Soap::ServicePath, History::kReceiptOperation,
            History::receiptCallParams(gridText(row, ColProtocolo), m_state.Chave()));
        const QString returnText = Soap::GetResult(answer, QStringLiteral("return"));
        CarregaProtocolo(returnText);
        tvwPessoa->show();
        CarregaArvoreProtocolo(returnText);
        labelOK->hide();
        archiveReceipt(row, returnText);
    } catch (const std::exception& e) {
        // A status that is no number, the server unreachable or a receipt
        // item without its detail: one message; what was shown stays.
        m_context.prompter->show(NetworkError::isCancel(e) ? cancelledMessage()
                                                           : kDetailUnavailable);
    }
}

void Principal::archiveReceipt(int row, const QString& xml) {
    const History::ReceiptDocument receipt = History::readReceipt(xml);
    if (!receipt.wellFormed)
        return; // the parser's reason was shown; nothing worth filing
    const QDateTime now = m_context.clock->now();
    QString failure;
    const QString xmlPath =
        SentArchive::storeReceiptXml(m_state.IE(), gridText(row, ColProtocolo), xml, now, &failure);
    if (!xmlPath.isEmpty()) {
        ReceiptPdf::Heading heading{m_state.IE(),
                                    m_state.RazaoSocial(),
                                    gridText(row, ColReferencia),
                                    gridText(row, ColProtocolo),
                                    gridText(row, ColData),
                                    now.toString(QStringLiteral("dd/MM/yyyy HH:mm"))};
        failure = ReceiptPdf::write(xmlPath.chopped(4) + QStringLiteral(".pdf"), heading, receipt);
    }
    if (!failure.isEmpty())
        m_context.prompter->show(
            {QStringLiteral("O recibo não foi guardado no arquivo local: %1.").arg(failure),
             QStringLiteral("VAV-UVOD"), MsgIcon::Warning, MsgButtons::Ok});
}

void Principal::CarregaProtocolo(const QString& XMLConteudo) {
    Text1->setPlainText(XMLConteudo);
    Text2->setText(QString::number(XMLConteudo.size()));
}

void Principal::CarregaArvoreProtocolo(const QString& text) {
    const History::ReceiptDocument receipt = History::readReceipt(text);
    if (!receipt.wellFormed) {
        m_context.prompter->show({receipt.reason, QString(), MsgIcon::None, MsgButtons::Ok});
        return;
    }
    tvwPessoa->clear();
    auto* root = new QTreeWidgetItem(tvwPessoa, QStringList{receipt.rootName});
    for (const History::ReceiptItem& item : receipt.items)
        AdicionaNoProtocolo(root, item);
}

void Principal::AdicionaNoProtocolo(QTreeWidgetItem* root, const History::ReceiptItem& e) {
    if (!e.detalhe)
        throw RuntimeError(91, QStringLiteral("Principal.AdicionaNoProtocolo"),
                           QStringLiteral("Item sem DETALHE: ") + e.name);
    auto* node = new QTreeWidgetItem(root, QStringList{History::itemNodeText(e.name, *e.detalhe)});
    root->setExpanded(true);
    tvwPessoa->scrollToItem(node);
    for (const QString& childText : e.childTexts)
        new QTreeWidgetItem(node, QStringList{childText});
    // Opened, to be read as it arrives.
    node->setExpanded(true);
}

void Principal::cmd_Impressao_Click() {
    try {
        const QString host =
            ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("host"));
        const QString referencia = gridText(GridTransmissoes->currentRow(), ColReferencia);
        if (History::isDeliveryReference(referencia)) {
            // A browser that cannot be started says nothing, as always.
            OpenBrowser(History::receiptLink(host, m_state.IE(), m_state.Chave(), referencia));
            return;
        }
        m_context.prompter->show({QStringLiteral("Selecione uma entrega específica"), kTitleRJ,
                                  MsgIcon::Information, MsgButtons::Ok});
    } catch (const std::exception& e) {
        showErrorReport(e);
    }
}
