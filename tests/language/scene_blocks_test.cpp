#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "language_test_support.h"
#include "shapes/bounding_shape.h"
#include "shapes/box.h"
#include "shapes/plane.h"
#include "shapes/sphere.h"
#include "shapes/triangle.h"

namespace {

TEST(SceneBlock, ValuesAreStoredWhenBuilding) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE BACKGROUND_COLOR 0.25 0.5 1 AMBIENCE ADD 0.1 0.2 FOG_DEPTH 30 "
                "END_SCENE"))
        << p.error();
    EXPECT_EQ(p.tc.parsed().scene->background_color, Vector3(0.25f, 0.5f, 1.0f));
    EXPECT_EQ(p.tc.parsed().scene->ambience, 0.1f + 0.2f);
    EXPECT_EQ(p.tc.parsed().scene->fog_depth, 30.0f);
}

TEST(SceneBlock, DefaultsWithoutValues) {
    SceneParse p;
    ASSERT_TRUE(p.parse("SCENE { }")) << p.error();
    EXPECT_EQ(p.tc.parsed().scene->background_color, Vector3(0, 0, 0.5f));
    EXPECT_EQ(p.tc.parsed().scene->ambience, 0.2f);
    EXPECT_EQ(p.tc.parsed().scene->fog_depth, 0.0f);
    EXPECT_EQ(p.tc.parsed().scene->shapes.head, nullptr);
}

TEST(SceneBlock, SeveralScenesFillOneScene) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE AMBIENCE 0.5 SPHERE END_SPHERE END_SCENE "
                "SCENE FOG_DEPTH 2 CUBE END_CUBE END"))
        << p.error();
    EXPECT_EQ(p.tc.parsed().scene->ambience, 0.5f);
    EXPECT_EQ(p.tc.parsed().scene->fog_depth, 2.0f);
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 2u);
    EXPECT_NE(dynamic_cast<Sphere*>(shapes[0]), nullptr);
    EXPECT_NE(dynamic_cast<Box*>(shapes[1]), nullptr);
}

TEST(SceneBlock, CheckOnlyParseReadsTheSameExpressions) {
    SceneParse p;
    // The bad operand is found although nothing is stored.
    EXPECT_FALSE(p.check("SCENE AMBIENCE ADD 1 foo END_SCENE"));
    EXPECT_EQ(p.error(), error_at("Expected Float.", p.text, "foo"));
    EXPECT_EQ(p.tc.parsed().scene, nullptr);
}

TEST(FrameBlock, TranslationsActOnWhatFollows) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE FRAME TRANSLATE 0,1,0 SPHERE END_SPHERE TRANSLATE 0,1,0 "
                "SPHERE END_SPHERE END_FRAME SPHERE END_SPHERE END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 3u);
    EXPECT_EQ(shapes[0]->position, Vector3(0, 1, 0));
    EXPECT_EQ(shapes[1]->position, Vector3(0, 2, 0));
    EXPECT_EQ(shapes[2]->position, Vector3(0, 0, 0));
    // Only the root frame is left after the parse.
    ASSERT_NE(p.tc.parsed().frame_list.head, nullptr);
    EXPECT_EQ(p.tc.parsed().frame_list.head, p.tc.parsed().frame_list.tail);
}

const UnitShape& unit(const CShape* s) { return *dynamic_cast<const UnitShape*>(s); }

TEST(FrameBlock, ScaleAfterRotateChangesOnlyTheDiagonal) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE FRAME ROTATE 0,0,1.5707964 SCALE 2,2,2 SPHERE END_SPHERE "
                "END_FRAME FRAME SCALE 2,2,2 ROTATE 0,0,1.5707964 SPHERE END_SPHERE "
                "END_FRAME END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 2u);
    const Matrix4& first = unit(shapes[0]).unitToWorld.matrix;
    // m00 and m11 are about 0, so x and y keep unit length; z is doubled.
    EXPECT_NEAR(first.row(0).length(), 1.0f, 1e-6f);
    EXPECT_NEAR(first.row(1).length(), 1.0f, 1e-6f);
    EXPECT_EQ(first.row(2), Vector3(0, 0, 2));
    const Matrix4& second = unit(shapes[1]).unitToWorld.matrix;
    // The rotation replaces the whole linear part: the scale is lost.
    expect_near(second.row(0), Vector3(0, 1, 0));
    expect_near(second.row(1), Vector3(-1, 0, 0));
    EXPECT_EQ(second.row(2), Vector3(0, 0, 1));
}

