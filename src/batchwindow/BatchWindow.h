// "Envio em lote": the monthly round of an office in one window. The user
// adds work (a taxpayer and its file, many files or a folder matched to
// taxpayers by the IE in their names, files dropped on the window), sees each
// row's proposed months and its checks, chooses the accountant's certificate
// once, and sends the rows one after another through the batch queue
// (BatchQueue), which keeps them in the local database across restarts. Per
// row: state, time and protocol; in total: "n de N" and the bytes sent;
// Pausar and Cancelar; at the end a summary with CSV and PDF.
//
// Non-modal; a single instance in the window registry ("BatchWindow"). The
// main window stays usable: the queue runs on the event loop.
#pragma once

#include "batch/RowChecks.h"
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
    // Ticks again a row the archive holds back, or (with a question) puts
    // back in the queue a row without an answer that the list shows absent.
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
    // One row of the grid: the work as given, its checks, and once queued
    // its row in the database and what became of it.
    struct Line {
        QString ie;
        QString filePath;
        QString references; // as sent ("1_2026,2_2026")
        bool referencesByUser = false;
        QString note;   // why no taxpayer or no months were proposed
        QString checks; // empty: ready to send
        bool ready = false;
        RowChecks::Result result; // of the last check of a row with a file
        bool sendAgain = false;
        QString kind;
        qint64 rowId = 0; // in the database once queued
        std::optional<BatchRowState> state;
        int percent = 0;
        QDateTime time;
        QString text; // the server's, or why
        QString protocol;
        qint64 size = 0;

        // The digest of the file its last check read, when it checked this
        // file (the check reuses it only while the file is unchanged).
        std::optional<SentArchive::Digest> checkedDigest() const {
            if (result.sending && result.sending->path() == filePath)
                return result.sending->digest();
            return std::nullopt;
        }
    };

    void addLine(const Line& line);
    void showLine(int index);
    void recheck(int index);
    void recheckAll();
    // Asks the server's list of every taxpayer of the grid again (proposals).
    void askLists();
    void listAnswered(int fillerRow);
    QList<int> selectedLines() const;
    int lineOf(qint64 rowId) const;
    void startQueue(qint64 batchId);
    void queueFinished(const QString& problem);
    void updateTotal(); // from the rows, when the queue does not run
    void showTotal(int rowsDone, int rowsTotal, qint64 bytesDone, qint64 bytesTotal);
    void updateButtons();
    QString taxpayerName(const QString& ie) const;
    void report(const std::exception& error, const QString& where);

    AppContext& m_context;
    QList<Line> m_lines;
    OverviewFiller* m_lists;
    QStringList m_listed; // the IEs asked, in the filler's row order
    BatchQueue* m_queue = nullptr;
    qint64 m_batchId = 0;
    bool m_certificateAccepted = false;
    bool m_showing = false; // a row being written to the grid: no edit handling
    QString m_summary;
};
