// "Envio em lote": the monthly round of an office in one window. The user
// adds work (a taxpayer and its file, many files or a folder matched to
// taxpayers by the IE in their names, files dropped on the window), sees each
// row's proposed months and its checks, chooses the accountant's certificate
// once, and sends the rows one after another through the batch queue
// (BatchQueue), which keeps them in the local database across restarts. Per
// row: state, time and protocol; in total: "n de N enviados" and the bytes
// sent; Pausar and Cancelar; at the end a summary with CSV and PDF. The
// lines, their checks and the batch are a BatchPlan (no widgets); the
// window shows them and forwards the user's actions and the queue's signals.
//
// Non-modal; a single instance in the window registry ("BatchWindow"). The
// main window stays usable: the queue runs on the event loop.
#pragma once

#include "batch/BatchPlan.h"
#include "store/BatchRepository.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <optional>

class BatchQueue;
class OverviewFiller;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
struct AppContext;

class BatchWindow : public QWidget {
    Q_OBJECT
public:
    explicit BatchWindow(AppContext& context, QWidget* parent = nullptr);
    ~BatchWindow() override;

    static QString caption();

    // Columns of the grid, the CSV and the PDF.
    enum Column {
        ColIE,
        ColRazao,
        ColArquivo,
        ColReferencias,
        ColVerificacao,
        ColSituacao,
        ColHora,
        ColProtocolo
    };
    static QStringList headers();

    // The newest batch this desk made in the window that is not finished
    // (rows queued, being sent or without an answer); nullopt when none.
    // Throws DbError.
    static std::optional<qint64> unfinishedBatch();
    // At start-up: when this desk left an unfinished batch, asks whether to
    // resume it and, on Yes, opens the window on it. Never throws.
    static void offerResume(AppContext& context);

    // Handlers (public so the main window, the overview and tests reach them).
    void addTaxpayers(const QStringList& ies); // rows waiting for their file
    void addTaxpayerRow();                     // the taxpayer chosen in cboContribuinte
    void chooseFileForRow();                   // a file for the selected row
    void addFiles();                           // many files, matched by IE
    void addFolder();                          // a folder (the Backup folder first)
    // Files or folders given by path (a drop, the two above); folders are
    // read for .ZIP and .PDF files. baseFolder: the folder the user chose.
    void addPaths(const QStringList& paths, const QString& baseFolder = {});
    void assignTaxpayer();  // the chosen taxpayer to the selected rows
    void applyReferences(); // txtReferencias to the selected rows
    void removeRows();      // the selected rows not yet sent
    // Ticks again a row the archive holds back, or puts back in the queue a
    // row ended "Cancelado" or "Não enviado", or (with a question) one
    // without an answer that the list shows absent; "Enviar" sends them.
    void toggleSendAgain();
    bool chooseCertificate(); // true when a certificate was accepted
    void send();              // "Enviar"
    void pause();             // "Pausar" after the row under way, or "Continuar"
    void cancel();            // "Cancelar", asking whether to break off the row under way
    void exportCsv();
    void exportPdf();
    // Opens a batch kept in the database and sends what is left of it
    // (after the certificate is chosen).
    void resume(qint64 batchId);

    // The texts of the grid, row by row, column by column.
    QList<QStringList> rowsShown() const;
    // A queue runs this window's batch, sending or paused.
    bool isSending() const;
    QString summary() const; // "2 aceitos, 1 recusado, 0 sem resposta"; empty before an end

    QComboBox* cboContribuinte;
    QPushButton* cmdAdicionarContribuinte;
    QPushButton* cmdAtribuir;
    QPushButton* cmdArquivoLinha;
    QPushButton* cmdArquivos;
    QPushButton* cmdPasta;
    QPushButton* cmdRemover;
    QTableWidget* Grid;
    QLineEdit* txtReferencias;
    QPushButton* cmdAplicarReferencias;
    QPushButton* cmdEnviarDeNovo;
    QLabel* lblCertificado;
    QPushButton* cmdCertificado;
    QProgressBar* Progresso;
    QLabel* lblTotal;
    QLabel* lblResumo;
    QPushButton* cmdEnviar;
    QPushButton* cmdPausar;
    QPushButton* cmdCancelar;
    QPushButton* cmdExportar;
    QPushButton* cmdPdf;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Writes a line's cells (and its row's height) to the grid.
    void showLine(int index);
    // Shows a line the queue changed, and the total (nothing for -1).
    void showChange(int index);
    // Checks a line again and shows it.
    void recheck(int index);
    // After lines were added or queued: the grid's rows follow the plan's
    // lines, and the columns their texts.
    void linesChanged();
    void fitColumns();
    // Asks the server's lists the plan waits for (proposals, checks).
    void askLists();
    void listAnswered(int fillerRow);
    QList<int> selectedLines() const;
    // A queue exists and has not finished (sending or paused).
    bool queueActive() const;
    // A queue is sending (not paused).
    bool queueSending() const;
    // Reads the rows an interrupted run left from the database again, after
    // settling those a stopped queue left being sent. Throws DbError.
    void readInterrupted();
    // Reads these batches' rows into the grid; returns them. Throws DbError.
    QList<BatchRow> readBatches(const QList<qint64>& batches);
    // Starts the queue on the next batch the run still has to send.
    void startNext();
    void startQueue(qint64 batchId);
    void queueFinished(const QString& problem);
    void updateTotal();
    void updateButtons();
    QString taxpayerName(const QString& ie) const;
    void report(const std::exception& error, const QString& where);

    AppContext& m_context;
    BatchPlan m_plan;
    OverviewFiller* m_lists;
    QStringList m_listed; // the IEs asked, in the filler's row order
    BatchQueue* m_queue = nullptr;
    qint64 m_batchId = 0;           // the batch the queue sends now
    QList<qint64> m_pendingBatches; // the run's batches still to send after it
    QList<qint64> m_runBatches;     // every batch of the run (its summary)
    bool m_pauseAsked = false;      // Pausar pressed, the row under way not ended yet
    bool m_cancelAsked = false;     // Cancelar pressed in this run
    bool m_certificateAccepted = false;
    bool m_showing = false; // a row being written to the grid: no edit handling
    QString m_summary;
};
