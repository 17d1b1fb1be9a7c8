#include "app/templates.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "app/commands.h"
#include "app/menu_table.h"
#include "run/headless_host.h"
#include "run/trace_controller.h"

namespace {

struct Expected {
    int command;
    size_t characters;
    int lines;
};

// Sizes as the templates are published: characters (CR LF counts two) and lines.
const Expected kExpected[] = {
    {cmd::InsertAnimation, 121, 7},     {cmd::InsertTracer, 183, 11},
    {cmd::InsertScene, 144, 7},         {cmd::InsertCamera, 68, 4},
    {cmd::InsertLight, 76, 5},          {cmd::InsertFrame, 155, 8},
    {cmd::InsertMaterial, 300, 11},     {cmd::InsertDefine, 103, 4},
    {cmd::InsertInterpolation, 140, 8}, {cmd::InsertLoop, 126, 3},
    {cmd::InsertCube, 103, 4},          {cmd::InsertPlane, 105, 4},
    {cmd::InsertSphere, 107, 4},        {cmd::InsertCylinder, 111, 4},
    {cmd::InsertCone, 103, 4},          {cmd::InsertParaboloid, 115, 4},
    {cmd::InsertHyperboloid, 117, 4},   {cmd::InsertQuadric, 174, 5},
    {cmd::InsertMesh, 176, 8},          {cmd::InsertUnion, 82, 5},
    {cmd::InsertIntersection, 97, 5},   {cmd::InsertDifference, 93, 5},
};

void collect_ids(const std::vector<MenuNode>& items, std::vector<int>& ids) {
    for (const MenuNode& item : items) {
        if (item.is_popup())
            collect_ids(item.children, ids);
        else if (!item.is_separator())
            ids.push_back(item.id);
    }
}

}  // namespace

TEST(StudioInsertTemplates, SizesAndLinesAsPublished) {
    for (const Expected& e : kExpected) {
        const char* text = insert_template_text(e.command);
        ASSERT_NE(text, nullptr) << e.command;
        EXPECT_EQ(std::strlen(text), e.characters) << e.command;
        int crlf = 0;
        for (const char* p = text; *p != '\0'; ++p) {
            if (*p == '\r') {
                EXPECT_EQ(p[1], '\n') << e.command;
                ++crlf;
            } else if (*p == '\n') {
                EXPECT_TRUE(p > text && p[-1] == '\r') << "bare line feed in " << e.command;
            }
        }
        EXPECT_EQ(crlf, e.lines) << e.command;
        // The caret is left at the start of the next line.
        const std::string s = text;
        EXPECT_EQ(s.substr(s.size() - 2), "\r\n") << e.command;
    }
}

TEST(StudioInsertTemplates, TheInsertMenuHasExactlyTheTemplateCommands) {
    std::vector<int> ids;
    for (const MenuNode& popup : main_menu())
        if (std::string(popup.caption) == "&Insert") collect_ids(popup.children, ids);
    ASSERT_EQ(ids.size(), 22u);
    int count = 0;
    const InsertTemplate* templates = insert_templates(count);
    ASSERT_EQ(count, 22);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(templates[i].command, ids[i]) << "menu order, " << i;
    EXPECT_EQ(insert_template_text(cmd::Play), nullptr);
    std::set<int> unique(ids.begin(), ids.end());
    EXPECT_EQ(unique.size(), 22u);
    for (int id : ids)
        EXPECT_NE(insert_template_text(id), nullptr) << id;
}

TEST(StudioInsertTemplates, ExactLinesWithTabsQuotesAndBackslashes) {
    const std::string animation = insert_template_text(cmd::InsertAnimation);
    EXPECT_NE(animation.find("\r\n\toutput_file \"animation.avi\"\r\n"), std::string::npos);
    const std::string tracer = insert_template_text(cmd::InsertTracer);
    EXPECT_NE(tracer.find("\r\n\tmax_depth 10\r\n"), std::string::npos);
    EXPECT_NE(tracer.find("\r\n\tno_refraction\r\n"), std::string::npos);
    EXPECT_NE(tracer.find("\r\n\t;no_diffuse\r\nend_tracer\r\n"), std::string::npos);
    const std::string interpolation = insert_template_text(cmd::InsertInterpolation);
    EXPECT_NE(interpolation.find("\r\n\t0.0\t1.0 ;pairs of time,value\r\n\t0.5\t0.75\r\n"),
              std::string::npos);
    const std::string material = insert_template_text(cmd::InsertMaterial);
    EXPECT_NE(material.find("\r\n\ttexture_file \"c:\\filename\"\r\nend_material\r\n"),
              std::string::npos);
    EXPECT_EQ(std::string(insert_template_text(cmd::InsertLoop)).substr(0, 35),
              "loop Make_unique lt Make_unique 10 ");
}

// The templates are scene text: where they stand, a check of the text passes.
class StudioTemplateParse : public ::testing::TestWithParam<int> {};

TEST_P(StudioTemplateParse, ChecksCleanWhereItBelongs) {
    const int id = GetParam();
    const bool top_level = id == cmd::InsertAnimation || id == cmd::InsertTracer ||
                           id == cmd::InsertScene || id == cmd::InsertDefine;
    std::string text = insert_template_text(id);
    if (!top_level) text = "scene\r\n" + text + "end_scene\r\n";
    TraceController controller;
    HeadlessHost host;
    host.quiet = true;
    host.set_handler([&](int w) { controller.handle_trace_done(w); });
    controller.host = &host;
    controller.start(text.c_str(), false, false, nullptr);
    EXPECT_FALSE(controller.parsed().parse_error)
        << id << ": " << (host.messages.empty() ? "" : host.messages[0].text);
    controller.host = nullptr;
}

INSTANTIATE_TEST_SUITE_P(AllButCsg, StudioTemplateParse,
                         ::testing::Values(cmd::InsertAnimation, cmd::InsertTracer,
                                           cmd::InsertScene, cmd::InsertCamera, cmd::InsertLight,
                                           cmd::InsertFrame, cmd::InsertMaterial, cmd::InsertDefine,
                                           cmd::InsertInterpolation, cmd::InsertLoop,
                                           cmd::InsertCube, cmd::InsertPlane, cmd::InsertSphere,
                                           cmd::InsertCylinder, cmd::InsertCone,
                                           cmd::InsertParaboloid, cmd::InsertHyperboloid,
                                           cmd::InsertQuadric, cmd::InsertMesh));

// The CSG templates leave the two operands to the user.
TEST(StudioTemplateParse, CsgTemplatesAskForTheirTwoShapes) {
    for (int id : {cmd::InsertUnion, cmd::InsertIntersection, cmd::InsertDifference}) {
        const std::string text =
            std::string("scene\r\n") + insert_template_text(id) + "end_scene\r\n";
        TraceController controller;
        HeadlessHost host;
        host.quiet = true;
        host.set_handler([&](int w) { controller.handle_trace_done(w); });
        controller.host = &host;
        controller.start(text.c_str(), false, false, nullptr);
        ASSERT_EQ(host.messages.size(), 1u) << id;
        EXPECT_EQ(host.messages[0].text.rfind("Expected CSG of two shapes.", 0), 0u)
            << host.messages[0].text;
        controller.host = nullptr;
    }
}
