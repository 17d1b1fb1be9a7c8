#pragma once

#include <QFont>
#include <QPlainTextEdit>
#include <QString>

class QMimeData;

// The editor's two faces: the desktop's fixed-width font, at a size that
// reads well, and the studio's original 8-point Verdana (or the desktop's
// sans-serif face where Verdana is missing).
QFont fixed_editor_font();
QFont proportional_editor_font();

// The scene editor: line numbers in a gutter on its left, the caret's line
// tinted, tab stops of four average characters of whatever font it shows,
// and the searches of Find, Replace and Go to Line.
class CodeEditor : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit CodeEditor(QWidget* parent = nullptr);

    // The gutter, and the width it needs for the lines there are.
    QWidget* line_number_area() const { return line_numbers_; }
    int line_number_area_width() const;

    // Selects the next match of `text` after the caret (after the selection,
    // if there is one), going on from the top when the end is reached. False
    // when the text holds no match; the selection then stays.
    bool find_forward(const QString& text, bool match_case, bool* wrapped = nullptr);
    // Whether the selection is a match of `text`.
    bool selection_matches(const QString& text, bool match_case) const;
    // Replaces every match in the text, as one step that one Undo takes back;
    // the number of matches replaced.
    int replace_all(const QString& text, const QString& replacement, bool match_case);
    // Puts the caret at the start of a line (from 1; clamped to the text).
    void go_to_line(int line);

    // The live preview's parse error: a wavy red line under document
    // characters [start, end), with `message` as their tooltip. An empty
    // range clears it.
    void set_error_mark(int start, int end, const QString& message);
    // The marked characters; an empty selection when there is no mark.
    QTextCursor error_mark() const { return error_mark_; }
    const QString& error_message() const { return error_message_; }

    // Paste and drop put in plain text only, and only while the whole text
    // stays within this many characters.
    void set_character_limit(qint64 limit) { character_limit_ = limit; }
    // Paste (Ctrl+V, the button, the menu): whatever the clipboard holds, or
    // nothing at all when no program owns it.
    void paste_from_clipboard();

  signals:
    // A paste or drop put nothing in; `why` says so in one line.
    void insert_refused(const QString& why);

  protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    friend class LineNumberArea;
    void paint_line_numbers(QPaintEvent* event);
    void update_margins();
    void update_line_numbers(const QRect& rect, int dy);
    void highlight_current_line();
    void palette_changed();

    QWidget* line_numbers_ = nullptr;
    QTextCursor error_mark_;
    QString error_message_;
    qint64 character_limit_ = -1;
};
