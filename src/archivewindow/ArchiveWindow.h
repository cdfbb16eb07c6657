// "Arquivo local": what the local archive holds for the taxpayer in use,
// newest first: every file sent (date, kind, references, name, size, what
// the server made of it, the start of its SHA-256 with the whole as a tip)
// and every receipt kept (XML and PDF), in one list.
// "Abrir" (or a double-click) opens the archived file or the receipt's PDF
// with the desktop's program; "Abrir XML" opens a receipt's XML. The list
// follows the taxpayer in use and is read again each time the window shows.
//
// Non-modal; a single instance in the window registry ("ArchiveWindow").
#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;
struct AppContext;

class ArchiveWindow : public QWidget {
    Q_OBJECT
public:
    explicit ArchiveWindow(AppContext& context, QWidget* parent = nullptr);

    static QString caption();

    // Reads the archive of the taxpayer in use into the grid.
    void list();
    // Opens the file of a grid row (the archived copy, or the receipt's PDF,
    // else its XML); says so when it cannot be opened.
    void openCopy();
    void openXml();

    QLabel* lblContribuinte;
    QTableWidget* Grid;
    QPushButton* cmdAbrir;
    QPushButton* cmdAbrirXml;
    QPushButton* cmdAtualizar;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void open(bool xml);

    AppContext& m_context;
    QStringList m_files; // per grid row: the file "Abrir" opens
    QStringList m_xmls;  // per grid row: a receipt's XML, empty for a sending
};
