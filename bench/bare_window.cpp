// The yardstick of the start-up benchmark: a bare Qt 6 main window with a
// menu bar and two labels, nothing else.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QVBoxLayout>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Janela simples"));
    window.menuBar()->addMenu(QStringLiteral("&Arquivo"));
    window.menuBar()->addMenu(QStringLiteral("A&juda"));
    auto* central = new QWidget(&window);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(new QLabel(QStringLiteral("Inscrição Estadual"), central));
    layout->addWidget(new QLabel(QStringLiteral("Razão Social"), central));
    window.setCentralWidget(central);
    window.resize(560, 260);
    window.show();
    return QApplication::exec();
}
