#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QLabel;
class QStatusBar;

namespace glimmark {
class Run;
class Window;
}  // namespace glimmark

// "Tracing row 120 of 480, 25 %"; in an animation of several frames with
// "Frame 3 of 16 · " before it. Rows past the height count as the last one.
QString tracing_text(int frame, int frames, int rows, int height);
// "Done in 1.42 s".
QString done_text(qint64 milliseconds);
// "Wrote 16 frames to PATH" ("1 frame").
QString wrote_text(int frames, const QString& path);

// The run's line in the status bar: "Parsing…", the frame and the row being
// traced while a run goes on, then how it ended, which stays until the next
// run. The status bar's passing messages cover it only while they last.
class RunStatus : public QObject {
    Q_OBJECT
  public:
    // The line follows the tracing this often.
    static constexpr int kRefreshMs = 100;

    RunStatus(QStatusBar* bar, const glimmark::Run& run, const glimmark::Window& window);

    // A run begins with its parse: "Parsing…" at once, and its clock starts.
    void run_started();
    // Its frames are being traced: the line follows them.
    void follow();
    // The line says this from now on; the run, if any, is no longer followed.
    void show(const QString& text);
    // Whether a run was started and its end has not been reported yet.
    bool in_run() const { return in_run_; }
    void run_reported() { in_run_ = false; }
    qint64 elapsed_ms() const { return clock_.elapsed(); }
    QString text() const;

  private:
    void refresh();

    const glimmark::Run& run_;
    const glimmark::Window& window_;
    QLabel* label_;
    QTimer timer_;
    QElapsedTimer clock_;
    bool in_run_ = false;
};
