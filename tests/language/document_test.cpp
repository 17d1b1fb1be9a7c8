#include <gtest/gtest.h>

#include <string>

#include "language_test_support.h"

namespace {

const char* BadTracer =
    "Bad Tracer. Expected NO_REFLECTION, NO_REFRACTION, ANTIALIASING, WIDTH or HEIGHT";
const char* BadAnimation =
    "Bad Animation. Expected START_TIME, END_TIME, FRAMES, FRAMES_PER_SECOND or OUTPUT_FILE";
const char* BadDocument = "Bad document. Expected ANIMATION, TRACER, SCENE, DEFINE or INCLUDE.";

TEST(Tracer, StoresItsValuesInABuildingParse) {
    LanguageParse p("tracer width 640 height 480 end");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.width, 640);
    EXPECT_EQ(p.pc.height, 480);
}

TEST(Tracer, ChecksButStoresNothingInACheckOnlyParse) {
    LanguageParse p(
        "TRACER WIDTH 640 HEIGHT 480 ANTIALIASING 2 MAX_DEPTH 7 NO_REFRACTION NO_REFLECTION "
        "NO_HIGHLIGHTS NO_SHADOW NO_DIFFUSE END_TRACER",
        false);
    ASSERT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.width, 320);
    EXPECT_EQ(p.pc.height, 240);
    EXPECT_EQ(p.pc.job.antialiasing, 0);
    EXPECT_EQ(p.pc.job.max_depth, 3);
    EXPECT_FALSE(p.pc.job.no_refraction || p.pc.job.no_reflection || p.pc.job.no_highlights ||
                 p.pc.job.no_shadow || p.pc.job.no_diffuse);

    LanguageParse bad("TRACER WIDTH abc END_TRACER", false);
    EXPECT_FALSE(parse_whole(bad));
    EXPECT_EQ(bad.error(), message_at("Expected Integer.", 17, "abc"));
}

TEST(Tracer, EverySettingInABuildingParse) {
    LanguageParse p(
        "TRACER ANTIALIASING 2 MAX_DEPTH 7 NO_REFRACTION NO_REFLECTION NO_HIGHLIGHTS NO_SHADOW "
        "NO_DIFFUSE END_TRACER");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.job.antialiasing, 2);
    EXPECT_EQ(p.pc.job.max_depth, 7);
    EXPECT_TRUE(p.pc.job.no_refraction);
    EXPECT_TRUE(p.pc.job.no_reflection);
    EXPECT_TRUE(p.pc.job.no_highlights);
    EXPECT_TRUE(p.pc.job.no_shadow);
    EXPECT_TRUE(p.pc.job.no_diffuse);
}

TEST(Tracer, BracesAndLaterBlocks) {
    LanguageParse p("TRACER { WIDTH 640 } tracer width 800 end_tracer");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.width, 800);
    EXPECT_EQ(p.pc.height, 240);

    LanguageParse frac("TRACER WIDTH 640.5 END_TRACER");
    ASSERT_TRUE(parse_whole(frac)) << frac.error();
    EXPECT_EQ(frac.pc.width, 640);
}

struct ErrorCase {
    const char* text;
    std::string message;
};

TEST(DocumentErrors, MessagesAndPositions) {
    const ErrorCase cases[] = {
        {"TRACER SCENE", message_at(BadTracer, 12, "SCENE")},
        {"TRACER WIDTH 640", message_at("Expected END_TRACER.", 16, "640")},
        {"TRACER NO_SHADOW ", message_at("Expected END_TRACER.", 17, "NO_SHADOW")},
        {"TRACER NO_SHADOW ;c", message_at("Expected END_TRACER.", 19, "")},
        {"ANIMATION FRAMES 2", message_at("Expected END_ANIMATION.", 18, "2")},
        {"ANIMATION WIDTH 2 END", message_at(BadAnimation, 16, "WIDTH")},
        {"ANIMATION START_TIME FOO END", message_at("Expected Float.", 25, "FOO")},
        {"ANIMATION FRAMES x END", message_at("Expected Integer.", 19, "x")},
        {"END_SCENE", message_at(BadDocument, 9, "END_SCENE")},
        {"} ", message_at(BadDocument, 2, "}")},
        {"\nEND\n", message_at(BadDocument, 5, "END")},
        {"WIDTH 640", message_at(BadDocument, 6, "WIDTH")},
        {"sphere end_sphere", message_at(BadDocument, 7, "sphere")},
        {"TRACER WIDTH 1 END_TRACER junk more", message_at(BadDocument, 31, "junk")},
    };
    for (const ErrorCase& c : cases) {
        for (bool build : {true, false}) {
            LanguageParse p(c.text, build);
            EXPECT_FALSE(parse_whole(p)) << c.text;
            EXPECT_EQ(p.error(), c.message) << c.text;
            EXPECT_EQ(p.message_count(), 1u) << c.text;
        }
    }
}

