#include "app/studio_application.h"

#include <QMessageBox>
#include <new>

namespace {

const char* const kOutOfMemory =
    "Glimmark ran out of memory; what it was doing is left unfinished. Save your document.";

}  // namespace

StudioApplication::StudioApplication(int& argc, char** argv) : QApplication(argc, argv) {
    report_out_of_memory = [] { QMessageBox::critical(nullptr, "Glimmark Error", kOutOfMemory); };
}

bool StudioApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc&) {
        ++out_of_memory_events;
        // The message box runs events of its own; one at a time is enough.
        static bool reporting = false;
        if (!reporting && report_out_of_memory) {
            reporting = true;
            try {
                report_out_of_memory();
            } catch (const std::bad_alloc&) {
            }
            reporting = false;
        }
        return false;
    }
}
