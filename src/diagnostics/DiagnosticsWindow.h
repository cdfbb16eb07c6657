// The "Diagnóstico" window (menu Ajuda): runs the connection diagnostics as
// soon as it opens and shows each step's line as it ends. "Copiar relatório"
// puts the whole report on the clipboard for support; "Repetir" runs the
// steps again; "Cancelar" stops the steps under way; "Fechar" (also Esc and
// the close box) stops them and closes. The window stays usable while the
// steps wait on the network. It unloads itself on close.
#pragma once

#include <QDialog>

class Diagnostics;
class QLabel;
class QPlainTextEdit;
class QPushButton;
struct AppContext;
struct DiagnosticStep;

class DiagnosticsWindow : public QDialog {
    Q_OBJECT
public:
    explicit DiagnosticsWindow(AppContext& context, QWidget* parent = nullptr);

    QLabel* lblEstado;
    QPlainTextEdit* txtRelatorio;
    QPushButton* cmdCopiar;
    QPushButton* cmdRepetir;
    QPushButton* cmdCancelar;
    QPushButton* cmdFechar;

    // The steps behind the window (tests wait on its finished signal).
    Diagnostics* diagnostics() const { return m_diagnostics; }

    void copyReport();
    void runAgain();
    void cancelRun();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void onStepStarted(const QString& name);
    void onStepFinished();
    void onFinished();
    void showReport();

    AppContext& m_context;
    Diagnostics* m_diagnostics;
};
