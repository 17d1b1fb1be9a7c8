#include "app/highlighter.h"

#include <QGuiApplication>

#include "app/text_colours.h"
#include "glimmark/vocabulary.h"

namespace {

// Block state: inside a bracket comment that a line left open.
constexpr int kInBracketComment = 1;

struct WordSets {
    QSet<QString> keywords;
    QSet<QString> statements;
    QSet<QString> operators;
};

QSet<QString> word_set(const std::vector<std::string_view>& words) {
    QSet<QString> set;
    for (const std::string_view word : words)
        set.insert(QString::fromLatin1(word.data(), static_cast<qsizetype>(word.size())));
    return set;
}

const WordSets& word_sets() {
    static const WordSets sets{word_set(glimmark::keyword_words()),
                               word_set(glimmark::statement_words()),
                               word_set(glimmark::operator_words())};
    return sets;
}

// What the number reader accepts at the start of a word: a sign, then digits
// with an optional point, at least one digit.
bool starts_with_number(const QString& word) {
    int i = 0;
    if (i < word.size() && (word[i] == u'+' || word[i] == u'-')) ++i;
    bool digit = false;
    while (i < word.size() && word[i].isDigit() && word[i].unicode() < 128) {
        digit = true;
        ++i;
    }
    if (i < word.size() && word[i] == u'.') {
        ++i;
        if (i < word.size() && word[i].isDigit() && word[i].unicode() < 128) digit = true;
    }
    return digit;
}

// The scanner's rule; no character beyond ASCII ends a word.
bool is_separator(QChar c) {
    return c.unicode() < 128 && glimmark::is_word_separator(static_cast<char>(c.unicode()));
}

}  // namespace

SceneHighlighter::SceneHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
    keyword_.setFontWeight(QFont::Bold);
    comment_.setFontItalic(true);
    set_palette(QGuiApplication::palette());
}

void SceneHighlighter::set_palette(const QPalette& palette) {
    // The hues the words have always had; how light or dark they are follows
    // the background, so that each reads on a light theme and a dark one.
    const QColor base = palette.color(QPalette::Base);
    const QColor line = current_line_colour(palette);
    const auto colour = [&](QTextCharFormat& format, QColor wanted) {
        format.setForeground(readable_colour(wanted, base, line, kReadableContrast));
    };
    colour(keyword_, QColor(0x00, 0x30, 0xA0));
    colour(statement_, QColor(0x00, 0x70, 0x80));
    colour(operator_, QColor(0x90, 0x20, 0x90));
    colour(number_, QColor(0xA0, 0x40, 0x00));
    colour(string_, QColor(0x10, 0x80, 0x10));
    // Comments are the text's own colour, half faded into the background.
    const QColor text = palette.color(QPalette::Text);
    colour(comment_,
           QColor::fromRgbF((text.redF() + base.redF()) / 2, (text.greenF() + base.greenF()) / 2,
                            (text.blueF() + base.blueF()) / 2));
    if (document() != nullptr) rehighlight();
}

SceneHighlighter::WordKind SceneHighlighter::classify(const QString& word) {
    const QString upper = word.toUpper();
    const WordSets& sets = word_sets();
    if (sets.keywords.contains(upper)) return WordKind::Keyword;
    if (starts_with_number(word)) return WordKind::Number;
    if (sets.statements.contains(upper)) return WordKind::Statement;
    if (sets.operators.contains(upper)) return WordKind::Operator;
    return WordKind::Other;
}

void SceneHighlighter::highlightBlock(const QString& text) {
    setCurrentBlockState(0);
    int i = 0;
    const int n = static_cast<int>(text.size());
    if (previousBlockState() == kInBracketComment) {
        const int close = static_cast<int>(text.indexOf(u']'));
        if (close < 0) {
            setFormat(0, n, comment_);
            setCurrentBlockState(kInBracketComment);
            return;
        }
        setFormat(0, close + 1, comment_);
        i = close + 1;
    }
    while (i < n) {
        const QChar c = text[i];
        if (is_separator(c) || c == u'{') {
            ++i;
            continue;
        }
        if (c == u';') {
            setFormat(i, n - i, comment_);
            return;
        }
        if (c == u'[') {
            const int close = static_cast<int>(text.indexOf(u']', i + 1));
            if (close < 0) {
                setFormat(i, n - i, comment_);
                setCurrentBlockState(kInBracketComment);
                return;
            }
            setFormat(i, close + 1 - i, comment_);
            i = close + 1;
            continue;
        }
        if (c == u'"') {
            // A quoted file name may hold blanks: the string reader takes all
            // up to the closing quote.
            const int close = static_cast<int>(text.indexOf(u'"', i + 1));
            const int end = close < 0 ? n : close + 1;
            setFormat(i, end - i, string_);
            i = end;
            continue;
        }
        int end = i;
        while (end < n && !is_separator(text[end]))
            ++end;
        switch (classify(text.mid(i, end - i))) {
            case WordKind::Keyword:
                setFormat(i, end - i, keyword_);
                break;
            case WordKind::Statement:
                setFormat(i, end - i, statement_);
                break;
            case WordKind::Operator:
                setFormat(i, end - i, operator_);
                break;
            case WordKind::Number:
                setFormat(i, end - i, number_);
                break;
            case WordKind::Other:
                break;
        }
        i = end;
    }
}
