// The About box, the codec dialog, the caret status and the run-size limit.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>

#include "app/about_dialog.h"
#include "app/commands.h"
#include "app/compression_dialog.h"
#include "app/recovery_dialog.h"
#include "app/studio_dialogs.h"
#include "app/trace_window.h"
#include "record/video_formats.h"
#include "studio_test_support.h"

TEST(StudioAboutBox, CaptionTextAndOk) {
    studio_app();
    AboutDialog about(nullptr);
    EXPECT_EQ(about.windowTitle(), "About");
    QStringList texts;
    for (QLabel* label : about.findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains("Glimmark Version 1.0"));
    EXPECT_TRUE(texts.contains("A ray tracer with a scene language of its own."));
    const auto buttons = about.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), "OK");
    EXPECT_TRUE(buttons[0]->isDefault());
    about.show();
    // Every text is whole: each label as wide as its text, inside the box.
    for (QLabel* label : about.findChildren<QLabel*>()) {
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
        EXPECT_TRUE(about.rect().contains(label->geometry())) << label->text().toStdString();
    }
    buttons[0]->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(StudioAboutBox, EscapeClosesIt) {
    studio_app();
    AboutDialog about(nullptr);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Rejected);
}

// The changed-text box: Enter and Escape keep the text and write nothing;
// Save and Discard are chosen on purpose, by the mouse or their letters.
TEST(StudioUnsavedBox, EnterAndEscapeCancel) {
    studio_app();
    StudioDialogs dialogs;
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        QStringList buttons;
        QTimer::singleShot(0, [key, &buttons] {
            QWidget* box = QApplication::activeModalWidget();
            if (box == nullptr) return;
            for (QPushButton* b : box->findChildren<QPushButton*>())
                buttons << b->text();
            QTest::keyClick(box, key);
            // Whatever the key did, the box must not outlive the test.
            if (box->isVisible()) box->close();
        });
        EXPECT_EQ(dialogs.ask_unsaved(nullptr, "Save them?"), StudioDialogs::Unsaved::Cancel)
            << key;
        buttons.sort();
        EXPECT_EQ(buttons, (QStringList{"&Cancel", "&Discard", "&Save"})) << key;
    }
}

// The recovery box shows the kept text, read-only, under its question;
// Enter and Escape restore it, and only Discard (Alt+D) lets it go.
TEST(StudioRecoveryBox, ShowsTheKeptTextAndDiscardsOnlyOnPurpose) {
    studio_app();
    StudioDialogs dialogs;
    const QString kept = "scene\n\tsphere end_sphere\nend_scene\n";
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool restore;
    } presses[] = {{Qt::Key_Return, Qt::NoModifier, true},
                   {Qt::Key_Escape, Qt::NoModifier, true},
                   {Qt::Key_D, Qt::AltModifier, false}};
    for (const auto& press : presses) {
        SCOPED_TRACE(press.key);
        QString shown, question;
        bool read_only = false, closed_by_key = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<RecoveryDialog*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            shown = box->preview()->toPlainText();
            read_only = box->preview()->isReadOnly();
            question = box->question()->text();
            // The keys go where a person's would: to the widget with the focus.
            box->activateWindow();
            if (QTest::qWaitForWindowActive(box) && QApplication::focusWidget() != nullptr)
                QTest::keyClick(QApplication::focusWidget(), press.key, press.modifiers);
            // A button's letter clicks it a moment later, as a person sees.
            closed_by_key = QTest::qWaitFor([box] { return !box->isVisible(); }, 2000);
            if (box->isVisible()) box->close();
        });
        EXPECT_EQ(dialogs.ask_restore(nullptr, "Restore them?", kept), press.restore);
        EXPECT_EQ(question, "Restore them?");
        EXPECT_EQ(shown, kept);
        EXPECT_TRUE(read_only);
        EXPECT_TRUE(closed_by_key);
    }
}

