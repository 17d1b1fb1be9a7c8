#include <gtest/gtest.h>

#include <string>

#include "language_test_support.h"
#include "shapes/bounding_shape.h"
#include "shapes/box.h"
#include "shapes/csg.h"
#include "shapes/everywhere.h"
#include "shapes/plane.h"
#include "shapes/quadric.h"
#include "shapes/sphere.h"

namespace {

TEST(CsgBlock, DifferenceTakesBothOperandsOffTheList) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE DIFFERENCE CUBE END_CUBE SPHERE SCALE 1.2,1.2,1.2 END_SPHERE "
                "END_DIFFERENCE END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 1u);
    const CSGDifference* d = dynamic_cast<const CSGDifference*>(shapes[0]);
    ASSERT_NE(d, nullptr);
    EXPECT_NE(dynamic_cast<const Box*>(d->left), nullptr);
    const Sphere* right = dynamic_cast<const Sphere*>(d->right);
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(dynamic_cast<const UnitShape*>(right)->unitToWorld.matrix.row(0),
              Vector3(1.2f, 0, 0));
    // The operands are off every list.
    EXPECT_EQ(d->left->next, nullptr);
    EXPECT_EQ(d->right->prev, nullptr);
}

TEST(CsgBlock, KeywordChoosesTheClassAndAnyEndClosesAnyBlock) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE UNION SPHERE END_SPHERE EVERYWHERE END_EVERYWHERE END_DIFFERENCE "
                "INTERSECTION QUADRIC END_QUADRIC PLANE END_PLANE END_UNION "
                "DIFFERENCE SPHERE END_SPHERE CUBE END_CUBE } END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 3u);
    const CSGUnion* u = dynamic_cast<const CSGUnion*>(shapes[0]);
    ASSERT_NE(u, nullptr);
    EXPECT_NE(dynamic_cast<const Everywhere*>(u->right), nullptr);
    const CSGIntersection* i = dynamic_cast<const CSGIntersection*>(shapes[1]);
    ASSERT_NE(i, nullptr);
    EXPECT_NE(dynamic_cast<const Quadric*>(i->left), nullptr);
    EXPECT_NE(dynamic_cast<const Plane*>(i->right), nullptr);
    EXPECT_NE(dynamic_cast<const CSGDifference*>(shapes[2]), nullptr);
}

TEST(CsgBlock, KeepsThePlaceWhereTheBlockBegan) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE SPHERE END_SPHERE UNION CUBE END_CUBE UNION SPHERE END_SPHERE "
                "PLANE END_PLANE END_UNION END_UNION PLANE END_PLANE END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 3u);
    EXPECT_NE(dynamic_cast<const Sphere*>(shapes[0]), nullptr);
    const CSGUnion* outer = dynamic_cast<const CSGUnion*>(shapes[1]);
    ASSERT_NE(outer, nullptr);
    EXPECT_NE(dynamic_cast<const Plane*>(shapes[2]), nullptr);
    EXPECT_NE(dynamic_cast<const Box*>(outer->left), nullptr);
    const CSGUnion* inner = dynamic_cast<const CSGUnion*>(outer->right);
    ASSERT_NE(inner, nullptr);
    EXPECT_NE(dynamic_cast<const Sphere*>(inner->left), nullptr);
    EXPECT_NE(dynamic_cast<const Plane*>(inner->right), nullptr);
}

TEST(CsgBlock, MaterialOfTheBlockAndOfItsOperands) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE MATERIAL NAME outer END_MATERIAL UNION SPHERE END_SPHERE "
                "MATERIAL NAME inner END_MATERIAL CUBE END_CUBE END_UNION "
                "INTERSECTION SPHERE END_SPHERE CUBE END_CUBE END_INTERSECTION END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 2u);
    const CSGShape* u = dynamic_cast<const CSGShape*>(shapes[0]);
    ASSERT_NE(u, nullptr);
    // A MATERIAL inside the block replaces the block's material.
    EXPECT_EQ(u->material->name, "inner");
    EXPECT_EQ(u->left->material->name, "outer");
    EXPECT_EQ(u->right->material->name, "inner");
    EXPECT_EQ(shapes[1]->material->name, "inner");
}

