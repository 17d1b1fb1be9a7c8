#include "app/code_editor.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QToolTip>

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>

#include "app/highlighter.h"
#include "app/text_colours.h"

namespace {

// The fixed-width font is never smaller than this.
constexpr qreal kReadablePointSize = 10;
// Blank space on either side of the line numbers, in pixels.
constexpr int kGutterPadding = 4;
// Room for this many digits at least, so that the text does not shift while
// the first lines are typed.
constexpr int kMinimumDigits = 2;

QTextDocument::FindFlags find_flags(bool match_case) {
    return match_case ? QTextDocument::FindCaseSensitively : QTextDocument::FindFlags();
}

}  // namespace

QFont fixed_editor_font() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // A size in pixels reads as -1 points: it is replaced too.
    if (font.pointSizeF() < kReadablePointSize) font.setPointSizeF(kReadablePointSize);
    return font;
}

QFont proportional_editor_font() {
    // Verdana where it is installed, otherwise the desktop's sans-serif face.
    QFont font("Verdana");
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

// The gutter: a strip of the editor's frame left of the text, which the
// editor paints.
class LineNumberArea : public QWidget {
  public:
    explicit LineNumberArea(CodeEditor* editor) : QWidget(editor), editor_(editor) {
        setObjectName("line_numbers");
    }
    QSize sizeHint() const override { return {editor_->line_number_area_width(), 0}; }

  protected:
    void paintEvent(QPaintEvent* event) override { editor_->paint_line_numbers(event); }

  private:
    CodeEditor* editor_;
};

CodeEditor::CodeEditor(QWidget* parent) : QPlainTextEdit(parent) {
    line_numbers_ = new LineNumberArea(this);
    connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { update_margins(); });
    connect(this, &QPlainTextEdit::updateRequest, this, &CodeEditor::update_line_numbers);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this,
            &CodeEditor::highlight_current_line);
    update_margins();
    setTabStopDistance(4 * QFontMetricsF(font()).averageCharWidth());
    highlight_current_line();
}

int CodeEditor::line_number_area_width() const {
    int digits = 1;
    for (int n = std::max(1, blockCount()); n >= 10; n /= 10)
        ++digits;
    digits = std::max(digits, kMinimumDigits);
    return 2 * kGutterPadding + fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits;
}

void CodeEditor::update_margins() {
    setViewportMargins(line_number_area_width(), 0, 0, 0);
    const QRect frame = contentsRect();
    line_numbers_->setGeometry(frame.left(), frame.top(), line_number_area_width(), frame.height());
}

void CodeEditor::update_line_numbers(const QRect& rect, int dy) {
    if (dy != 0)
        line_numbers_->scroll(0, dy);
    else
        line_numbers_->update(0, rect.y(), line_numbers_->width(), rect.height());
}

void CodeEditor::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    update_margins();
}

void CodeEditor::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    switch (event->type()) {
        case QEvent::FontChange:
            // Zoom, Ctrl+wheel and the font setting all come here.
            setTabStopDistance(4 * QFontMetricsF(font()).averageCharWidth());
            update_margins();
            break;
        case QEvent::PaletteChange:
        case QEvent::StyleChange:
            palette_changed();
            break;
        default:
            break;
    }
}

void CodeEditor::palette_changed() {
    highlight_current_line();
    // The scene colours follow the palette the editor shows them on.
    if (auto* highlighter = document()->findChild<SceneHighlighter*>())
        highlighter->set_palette(palette());
}

void CodeEditor::highlight_current_line() {
    QTextEdit::ExtraSelection line;
    line.format.setBackground(current_line_colour(palette()));
    line.format.setProperty(QTextFormat::FullWidthSelection, true);
    line.cursor = textCursor();
    line.cursor.clearSelection();
    QList<QTextEdit::ExtraSelection> marks{line};
    if (error_mark_.hasSelection()) {
        QTextEdit::ExtraSelection error;
        error.format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
        error.format.setUnderlineColor(Qt::red);
        error.format.setToolTip(error_message_);
        error.cursor = error_mark_;
        marks.append(error);
    }
    setExtraSelections(marks);
    // The caret's line number is drawn apart from the others.
    line_numbers_->update();
}

