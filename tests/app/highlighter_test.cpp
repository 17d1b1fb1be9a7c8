#include "app/highlighter.h"

#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

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
