#include <gtest/gtest.h>

#include <string>

#include "language_test_support.h"

namespace {

const char* BadTracer =
    "Bad Tracer. Expected NO_REFLECTION, NO_REFRACTION, ANTIALIASING, WIDTH or HEIGHT";
const char* BadAnimation =
    "Bad Animation. Expected START_TIME, END_TIME, FRAMES, FRAMES_PER_SECOND or OUTPUT_FILE";
const char* BadDocument = "Bad document. Expected ANIMATION, TRACER, SCENE, DEFINE or INCLUDE.";

TEST(Tracer, StoresOnlyInABuildingParse) {
    const char* text =
        "tracer width 640 height 480 ANTIALIASING 2 MAX_DEPTH 7 NO_REFRACTION NO_REFLECTION "
        "NO_HIGHLIGHTS NO_SHADOW NO_DIFFUSE end";
    for (bool build : {true, false}) {
        LanguageParse p(text, build);
        ASSERT_TRUE(parse_whole(p)) << p.error();
        const RenderJob& j = p.pc.job;
        EXPECT_EQ(p.pc.width, build ? 640 : 320);
        EXPECT_EQ(p.pc.height, build ? 480 : 240);
        EXPECT_EQ(j.antialiasing, build ? 2 : 0);
        EXPECT_EQ(j.max_depth, build ? 7 : 3);
        for (bool flag :
             {j.no_refraction, j.no_reflection, j.no_highlights, j.no_shadow, j.no_diffuse})
            EXPECT_EQ(flag, build);
    }
}

TEST(Tracer, BracesFractionsAndLaterBlocks) {
    LanguageParse p("TRACER { WIDTH 640.5 } tracer height 100 end_tracer");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.width, 640);
    EXPECT_EQ(p.pc.height, 100);
}

TEST(DocumentErrors, MessagesAndPositionsInBothKindsOfParse) {
    const std::pair<const char*, std::string> cases[] = {
        {"TRACER SCENE", message_at(BadTracer, 12, "SCENE")},
        {"TRACER WIDTH 640", message_at("Expected END_TRACER.", 16, "640")},
        {"TRACER NO_SHADOW ;c", message_at("Expected END_TRACER.", 19, "")},
        {"TRACER WIDTH abc END_TRACER", message_at("Expected Integer.", 17, "abc")},
        {"ANIMATION FRAMES 2", message_at("Expected END_ANIMATION.", 18, "2")},
        {"ANIMATION WIDTH 2 END", message_at(BadAnimation, 16, "WIDTH")},
        {"ANIMATION START_TIME FOO END", message_at("Expected Float.", 25, "FOO")},
        {"END_SCENE", message_at(BadDocument, 9, "END_SCENE")},
        {"\nEND\n", message_at(BadDocument, 5, "END")},
        {"} ", message_at(BadDocument, 2, "}")},
        {"TRACER END_TRACER FOO BAR TRACER BAZ", message_at(BadDocument, 22, "FOO")},
    };
    for (const auto& [text, message] : cases) {
        for (bool build : {true, false}) {
            LanguageParse p(text, build);
            EXPECT_FALSE(parse_whole(p)) << text;
            EXPECT_EQ(p.error(), message) << text;
            EXPECT_EQ(p.message_count(), 1u) << text;
        }
    }
    LanguageParse p("TRACER WIDTH 640\n  BOGUS\nEND_TRACER");
    EXPECT_FALSE(parse_whole(p));
    EXPECT_EQ(p.host.selection_start, 19);
    EXPECT_EQ(p.host.selection_end, 24);
}

TEST(Document, EmptyCommentsAndNul) {
    for (const char* text : {"", "  \n\t{", "; nothing\n[ nor here ]", "[unclosed"}) {
        LanguageParse p(text);
        EXPECT_TRUE(parse_whole(p)) << text;
    }
    const char with_nul[] = "TRACER WIDTH 10 END_TRACER\0 garbage";
    LanguageParse p(std::string(with_nul, sizeof(with_nul) - 1));
    EXPECT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.width, 10);
}

TEST(Animation, StoresInBothKindsOfParse) {
    for (bool build : {true, false}) {
        LanguageParse p(
            "animation start_time ADD TIME 1 end_time 2 frames 8 frames_per_second 25 }", build);
        p.pc.output_file = "left over.avi";
        p.pc.time = 0.5f;
        ASSERT_TRUE(parse_whole(p)) << p.error();
        EXPECT_TRUE(p.pc.has_animation);
        EXPECT_EQ(p.pc.start_time, 1.5f);
        EXPECT_EQ(p.pc.end_time, 2.0f);
        EXPECT_EQ(p.pc.frames, 8);
        EXPECT_EQ(p.pc.frames_per_second, 25);
        EXPECT_EQ(p.pc.output_file, "");  // so nothing is recorded
    }
    LanguageParse p("ANIMATION OUTPUT_FILE \"c:\\my movies\\run 1.avi\" FRAMES 3 FRAMES x END");
    EXPECT_FALSE(parse_whole(p));
    EXPECT_EQ(p.pc.output_file, "c:\\my movies\\run 1.avi");
    EXPECT_EQ(p.pc.frames, 3);  // the failed value leaves it as it was
}

TEST(Document, IncludeContinuesTracerAndAnimation) {
    LanguageParse p(
        "DEFINE NAME size WIDTH 640 END_DEFINE\n"
        "DEFINE NAME times START_TIME 2 END_DEFINE\n"
        "TRACER INCLUDE NAME size END_INCLUDE HEIGHT 100 END_TRACER\n"
        "ANIMATION INCLUDE NAME times END_INCLUDE FRAMES 3 END_ANIMATION\n");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.width, 640);
    EXPECT_EQ(p.pc.height, 100);
    EXPECT_EQ(p.pc.start_time, 2.0f);
    EXPECT_EQ(p.pc.frames, 3);
}

}  // namespace