TEST(FrameBlock, NestedFrameStartsFromTheEnclosingFrame) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE FRAME TRANSLATE 1 0 0 FRAME TRANSLATE 0 1 0 SPHERE END_SPHERE "
                "END_FRAME SPHERE END_SPHERE END_FRAME END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 2u);
    EXPECT_EQ(shapes[0]->position, Vector3(1, 1, 0));
    EXPECT_EQ(shapes[1]->position, Vector3(1, 0, 0));
}

TEST(FrameBlock, MatrixIsRelativeToTheEnclosingFrame) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE FRAME TRANSLATE 1 0 0 FRAME TRANSLATE 9 9 9 "
                "MATRIX 2 0 0 0  0 2 0 0  0 0 2 0  0 3 0 1 SPHERE END_SPHERE END_FRAME "
                "END_FRAME END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 1u);
    // The unit origin goes to (0, 3, 0) in the enclosing frame, then by it.
    EXPECT_EQ(shapes[0]->position, Vector3(1, 3, 0));
    EXPECT_EQ(unit(shapes[0]).unitToWorld.matrix.row(0), Vector3(2, 0, 0));
}

TEST(FrameBlock, NestedRotateDiscardsTheEnclosingRotation) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE FRAME ROTATE 0 0 1.5707964 TRANSLATE 0 0 4 FRAME ROTATE 0 0 0 "
                "SPHERE END_SPHERE END_FRAME END_FRAME END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 1u);
    const Matrix4& m = unit(shapes[0]).unitToWorld.matrix;
    EXPECT_EQ(m.row(0), Vector3(1, 0, 0));
    EXPECT_EQ(m.row(1), Vector3(0, 1, 0));
    EXPECT_EQ(m.row(3), Vector3(0, 0, 4));
}

TEST(FrameBlock, FrameCarriesMeshVerticesAndTurnsNormals) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE FRAME ROTATE 0 0 1.5707964 TRANSLATE 0 0 5 MESH VERTEX_LIST "
                "1 0 0  2 0 0  0 0   0 1 0  0 3 0  1 0   0 0 1  0 0 7  0 1 "
                "END_VERTEX_LIST END_MESH END_FRAME END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 1u);
    const Triangle* t = dynamic_cast<const Triangle*>(shapes[0]);
    ASSERT_NE(t, nullptr);
    // Rz(pi/2) takes x to y and y to -x; the translation moves points only.
    expect_near(t->A, Vector3(0, 1, 5));
    expect_near(t->B, Vector3(-1, 0, 5));
    expect_near(t->C, Vector3(0, 0, 6));
    expect_near(t->nA, Vector3(0, 1, 0));
    expect_near(t->nB, Vector3(-1, 0, 0));
    expect_near(t->nC, Vector3(0, 0, 1));
}

TEST(FrameBlock, DeepNestingEndsWithAnErrorInsteadOfTheStack) {
    std::string text = "SCENE ";
    for (int i = 0; i < 300; ++i)
        text += "FRAME ";
    text += "SPHERE END_SPHERE ";
    for (int i = 0; i < 300; ++i)
        text += "END_FRAME ";
    text += "END_SCENE";
    for (bool build : {true, false}) {
        SceneParse p;
        EXPECT_FALSE(p.parse(text, build));
        // The 257th FRAME would be one level too deep.
        EXPECT_EQ(p.error(), error_at("Nesting exceeded max (256)", text, "FRAME", 256));
        EXPECT_EQ(p.message_count(), 1u);
    }
}