TEST(StudioCodecDialog, StartsFromTheCurrentChoiceAndReportsTheNewOne) {
    studio_app();
    CompressionDialog raw(nullptr, glimmark::VideoKind::AviRaw, 60);
    EXPECT_EQ(raw.format(), glimmark::VideoKind::AviRaw);
    EXPECT_EQ(raw.quality(), 60);
    auto* quality = raw.findChild<QSpinBox*>();
    ASSERT_NE(quality, nullptr);
    EXPECT_FALSE(quality->isEnabled());
    EXPECT_FALSE(raw.findChild<QSlider*>()->isEnabled());

    CompressionDialog mjpeg(nullptr, glimmark::VideoKind::AviMjpeg, 250);
    EXPECT_EQ(mjpeg.format(), glimmark::VideoKind::AviMjpeg);
    EXPECT_EQ(mjpeg.quality(), 100);  // kept inside 1 to 100
    for (QRadioButton* b : mjpeg.findChildren<QRadioButton*>())
        if (b->text().contains("Full")) b->click();
    EXPECT_EQ(mjpeg.format(), glimmark::VideoKind::AviRaw);
    EXPECT_FALSE(mjpeg.findChild<QSpinBox*>()->isEnabled());
}

// Each format is offered preselected (the one OUTPUT_FILE's extension
// names); the slider sets the quality of those that have one.
TEST(StudioCodecDialog, PreselectsEveryFormatAndItsSliderSetsTheQuality) {
    studio_app();
    struct Row {
        glimmark::VideoKind format;
        const char* button;
        bool quality;
    };
    const Row rows[] = {{glimmark::VideoKind::AviRaw, "Full frames", false},
                        {glimmark::VideoKind::AviMjpeg, "Motion-JPEG", true},
                        {glimmark::VideoKind::Mp4H264, "H.264", true},
                        {glimmark::VideoKind::MkvH264, "Matroska", true},
                        {glimmark::VideoKind::WebmVp9, "VP9", true},
                        {glimmark::VideoKind::Gif, "GIF", false}};
    for (const Row& row : rows) {
        const bool available = have_video_libraries() ||
                               row.format == glimmark::VideoKind::AviRaw ||
                               row.format == glimmark::VideoKind::AviMjpeg;
        CompressionDialog dialog(nullptr, row.format, 65);
        EXPECT_EQ(dialog.format(), available ? row.format : glimmark::VideoKind::AviMjpeg)
            << row.button;
        QRadioButton* checked = nullptr;
        for (QRadioButton* b : dialog.findChildren<QRadioButton*>())
            if (b->isChecked()) checked = b;
        ASSERT_NE(checked, nullptr);
        if (available) {
            EXPECT_TRUE(checked->text().contains(row.button)) << checked->text().toStdString();
        }
        auto* slider = dialog.findChild<QSlider*>();
        ASSERT_NE(slider, nullptr);
        EXPECT_EQ(slider->isEnabled(), available && row.quality) << row.button;
        slider->setValue(30);
        EXPECT_EQ(dialog.quality(), 30);
        EXPECT_EQ(dialog.findChild<QSpinBox*>()->value(), 30);
    }
}

using StudioStatus = StudioWindowTest;

TEST_F(StudioStatus, ShowsTheCaretsLineAndColumn) {
    window->editor()->setPlainText("scene\n\tsphere\nend_scene");
    QTextCursor cursor(window->editor()->document());
    cursor.setPosition(9);  // "\tsph|ere"
    window->editor()->setTextCursor(cursor);
    QStringList texts;
    for (QLabel* label : window->statusBar()->findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains("Line 2, Col 4")) << texts.join('|').toStdString();
}

// A comment text of exactly n bytes as the editor writes it (CR LF line ends).
QString comment_text(int n) {
    const QString line = ";" + QString(1021, u'x') + "\n";  // 1024 bytes with CR LF
    QString text;
    text.reserve(n + 1024);
    for (int i = 0; i < n / 1024; ++i)
        text += line;
    return text + ";" + QString(n % 1024 - 1, u'x');
}

TEST_F(StudioStatus, TheRunBufferHoldsSixteenMegabytesWithItsNul) {
    window->editor()->setPlainText(comment_text(MainWindow::kTextBufferSize - 1));
    ASSERT_EQ(window->editor_bytes().size(), MainWindow::kTextBufferSize - 1);
    window->run_command(cmd::ParseOnly);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Parsed OK!");

    dialogs.messages.clear();
    QTextCursor end(window->editor()->document());
    end.movePosition(QTextCursor::End);
    end.insertText("x");
    ASSERT_EQ(window->editor_bytes().size(), MainWindow::kTextBufferSize);
    window->run_command(cmd::Play);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Glimmark Error");
    EXPECT_FALSE(run.running());
    EXPECT_TRUE(window->button(cmd::Play)->isEnabled());
    EXPECT_FALSE(window->trace_window()->isVisible());
}