TEST(CsgBlock, InsideABoundedFrameTheCsgShapeBecomesAChild) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE FRAME BOUNDING_SHAPE SPHERE SCALE 3 3 3 END_SPHERE "
                "UNION SPHERE END_SPHERE CUBE END_CUBE END_UNION END_FRAME END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 1u);
    const BoundingShape* b = dynamic_cast<const BoundingShape*>(shapes[0]);
    ASSERT_NE(b, nullptr);
    auto inner = SceneParse::list_of(b->inner);
    ASSERT_EQ(inner.size(), 1u);
    EXPECT_NE(dynamic_cast<const CSGUnion*>(inner[0]), nullptr);
}

TEST(CsgBlock, CheckOnlyParseBuildsNothing) {
    SceneParse p;
    ASSERT_TRUE(
        p.check("SCENE UNION SPHERE END_SPHERE DIFFERENCE CUBE END_CUBE "
                "MATERIAL END_MATERIAL SPHERE END_SPHERE END_DIFFERENCE END_UNION "
                "END_SCENE"))
        << p.error();
    EXPECT_EQ(p.tc.parsed().scene, nullptr);
}

TEST(CsgBlock, DeepNestingEndsWithAnErrorInsteadOfTheStack) {
    std::string text = "SCENE ";
    for (int i = 0; i < 300; ++i)
        text += "UNION SPHERE END_SPHERE ";
    text += "SPHERE END_SPHERE ";
    for (int i = 0; i < 300; ++i)
        text += "END_UNION ";
    text += "END_SCENE";
    for (bool build : {true, false}) {
        SceneParse p;
        EXPECT_FALSE(p.parse(text, build));
        EXPECT_EQ(p.error(), error_at("Nesting exceeded max (256)", text, "UNION", 256));
        EXPECT_EQ(p.message_count(), 1u);
    }
}

class CsgErrorTest : public ErrorCaseTest {};

TEST_P(CsgErrorTest, ReportsMessageAtWord) { expect_reported(); }

const char* const TwoShapes = "Expected CSG of two shapes.";
const char* const BadCsg = "Bad CSG Shape. Expected shape or MATERIAL";

const ErrorCase csg_errors[] = {
    {"SCENE UNION SPHERE END_SPHERE END_UNION END_SCENE", TwoShapes, "END_UNION", nullptr},
    {"SCENE UNION END_UNION END_SCENE", TwoShapes, "END_UNION", nullptr},
    {"SCENE INTERSECTION SPHERE END_SPHERE CUBE END_CUBE PLANE END_PLANE END_INTERSECTION "
     "END_SCENE",
     TwoShapes, "END_INTERSECTION", nullptr},
    {"SCENE UNION SPHERE END_SPHERE UNION CUBE END_CUBE END_UNION END_UNION END_SCENE", TwoShapes,
     "END_UNION", nullptr},
    {"SCENE DIFFERENCE SPHERE END_SPHERE LIGHT END_LIGHT END_DIFFERENCE END_SCENE", BadCsg, "LIGHT",
     nullptr},
    {"SCENE DIFFERENCE SPHERE END_SPHERE SOR END_SOR END_DIFFERENCE END_SCENE", BadCsg, "SOR",
     nullptr},
    {"SCENE UNION SPHERE END_SPHERE CUBIC END_CUBIC END_UNION END_SCENE", BadCsg, "CUBIC", nullptr},
    {"SCENE UNION SPHERE END_SPHERE END_SCENE", BadCsg, "END_SCENE", nullptr},
    {"SCENE UNION SPHERE END_SPHERE CUBE END_CUBE", "Expected END of CSG Shape.", nullptr,
     "END_CUBE"},
    {"SCENE UNION SPHERE END_SPHERE CUBE", "Expected END of Unit Shape", nullptr, "CUBE"},
};

INSTANTIATE_TEST_SUITE_P(BothParses, CsgErrorTest,
                         ::testing::Combine(::testing::ValuesIn(csg_errors), ::testing::Bool()));

}  // namespace