TEST(BoundingShapeBlock, LaterShapesOfTheFrameBecomeChildren) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE FRAME PLANE END_PLANE BOUNDING_SHAPE CUBE SCALE 2 2 2 END_CUBE "
                "SPHERE END_SPHERE COSINE END_COSINE FRAME SPHERE END_SPHERE END_FRAME "
                "MESH VERTEX_LIST 0 0 0 0 0 1 0 0  1 0 0 0 0 1 0 0  0 1 0 0 0 1 0 0 "
                "END_VERTEX_LIST END_MESH END_FRAME SPHERE END_SPHERE END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 4u);
    EXPECT_NE(dynamic_cast<Plane*>(shapes[0]), nullptr);
    // The nested frame's sphere stays in the scene, before the group that is
    // completed at END_FRAME.
    EXPECT_NE(dynamic_cast<Sphere*>(shapes[1]), nullptr);
    const BoundingShape* b = dynamic_cast<const BoundingShape*>(shapes[2]);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(dynamic_cast<const Sphere*>(shapes[3]), nullptr);
    ASSERT_NE(dynamic_cast<const Box*>(b->bound), nullptr);
    EXPECT_EQ(b->bound->position, Vector3(0, 0, 0));
    auto inner = SceneParse::list_of(b->inner);
    ASSERT_EQ(inner.size(), 3u);
    EXPECT_NE(dynamic_cast<Sphere*>(inner[0]), nullptr);
    EXPECT_NE(dynamic_cast<Triangle*>(inner[2]), nullptr);
}

TEST(BoundingShapeBlock, BoundMayBeACsgShape) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE FRAME BOUNDING_SHAPE UNION SPHERE END_SPHERE CUBE END_CUBE "
                "END_UNION SPHERE END_SPHERE END_FRAME END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 1u);
    const BoundingShape* b = dynamic_cast<const BoundingShape*>(shapes[0]);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(b->bound, nullptr);
    EXPECT_EQ(SceneParse::list_of(b->inner).size(), 1u);
}

// A second BOUNDING_SHAPE in one FRAME closes the first group, which keeps
// its children in the scene, and starts a new one.
TEST(BoundingShapeBlock, SecondBoundingShapeKeepsTheFirstGroup) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE FRAME BOUNDING_SHAPE CUBE END_CUBE SPHERE END_SPHERE "
                "BOUNDING_SHAPE SPHERE END_SPHERE PLANE END_PLANE CUBE END_CUBE "
                "END_FRAME END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 2u);
    const BoundingShape* first = dynamic_cast<const BoundingShape*>(shapes[0]);
    const BoundingShape* second = dynamic_cast<const BoundingShape*>(shapes[1]);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(dynamic_cast<const Box*>(first->bound), nullptr);
    EXPECT_EQ(SceneParse::list_of(first->inner).size(), 1u);
    EXPECT_NE(dynamic_cast<const Sphere*>(second->bound), nullptr);
    EXPECT_EQ(SceneParse::list_of(second->inner).size(), 2u);
}

TEST(BoundingShapeBlock, GroupIsKeptWhenTheFrameFails) {
    SceneParse p;
    // The scene still owns the group, so releasing it frees everything.
    EXPECT_FALSE(p.parse("SCENE FRAME BOUNDING_SHAPE CUBE END_CUBE SPHERE END_SPHERE FOO"));
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 1u);
    EXPECT_NE(dynamic_cast<const BoundingShape*>(shapes[0]), nullptr);
}

class SceneErrorTest : public ErrorCaseTest {};

TEST_P(SceneErrorTest, ReportsMessageAtWord) { expect_reported(); }

const char* const BadScene =
    "Bad Scene. Expected CAMERA, LIGHT, FRAME, Shape, BACKGROUND_COLOR or AMBIENCE";
const char* const BadFrame = "Bad Frame. Expected MATRIX, TRANSLATE, SCALE, ROTATE or shape";

