#include <gtest/gtest.h>

#include <QEvent>
#include <QObject>
#include <QProcess>
#include <csignal>
#include <cstdio>
#include <new>
#include <string>
#include <utility>

#include "studio_test_support.h"
#include "tests/support/project_version.h"

namespace {

// Throws as an event handler would that finds no memory.
class Starved : public QObject {
  public:
    int handled = 0;
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw std::bad_alloc();
        if (e->type() == QEvent::User + 1) {
            ++handled;
            return true;
        }
        return QObject::event(e);
    }
};

TEST(StudioApplication, AnEventThatFindsNoMemoryIsGivenUpAndTheUserTold) {
    StudioApplication& app = studio_app();
    int told = 0;
    const auto keep = app.report_out_of_memory;
    app.report_out_of_memory = [&told] { ++told; };
    const int before = app.out_of_memory_events;
    Starved target;
    QEvent starving(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&target, &starving));
    EXPECT_EQ(told, 1);
    EXPECT_EQ(app.out_of_memory_events, before + 1);
    // The application goes on delivering events.
    QEvent next(static_cast<QEvent::Type>(QEvent::User + 1));
    EXPECT_TRUE(QCoreApplication::sendEvent(&target, &next));
    EXPECT_EQ(target.handled, 1);
    // A report that itself runs short does not escape either.
    app.report_out_of_memory = [] { throw std::bad_alloc(); };
    EXPECT_FALSE(QCoreApplication::sendEvent(&target, &starving));
    app.report_out_of_memory = keep;
}

// --help and --version print and end without a display: with none to reach,
// a window would end the program with an error instead.
TEST(StudioApplication, HelpAndVersionPrintWithoutAWindow) {
    const std::string version = "glimmark-studio " + project_version() + "\n";
    const std::pair<const char*, std::string> cases[] = {
        {"--help", "Usage: glimmark-studio [FILE]\n"},
        {"-h", "Usage: glimmark-studio [FILE]\n"},
        {"--version", version},
    };
    for (const auto& [option, first_line] : cases) {
        const std::string command =
            std::string("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb '") +
            GMK_BINARY_DIR + "/glimmark-studio' " + option + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string out;
        char buffer[256];
        while (std::fgets(buffer, sizeof(buffer), pipe) != nullptr)
            out += buffer;
        const int status = pclose(pipe);
        EXPECT_EQ(status, 0) << option << ": " << out;
        EXPECT_EQ(out.substr(0, out.find('\n') + 1), first_line) << option;
    }
}

// A signal ends the studio while a modal box is open: here the error box of
// a file that cannot be opened, shown before the studio's own loop starts.
TEST(StudioApplication, SignalsEndTheStudioWhileABoxIsOpen) {
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        QProcess studio;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        studio.setProcessEnvironment(env);
        studio.start(QString(GMK_BINARY_DIR) + "/glimmark-studio", {"/nonexistent/missing.gmk"});
        ASSERT_TRUE(studio.waitForStarted());
        // Sent once the studio handles the signal; before, it would just die.
        const auto handled = [&studio, number] {
            const QByteArray status =
                read_bytes(QString("/proc/%1/status").arg(studio.processId()));
            const qsizetype at = status.indexOf("SigCgt:");
            return at >= 0 &&
                   (status.mid(at + 7, 17).trimmed().toULongLong(nullptr, 16) >> (number - 1) & 1);
        };
        ASSERT_TRUE(QTest::qWaitFor(handled, 20000)) << number;
        ::kill(static_cast<pid_t>(studio.processId()), number);
        EXPECT_TRUE(studio.waitForFinished(5000)) << number;
        EXPECT_EQ(studio.exitStatus(), QProcess::NormalExit) << number;
        EXPECT_EQ(studio.exitCode(), 0) << number;
    }
}

}  // namespace
