#include <QAction>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <algorithm>

#include "app/code_editor.h"
#include "app/commands.h"
#include "app/find_bar.h"
#include "app/main_window.h"
#include "app/studio_dialogs.h"
#include "app/studio_settings.h"

namespace {

const char* const kProportionalFontKey = "editor/proportional_font";
// Zoom keeps the editor's font between these sizes, in points.
constexpr qreal kSmallestPointSize = 4;
constexpr qreal kLargestPointSize = 72;

bool proportional_font_chosen() { return studio_settings()->value(kProportionalFontKey).toBool(); }

}  // namespace

QPlainTextEdit* MainWindow::create_editor(QWidget* parent) {
    auto* editor = new CodeEditor(parent);
    editor->setObjectName("editor");
    editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The editor keeps its tab stops at four average characters of this font.
    editor->setFont(proportional_font_chosen() ? proportional_editor_font() : fixed_editor_font());
    // A paste that would make the text longer than a run reads is refused
    // before it can hold the studio up.
    editor->set_character_limit(kTextBufferSize - 1);
    connect(editor, &CodeEditor::insert_refused, this,
            [this](const QString& why) { statusBar()->showMessage(why, 6000); });
    return editor;
}

void MainWindow::mark_editor_settings() {
    actions_.value(cmd::ProportionalFont)->setChecked(proportional_font_chosen());
}

void MainWindow::find_text() {
    if (find_bar_ == nullptr) {
        // Below everything else in the window, over the whole width.
        find_bar_ = new FindBar(static_cast<CodeEditor*>(editor_), centralWidget());
        centralWidget()->layout()->addWidget(find_bar_);
    }
    find_bar_->open(false);
}

void MainWindow::find_next() {
    // Nothing looked for yet: F3 asks what to look for.
    if (find_bar_ == nullptr || find_bar_->find_field()->text().isEmpty()) {
        find_text();
        return;
    }
    // With the bar closed, the status bar says what the bar would.
    if (!find_bar_->find_next() && !find_bar_->isVisible())
        statusBar()->showMessage(find_bar_->report(), 4000);
}

void MainWindow::replace_text() {
    find_text();
    find_bar_->open(true);
}

void MainWindow::go_to_line() {
    const int line = dialogs_->ask_line(this, editor_->textCursor().blockNumber() + 1,
                                        editor_->document()->blockCount());
    if (line > 0) static_cast<CodeEditor*>(editor_)->go_to_line(line);
    editor_->setFocus();
}

void MainWindow::zoom_editor(int steps) {
    QFont font = editor_->font();
    font.setPointSizeF(
        std::clamp(font.pointSizeF() + steps, kSmallestPointSize, kLargestPointSize));
    editor_->setFont(font);
}

void MainWindow::set_proportional_font(bool on) {
    studio_settings()->setValue(kProportionalFontKey, on);
    editor_->setFont(on ? proportional_editor_font() : fixed_editor_font());
}
