#include "app/editor_text.h"

#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "studio_test_support.h"

namespace {

struct RoundTrip {
    const char* name;
    QByteArray bytes;
};

class StudioEditorBytes : public ::testing::TestWithParam<RoundTrip> {};

}  // namespace

TEST_P(StudioEditorBytes, LoadThenSaveGivesTheSameBytes) {
    studio_app();
    QTextDocument document;
    const TextFormat format = set_document_bytes(document, GetParam().bytes);
    EXPECT_EQ(document_bytes(document, format), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Files, StudioEditorBytes,
    ::testing::Values(RoundTrip{"empty", QByteArray()},
                      RoundTrip{"crlf",
                                QByteArray("scene\r\n\tsphere end_sphere\r\nend_scene\r\n")},
                      RoundTrip{"crlf_no_last_end", QByteArray("scene\r\nend_scene")},
                      RoundTrip{"lf", QByteArray("scene\n\tsphere\nend_sphere\nend_scene\n")},
                      RoundTrip{"cr", QByteArray("scene\rend_scene\r")},
                      RoundTrip{"mixed", QByteArray("a\r\nb\nc\rd\r\n\r\n\n")},
                      RoundTrip{"blank_lines", QByteArray("\r\n\r\n\r\n")},
                      RoundTrip{"utf8_with_bom", QByteArray("\xEF\xBB\xBF; gr\xC3\xBC\xC3\x9F"
                                                            "e\r\nscene\r\n")},
                      RoundTrip{"utf8_four_byte", QByteArray("; \xF0\x9F\x8C\x8D\nscene\n")},
                      RoundTrip{"latin1", QByteArray("; gr\xFC\xDF"
                                                     "e \xB0\r\nscene\r\n")},
                      RoundTrip{"tabs_and_nbsp", QByteArray("\t\xC2\xA0x\t\r\n")}),
    [](const ::testing::TestParamInfo<RoundTrip>& info) { return std::string(info.param.name); });

TEST(StudioEditorBytes, TextEndsAtTheFirstNul) {
    studio_app();
    QTextDocument document;
    const TextFormat format = set_document_bytes(document, QByteArray("scene\r\n\0end_scene", 17));
    EXPECT_EQ(document_bytes(document, format), QByteArray("scene\r\n"));
}

TEST(StudioEditorBytes, NewLinesTakeTheFilesLineEnd) {
    studio_app();
    QTextDocument lf_doc;
    TextFormat lf = set_document_bytes(lf_doc, QByteArray("a\nb"));
    QTextCursor(&lf_doc).insertText("x\ny\n");
    EXPECT_EQ(document_bytes(lf_doc, lf), QByteArray("x\ny\na\nb"));

    QTextDocument crlf_doc;
    TextFormat crlf = set_document_bytes(crlf_doc, QByteArray("a\r\nb"));
    QTextCursor(&crlf_doc).insertText("x\n");
    EXPECT_EQ(document_bytes(crlf_doc, crlf), QByteArray("x\r\na\r\nb"));
}

TEST(StudioEditorBytes, ANewDocumentWritesCrLf) {
    studio_app();
    QTextDocument document;
    QTextCursor(&document).insertText("scene\nend_scene\n");
    EXPECT_EQ(document_bytes(document, TextFormat{}), QByteArray("scene\r\nend_scene\r\n"));
}

namespace {

struct PositionCase {
    QByteArray bytes;
    int byte_offset;
    int position;
};

class StudioBytePositions : public ::testing::TestWithParam<PositionCase> {};

}  // namespace

TEST_P(StudioBytePositions, MapToEditorCharacters) {
    studio_app();
    QTextDocument document;
    const TextFormat format = set_document_bytes(document, GetParam().bytes);
    EXPECT_EQ(document_position(document, format, GetParam().byte_offset), GetParam().position);
}

INSTANTIATE_TEST_SUITE_P(Offsets, StudioBytePositions,
                         ::testing::Values(
                             // "ab\r\ncd": the editor has one character for the line end.
                             PositionCase{"ab\r\ncd", 0, 0}, PositionCase{"ab\r\ncd", 2, 2},
                             PositionCase{"ab\r\ncd", 3, 2}, PositionCase{"ab\r\ncd", 4, 3},
                             PositionCase{"ab\r\ncd", 6, 5}, PositionCase{"ab\r\ncd", 99, 5},
                             PositionCase{"ab\r\ncd", -4, 0}, PositionCase{"ab\ncd", 3, 3},
                             PositionCase{"a\r\nb\nc", 5, 4},
                             // Two bytes of UTF-8 are one character.
                             PositionCase{"\xC3\xA9x", 2, 1}, PositionCase{"\xC3\xA9x", 1, 0},
                             // Four bytes are two UTF-16 units.
                             PositionCase{"\xF0\x9F\x8C\x8Dx", 4, 2},
                             // Latin-1 text has one character per byte.
                             PositionCase{"\xE9\xE9x", 2, 2}));