void CodeEditor::paint_line_numbers(QPaintEvent* event) {
    QPainter painter(line_numbers_);
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    const int current = textCursor().blockNumber();
    const int right = line_numbers_->width() - kGutterPadding;
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    while (block.isValid() && top <= event->rect().bottom()) {
        const int bottom = top + qRound(blockBoundingRect(block).height());
        if (block.isVisible() && bottom >= event->rect().top()) {
            const bool at_caret = block.blockNumber() == current;
            painter.setPen(
                palette().color(at_caret ? QPalette::WindowText : QPalette::PlaceholderText));
            painter.drawText(0, top, right, fontMetrics().height(), Qt::AlignRight,
                             QString::number(block.blockNumber() + 1));
        }
        block = block.next();
        top = bottom;
    }
}

bool CodeEditor::find_forward(const QString& text, bool match_case, bool* wrapped) {
    if (wrapped != nullptr) *wrapped = false;
    if (text.isEmpty()) return false;
    QTextCursor found = document()->find(text, textCursor(), find_flags(match_case));
    if (found.isNull()) {
        found = document()->find(text, 0, find_flags(match_case));
        if (found.isNull()) return false;
        if (wrapped != nullptr) *wrapped = true;
    }
    setTextCursor(found);
    ensureCursorVisible();
    return true;
}

bool CodeEditor::selection_matches(const QString& text, bool match_case) const {
    const QString selected = textCursor().selectedText();
    return !text.isEmpty() &&
           selected.compare(text, match_case ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0;
}

int CodeEditor::replace_all(const QString& text, const QString& replacement, bool match_case) {
    if (text.isEmpty()) return 0;
    // Every change between the begin and the end of one edit block, through
    // whichever cursor, is one step of the undo history.
    QTextCursor block(document());
    block.beginEditBlock();
    int count = 0;
    // Each search starts after the text just put in, so a replacement that
    // holds the text it replaces is not replaced again.
    for (QTextCursor found = document()->find(text, 0, find_flags(match_case)); !found.isNull();
         found = document()->find(text, found, find_flags(match_case))) {
        found.insertText(replacement);
        ++count;
    }
    block.endEditBlock();
    return count;
}

void CodeEditor::go_to_line(int line) {
    const int number = std::clamp(line, 1, blockCount());
    setTextCursor(QTextCursor(document()->findBlockByNumber(number - 1)));
    centerCursor();
}

void CodeEditor::set_error_mark(int start, int end, const QString& message) {
    if (end > start) {
        error_mark_ = QTextCursor(document());
        error_mark_.setPosition(start);
        error_mark_.setPosition(end, QTextCursor::KeepAnchor);
        error_message_ = message;
    } else {
        error_mark_ = QTextCursor();
        error_message_.clear();
    }
    highlight_current_line();
}

bool CodeEditor::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && error_mark_.hasSelection()) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int at = cursorForPosition(viewport()->mapFrom(this, help->pos())).position();
        if (at >= error_mark_.selectionStart() && at <= error_mark_.selectionEnd()) {
            QToolTip::showText(help->globalPos(), error_message_, this);
            return true;
        }
        QToolTip::hideText();
    }
    return QPlainTextEdit::event(event);
}

void CodeEditor::paste_from_clipboard() {
    insertFromMimeData(QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard));
}

void CodeEditor::keyPressEvent(QKeyEvent* event) {
    if (event == QKeySequence::Paste && !isReadOnly()) {
        paste_from_clipboard();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

bool CodeEditor::canInsertFromMimeData(const QMimeData* source) const {
    return source != nullptr && source->hasText();
}

void CodeEditor::insertFromMimeData(const QMimeData* source) {
    if (isReadOnly()) return;
    // Rich text, pictures and other data carry no scene text: only their
    // plain-text form is taken, and nothing when there is none.
    QString text = source != nullptr && source->hasText() ? source->text() : QString();
    // The scene text ends at a NUL character, as a file's does.
    if (const qsizetype nul = text.indexOf(QChar(u'\0')); nul >= 0) text.truncate(nul);
    if (text.isEmpty()) {
        emit insert_refused("The clipboard holds no text: nothing was pasted.");
        return;
    }
    QTextCursor cursor = textCursor();
    const qint64 kept =
        document()->characterCount() - 1 - (cursor.selectionEnd() - cursor.selectionStart());
    if (character_limit_ >= 0 && kept + text.size() > character_limit_) {
        emit insert_refused(
            QString("The text to paste has %1 characters; the editor holds at most %2 in all: "
                    "nothing was pasted.")
                .arg(text.size())
                .arg(character_limit_));
        return;
    }
    cursor.insertText(text);
    setTextCursor(cursor);
    ensureCursorVisible();
}
