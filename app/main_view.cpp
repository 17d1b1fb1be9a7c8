// Where the picture is shown: the trace pane beside the editor, or the
// separate border-less trace window; the window's place on the screen; and
// saving the picture.
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

#include "app/commands.h"
#include "app/main_window.h"
#include "app/studio_dialogs.h"
#include "app/studio_settings.h"
#include "app/trace_pane.h"
#include "app/trace_window.h"
#include "glimmark/engine.h"
#include "glimmark/exr_file.h"
#include "glimmark/picture_file.h"

namespace {

const char* const kSeparateKey = "view/separateTraceWindow";
const char* const kFitKey = "view/fitPicture";
const char* const kThemeKey = "view/theme";

// The look the studio started with, for View > Theme > System.
struct SystemLook {
    QString style;
    QPalette palette;
};

const SystemLook& system_look() {
    static const SystemLook look{QApplication::style()->name(), QApplication::palette()};
    return look;
}

QPalette dark_palette() {
    QPalette p;
    const QColor window(45, 45, 48), base(30, 30, 32), text(220, 220, 220);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(140, 140, 140));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(255, 255, 255));
    p.setColor(QPalette::Light, QColor(70, 70, 74));
    p.setColor(QPalette::Midlight, QColor(60, 60, 64));
    p.setColor(QPalette::Mid, QColor(38, 38, 40));
    p.setColor(QPalette::Dark, QColor(20, 20, 22));
    p.setColor(QPalette::Shadow, QColor(0, 0, 0));
    p.setColor(QPalette::Highlight, QColor(38, 110, 190));
    p.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    p.setColor(QPalette::Link, QColor(110, 170, 255));
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(120, 120, 120));
    return p;
}

// The window's size where the screen has room for it: the editor and a
// 640 x 480 picture side by side, or the editor alone beside the separate
// trace window.
constexpr QSize kPreferredSize(1120, 720);
constexpr QSize kPreferredEditorSize(640, 720);
// What a window manager's frame may add around the window.
constexpr QSize kFrameAllowance(16, 48);
// The editor's share of the width; the pane has the rest.
constexpr int kEditorShare = 3;
constexpr int kPaneShare = 4;

}  // namespace

QWidget* MainWindow::create_work_area(QWidget* parent) {
    auto* splitter = new QSplitter(Qt::Horizontal, parent);
    splitter->setObjectName("workArea");
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(editor_);
    // The picture with the live preview's time slider under it.
    auto* column = new QWidget(splitter);
    auto* column_layout = new QVBoxLayout(column);
    column_layout->setContentsMargins(0, 0, 0, 0);
    column_layout->setSpacing(0);
    pane_ = new TracePane(canvas_, column);
    column_layout->addWidget(pane_, 1);
    time_slider_ = new QSlider(Qt::Horizontal, column);
    time_slider_->setObjectName("previewTime");
    time_slider_->setToolTip("The moment of the animation the live preview shows");
    time_slider_->hide();
    column_layout->addWidget(time_slider_);
    // The moment the slider stands at, as TIME and as the frame a run traces.
    time_label_ = new QLabel(column);
    time_label_->setObjectName("previewTimeLabel");
    time_label_->setAlignment(Qt::AlignCenter);
    time_label_->hide();
    column_layout->addWidget(time_label_);
    // The zoom the picture is drawn at.
    zoom_label_ = new QLabel(this);
    zoom_label_->setObjectName("zoomLevel");
    statusBar()->addPermanentWidget(zoom_label_);
    connect(pane_, &TracePane::zoom_changed, this, [this] {
        const int percent = qRound(pane_->scale() * 100);
        zoom_label_->setText(pane_->fit() ? QString("Fit %1%").arg(percent)
                                          : QString("Zoom %1%").arg(percent));
    });
    splitter->addWidget(column);
    splitter->setStretchFactor(0, kEditorShare);
    splitter->setStretchFactor(1, kPaneShare);
    connect(pane_, &TracePane::fit_left, this, [this] {
        actions_.value(cmd::FitPicture)->setChecked(false);
        studio_settings()->setValue(kFitKey, false);
    });
    return splitter;
}

void MainWindow::set_theme(int id) {
    const SystemLook& system = system_look();
    studio_settings()->setValue(kThemeKey, id == cmd::ThemeDark    ? "dark"
                                           : id == cmd::ThemeLight ? "light"
                                                                   : "system");
    if (QAction* item = actions_.value(id)) item->setChecked(true);
    const QString style = id == cmd::ThemeSystem ? system.style : QString("Fusion");
    if (QApplication::style()->name().compare(style, Qt::CaseInsensitive) != 0)
        QApplication::setStyle(style);
    QApplication::setPalette(id == cmd::ThemeDark    ? dark_palette()
                             : id == cmd::ThemeLight ? QApplication::style()->standardPalette()
                                                     : system.palette);
}

