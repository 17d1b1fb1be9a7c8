// glimmark_studio_monkey: the studio driven by random events, as an impatient
// user with a cat on the keyboard would: keys, shortcuts, menus, buttons,
// clicks and drags on the editor and the picture, and a random answer to
// every box. It ends with 1 when a file changed without a save, and the
// watchdog ends it with 2 when the window did not answer for 5 seconds; a
// crash ends it with its signal. Every event is written to the log as it is
// sent, so that the seed and the log reproduce a failure.
//
// Usage: glimmark_studio_monkey --folder DIR [--seed N] [--events N]
//                               [--seconds S] [--log FILE] [--examples DIR]
// Runs on a real display (tests/monkey/monkey_test.sh starts one with a
// window manager).
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <unistd.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>

#include "app/main_window.h"
#include "app/studio_application.h"
#include "app/studio_dialogs.h"
#include "app/studio_settings.h"
#include "app/trace_pane.h"
#include "glimmark/run.h"

namespace {

constexpr int kHangSeconds = 5;
constexpr int kTickMs = 12;

std::atomic<long long> heartbeat_ms{0};
std::atomic<int> events_sent{0};
char crash_line[160];

long long now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void on_crash(int signal) {
    // Only what a signal handler may do: write, and end with the signal.
    const ssize_t written = write(2, crash_line, std::strlen(crash_line));
    (void)written;
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

struct Options {
    unsigned long long seed = 0;
    int events = 2000;
    int seconds = 60;
    QString folder;
    QString log;
};

// What the events are written to: the log file, flushed line by line.
class EventLog {
  public:
    explicit EventLog(const QString& path) {
        if (!path.isEmpty()) file_ = std::fopen(QFile::encodeName(path).constData(), "w");
    }
    ~EventLog() {
        if (file_ != nullptr) std::fclose(file_);
    }
    void line(const QString& text) {
        lines_.push_back(text);
        if (file_ == nullptr) return;
        std::fprintf(file_, "%s\n", text.toLocal8Bit().constData());
        std::fflush(file_);
    }
    // The last `count` events, for a failure's report.
    void print_tail(int count) const {
        const int from = std::max(0, static_cast<int>(lines_.size()) - count);
        for (int i = from; i < static_cast<int>(lines_.size()); ++i)
            std::fprintf(stderr, "  %s\n",
                         lines_[static_cast<size_t>(i)].toLocal8Bit().constData());
    }

  private:
    std::FILE* file_ = nullptr;
    std::vector<QString> lines_;
};

// The dialogs that need a file system or a browser answer at random from the
// work folder; the boxes are the real ones, answered by the monkey.
class MonkeyDialogs : public StudioDialogs {
  public:
    MonkeyDialogs(std::mt19937_64& random, QString folder, EventLog& log)
        : random_(random), folder_(std::move(folder)), log_(log) {}

    QString open_file_name(QWidget*, const QString&, const QString&) override {
        QStringList names = scenes();
        names << ""
              << "" << folder_ + "/missing.gmk" << folder_ << folder_ + "/picture.png";
        return answer("open file", names);
    }
    QString save_file_name(QWidget*, const QString&, const QString& start) override {
        QStringList names = {"", start, folder_ + QString("/saved%1.gmk").arg(random_() % 3),
                             folder_ + "/no/such/folder/x.gmk"};
        return answer("save file", names);
    }
    QString picture_file_name(QWidget*, const QString&) override {
        return answer("picture file",
                      {"", folder_ + "/picture.png", folder_ + "/no/such/folder/x.png"});
    }
    bool open_url(const QUrl&) override {
        const bool shown = random_() % 2 == 0;
        log_.line(QString("   answer open url: %1").arg(shown ? "shown" : "failed"));
        return shown;
    }
    QStringList scenes() const {
        QStringList names;
        for (const QString& name : QDir(folder_).entryList({"*.gmk"}, QDir::Files))
            names << folder_ + "/" + name;
        return names;
    }

  private:
    QString answer(const char* what, const QStringList& names) {
        const QString name = names[static_cast<int>(random_() % names.size())];
        log_.line(QString("   answer %1: \"%2\"").arg(what, name));
        return name;
    }
    std::mt19937_64& random_;
    QString folder_;
    EventLog& log_;
};

const char* const kWords[] = {
    "SPHERE\n",     "END_SPHERE\n", "CUBE\n",    "END_CUBE\n",    "LOOP 3\n", "END_LOOP\n",
    "TRACER\n",     "END_TRACER\n", "WIDTH ",    "HEIGHT ",       "SCENE\n",  "END_SCENE\n",
    "COLOR 1 0 0 ", "RADIUS 2 ",    "DEFINE x ", "ANIMATION\n",   "FRAMES ",  "TIME ",
    "<1, 2, 3>",    "0.5 ",         "-1 ",       "; a comment\n", "\"",       "{",
};

struct Key {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* name;
};

// Keys that edit or move in the editor.
const Key kEditKeys[] = {
    {Qt::Key_Backspace, Qt::NoModifier, "Backspace"},
    {Qt::Key_Delete, Qt::NoModifier, "Delete"},
    {Qt::Key_Return, Qt::NoModifier, "Return"},
    {Qt::Key_Left, Qt::NoModifier, "Left"},
    {Qt::Key_Right, Qt::NoModifier, "Right"},
    {Qt::Key_Up, Qt::NoModifier, "Up"},
    {Qt::Key_Down, Qt::NoModifier, "Down"},
    {Qt::Key_Home, Qt::NoModifier, "Home"},
    {Qt::Key_End, Qt::NoModifier, "End"},
    {Qt::Key_PageUp, Qt::NoModifier, "PageUp"},
    {Qt::Key_PageDown, Qt::NoModifier, "PageDown"},
    {Qt::Key_Tab, Qt::NoModifier, "Tab"},
    {Qt::Key_Right, Qt::ShiftModifier, "Shift+Right"},
    {Qt::Key_Down, Qt::ShiftModifier, "Shift+Down"},
    {Qt::Key_Home, Qt::ControlModifier, "Ctrl+Home"},
    {Qt::Key_End, Qt::ControlModifier, "Ctrl+End"},
    {Qt::Key_A, Qt::ControlModifier, "Ctrl+A"},
    {Qt::Key_Z, Qt::ControlModifier, "Ctrl+Z"},
    {Qt::Key_Y, Qt::ControlModifier, "Ctrl+Y"},
    {Qt::Key_X, Qt::ControlModifier, "Ctrl+X"},
    {Qt::Key_C, Qt::ControlModifier, "Ctrl+C"},
    {Qt::Key_V, Qt::ControlModifier, "Ctrl+V"},
    {Qt::Key_Escape, Qt::NoModifier, "Escape"},
};

// The studio's keys, and a few that are nobody's.
const Key kShortcuts[] = {
    {Qt::Key_F1, Qt::NoModifier, "F1"},
    {Qt::Key_F3, Qt::NoModifier, "F3"},
    {Qt::Key_F4, Qt::NoModifier, "F4"},
    {Qt::Key_F4, Qt::NoModifier, "F4"},
    {Qt::Key_F5, Qt::NoModifier, "F5"},
    {Qt::Key_F5, Qt::NoModifier, "F5"},
    {Qt::Key_F5, Qt::NoModifier, "F5"},
    {Qt::Key_F7, Qt::NoModifier, "F7"},
    {Qt::Key_F7, Qt::NoModifier, "F7"},
    {Qt::Key_F8, Qt::NoModifier, "F8"},
    {Qt::Key_F8, Qt::ShiftModifier, "Shift+F8"},
    {Qt::Key_B, Qt::ControlModifier, "Ctrl+B"},
    {Qt::Key_F10, Qt::ControlModifier, "Ctrl+F10"},
    {Qt::Key_N, Qt::ControlModifier, "Ctrl+N"},
    {Qt::Key_O, Qt::ControlModifier, "Ctrl+O"},
    {Qt::Key_S, Qt::ControlModifier, "Ctrl+S"},
    {Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier, "Ctrl+Shift+S"},
    {Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier, "Ctrl+Shift+E"},
    {Qt::Key_F, Qt::ControlModifier, "Ctrl+F"},
    {Qt::Key_H, Qt::ControlModifier, "Ctrl+H"},
    {Qt::Key_G, Qt::ControlModifier, "Ctrl+G"},
    {Qt::Key_L, Qt::ControlModifier, "Ctrl+L"},
    {Qt::Key_Plus, Qt::ControlModifier, "Ctrl++"},
    {Qt::Key_Minus, Qt::ControlModifier, "Ctrl+-"},
    {Qt::Key_W, Qt::ControlModifier, "Ctrl+W"},
    {Qt::Key_Q, Qt::ControlModifier, "Ctrl+Q"},
    {Qt::Key_Slash, Qt::AltModifier, "Alt+/"},
    {Qt::Key_F2, Qt::NoModifier, "F2"},
};

template <typename T, size_t N>
const T& pick(std::mt19937_64& random, const T (&items)[N]) {
    return items[random() % N];
}

class Monkey : public QObject {
  public:
    Monkey(const Options& options, EventLog& log)
        : options_(options),
          log_(log),
          random_(options.seed),
          dialogs_(random_, options.folder, log) {
        for (const QString& name : dialogs_.scenes())
            known_[name] = read(name);
        run_.set_threads(1);
        open_window();
        connect(&timer_, &QTimer::timeout, this, &Monkey::tick);
        timer_.start(kTickMs);
        clock_.start();
    }

    ~Monkey() override { close_window(); }

  private:
    static QByteArray read(const QString& name) {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void open_window() {
        window_ = std::make_unique<MainWindow>(run_, &dialogs_);
        connect(window_.get(), &MainWindow::file_saved, this,
                [this](const QString& name, const QByteArray& bytes) {
                    saved_[QFileInfo(name).absoluteFilePath()] = bytes;
                    ++saves_;
                });
        window_->resize(1100, 700);
        window_->show();
        const QStringList scenes = dialogs_.scenes();
        if (!scenes.isEmpty()) {
            const QString name = scenes[static_cast<int>(random_() % scenes.size())];
            log_.line("   open " + QFileInfo(name).fileName());
            // Posted, so that the boxes of the start are answered by ticks.
            QTimer::singleShot(0, window_.get(), [this, name] {
                window_->open_file(name);
                window_->offer_recovery_at_start();
            });
        }
    }

    void close_window() {
        if (!window_) return;
        window_->close_without_asking();
        window_.reset();
    }

    void tick() {
        heartbeat_ms.store(now_ms());
        check_files();
        if (busy_) return;
        const bool over = sent_ >= options_.events ||
                          (options_.seconds > 0 && clock_.elapsed() > options_.seconds * 1000LL);
        if (QWidget* popup = QApplication::activePopupWidget()) {
            post([this, popup = QPointer<QWidget>(popup)] {
                if (popup) answer_popup(popup);
            });
        } else if (QWidget* modal = QApplication::activeModalWidget()) {
            post([this, modal = QPointer<QWidget>(modal)] {
                if (modal) answer_box(modal);
            });
        } else if ((over || !window_->isVisible()) && depth_ > 0) {
            // An event still waits in a loop of its own (a box that has just
            // closed): the window stays until it has returned.
            if (++waits_ * kTickMs > 10000) fail("an event has not returned for 10 s");
        } else if (over) {
            finish();
        } else if (!window_->isVisible()) {
            waits_ = 0;
            // Exit, Ctrl+Q or the close button closed the studio: start anew.
            log_.line(QString("#%1 the window closed: a new one").arg(sent_));
            ++windows_;
            close_window();
            open_window();
        } else {
            post([this] { send_event(); });
        }
    }

    // Each event is posted, so that the tick never waits in a box's loop and
    // the next tick can answer the box.
    void post(std::function<void()> event) {
        busy_ = true;
        QTimer::singleShot(0, this, [this, event = std::move(event)] {
            busy_ = false;
            ++sent_;
            events_sent.store(sent_);
            ++depth_;
            event();
            --depth_;
        });
    }

    void note(const QString& text) { log_.line(QString("#%1 %2").arg(sent_).arg(text)); }

    void answer_popup(QWidget* popup) {
        auto* menu = qobject_cast<QMenu*>(popup);
        QList<QAction*> items;
        if (menu != nullptr)
            for (QAction* a : menu->actions())
                if (a->isVisible() && !a->isSeparator()) items << a;
        if (items.isEmpty() || random_() % 6 == 0) {
            note("Escape on the popup");
            QTest::keyClick(popup, Qt::Key_Escape);
            return;
        }
        QAction* item = items[static_cast<int>(random_() % items.size())];
        note("menu item \"" + item->text() + "\"");
        ++menu_items_;
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    }

    void answer_box(QWidget* box) {
        ++boxes_;
        const QString title = box->windowTitle();
        if (auto* input = qobject_cast<QInputDialog*>(box); input != nullptr && random_() % 2) {
            const int line =
                input->intMinimum() +
                static_cast<int>(random_() % (input->intMaximum() - input->intMinimum() + 1));
            input->setIntValue(line);
            note(QString("box \"%1\": value %2").arg(title).arg(line));
        }
        QList<QAbstractButton*> buttons;
        for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
            if (b->isVisible() && b->isEnabled()) buttons << b;
        const unsigned choice = random_() % 8;
        if (buttons.isEmpty() || choice == 0) {
            note(QString("box \"%1\": Escape").arg(title));
            QTest::keyClick(box, Qt::Key_Escape);
        } else if (choice == 1) {
            note(QString("box \"%1\": Return").arg(title));
            QTest::keyClick(box, Qt::Key_Return);
        } else {
            QAbstractButton* b = buttons[static_cast<int>(random_() % buttons.size())];
            note(QString("box \"%1\": button \"%2\"").arg(title, b->text()));
            QTest::mouseClick(b, Qt::LeftButton);
        }
    }

    QWidget* key_target() const {
        QWidget* focus = QApplication::focusWidget();
        return focus != nullptr && focus->window() == window_.get() ? focus : window_->editor();
    }

    void send_key(const Key& key) {
        QWidget* target = key_target();
        note(QString("key %1 to %2").arg(key.name, target->metaObject()->className()));
        ++keys_;
        QTest::keyClick(target, key.key, key.modifiers);
    }

    QPoint random_point(QWidget* w) {
        const int width = std::max(1, w->width()), height = std::max(1, w->height());
        return {static_cast<int>(random_() % width), static_cast<int>(random_() % height)};
    }

    static Qt::KeyboardModifiers random_modifiers(unsigned n) {
        switch (n % 5) {
            case 1:
                return Qt::ControlModifier;
            case 2:
                return Qt::AltModifier;
            case 3:
                return Qt::ShiftModifier;
            default:
                return Qt::NoModifier;
        }
    }

    void send_event() {
        MainWindow& w = *window_;
        // Text that grew past what a person types is started over.
        if (w.editor()->document()->characterCount() > 200000) {
            note("Ctrl+A, Delete (the text grew large)");
            QTest::keyClick(w.editor(), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(w.editor(), Qt::Key_Delete);
            return;
        }
        const unsigned kind = random_() % 100;
        if (kind < 22) {
            QString text;
            if (random_() % 3 == 0) {
                text = pick(random_, kWords);
            } else {
                static const char kChars[] = "abcXYZ0123456789 .,-<>;\n\t";
                text = QChar(kChars[random_() % (sizeof kChars - 1)]);
            }
            QWidget* target = key_target();
            note(QString("type \"%1\" to %2")
                     .arg(QString(text).replace("\n", "\\n").replace("\t", "\\t"),
                          target->metaObject()->className()));
            ++keys_;
            // QTest types characters; line ends and tabs are keys.
            for (const QChar c : text) {
                if (c == '\n')
                    QTest::keyClick(target, Qt::Key_Return);
                else if (c == '\t')
                    QTest::keyClick(target, Qt::Key_Tab);
                else
                    QTest::keyClick(target, c.toLatin1());
            }
        } else if (kind < 40) {
            send_key(pick(random_, kEditKeys));
        } else if (kind < 58) {
            send_key(pick(random_, kShortcuts));
        } else if (kind < 66) {
            const QList<QAction*> menus = w.menuBar()->actions();
            QAction* menu = menus[static_cast<int>(random_() % menus.size())];
            note("menu \"" + menu->text() + "\"");
            ++clicks_;
            QTest::mouseClick(w.menuBar(), Qt::LeftButton, {},
                              w.menuBar()->actionGeometry(menu).center());
        } else if (kind < 72) {
            static const int kButtons[] = {32771, 32772, 32773, 32774, 32775,
                                           32776, 32778, 32779, 32780};
            QAbstractButton* b = w.button(pick(random_, kButtons));
            if (b == nullptr) return;
            note("button \"" + b->toolTip() + "\"");
            ++clicks_;
            QTest::mouseClick(b, Qt::LeftButton);
        } else if (kind < 82) {
            QWidget* view = w.editor()->viewport();
            const QPoint at = random_point(view);
            const Qt::KeyboardModifiers held = random_modifiers(static_cast<unsigned>(random_()));
            ++clicks_;
            if (random_() % 4 == 0) {
                note(QString("double click on the editor at %1,%2").arg(at.x()).arg(at.y()));
                QTest::mouseDClick(view, Qt::LeftButton, held, at);
            } else {
                note(QString("click on the editor at %1,%2 with %3")
                         .arg(at.x())
                         .arg(at.y())
                         .arg(held.toInt()));
                QTest::mouseClick(view, Qt::LeftButton, held, at);
            }
        } else if (kind < 96) {
            picture_event(w);
        } else if (kind < 98) {
            QSlider* slider = w.time_slider();
            if (slider == nullptr || !slider->isVisible()) return;
            const QPoint at = random_point(slider);
            note(QString("click on the time slider at %1").arg(at.x()));
            ++clicks_;
            QTest::mouseClick(slider, Qt::LeftButton, {}, at);
        } else {
            note("close button of the window");
            w.close();
        }
    }

    void picture_event(MainWindow& w) {
        QWidget* view = w.trace_pane()->viewport();
        if (!view->isVisible()) return;
        const QPoint at = random_point(view);
        const Qt::KeyboardModifiers held = random_modifiers(static_cast<unsigned>(random_()));
        const QString where = QString("%1,%2").arg(at.x()).arg(at.y());
        ++clicks_;
        switch (random_() % 5) {
            case 0:
                note(QString("click on the picture at %1 with %2").arg(where).arg(held.toInt()));
                QTest::mouseClick(view, Qt::LeftButton, held, at);
                break;
            case 1:
                note("double click on the picture at " + where);
                QTest::mouseDClick(view, Qt::LeftButton, held, at);
                break;
            case 2:
                note("mouse over the picture at " + where);
                QTest::mouseMove(view, at);
                break;
            case 3: {
                const QPoint to = random_point(view);
                note(QString("drag on the picture from %1 to %2,%3")
                         .arg(where)
                         .arg(to.x())
                         .arg(to.y()));
                QTest::mousePress(view, Qt::LeftButton, held, at);
                QTest::mouseMove(view, (at + to) / 2);
                QTest::mouseMove(view, to);
                QTest::mouseRelease(view, Qt::LeftButton, held, to);
                break;
            }
            default: {
                const int steps = random_() % 2 ? 120 : -120;
                note(QString("Ctrl+wheel %1 on the picture at %2").arg(steps).arg(where));
                QWheelEvent wheel(at, view->mapToGlobal(at), {}, {0, steps}, Qt::NoButton,
                                  Qt::ControlModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(view, &wheel);
                break;
            }
        }
    }

    // A scene file may change only by a save, to the very bytes saved.
    void check_files() {
        for (const QString& name : dialogs_.scenes()) {
            const QByteArray bytes = read(name);
            auto known = known_.find(name);
            if (known != known_.end() && *known == bytes) continue;
            auto saved = saved_.find(name);
            if (saved == saved_.end() || *saved != bytes) {
                fail(QString("%1 changed without a save").arg(QFileInfo(name).fileName()));
                return;
            }
            known_[name] = bytes;
        }
        for (auto it = known_.begin(); it != known_.end(); ++it)
            if (!QFileInfo::exists(it.key())) {
                fail(QString("%1 was removed").arg(QFileInfo(it.key()).fileName()));
                return;
            }
    }

    void fail(const QString& why) {
        std::fprintf(stderr, "FAIL: %s after event #%d (seed %llu)\n",
                     why.toLocal8Bit().constData(), sent_, options_.seed);
        log_.print_tail(30);
        std::fflush(stderr);
        std::_Exit(1);
    }

    void finish() {
        timer_.stop();
        std::printf(
            "monkey: seed %llu: %d events in %.1f s (%d keys, %d clicks, %d menu items, %d boxes "
            "answered, %d saves, %d new windows): no crash, no hang, no file changed without a "
            "save\n",
            options_.seed, sent_, static_cast<double>(clock_.elapsed()) / 1000.0, keys_, clicks_,
            menu_items_, boxes_, saves_, windows_);
        std::fflush(stdout);
        close_window();
        QApplication::exit(0);
    }

    Options options_;
    EventLog& log_;
    std::mt19937_64 random_;
    MonkeyDialogs dialogs_;
    glimmark::Run run_;
    std::unique_ptr<MainWindow> window_;
    QTimer timer_;
    QElapsedTimer clock_;
    QHash<QString, QByteArray> known_, saved_;
    bool busy_ = false;
    // Events under way: more than one while a box's loop runs.
    int depth_ = 0;
    int waits_ = 0;
    int sent_ = 0, keys_ = 0, clicks_ = 0, menu_items_ = 0, boxes_ = 0, saves_ = 0, windows_ = 0;
};

bool parse_options(int argc, char** argv, Options& o) {
    o.seed = std::random_device{}();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--seed")
            o.seed = std::strtoull(value, nullptr, 10);
        else if (name == "--events")
            o.events = std::atoi(value);
        else if (name == "--seconds")
            o.seconds = std::atoi(value);
        else if (name == "--folder")
            o.folder = QFile::decodeName(value);
        else if (name == "--log")
            o.log = QFile::decodeName(value);
        else
            return false;
    }
    return argc % 2 == 1 && !o.folder.isEmpty();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse_options(argc, argv, options)) {
        std::fputs(
            "usage: glimmark_studio_monkey --folder DIR [--seed N] [--events N] "
            "[--seconds S] [--log FILE]\n",
            stderr);
        return 2;
    }
    std::signal(SIGXFSZ, SIG_IGN);
    std::snprintf(crash_line, sizeof crash_line,
                  "FAIL: the studio crashed (seed %llu; the log's last event is the last sent)\n",
                  options.seed);
    for (int s : {SIGSEGV, SIGABRT, SIGFPE, SIGBUS, SIGILL})
        std::signal(s, on_crash);
    std::printf("monkey: seed %llu, %d events, at most %d s\n", options.seed, options.events,
                options.seconds);
    std::fflush(stdout);

    const QString folder = QFileInfo(options.folder).absoluteFilePath();
    options.folder = folder;
    QDir().mkpath(folder + "/state");
    set_studio_settings_file(folder + "/state/studio.conf");
    set_studio_state_folder(folder + "/state");
    StudioApplication app(argc, argv);
    app.setApplicationName("Glimmark");
    app.setQuitOnLastWindowClosed(false);
    EventLog log(options.log);
    log.line(QString("seed %1").arg(options.seed));

    // The watchdog: the ticks stop when the window's thread stops answering.
    heartbeat_ms.store(now_ms());
    std::thread([seed = options.seed, &log] {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            const long long silent = now_ms() - heartbeat_ms.load();
            if (silent > kHangSeconds * 1000) {
                std::fprintf(stderr,
                             "FAIL: the window did not answer for %.1f s after event #%d (seed "
                             "%llu); the log's last event is the last sent\n",
                             static_cast<double>(silent) / 1000.0, events_sent.load(), seed);
                std::fflush(stderr);
                std::_Exit(2);
            }
        }
    }).detach();

    Monkey monkey(options, log);
    return app.exec();
}
