#include "app/main_window.h"

#include <QPlainTextEdit>

QWidget* MainWindow::create_work_area(QWidget*) { return editor_; }
void MainWindow::set_separate_trace_window(bool) {}
void MainWindow::set_fit_picture(bool) {}
void MainWindow::save_picture() {}
