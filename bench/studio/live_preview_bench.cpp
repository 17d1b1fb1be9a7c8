// Measures the studio's live preview on this machine, offscreen:
//   - from the end of the pause after the last key to the first (1/8) pass
//     and to the full picture, for examples/showcase.gmk at 640 x 480;
//   - the latency of a pick (a click on the picture);
//   - the longest stall of the event loop while typing into the showcase,
//     and while a 100,000-triangle mesh is parsed;
//   - the resident memory before and after 1,000 edits;
//   - how long the next edit takes to stop a 16384 x 16384 trace with
//     1024 ANTIALIASING.
// Usage: glimmark_preview_bench [rounds]
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/live_preview.h"
#include "app/main_window.h"
#include "app/studio_dialogs.h"
#include "app/studio_settings.h"
#include "glimmark/run.h"

namespace {

// Runs the event loop until `done` or `ms` have passed; false on time-out.
// The loop sleeps between events (a 5 ms tick wakes it to look again), as
// the studio's own loop does: a loop that spun would take a core from the
// preview's threads on a 2-core machine. The times are taken in the slots,
// not here, so the tick does not round them.
template <typename F>
bool wait_for(F done, int ms) {
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.setInterval(5);
    tick.setTimerType(Qt::PreciseTimer);
    tick.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void run_for(int ms) {
    wait_for([] { return false; }, ms);
}

// The longest gap between two turns of the event loop, measured by a 1 ms
// timer, while it runs.
class StallProbe : public QObject {
  public:
    StallProbe() {
        timer_.setInterval(1);
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this, [this] {
            const qint64 gap = clock_.restart();
            longest_ = std::max(longest_, gap);
        });
    }
    void start() {
        longest_ = 0;
        clock_.start();
        timer_.start();
    }
    qint64 stop() {
        timer_.stop();
        return std::max(longest_, clock_.elapsed());
    }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

long resident_kib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

void type_key(QPlainTextEdit* editor, const QString& text) {
    QTextCursor cursor = editor->textCursor();
    cursor.insertText(text);
    editor->setTextCursor(cursor);
}

// The processor time of the whole process (every thread) so far, in ms.
double process_cpu_ms() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    QTemporaryDir settings;
    set_studio_settings_file(settings.filePath("studio.conf"));
    set_studio_state_folder(settings.filePath("state"));

    glimmark::Run run;
    MainWindow window(run);
    window.show();
    LivePreview& preview = *window.live_preview();
    window.action(cmd::LivePreview)->trigger();
    QPlainTextEdit* editor = window.editor();
    if (!window.open_file(QString(GMK_SOURCE_DIR) + "/examples/showcase.gmk")) return 1;
    editor->setPlainText(
        editor->toPlainText().replace("WIDTH 560 HEIGHT 560", "WIDTH 640 HEIGHT 480"));
    editor->moveCursor(QTextCursor::End);

    // The time from the end of the pause to each pass.
    // The processor time too: on a shared machine the wall clock also
    // counts the time other processes had the cores.
    QElapsedTimer since_pause;
    double first_pass = -1, full_picture = -1, cpu_at_pause = 0, full_cpu = -1;
    QObject::connect(window.preview_timer(), &QTimer::timeout, [&] {
        since_pause.start();
        cpu_at_pause = process_cpu_ms();
        first_pass = full_picture = -1;
    });
    QObject::connect(&preview, &LivePreview::pass_done, [&](int step) {
        const double ms = since_pause.nsecsElapsed() / 1e6;
        if (step == 8 && first_pass < 0) first_pass = ms;
        if (step == 1) {
            full_picture = ms;
            full_cpu = process_cpu_ms() - cpu_at_pause;
        }
    });
    auto settled = [&] {
        return !preview.busy() && !window.preview_timer()->isActive() && full_picture >= 0;
    };
    wait_for(settled, 30000);
    std::vector<double> firsts, fulls, cpus;
    for (int i = 0; i < rounds; ++i) {
        type_key(editor, " ");
        full_picture = -1;
        if (!wait_for(settled, 30000)) return 2;
        firsts.push_back(first_pass);
        fulls.push_back(full_picture);
        cpus.push_back(full_cpu);
    }
    std::printf(
        "showcase 640x480, after the %d ms pause: first pass %.1f ms, full picture "
        "%.1f ms (median of %d; best %.1f / %.1f); processor time to the full picture "
        "%.1f ms (median; best %.1f)\n",
        window.preview_timer()->interval(), median(firsts), median(fulls), rounds,
        *std::min_element(firsts.begin(), firsts.end()),
        *std::min_element(fulls.begin(), fulls.end()), median(cpus),
        *std::min_element(cpus.begin(), cpus.end()));

    // Pick latency over a grid of pixels.
    {
        int picked = 0;
        QElapsedTimer clock;
        clock.start();
        for (int y = 0; y < 480; y += 16)
            for (int x = 0; x < 640; x += 16)
                picked += preview.pick(x, y, false).start >= 0 ? 1 : 0;
        const double each = clock.nsecsElapsed() / 1e3 / (40.0 * 30.0);
        std::printf("pick: %.1f us per pixel (%d of 1200 pixels on a shape)\n", each, picked);
    }

    // Typing at 20 keys a second, the pause passing now and then; the same
    // with Live Preview off, for what the machine's load alone causes.
    for (const bool live : {true, false}) {
        if (!live) window.action(cmd::LivePreview)->trigger();
        StallProbe probe;
        probe.start();
        for (int i = 0; i < 60; ++i) {
            type_key(editor, i % 10 == 9 ? "\n" : " ");
            run_for(i % 15 == 14 ? 400 : 50);
        }
        if (live) wait_for(settled, 30000);
        std::printf(
            "longest event-loop stall while typing into the showcase, Live Preview %s: "
            "%lld ms\n",
            live ? "on" : "off", static_cast<long long>(probe.stop()));
        if (!live) window.action(cmd::LivePreview)->trigger();
    }
    wait_for(settled, 30000);

    // 1,000 edits; memory after the first 100 and after all of them.
    {
        window.preview_timer()->setInterval(1);
        // The editor's undo history would grow with every edit; only the
        // preview's memory is measured.
        editor->setUndoRedoEnabled(false);
        std::vector<long> kib;
        for (int i = 0; i < 1000; ++i) {
            type_key(editor, " ");
            run_for(i % 50 == 49 ? 200 : 3);
            if (i % 100 == 99) {
                wait_for(settled, 30000);
                kib.push_back(resident_kib());
            }
        }
        std::printf("resident memory (KiB) after each 100 of 1000 edits:");
        for (const long k : kib)
            std::printf(" %ld", k);
        std::printf(" (%+ld from 100 to 1000)\n", kib.back() - kib.front());
        window.preview_timer()->setInterval(150);
    }

    // A 100,000-triangle mesh: the parse runs off the UI thread.
    {
        QString mesh =
            "TRACER WIDTH 320 HEIGHT 240 END_TRACER\nSCENE\n"
            "CAMERA TRANSLATE 0 0 -3 END_CAMERA LIGHT TRANSLATE 0 5 -5 END_LIGHT\n"
            "MESH VERTEX_LIST\n";
        for (int i = 0; i < 100000; ++i) {
            const double x = (i % 400) / 200.0 - 1.0, y = (i / 400) / 125.0 - 1.0;
            mesh += QString("%1 %2 0 0 0 -1 0 0  %3 %2 0 0 0 -1 1 0  %1 %4 0 0 0 -1 0 1\n")
                        .arg(x)
                        .arg(y)
                        .arg(x + 0.005)
                        .arg(y + 0.008);
        }
        mesh += "END_VERTEX_LIST END_MESH\nEND_SCENE\n";
        QElapsedTimer set_text;
        set_text.start();
        editor->setPlainText(mesh);
        std::printf("setPlainText of the mesh text: %lld ms\n",
                    static_cast<long long>(set_text.elapsed()));
        StallProbe probe;
        QElapsedTimer clock;
        probe.start();
        clock.start();
        full_picture = -1;
        const bool done = wait_for(settled, 120000);
        std::printf("100,000-triangle mesh: %s in %lld ms, longest stall %lld ms\n",
                    done ? "previewed" : "NOT previewed", static_cast<long long>(clock.elapsed()),
                    static_cast<long long>(probe.stop()));
    }

    // The next edit stops an endless-looking trace.
    {
        const QString huge =
            "TRACER WIDTH 16384 HEIGHT 16384 ANTIALIASING 1024 END_TRACER\n"
            "SCENE LIGHT TRANSLATE 0 5 -5 END_LIGHT\n"
            "SPHERE TRANSLATE 0 0 5 END_SPHERE END_SCENE\n";
        for (const int delay : {200, 500, 1000, 3000}) {
            editor->setPlainText(huge);
            wait_for([&] { return preview.busy(); }, 5000);
            run_for(delay);
            QElapsedTimer clock;
            clock.start();
            preview.stop(true);
            std::printf("huge trace stopped %d ms in: thread joined after %.1f ms\n", delay,
                        clock.nsecsElapsed() / 1e6);
        }
    }
    return 0;
}
