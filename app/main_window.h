#pragma once

#include <QHash>
#include <QMainWindow>
#include <QMessageBox>
#include <QString>
#include <QTextCursor>
#include <functional>
#include <string>
#include <vector>

#include "app/editor_text.h"
#include "glimmark/about.h"
#include "glimmark/canvas.h"
#include "glimmark/engine.h"
#include "glimmark/run.h"

class FindBar;
class QAbstractButton;
class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSlider;
class LivePreview;
class QTimer;
class RunStatus;
class SceneHighlighter;
class StudioDialogs;
class TracePane;
class TraceWindow;
struct MenuNode;

// The studio's main window: the button row, the editor, the menu and the
// keys, and the window of the run cycle (message boxes, the editor
// selection, the trace window and the run's messages).
class MainWindow : public QMainWindow, public glimmark::Window {
    Q_OBJECT
  public:
    // Runs are at most this long, the terminating NUL included.
    static constexpr int kTextBufferSize = static_cast<int>(glimmark::max_scene_characters) + 1;

    explicit MainWindow(glimmark::Run& run, StudioDialogs* dialogs = nullptr);
    ~MainWindow() override;

    // The command table: menus, buttons and keys all come here.
    void run_command(int id);

    // File transfers; false after the error box.
    bool open_file(const QString& name);
    bool save_file(const QString& name);
    // Closes the studio without asking about unsaved text (a signal asked);
    // changed text is kept in the recovery file.
    void close_without_asking();
    // Offers the recovery file of the current document (of an untitled one
    // when there is no file) if it is newer than the document; true when
    // its text was restored.
    bool offer_recovery();
    // At the start: offers every recovery copy left behind, one after the
    // other, until one is restored (opening its file).
    void offer_recovery_at_start();
    // Where changed text of the current document is kept until it is saved.
    QString recovery_file() const;
    QMenu* recent_menu() const { return recent_menu_; }

    // glimmark::Window
    void message_box(const std::string& text, const std::string& caption) override;
    void select_text(int start, int end) override;
    void show_parse_error(const glimmark::Diagnostic& error) override;
    void show_picture(int width, int height) override;
    glimmark::Canvas& canvas() override { return canvas_; }
    void post_message(int message) override;
    void send_message(int message) override;
    void run_finished() override;
    bool delay_next_frame(int milliseconds) override;
    void run_parse(const std::function<void()>& parse) override;

    QPlainTextEdit* editor() const { return editor_; }
    TraceWindow* trace_window() const { return trace_; }
    TracePane* trace_pane() const { return pane_; }
    QAbstractButton* button(int id) const { return buttons_.value(id); }
    QAction* action(int id) const { return actions_.value(id); }
    const QString& current_file() const { return current_file_; }
    const QString& help_path() const { return help_path_; }
    void set_help_path(const QString& path) { help_path_ = path; }
    // The run's line in the status bar.
    QString run_status_text() const;
    // The editor's text as a file or a parse sees it.
    QByteArray editor_bytes() const;
    // The entry routine of the render threads (tests give their own; null:
    // the engine's).
    void set_render_entry(glimmark::Run::FrameEntry entry) { render_entry_ = entry; }
    // The live preview (main_preview.cpp): its worker, the pause after the
    // last edit, and the time slider under the picture.
    LivePreview* live_preview() const { return preview_; }
    QTimer* preview_timer() const { return preview_timer_; }
    QSlider* time_slider() const { return time_slider_; }
    // What the slider stands at ("TIME 0.5, frame 3 of 4"), and the zoom.
    QString time_text() const;
    QString zoom_text() const;
    bool live_preview_on() const { return live_preview_; }
    // The scene behind the last run's picture, for picks in it once the run
    // is over.
    LivePreview* run_picks() const { return run_picks_; }

  signals:
    // A save wrote these bytes to the file `name`.
    void file_saved(const QString& name, const QByteArray& bytes);

  protected:
    void closeEvent(QCloseEvent* event) override;
    // A click on the status bar's parse error goes to the error.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void build_buttons(QWidget* row);
    void build_menu(QMenu* menu, const std::vector<MenuNode>& items);
    void build_accelerators();
    void update_caret_status();

    // main_commands.cpp
    void setup_runs();
    void start_run(bool build_scene, bool record);
    void stop_run();
    // The status bar and the recording notice say how the run ended.
    void report_run_end();
    // The editor's text for a run; false after the box that says it is too
    // long.
    bool copy_text_for_run(std::string& text);
    void insert_template(int id);
    void show_test_picture();
    void end_run_for_exit();
    void error_box(const QString& text);
    // The last parse's errors: each one's word (which follows the edits) and
    // what the status bar says of it.
    void set_parse_error(int from, int to, const QString& status);
    void clear_parse_errors() { parse_errors_.clear(); }
    // F8 and Shift+F8: selects the word of the next (previous) error after
    // (before) the caret, from the first (last) again at the end.
    void go_to_error(int direction);
    void go_to_error_at(size_t index);