const ErrorCase scene_errors[] = {
    {"SCENE EVERYWHERE END_EVERYWHERE END_SCENE", BadScene, "EVERYWHERE", nullptr},
    {"SCENE SPHERE END_SPHERE END_FRAME", BadScene, "END_FRAME", nullptr},
    {"SCENE BOUNDING_SHAPE SPHERE END_SPHERE END_SCENE", BadScene, "BOUNDING_SHAPE", nullptr},
    {"SCENE TRANSLATE 1 2 3 END_SCENE", BadScene, "TRANSLATE", nullptr},
    {"SCENE AMBIENCE 1", "Expected END_SCENE.", nullptr, "1"},
    {"SCENE AMBIENCE 1 ; the end\n", "Expected END_SCENE.", nullptr, ""},
    {"SCENE FRAME CUBIC END_CUBIC END_FRAME END_SCENE", BadFrame, "CUBIC", nullptr},
    {"SCENE FRAME LOOP i 0 END_LOOP END_FRAME END_SCENE", BadFrame, "LOOP", nullptr},
    {"SCENE FRAME AMBIENCE 1 END_FRAME END_SCENE", BadFrame, "AMBIENCE", nullptr},
    {"SCENE FRAME END_SCENE", BadFrame, "END_SCENE", nullptr},
    {"SCENE FRAME TRANSLATE 1 2 3", "Expected END_FRAME.", nullptr, "3"},
    {"SCENE FRAME MATRIX 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 END_FRAME END_SCENE", "Expected Float.",
     "END_FRAME", nullptr},
    {"SCENE FRAME BOUNDING_SHAPE COSINE END_COSINE END_FRAME END_SCENE",
     "Bad BOUNDING_SHAPE. Expected Bounding Shape", "COSINE", nullptr},
    {"SCENE FRAME BOUNDING_SHAPE MATERIAL END_MATERIAL END_FRAME END_SCENE",
     "Bad BOUNDING_SHAPE. Expected Bounding Shape", "MATERIAL", nullptr},
    {"SCENE FRAME BOUNDING_SHAPE END_FRAME END_SCENE",
     "Bad BOUNDING_SHAPE. Expected Bounding Shape", "END_FRAME", nullptr},
    {"SCENE FRAME BOUNDING_SHAPE", "Expected Bounding Shape.", nullptr, "BOUNDING_SHAPE"},
    {"SCENE FRAME BOUNDING_SHAPE SPHERE", "Expected END of Unit Shape", nullptr, "SPHERE"},
};

INSTANTIATE_TEST_SUITE_P(BothParses, SceneErrorTest,
                         ::testing::Combine(::testing::ValuesIn(scene_errors), ::testing::Bool()));

// Where each construct may stand: every construct in every place, in both
// kinds of parse. A construct that may not stand in a place is reported as a
// bad word of that place at its first word.
struct Construct {
    const char* text;
    bool shape;  // counts as an operand of a CSG block
    bool scene, frame, loop, csg, bounding;
};

const Construct constructs[] = {
    {"SPHERE END_SPHERE", true, true, true, true, true, true},
    {"CYLINDER END_CYLINDER", true, true, true, true, true, true},
    {"CONE END_CONE", true, true, true, true, true, true},
    {"PARABOLOID END_PARABOLOID", true, true, true, true, true, true},
    {"HYPERBOLOID END_HYPERBOLOID", true, true, true, true, true, true},
    {"CUBE END_CUBE", true, true, true, true, true, true},
    {"PLANE END_PLANE", true, true, true, true, true, true},
    {"TRIAD END_TRIAD", true, true, true, true, true, true},
    {"PYRAMID END_PYRAMID", true, true, true, true, true, true},
    {"COSINE END_COSINE", true, true, true, true, true, false},
    {"EVERYWHERE END_EVERYWHERE", true, false, false, false, true, false},
    {"QUADRIC END_QUADRIC", true, true, true, true, true, true},
    {"CUBIC END_CUBIC", true, true, false, false, false, false},
    {"SOR END_SOR", true, true, true, true, false, false},
    {"MESH END_MESH", false, true, true, true, false, false},
    {"UNION SPHERE END_SPHERE CUBE END_CUBE END_UNION", true, true, true, true, true, true},
    {"INTERSECTION SPHERE END_SPHERE CUBE END_CUBE END", true, true, true, true, true, true},
    {"DIFFERENCE SPHERE END_SPHERE CUBE END_CUBE }", true, true, true, true, true, true},
    {"FRAME END_FRAME", false, true, true, true, false, false},
    {"BOUNDING_SHAPE SPHERE END_SPHERE", false, false, true, false, false, false},
    {"CAMERA END_CAMERA", false, true, true, false, false, false},
    {"LIGHT END_LIGHT", false, true, true, true, false, false},
    {"MATERIAL END_MATERIAL", false, true, true, true, true, false},
    {"INTERPOLATION NAME wave 0 0 1 1 END_INTERPOLATION", false, true, true, false, false, false},
    {"DEFINE NAME other END_DEFINE", false, true, true, true, false, false},
    {"INCLUDE NAME empty END_INCLUDE", false, true, true, true, false, false},
    {"LOOP j LT j 1 END_LOOP", false, true, false, true, false, false},
    {"BACKGROUND_COLOR 1 1 1", false, true, false, false, false, false},
    {"AMBIENCE 1", false, true, false, false, false, false},
    {"FOG_DEPTH 1", false, true, false, false, false, false},
    {"MATRIX 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1", false, false, true, false, false, false},
    {"TRANSLATE 1 2 3", false, false, true, false, false, false},
    {"SCALE 1 2 3", false, false, true, false, false, false},
    {"ROTATE 1 2 3", false, false, true, false, false, false},
};

