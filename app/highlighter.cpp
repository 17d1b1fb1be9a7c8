#include "app/highlighter.h"

#include "language/tokenizer.h"

namespace {

// Block state: inside a bracket comment that a line left open.
constexpr int kInBracketComment = 1;

// Words that only one block compares by their text; they are no keywords.
const char* const kStatementWords[] = {
    "COLOR",
    "STRENGTH",
    "LOOK_AT",
    "DIFFUSE",
    "GLOSS",
    "TRANSPARENCY",
    "INNER_TRANSPARENCY_DEPTH",
    "REFLECTION",
    "REFRACTION",
    "DENSITY",
    "TEXTURE_FILE",
    "VERTEX_LIST",
    "END_VERTEX_LIST",
    "TYPE",
    "CATMULL",
    "PHASE",
};

// The operator words of expressions.
const char* const kOperatorWords[] = {
    "ADD", "SUB",  "MUL", "DIV", "ABS", "MAX", "MIN", "FLR", "CLG", "MOD",
    "POW", "TIME", "RND", "SIN", "COS", "TAN", "ASN", "ACS", "ATN", "LOG",
    "EXP", "IFE",  "EQU", "GT",  "LT",  "NEQ", "AND", "OR",  "NOT",
};

struct WordSets {
    QSet<QString> keywords;
    QSet<QString> statements;
    QSet<QString> operators;
};

const WordSets& word_sets() {
    static const WordSets sets = [] {
        WordSets s;
        int count = 0;
        const Keyword* table = keyword_table(count);
        for (int i = 0; i < count; ++i)
            s.keywords.insert(QString::fromLatin1(table[i].word).toUpper());
        for (const char* w : kStatementWords)
            s.statements.insert(QString::fromLatin1(w));
        for (const char* w : kOperatorWords)
            s.operators.insert(QString::fromLatin1(w));
        return s;
    }();
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

bool is_separator(QChar c) { return c == u' ' || c == u'\t' || c == u',' || c == u'\r'; }

}  // namespace

SceneHighlighter::SceneHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
    keyword_.setForeground(QColor(0x00, 0x30, 0xA0));
    keyword_.setFontWeight(QFont::Bold);
    statement_.setForeground(QColor(0x00, 0x70, 0x80));
    operator_.setForeground(QColor(0x90, 0x20, 0x90));
    number_.setForeground(QColor(0xA0, 0x40, 0x00));
    string_.setForeground(QColor(0x10, 0x80, 0x10));
    comment_.setForeground(QColor(0x80, 0x80, 0x80));
    comment_.setFontItalic(true);
}

SceneHighlighter::WordKind SceneHighlighter::classify(const QString& word) {
    const QString upper = word.toUpper();
    const WordSets& sets = word_sets();
    if (upper == "}" || sets.keywords.contains(upper)) return WordKind::Keyword;
    if (starts_with_number(word)) return WordKind::Number;
    if (sets.statements.contains(upper)) return WordKind::Statement;
    if (sets.operators.contains(upper)) return WordKind::Operator;
    return WordKind::Other;
}

QStringList SceneHighlighter::statement_words() {
    QStringList words;
    for (const char* w : kStatementWords)
        words << QString::fromLatin1(w);
    return words;
}

QStringList SceneHighlighter::operator_words() {
    QStringList words;
    for (const char* w : kOperatorWords)
        words << QString::fromLatin1(w);
    return words;
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
