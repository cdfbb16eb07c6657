// The main window: the taxpayer in use, its transmissions, the receipt
// detail, the menus that open every other window and the transmit command.
// It owns the program-wide state (ProgramState) and keeps its labels in step
// with it. Other windows reach it through the registry under "Principal" and
// use its public controls and operations.
#pragma once

#include "shell/DisabledWhileShown.h"
#include "shell/ProgramState.h"

#include <QMainWindow>

#include <exception>

class FollowUpTimer;
class SendingFollowUp;
class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;
namespace History {
struct ReceiptItem;
}
struct AppContext;

class Principal : public QMainWindow {
    Q_OBJECT
public:
    explicit Principal(AppContext& context, QWidget* parent = nullptr);
    ~Principal() override;

    // The program-wide state; lives as long as this window.
    ProgramState& state() { return m_state; }

    // Grid columns and their widths in twips at load (0: hidden, data only).
    enum GridColumn { ColReferencia, ColData, ColProtocolo, ColStatus, ColValorAdicionado };
    static constexpr int kGridColumns = 5;
    static int gridColumnTwips(int column);

    // Writes a cell of GridTransmissoes (adding rows as needed) with the
    // alignment of its column; row 0 is the first transmission (the header is
    // not a row).
    void setGridCell(int row, int column, const QString& text);

    // Opens the address in the user's browser ("http://" is put in front of
    // an address without a scheme). True when the desktop took it; no message
    // on failure.
    bool OpenBrowser(const QString& URL);

    // The transmission list, receipts and update notice (defined in
    // history/PrincipalHistory.cpp). A grid row is a transmission: row 0 is
    // the first one, and "no delivery selected" means no current row (the
    // header is Qt's, never a row).

    // Asks the server ("Transferencia.ver2") for the taxpayer's transmissions,
    // its date-time, the working years and the newest version; refreshes the
    // grid, DataServidor, anoTrabalho and the update notice, and drops the
    // taxpayer in use when the server rejects its key. Other windows call it
    // after changing the taxpayer in use or after an upload. Never throws: a
    // failure is shown as the server being unavailable.
    void RecebeDadosServer();

    // Pours a list answer into the grid, or reports an invalid key or an
    // unauthorised access. Throws RuntimeError when the text is no list (the
    // grid is then already cut back to its header).
    void PopulaGridTransmissoes(const QString& XMLConteudo);

    // Detail of the transmission on a grid row (0 = first transmission): hides
    // the detail for an unprocessed one, fetches and shows the receipt tree
    // for a processed one (status "3"). Never throws.
    void RecebeDadosProtocolo(int row);

    // Keeps an answer for inspection: the text in Text1, its length in Text2.
    void CarregaProtocolo(const QString& XMLConteudo);

    // Rebuilds the receipt tree from a receipt XML text. A text that is not
    // well-formed shows the parser's reason and leaves the tree as it was.
    // Throws RuntimeError when an item has no DETALHE (the items before it
    // stay in the tree).
    void CarregaArvoreProtocolo(const QString& text);

    // Handlers.
    void mnSair_Click();
    void mnContribuinteNovo_Click();
    void mnContribuinteSelecionar_Click();
    void mnAtualizar_Click();
    void mnExcluir_Click();
    // Opens the office overview ("Visão geral") of every taxpayer.
    void showOverview();
    // Opens the local archive of the taxpayer in use ("Arquivo local").
    void showArchive();
    // "Envio em lote", with these taxpayers added (the overview's selection).
    void showBatch(const QStringList& ies = {});
    void mnContador_Click();
    void mnSAjuda_Click();
    void mnSobre_Click();
    // Opens the "Diagnóstico" window.
    void showDiagnostics();
    // Shows the support log's folder in the file manager (created when
    // missing); says so when it cannot.
    void openSupportLogFolder();
    // Opens the connection settings window.
    void showConnectionSettings();
    // Opens the certificates window.
    void showCertificates();
    // The follow-up of every sending (defined in PrincipalFollowUp.cpp), when
    // the context asks for it: a round now unless one runs (at start, on
    // the schedule, when the overview is refreshed); the line of sendings
    // refused after processing read again; the list of them. Never throw.
    void followSendings();
    void showRefusedLine();
    void showRefused();
    void Command1_Click();
    void GridTransmissoes_Click(int row);
    void cmd_Impressao_Click();

    // Controls, named as the other windows know them.
    QGroupBox* GIASelecionada;
    QLabel* lblLabels;
    QLabel* IESel;
    QLabel* Label1;
    QLabel* RSSel;
    QLabel* lblChave;
    QPushButton* Command1;
    QGroupBox* frmImportacao;
    QTableWidget* GridTransmissoes;
    QPushButton* cmd_Impressao;
    QTreeWidget* tvwPessoa;
    QLabel* labelOK;
    QLabel* detApuracao;
    QLabel* lblAtualizado;
    QLabel* lblnovaatualizacao;
    // One line when a watched certificate ends within 30 days or has ended;
    // hidden otherwise. Filled once, after the sources answer at start.
    QLabel* lblCertificados;
    // "N envios recusados após o processamento — ver" while the memory of
    // sendings holds any; hidden otherwise.
    QLabel* lblRecusados;
    QPlainTextEdit* Text1;
    QLineEdit* Text2;

    QMenu* mnArquivo;
    QAction* mnSair;
    QMenu* mnContribuinte;
    QAction* mnContribuinteNovo;
    QAction* mnContribuinteSelecionar;
    QAction* mnAtualizar;
    QAction* mnExcluir;
    QAction* mnVisaoGeral;
    QAction* mnArquivoLocal;
    QAction* mnEnvioLote;
    QAction* space2;
    QAction* mnContador;
    QMenu* mnAjuda;
    QAction* mnSAjuda;
    QAction* mnSobre;
    QAction* mnDiagnostico;
    QAction* mnRegistros;
    QAction* mnConexao;
    QAction* mnCertificados;

protected:
    // Closing the main window ends the program, as "Sair" does; while the
    // window is disabled its close box does nothing.
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    // Lists the certificate sources in the background and fills
    // lblCertificados; never blocks the window nor shows a box.
    void startExpiryWatch();
    void buildMenus();
    void setUpGrid();
    // Receipt command and keyboard access to a row's detail.
    void setUpHistory();
    // Adds one delivery item's node and its children under the root node;
    // throws RuntimeError when the item has no DETALHE.
    void AdicionaNoProtocolo(QTreeWidgetItem* root, const History::ReceiptItem& e);
    // Keeps a receipt just shown in the local archive, as its XML and a PDF
    // made here; a failure is one warning line.
    void archiveReceipt(int row, const QString& xml);
    // Text of a grid cell; empty for a missing row or cell.
    QString gridText(int row, int column) const;
    void showTaxpayer();
    // Starts the follow-up's schedule (context.followSendings).
    void startFollowUp();
    // Shows a registered window non-modally; when no window of that name
    // exists in this version, tells the user and leaves this window enabled.
    QWidget* openWindow(const QString& name);
    // openWindow, with this window disabled for as long as the opened one is
    // on screen (enabled again however it goes, or at once when it could not
    // be shown).
    QWidget* openWindowDisabled(const QString& name);
    // The standard error report of a failed database or run-time operation.
    void showErrorReport(const std::exception& error);

    AppContext& m_context;
    ProgramState m_state;
    DisabledWhileShown* m_waitingFor;      // the window this one is disabled for
    SendingFollowUp* m_followUp = nullptr; // children; null when not following
    FollowUpTimer* m_followTimer = nullptr;
};
