#pragma once

#include <QHash>
#include <QMainWindow>
#include <QMessageBox>
#include <QString>
#include <string>

#include "app/editor_text.h"
#include "language/text_buffer.h"
#include "scene/host.h"
#include "scene/surface.h"

class QAbstractButton;
class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class SceneHighlighter;
class StudioDialogs;
class TraceController;
class TraceWindow;
struct MenuNode;

// The studio's main window: the button row, the editor, the menu and the
// keys, and the platform side of the trace controller (message boxes, the
// editor selection, the trace window and the frame-done message).
class MainWindow : public QMainWindow, public Host {
    Q_OBJECT
  public:
    // Runs are at most this long, the terminating NUL included.
    static constexpr int kTextBufferSize = MaxSceneCharacters + 1;

    explicit MainWindow(TraceController& controller, StudioDialogs* dialogs = nullptr);
    ~MainWindow() override;

    // The command table: menus, buttons and keys all come here.
    void run_command(int id);

    // File transfers; false after the error box.
    bool open_file(const QString& name);
    bool save_file(const QString& name);
    // Closes the studio without asking about unsaved text (a signal asked).
    void close_without_asking();

    // Host
    void message_box(const std::string& text, const std::string& caption) override;
    void select_editor_text(int start, int end) override;
    void show_trace_window(int width, int height) override;
    Surface& trace_surface() override { return surface_; }
    void post_trace_done(int wparam) override;
    void send_trace_done(int wparam) override;
    void run_finished() override;
    bool choose_compression(VideoFormat& format, int& quality) override;

    QPlainTextEdit* editor() const { return editor_; }
    TraceWindow* trace_window() const { return trace_; }
    QAbstractButton* button(int id) const { return buttons_.value(id); }
    QAction* action(int id) const { return actions_.value(id); }
    const QString& current_file() const { return current_file_; }
    const QString& help_path() const { return help_path_; }
    void set_help_path(const QString& path) { help_path_ = path; }
    const TextFormat& text_format() const { return format_; }
    // The editor's text as a file or a parse sees it.
    QByteArray editor_bytes() const;
    // The entry routine of the render threads (tests give their own).
    void set_render_entry(ThreadEntry entry) { render_entry_ = entry; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void build_buttons(QWidget* row);
    void build_menu(QMenu* menu, const std::vector<MenuNode>& items);
    void build_accelerators();
    void update_caret_status();

    // main_commands.cpp
    void start_run(bool build_scene, bool record);
    bool copy_text_for_run();
    void insert_template(int id);
    void show_test_picture();
    void end_run_for_exit();
    void error_box(const QString& text);

    // main_files.cpp
    void new_file();
    void open_command();
    bool save_command();
    bool save_as_command();
    // Asks whether to save changed text first; false when the user cancels
    // or the save failed, and the text must stay.
    bool changes_may_go(const QString& what);
    void help_index();
    void help_context();
    void set_title_to(const QString& name);

    TraceController& controller_;
    StudioDialogs* dialogs_;
    bool closing_without_asking_ = false;
    ThreadEntry render_entry_;
    QPlainTextEdit* editor_ = nullptr;
    SceneHighlighter* highlighter_ = nullptr;
    TraceWindow* trace_ = nullptr;
    QLabel* caret_status_ = nullptr;
    QHash<int, QAbstractButton*> buttons_;
    QHash<int, QAction*> actions_;
    Surface surface_;
    // The copy of the editor's text that a run parses, frame after frame.
    std::string run_text_;
    TextFormat format_;
    QString current_file_;
    QString open_dialog_name_;
    QString save_dialog_name_;
    QString help_path_;
    // Set once the window shuts down: late frame-done messages are dropped.
    bool closing_ = false;
};