TEST(DocumentErrors, SelectionCoversTheBadWord) {
    LanguageParse p("TRACER WIDTH 640\n  BOGUS\nEND_TRACER");
    EXPECT_FALSE(parse_whole(p));
    EXPECT_EQ(p.host.selection_start, 19);
    EXPECT_EQ(p.host.selection_end, 24);
}

TEST(Document, EmptyOrCommentsOnly) {
    for (const char* text : {"", "   \n\t", "; nothing here\n[ nor here ]", "[unclosed", "{{{"}) {
        LanguageParse p(text);
        EXPECT_TRUE(parse_whole(p)) << text;
        EXPECT_EQ(p.message_count(), 0u);
    }
}

TEST(Document, TextEndsAtANulByte) {
    const char text[] = "TRACER WIDTH 10 END_TRACER\0 garbage";
    LanguageParse p(std::string(text, sizeof(text) - 1));
    EXPECT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.width, 10);
}

TEST(Document, ManyBlocksInAHugeDocument) {
    std::string text;
    while (text.size() < 16 * 1024 * 1024)
        text += "TRACER NO_SHADOW WIDTH 9 END_TRACER\n";
    LanguageParse p(text);
    EXPECT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.width, 9);
    EXPECT_TRUE(p.pc.job.no_shadow);
}

TEST(Animation, StoresInEveryKindOfParse) {
    for (bool build : {true, false}) {
        LanguageParse p(
            "animation start_time 0.5 end_time 2 frames 8 frames_per_second 25 "
            "end_animation",
            build);
        p.pc.output_file = "left over.avi";
        ASSERT_TRUE(parse_whole(p)) << p.error();
        EXPECT_TRUE(p.pc.has_animation);
        EXPECT_EQ(p.pc.start_time, 0.5f);
        EXPECT_EQ(p.pc.end_time, 2.0f);
        EXPECT_EQ(p.pc.frames, 8);
        EXPECT_EQ(p.pc.frames_per_second, 25);
        EXPECT_EQ(p.pc.output_file, "");
    }
}

TEST(Animation, OutputFileKeepsBackslashesAndBlanks) {
    LanguageParse p("ANIMATION OUTPUT_FILE \"c:\\my movies\\run 1.avi\" FRAMES 3 }");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.output_file, "c:\\my movies\\run 1.avi");
    EXPECT_EQ(p.pc.frames, 3);
}

TEST(Animation, TimesAreExpressionsOfTheSceneTime) {
    LanguageParse p("ANIMATION START_TIME ADD TIME 1 END_TIME MUL TIME 10 END_ANIMATION");
    p.pc.time = 0.5f;
    ASSERT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.start_time, 1.5f);
    EXPECT_EQ(p.pc.end_time, 5.0f);
}

TEST(Animation, AFailedValueLeavesTheSettingAsItWas) {
    LanguageParse p("ANIMATION FRAMES 4 FRAMES nope END_ANIMATION");
    EXPECT_FALSE(parse_whole(p));
    EXPECT_EQ(p.pc.frames, 4);
}

TEST(Document, OnlyTheFirstErrorIsShown) {
    LanguageParse p("FOO BAR TRACER BAZ");
    EXPECT_FALSE(parse_whole(p));
    EXPECT_EQ(p.message_count(), 1u);
    EXPECT_EQ(p.error(), message_at(BadDocument, 4, "FOO"));
}

TEST(Document, IncludeContinuesTracerAndAnimation) {
    LanguageParse p(
        "DEFINE NAME size WIDTH 640 END_DEFINE\n"
        "DEFINE NAME times START_TIME 2 END_TIME 4 END_DEFINE\n"
        "TRACER INCLUDE NAME size END_INCLUDE HEIGHT 100 END_TRACER\n"
        "ANIMATION INCLUDE NAME times END_INCLUDE FRAMES 3 END_ANIMATION\n");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.width, 640);
    EXPECT_EQ(p.pc.height, 100);
    EXPECT_EQ(p.pc.start_time, 2.0f);
    EXPECT_EQ(p.pc.end_time, 4.0f);
    EXPECT_EQ(p.pc.frames, 3);
}

}  // namespace