void MainWindow::restore_view() {
    const auto settings = studio_settings();
    auto* themes = new QActionGroup(this);
    for (const int id : {cmd::ThemeSystem, cmd::ThemeLight, cmd::ThemeDark})
        themes->addAction(actions_.value(id));
    const QString theme = settings->value(kThemeKey, "system").toString();
    const int theme_id = theme == "dark"    ? cmd::ThemeDark
                         : theme == "light" ? cmd::ThemeLight
                                            : cmd::ThemeSystem;
    actions_.value(theme_id)->setChecked(true);
    // The system's look needs nothing done unless another was set before.
    system_look();
    if (theme_id != cmd::ThemeSystem || QApplication::style()->name() != system_look().style)
        set_theme(theme_id);
    const bool fit = settings->value(kFitKey, true).toBool();
    separate_trace_ = settings->value(kSeparateKey, false).toBool();
    actions_.value(cmd::FitPicture)->setChecked(fit);
    actions_.value(cmd::SeparateTraceWindow)->setChecked(separate_trace_);
    pane_->set_fit(fit);
    pane_->setVisible(!separate_trace_);
    pane_->parentWidget()->setVisible(!separate_trace_);

    // Inside the screen's free area, frame and all, at any scale factor:
    // centred, or as far right as it goes, away from the separate trace
    // window at the top-left corner.
    const QRect room = screen()->availableGeometry();
    const QSize size = (separate_trace_ ? kPreferredEditorSize : kPreferredSize)
                           .boundedTo(room.size() - kFrameAllowance);
    resize(size);
    const int spare_width = std::max(0, room.width() - size.width() - kFrameAllowance.width());
    move(room.x() + (separate_trace_ ? spare_width : spare_width / 2),
         room.y() + std::max(0, (room.height() - size.height() - kFrameAllowance.height()) / 2));
    auto* splitter = findChild<QSplitter*>("workArea");
    const int share = size.width() / (kEditorShare + kPaneShare);
    splitter->setSizes({share * kEditorShare, size.width() - share * kEditorShare});
}

void MainWindow::set_separate_trace_window(bool on) {
    separate_trace_ = on;
    studio_settings()->setValue(kSeparateKey, on);
    pane_->setVisible(!on);
    pane_->parentWidget()->setVisible(!on);
    if (on) {
        pane_->set_live(false);
        if (canvas_.width() > 0 && canvas_.height() > 0) {
            trace_->show_picture(canvas_.width(), canvas_.height());
            trace_->set_live(trace_live_);
        }
    } else {
        trace_->set_live(false);
        trace_->hide();
        pane_->show_picture();
        pane_->set_live(trace_live_);
    }
}

void MainWindow::set_fit_picture(bool on) {
    studio_settings()->setValue(kFitKey, on);
    pane_->set_fit(on);
}

void MainWindow::present_picture(int width, int height) {
    if (separate_trace_)
        trace_->show_picture(width, height);
    else
        pane_->show_picture();
}

void MainWindow::set_trace_live(bool live) {
    trace_live_ = live;
    if (separate_trace_)
        trace_->set_live(live);
    else
        pane_->set_live(live);
}

void MainWindow::save_picture() {
    const int width = canvas_.width();
    const int height = canvas_.height();
    if (width <= 0 || height <= 0) {
        statusBar()->showMessage("There is no picture to save yet; Play (F5) traces one.", 4000);
        return;
    }
    // First offered: the last picture's name, else the scene's with .png.
    QString start = picture_name_;
    if (start.isEmpty() && !current_file_.isEmpty()) {
        const QFileInfo scene(current_file_);
        start = scene.dir().filePath(scene.completeBaseName() + ".png");
    }
    const QString name = dialogs_->picture_file_name(this, start);
    if (name.isEmpty()) return;
    picture_name_ = name;
    std::string error;
    if (glimmark::is_exr_name(name.toStdString())) {
        save_exr_picture(name);
        return;
    }
    // The command line's PNG writer: the same bytes as `glimmark render`.
    if (!glimmark::write_picture(QFile::encodeName(name).toStdString(),
                                 glimmark::PictureFormat::Png, width, height, canvas_.snapshot(),
                                 error)) {
        error_box(QString::fromLocal8Bit(error.c_str()));
        return;
    }
    statusBar()->showMessage(QString("Saved the picture as %1").arg(name), 4000);
}

void MainWindow::save_exr_picture(const QString& name) {
    // The frame on show traced again with every pass, as `glimmark render
    // --pass depth,normal,object,linear` traces it.
    glimmark::Settings settings;
    settings.folder = run_.options().folder;
    settings.frame = run_.frame_index();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    glimmark::Parsed parsed = glimmark::parse(traced_text_, settings);
    std::string error = parsed.refusal;
    if (parsed.frame) {
        glimmark::TraceControl control;
        control.passes = {true, true, true, true};
        const glimmark::Picture picture = parsed.frame->trace(control);
        glimmark::write_exr(QFile::encodeName(name).toStdString(), picture, error);
    } else if (parsed.error) {
        error = parsed.error->text;
    }
    QApplication::restoreOverrideCursor();
    if (!error.empty()) {
        error_box(QString::fromLocal8Bit(error.c_str()));
        return;
    }
    statusBar()->showMessage(QString("Saved the picture as %1").arg(name), 4000);
}
