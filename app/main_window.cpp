#include "app/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFontMetricsF>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QStatusBar>
#include <QTextBlock>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/commands.h"
#include "app/help_page.h"
#include "app/highlighter.h"
#include "app/menu_table.h"
#include "app/queued_call.h"
#include "app/studio_dialogs.h"
#include "app/trace_window.h"

static void init_studio_resources() { Q_INIT_RESOURCE(studio); }

namespace {

// The key a menu item shows beside its caption when the caption names none.
const char* shown_key(int id) {
    switch (id) {
        case cmd::Cut:
            return "Ctrl+X";
        case cmd::Copy:
            return "Ctrl+C";
        case cmd::Paste:
            return "Ctrl+V";
        case cmd::Undo:
            return "Ctrl+Z";
        case cmd::Exit:
            return "Ctrl+Q";
        default:
            return nullptr;
    }
}

}  // namespace

MainWindow::MainWindow(glimmark::Run& run, StudioDialogs* dialogs)
    : run_(run), dialogs_(dialogs != nullptr ? dialogs : &desktop_dialogs()) {
    init_studio_resources();
    setWindowTitle("Glimmark");
    setWindowIcon(QIcon(":/icons/glimmark.svg"));
    help_path_ = help_page_path(QCoreApplication::applicationDirPath());

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* row = new QWidget(central);
    row->setFixedHeight(kToolButtonSize);
    build_buttons(row);
    layout->addWidget(row);

    editor_ = create_editor(central);
    highlighter_ = new SceneHighlighter(editor_->document());
    layout->addWidget(create_work_area(central), 1);
    setCentralWidget(central);

    for (const MenuNode& popup : main_menu())
        build_menu(menuBar()->addMenu(popup.caption), popup.children);
    build_accelerators();
    mark_editor_settings();

    caret_status_ = new QLabel(this);
    statusBar()->addPermanentWidget(caret_status_);
    connect(editor_, &QPlainTextEdit::cursorPositionChanged, this,
            &MainWindow::update_caret_status);
    update_caret_status();
    setup_runs();
    // A click on the status bar's parse error goes to it.
    statusBar()->installEventFilter(this);
    if (auto* line = statusBar()->findChild<QLabel*>("runStatus")) line->installEventFilter(this);

    trace_ = new TraceWindow(canvas_, this);
    connect(trace_, &TraceWindow::closed, this, [this] {
        // Closing the separate window brings the picture back beside the
        // editor, as unticking the item does.
        if (closing_ || !separate_trace_) return;
        actions_.value(cmd::SeparateTraceWindow)->setChecked(false);
        set_separate_trace_window(false);
    });

    setup_files();

    restore_view();
    setup_preview();
    editor_->setFocus();

    run_.set_window(this);
}

MainWindow::~MainWindow() {
    end_run_for_exit();
    // No render thread may outlive the canvas it draws on.
    if (frame_running()) {
        run_.request_stop();
        join_frame();
    }
    run_.set_window(nullptr);
    run_.options().choose_compression = nullptr;
}

void MainWindow::build_buttons(QWidget* row) {
    for (const ToolButtonSpec& spec : tool_buttons()) {
        auto* button = new QToolButton(row);
        button->setText(spec.caption);
        button->setToolTip(spec.tooltip);
        button->setAccessibleName(spec.tooltip);
        button->setIcon(QIcon(spec.icon));
        button->setIconSize(QSize(24, 24));
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setFocusPolicy(Qt::NoFocus);
        button->setGeometry(spec.x, 0, kToolButtonSize, kToolButtonSize);
        if (spec.client_edge) {
            // The run buttons sit sunken, apart from the editing buttons.
            button->setStyleSheet(
                "QToolButton { border: 2px inset palette(mid); background: palette(button); }"
                "QToolButton:pressed { background: palette(mid); }");
        }
        const int id = spec.id;
        connect(button, &QToolButton::clicked, this, [this, id] { run_command(id); });
        buttons_.insert(id, button);
    }
}

void MainWindow::build_menu(QMenu* menu, const std::vector<MenuNode>& items) {
    for (const MenuNode& item : items) {
        if (item.is_separator()) {
            menu->addSeparator();
        } else if (item.id == cmd::RecentFiles) {
            // Filled with the recent files as they change.
            recent_menu_ = menu->addMenu(item.caption);
        } else if (item.is_popup()) {
            build_menu(menu->addMenu(item.caption), item.children);
        } else {
            // The key names are part of the captions; the keys themselves are
            // the accelerators below.
            QAction* action = menu->addAction(item.caption);
            action->setData(item.id);
            // The editor's own keys shown beside their items: they work where
            // they always have, so the item does not take them. Exit's Ctrl+Q
            // is the item's own, window-wide.
            if (const char* key = shown_key(item.id)) {
                action->setShortcut(QKeySequence(key));
                action->setShortcutContext(item.id == cmd::Exit ? Qt::WindowShortcut
                                                                : Qt::WidgetShortcut);
            }
            action->setCheckable(is_checkable_command(item.id));
            const int id = item.id;
            connect(action, &QAction::triggered, this, [this, id] { run_command(id); });
            actions_.insert(id, action);
        }
    }
}