void PrintTo(const Construct& c, std::ostream* os) { *os << '"' << c.text << '"'; }

enum class Where { Scene, Frame, Loop, Csg, Bounding };

void PrintTo(Where w, std::ostream* os) {
    const char* const names[] = {"in SCENE", "in FRAME", "in LOOP", "in UNION",
                                 "after BOUNDING_SHAPE"};
    *os << names[static_cast<int>(w)];
}

struct PlaceCase {
    Construct construct;
    Where where;
    bool build;
};

// The document for a construct in a place, and where the construct begins.
std::pair<std::string, size_t> place_text(const Construct& c, Where where) {
    std::string before;
    std::string after;
    switch (where) {
        case Where::Scene:
            break;
        case Where::Frame:
            before = "FRAME ";
            after = " END_FRAME";
            break;
        case Where::Loop:
            before = "LOOP i LT i 1 ";
            after = " END_LOOP";
            break;
        case Where::Csg:
            // Two operands in all: the construct and one sphere, or two
            // spheres around a construct that is no operand.
            before = "UNION SPHERE END_SPHERE ";
            after = c.shape ? " END_UNION" : " SPHERE END_SPHERE END_UNION";
            break;
        case Where::Bounding:
            before = "FRAME BOUNDING_SHAPE ";
            after = " END_FRAME";
            break;
    }
    const std::string head = "DEFINE NAME empty END_DEFINE SCENE " + before;
    return {head + c.text + after + " END_SCENE", head.size()};
}

class PlacementTest : public ::testing::TestWithParam<std::tuple<Construct, Where, bool>> {};

TEST_P(PlacementTest, AcceptedOnlyWhereTheTableSays) {
    const auto& [c, where, build] = GetParam();
    const bool allowed[] = {c.scene, c.frame, c.loop, c.csg, c.bounding};
    const char* const bad[] = {
        BadScene, BadFrame,
        "Bad Loop. Expected CAMERA, LIGHT, FRAME, Shape, BACKGROUND_COLOR or AMBIENCE",
        "Bad CSG Shape. Expected shape or MATERIAL", "Bad BOUNDING_SHAPE. Expected Bounding Shape"};
    const auto [text, start] = place_text(c, where);
    SceneParse p;
    const bool ok = p.parse(text, build);
    const int w = static_cast<int>(where);
    if (allowed[w]) {
        EXPECT_TRUE(ok) << text << "\n" << p.error();
        EXPECT_EQ(p.message_count(), 0u) << text;
    } else {
        EXPECT_FALSE(ok) << text;
        // Reported at the construct's first word, ended by a blank.
        const std::string first = std::string(c.text).substr(0, std::string(c.text).find(' '));
        EXPECT_EQ(p.error(), std::string(bad[w]) + " at char " +
                                 std::to_string(start + first.size() + 1) + " found: " + first)
            << text;
        EXPECT_EQ(p.message_count(), 1u) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPlace, PlacementTest,
                         ::testing::Combine(::testing::ValuesIn(constructs),
                                            ::testing::Values(Where::Scene, Where::Frame,
                                                              Where::Loop, Where::Csg,
                                                              Where::Bounding),
                                            ::testing::Bool()));

}  // namespace
