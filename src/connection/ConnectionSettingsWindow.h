// The "Conexão" window: how the server is reached (the system's proxy, a
// proxy the user names, or directly). "OK" keeps the choice in section
// "proxy" of dadav.ini (net/ProxySettings.h) and closes; "Cancelar", Esc or
// the close box close without writing. The window unloads itself on close.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QRadioButton;
struct AppContext;

class ConnectionSettingsWindow : public QDialog {
    Q_OBJECT
public:
    explicit ConnectionSettingsWindow(AppContext& context, QWidget* parent = nullptr);

    QRadioButton* optSistema;
    QRadioButton* optManual;
    QRadioButton* optNenhum;
    QLineEdit* txtHost;
    QLineEdit* txtPorta;
    QPushButton* cmdOK;
    QPushButton* cmdCancelar;

    // Checks a manual proxy's host and port, writes the settings and closes;
    // says so and stays open when something is missing or cannot be written.
    void save();

private:
    void updateFields();

    AppContext& m_context;
};
