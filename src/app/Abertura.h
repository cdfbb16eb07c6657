// The opening window: the program's emblem, what it does, and the way into
// the main window ("Iniciar"), the About window ("Sobre") or out ("Sair").
// Once left it is unloaded and never shown again.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
struct AppContext;

class Abertura : public QWidget {
    Q_OBJECT
public:
    explicit Abertura(AppContext& context, QWidget* parent = nullptr);

    QLabel* Picture1;
    QLabel* Label4;
    QLabel* Label1;
    QPushButton* Command1; // "Iniciar"
    QPushButton* Command2; // "Sobre"
    QPushButton* Command3; // "Sair"

    // Unloads this window, then shows the main window.
    void Command1_Click();
    // Unloads this window, then shows the About window, which shows the main
    // window when it closes.
    void Command2_Click();
    // Ends the program.
    void Command3_Click();

private:
    AppContext& m_context;
};
