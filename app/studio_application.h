#pragma once

#include <QApplication>
#include <functional>

// The studio's application. An event handler that finds no memory (a scene
// that filled the machine, a picture too large to copy) would end the
// program and take the unsaved document with it; here the event is given up
// instead, the user is told, and the studio stays open so that the document
// can be saved.
class StudioApplication : public QApplication {
  public:
    StudioApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // How the user is told; a message box unless a test says otherwise.
    std::function<void()> report_out_of_memory;
    int out_of_memory_events = 0;
};
