#include "app/highlighter.h"

#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

#include "app/text_colours.h"

#include "studio_test_support.h"

namespace {

using Kind = SceneHighlighter::WordKind;

struct WordCase {
    const char* word;
    Kind kind;
};

class StudioWords : public ::testing::TestWithParam<WordCase> {};

// The format that covers a character of a block, or none.
QTextCharFormat format_at(const QTextBlock& block, int pos) {
    for (const QTextLayout::FormatRange& r : block.layout()->formats())
        if (pos >= r.start && pos < r.start + r.length) return r.format;
    return {};
}

}  // namespace

TEST_P(StudioWords, ClassifiedAsTheScannerSeesThem) {
    studio_app();
    EXPECT_EQ(SceneHighlighter::classify(GetParam().word), GetParam().kind) << GetParam().word;
}

INSTANTIATE_TEST_SUITE_P(
    Table, StudioWords,
    ::testing::Values(WordCase{"SCENE", Kind::Keyword}, WordCase{"End_Scene", Kind::Keyword},
                      WordCase{"}", Kind::Keyword}, WordCase{"end", Kind::Keyword},
                      WordCase{"SCENE{", Kind::Other}, WordCase{"frames_per_second", Kind::Keyword},
                      WordCase{"look_at", Kind::Statement}, WordCase{"DIFFUSE", Kind::Statement},
                      WordCase{"vertex_list", Kind::Statement}, WordCase{"add", Kind::Operator},
                      WordCase{"TIME", Kind::Operator}, WordCase{"ife", Kind::Operator},
                      WordCase{"3x", Kind::Number}, WordCase{"-.5", Kind::Number},
                      WordCase{"5.", Kind::Number}, WordCase{"2e3", Kind::Number},
                      WordCase{"x3", Kind::Other}, WordCase{".", Kind::Other},
                      WordCase{"Make_unique", Kind::Other}));

TEST(StudioHighlighter, CommentsAndStrings) {
    studio_app();
    QTextDocument document;
    SceneHighlighter highlighter(&document);
    document.setPlainText(
        "sphere ;a comment\n"
        "10;x [open\n"
        "still comment] scene\n"
        "output_file \"c:\\my file.avi\" end\n");
    highlighter.rehighlight();
    const QTextBlock first = document.begin();
    EXPECT_TRUE(format_at(first, 0).font().bold());
    EXPECT_TRUE(format_at(first, 8).fontItalic());
    const QTextBlock second = first.next();
    // "10;x" is one word: no comment starts inside it.
    EXPECT_FALSE(format_at(second, 3).fontItalic());
    EXPECT_TRUE(format_at(second, 6).fontItalic());
    const QTextBlock third = second.next();
    EXPECT_TRUE(format_at(third, 0).fontItalic());
    EXPECT_TRUE(format_at(third, 13).fontItalic());
    EXPECT_TRUE(format_at(third, 15).font().bold());
    const QTextBlock fourth = third.next();
    const QColor string_colour = format_at(fourth, 12).foreground().color();
    EXPECT_EQ(format_at(fourth, 20).foreground().color(), string_colour);  // the blank inside
    EXPECT_NE(format_at(fourth, 0).foreground().color(), string_colour);
    EXPECT_TRUE(format_at(fourth, 30).font().bold());
}

namespace {

struct PaletteCase {
    const char* name;
    QRgb base, text, highlight;
};

void PrintTo(const PaletteCase& c, std::ostream* os) { *os << c.name; }

class StudioHighlightColours : public StudioWindowTest,
                               public ::testing::WithParamInterface<PaletteCase> {};

}  // namespace

TEST_P(StudioHighlightColours, ReadOnTheEditorsPalette) {
    QPalette palette = window->editor()->palette();
    palette.setColor(QPalette::Base, QColor(GetParam().base));
    palette.setColor(QPalette::Text, QColor(GetParam().text));
    palette.setColor(QPalette::Highlight, QColor(GetParam().highlight));
    window->editor()->setPalette(palette);
    // A keyword, a statement word, an operator, a number, a string, a comment.
    window->editor()->setPlainText("scene look_at add 3 \"f\" ;c");
    const QColor base(GetParam().base);
    const QColor line = current_line_colour(palette);
    QSet<QRgb> colours;
    for (const QTextLayout::FormatRange& r :
         window->editor()->document()->begin().layout()->formats()) {
        const QColor c = r.format.foreground().color();
        colours.insert(c.rgb());
        // WCAG's minimum for text, on the base and on the caret's line alike.
        EXPECT_GE(contrast_ratio(c, base), 4.5f) << r.start << " " << c.name().toStdString();
        EXPECT_GE(contrast_ratio(c, line), 4.5f) << r.start << " " << c.name().toStdString();
    }
    // The six kinds of word stay apart.
    EXPECT_EQ(colours.size(), 6) << GetParam().name;
    // The caret's line is tinted with that colour, apart from the base.
    EXPECT_NE(line, base);
    const QList<QTextEdit::ExtraSelection> tint = window->editor()->extraSelections();
    ASSERT_EQ(tint.size(), 1);
    EXPECT_EQ(tint[0].format.background().color(), line);
    EXPECT_TRUE(tint[0].format.property(QTextFormat::FullWidthSelection).toBool());
}

INSTANTIATE_TEST_SUITE_P(Table, StudioHighlightColours,
                         ::testing::Values(PaletteCase{"Light", 0xffffff, 0x000000, 0x308cc6},
                                           PaletteCase{"Dark", 0x1e1e1e, 0xe0e0e0, 0x2a82da},
                                           PaletteCase{"DarkGrey", 0x3c3f41, 0xbbbbbb, 0x4b6eaf},
                                           PaletteCase{"Navy", 0x002b36, 0x839496, 0x073642},
                                           PaletteCase{"Cream", 0xfdf6e3, 0x657b83, 0xeee8d5}),
                         [](const auto& info) { return std::string(info.param.name); });
