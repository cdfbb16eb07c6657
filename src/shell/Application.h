// The program's application object: a QApplication that notes, around the
// delivery of every event, which window the event belongs to
// (WindowActivity), so that no window is deleted while one of its own
// handlers is on the stack. main.cpp and the window tests' main build it in
// place of a plain QApplication.
#pragma once

#include <QApplication>

class Application : public QApplication {
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};