    // main_edit.cpp: the editor, its font, Find, Replace, Go to Line, zoom.
    QPlainTextEdit* create_editor(QWidget* parent);
    void find_text();
    void find_next();
    void replace_text();
    void go_to_line();
    void zoom_editor(int steps);
    void set_proportional_font(bool on);
    // Once the menus are built: their marks show the editor's settings.
    void mark_editor_settings();

    // main_view.cpp: where the picture is shown, and saving it.
    QWidget* create_work_area(QWidget* parent);
    void set_separate_trace_window(bool on);
    void set_fit_picture(bool on);
    // View > Theme: the system's look, or Fusion light or dark; remembered.
    void set_theme(int id);
    void save_picture();
    void save_exr_picture(const QString& name);
    // The remembered view and the window's place on its screen.
    void restore_view();
    // The surface holds a new picture of this size: show it where it goes.
    void present_picture(int width, int height);
    void set_trace_live(bool live);

    // main_preview.cpp
    void setup_preview();
    void set_live_preview(bool on);
    void set_preview_size(int divisor);
    void start_preview();
    void stop_preview_for_run();
    void show_preview_error(const glimmark::Diagnostic& error);
    void pick_pixel(QPoint pixel, Qt::KeyboardModifiers modifiers);
    void hover_pixel(QPoint pixel);
    // The scene of the picture the pane shows, while the text is the one it
    // was parsed from: the live preview's or the last run's; null otherwise,
    // with `busy` when the live preview is about to parse the text again.
    LivePreview* shown_scene(bool& busy) const;
    // Once a run has traced its picture, its scene is readied for picks.
    void ready_run_picks();
    // Outlines in the picture the pane shows the pixels `inside` holds, on
    // a grid of at most about 40,000 points; false when it holds none.
    bool outline_pixels(const std::function<bool(int x, int y)>& inside);
    // Outlines the shape whose block holds the caret.
    void show_block_at_caret();
    void update_time_slider();

    // main_files.cpp
    void setup_files();
    void open_recent(int index);
    void new_file();
    // Clears the status bar of what it said about the text that was there.
    void forget_document_status();
    void open_command();
    bool save_command();
    bool save_as_command();
    // Asks whether to save changed text first; false when the user cancels
    // or the save failed, and the text must stay.
    bool changes_may_go(const QString& what);
    void help_index();
    void help_context();
    void update_title();
    void remember_file(const QString& name);
    void fill_recent_menu();
    void open_dropped_file(const QString& name);
    // The recovery file: written a moment after the last change and before
    // a run, removed by a save or a discard.
    void write_recovery_file();
    void remove_recovery_files();
    // Asks about the copy at `path` of `document` (empty: the text without a
    // file); on Restore its text is in the editor, after `document` is opened
    // when `open_document` says so. `count` ends the question.
    bool offer_recovery_copy(const QString& path, const QString& document, const QString& count,
                             bool open_document);
    // Open without the offer of a recovery copy.
    bool load_file(const QString& name);

    glimmark::Run& run_;
    StudioDialogs* dialogs_;
    bool closing_without_asking_ = false;
    glimmark::Run::FrameEntry render_entry_ = nullptr;
    QPlainTextEdit* editor_ = nullptr;
    SceneHighlighter* highlighter_ = nullptr;
    FindBar* find_bar_ = nullptr;
    TraceWindow* trace_ = nullptr;
    TracePane* pane_ = nullptr;
    bool separate_trace_ = false;
    bool trace_live_ = false;
    QString picture_name_;
    QLabel* caret_status_ = nullptr;
    RunStatus* run_status_ = nullptr;
    // Holds an animation's next frame back until it is due.
    QTimer* pace_timer_ = nullptr;
    // What the user asked of the run under way.
    bool recording_run_ = false;
    bool stop_pressed_ = false;
    QHash<int, QAbstractButton*> buttons_;
    QHash<int, QAction*> actions_;
    QMenu* recent_menu_ = nullptr;
    QTimer* recovery_timer_ = nullptr;
    // The recovery file last written, so that it goes when the name changes.
    QString recovery_written_;
    glimmark::Canvas canvas_;
    // The text of the last traced run, which Save Picture traces again for
    // an OpenEXR file's passes.
    std::string traced_text_;
    TextFormat format_;
    QString current_file_;
    QString open_dialog_name_;
    QString help_path_;
    LivePreview* preview_ = nullptr;
    LivePreview* run_picks_ = nullptr;
    // Edits of the text so far; those the live preview's newest request and
    // the run under way (or the last) were made after.
    long long text_edits_ = 0;
    long long preview_edits_ = -1;
    long long run_edits_ = -1;
    // The run under way traces, and has shown a picture; the last run's
    // scene may be picked in.
    bool run_traces_ = false;
    bool run_showed_picture_ = false;
    bool run_pickable_ = false;
    struct ParseErrorPlace {
        QTextCursor word;
        QString status;
    };
    std::vector<ParseErrorPlace> parse_errors_;
    QTimer* preview_timer_ = nullptr;
    QSlider* time_slider_ = nullptr;
    QLabel* time_label_ = nullptr;
    QLabel* zoom_label_ = nullptr;
    bool live_preview_ = false;
    int preview_divisor_ = 1;
    // Set once the window shuts down: late frame-done messages are dropped.
    bool closing_ = false;
};
