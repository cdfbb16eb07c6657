// The About window: program title and version, who distributes it, a contact
// line and "OK". However it closes ("OK", Esc or its close box) it enables
// and shows the main window, and unloads itself.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
struct AppContext;

class frmSobre : public QDialog {
    Q_OBJECT
public:
    explicit frmSobre(AppContext& context, QWidget* parent = nullptr);

    QLabel* lblTitulo;
    QLabel* lblDistribuicao;
    QLabel* lblContato;
    QPushButton* cmdOK;

    void cmdOK_Click();

    // Esc closes the window the same way as "OK".
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    AppContext& m_context;
};
