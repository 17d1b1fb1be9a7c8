#include <QFont>
#include <QFontMetricsF>
#include <QPlainTextEdit>

#include "app/main_window.h"

QPlainTextEdit* MainWindow::create_editor(QWidget* parent) {
    auto* editor = new QPlainTextEdit(parent);
    editor->setObjectName("editor");
    editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Verdana where it is installed, otherwise the desktop's sans-serif face.
    QFont font("Verdana");
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    editor->setFont(font);
    // One tab stop every 16 dialog units: four average characters.
    editor->setTabStopDistance(4 * QFontMetricsF(editor->font()).averageCharWidth());
    return editor;
}

void MainWindow::find_text() {}
void MainWindow::find_next() {}
void MainWindow::replace_text() {}
void MainWindow::go_to_line() {}
void MainWindow::zoom_editor(int steps) {
    if (steps > 0) editor_->zoomIn(steps);
    if (steps < 0) editor_->zoomOut(-steps);
}
void MainWindow::set_proportional_font(bool) {}
