// The pictures: each scene brings the real windows to the state a user sees
// (a taxpayer selected, a receipt opened, a key received, an archive chosen)
// and saves the window, frame included when a window manager draws one, as
// a PNG file.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class DemoData;
class QWidget;
class WindowRegistry;

class Scenes {
public:
    // outputFolder: where the PNG files go (created when missing).
    Scenes(WindowRegistry& windows, const DemoData& data, QString outputFolder);

    // Runs every scene in order; returns the files written. Throws
    // std::runtime_error naming the scene that could not be brought about or
    // saved.
    QStringList runAll();

private:
    void opening();
    void mainWindow();
    void receipt();
    void newTaxpayer();
    void declaration();
    void about();
    void overview();
    void localArchive();
    void certificateChoice();
    void certificates();
    void diagnostics();
    void batch();
    // Lets events run until done() holds; throws naming what when it never does.
    static void waitFor(const std::function<bool()>& done, const char* what);

    // Lets the window system map, place and paint the window.
    static void settle(int milliseconds = 700);
    void save(QWidget* window, const QString& name);

    WindowRegistry& m_windows;
    const DemoData& m_data;
    QString m_folder;
    QStringList m_written;
};