void MainWindow::build_accelerators() {
    // One shortcut per command, holding every key of that command: Alt+/
    // and Alt+? are one key on many keyboards, and two shortcuts on it would
    // be ambiguous to Qt, which would then fire neither.
    std::vector<std::pair<int, QList<QKeySequence>>> commands;
    for (const Accelerator& accel : accelerator_table()) {
        auto it = std::find_if(commands.begin(), commands.end(),
                               [&accel](const auto& c) { return c.first == accel.id; });
        if (it == commands.end()) it = commands.insert(commands.end(), {accel.id, {}});
        const QKeySequence key(accel.key);
        it->second << key;
        // An accelerator on a character ("Alt+?", "Ctrl++") means the
        // character, however it is typed: where it takes Shift, the key
        // arrives with Shift held.
        const QKeyCombination combo = key[0];
        const int code = static_cast<int>(combo.key());
        const Qt::KeyboardModifiers held = combo.keyboardModifiers();
        if ((held == Qt::AltModifier || held == Qt::ControlModifier) && code > 0x20 &&
            code < 0x7F && !QChar(code).isLetterOrNumber())
            it->second << QKeySequence(QKeyCombination(held | Qt::ShiftModifier, combo.key()));
    }
    for (const auto& [id, keys] : commands) {
        // Window-wide, so that the keys work while the editor has the focus.
        auto* shortcut = new QShortcut(this);
        shortcut->setKeys(keys);
        shortcut->setContext(Qt::WindowShortcut);
        // The key of a menu item with a mark works as a click on the item:
        // the mark turns first, and the command follows the mark.
        const auto press = [this, command = id] {
            QAction* item = actions_.value(command);
            if (item != nullptr && item->isCheckable())
                item->trigger();
            else
                run_command(command);
        };
        connect(shortcut, &QShortcut::activated, this, press);
        // A press that matches two keys of this one shortcut is still this
        // command; Qt delivers it once.
        connect(shortcut, &QShortcut::activatedAmbiguously, this, press);
    }
}

void MainWindow::update_caret_status() {
    const QTextCursor cursor = editor_->textCursor();
    caret_status_->setText(
        QString("Line %1, Col %2").arg(cursor.blockNumber() + 1).arg(cursor.positionInBlock() + 1));
}

QByteArray MainWindow::editor_bytes() const {
    return document_bytes(*editor_->document(), format_);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!closing_without_asking_ && !changes_may_go("closing Glimmark")) {
        event->ignore();
        return;
    }
    end_run_for_exit();
    trace_->hide();
    QMainWindow::closeEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // A passing message covers the run's line while it lasts.
        const QString shown = statusBar()->currentMessage().isEmpty()
                                  ? run_status_text()
                                  : statusBar()->currentMessage();
        for (size_t i = 0; i < parse_errors_.size(); ++i)
            if (!shown.isEmpty() && parse_errors_[i].status == shown) {
                go_to_error_at(i);
                return true;
            }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- glimmark::Window ----

void MainWindow::message_box(const std::string& text, const std::string& caption) {
    dialogs_->message(this, QString::fromStdString(text), QString::fromStdString(caption),
                      QMessageBox::NoIcon);
}

void MainWindow::select_text(int start, int end) {
    const QTextDocument& document = *editor_->document();
    const int from = document_position(document, format_, std::max(0, start));
    const int to = document_position(document, format_, std::max(start, end));
    QTextCursor cursor(editor_->document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    editor_->setTextCursor(cursor);
    editor_->ensureCursorVisible();
    editor_->setFocus();
}

void MainWindow::show_picture(int width, int height) {
    // The run shows the picture before it starts a thread; the canvas must
    // not change size under a running one.
    if (!frame_running() && (canvas_.width() != width || canvas_.height() != height))
        canvas_.resize(width, height);
    run_showed_picture_ = true;
    present_picture(width, height);
    set_trace_live(true);
}

void MainWindow::post_message(int message) {
    post_queued(this, [this, message] {
        if (closing_) return;
        // A Stop that came before the render thread began its frame was
        // cleared by it; it still ends the run after this frame.
        if (stop_pressed_) run_.request_stop();
        run_.handle(message);
    });
}

void MainWindow::send_message(int message) { run_.handle(message); }

void MainWindow::run_finished() {
    buttons_.value(cmd::Play)->setEnabled(true);
    buttons_.value(cmd::Record)->setEnabled(true);
    set_trace_live(false);
    report_run_end();
    ready_run_picks();
}
