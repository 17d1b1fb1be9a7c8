// glimmark-studio [FILE]: the scene editor and tracer.
//
// For the documentation's pictures there is one more form:
// glimmark-studio --screenshot PNG FILE opens FILE, plays it, and when the
// trace is done saves a picture of the whole screen and quits.
#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <QScreen>
#include <QStringList>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "app/commands.h"
#include "app/main_window.h"
#include "app/studio_application.h"
#include "app/termination_signals.h"
#include "glimmark/about.h"
#include "glimmark/run.h"

// One run cycle for the whole run of the program, made before main.
static glimmark::Run studio_run;

namespace {

void print_usage() {
    std::fputs(
        "Usage: glimmark-studio [FILE]\n"
        "       glimmark-studio --screenshot PNG FILE\n"
        "       glimmark-studio --help | --version\n"
        "\n"
        "Opens FILE (a .gmk scene) in the Glimmark studio, an editor with the tracer\n"
        "built in: F4 checks the scene, F5 traces it, F7 stops. --screenshot plays\n"
        "FILE and saves a picture of the whole screen when the trace is done.\n",
        stdout);
}

}  // namespace

int main(int argc, char** argv) {
    // These print and end before any window or display is needed.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        print_usage();
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("glimmark-studio %s\nBuilt with Qt %s, %s\n", glimmark::version(),
                    QT_VERSION_STR, glimmark::built_with().c_str());
        return 0;
    }
    // Beyond the file size limit a Save or a recording fails with its message
    // instead of the signal ending the program and the unsaved text with it.
    std::signal(SIGXFSZ, SIG_IGN);
    StudioApplication app(argc, argv);
    app.setApplicationName("Glimmark");
    QStringList args = app.arguments();
    args.removeFirst();

    QString screenshot;
    if (args.size() >= 2 && args.front() == "--screenshot") {
        args.removeFirst();
        screenshot = args.takeFirst();
    }

    MainWindow window(studio_run);
    // A logout or a kill closes the window as Exit does: a recording keeps
    // its frames and changed text its recovery file. Every event loop ends
    // as well, so that a box open at the time cannot hold the program: its
    // loop returns as if cancelled, and no later box waits for an answer.
    bool terminated = false;
    TerminationSignals terminate([&window, &terminated] {
        terminated = true;
        window.close_without_asking();
        QCoreApplication::exit(0);
    });
    app.setWindowIcon(window.windowIcon());
    window.show();
    // Text a signal or a crash left behind is offered back: that of the file
    // opened, then every other copy.
    if (!args.isEmpty()) window.open_file(args.front());
    window.offer_recovery_at_start();
    // The signal came while a box of the start was open: there is no loop
    // yet for the exit to end.
    if (terminated) return 0;

    if (!screenshot.isEmpty()) {
        auto* poll = new QTimer(&window);
        QObject::connect(poll, &QTimer::timeout, &window, [&window, &screenshot, poll] {
            if (studio_run.running()) return;
            poll->stop();
            // One more repaint of both windows before the picture is taken.
            QTimer::singleShot(300, &window, [&screenshot] {
                const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
                const bool saved = shot.save(screenshot, "PNG");
                std::fprintf(stderr, "glimmark-studio: screenshot %s\n",
                             saved ? "saved" : "failed");
                QApplication::exit(saved ? 0 : 1);
            });
        });
        QTimer::singleShot(500, &window, [&window, poll] {
            window.run_command(cmd::Play);
            poll->start(100);
        });
    }
    return app.exec();
}
