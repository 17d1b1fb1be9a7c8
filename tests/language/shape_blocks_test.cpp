#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "language_test_support.h"
#include "render/pick.h"
#include "shapes/box.h"
#include "shapes/capped_surface.h"
#include "shapes/cosine.h"
#include "shapes/cubic.h"
#include "shapes/everywhere.h"
#include "shapes/plane.h"
#include "shapes/quadric.h"
#include "shapes/sor.h"
#include "shapes/sphere.h"
#include "shapes/triangle.h"
#include "shapes/triangle_mesh.h"
#include "shapes/trioid_pyramid.h"
#include "tests/support/model_files.h"
#include "tests/support/temp_folder.h"

namespace {

const UnitShape& unit(const CShape* s) { return *dynamic_cast<const UnitShape*>(s); }

struct ShapeKind {
    const char* block;
    const std::type_info& type;
};

const ShapeKind unit_shapes[] = {
    {"SPHERE END_SPHERE", typeid(Sphere)},
    {"CYLINDER END_CYLINDER", typeid(Cylinder)},
    {"CONE END_CONE", typeid(Cone)},
    {"PARABOLOID END_PARABOLOID", typeid(Paraboloid)},
    {"HYPERBOLOID END_HYPERBOLOID", typeid(Hyperboloid)},
    {"CUBE END_CUBE", typeid(Box)},
    {"PLANE END_PLANE", typeid(Plane)},
    {"TRIAD END_TRIAD", typeid(Trioid)},
    {"PYRAMID END_PYRAMID", typeid(Pyramid)},
    {"COSINE END_COSINE", typeid(Cosine)},
    {"QUADRIC END_QUADRIC", typeid(Quadric)},
    {"SOR END_SOR", typeid(struct SOR)},
};

class UnitShapeKindTest : public ::testing::TestWithParam<ShapeKind> {};

TEST_P(UnitShapeKindTest, BlockPlacesItsClassWithMaterialAndFrame) {
    const ShapeKind& k = GetParam();
    SceneParse p;
    ASSERT_TRUE(p.parse(std::string("SCENE MATERIAL END_MATERIAL FRAME TRANSLATE 1 2 3 ") +
                        k.block + " END_FRAME END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 1u);
    EXPECT_EQ(typeid(*shapes[0]), k.type);
    EXPECT_EQ(shapes[0]->material, p.tc.parsed().current_material());
    EXPECT_EQ(shapes[0]->position, Vector3(1, 2, 3));
    const UnitShape& u = unit(shapes[0]);
    EXPECT_EQ(u.unitToWorld.matrix.row(3), Vector3(1, 2, 3));
    EXPECT_EQ(u.worldToUnit.matrix.row(3), Vector3(-1, -2, -3));
    // The pick names the shape by the keyword of its block.
    const std::string_view block = k.block;
    EXPECT_EQ(shape_block_keyword(shape_block(shapes[0])), block.substr(0, block.find(' ')));
}

INSTANTIATE_TEST_SUITE_P(Every, UnitShapeKindTest, ::testing::ValuesIn(unit_shapes));

TEST(UnitShapeBlock, EverywhereInsideCsgIsAnEverywhereShape) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE UNION SPHERE END_SPHERE EVERYWHERE TRANSLATE 1 0 0 "
                "END_EVERYWHERE END_UNION END_SCENE"))
        << p.error();
    EXPECT_EQ(p.shapes().size(), 1u);
}

TEST(UnitShapeBlock, AnyUnitShapeEndClosesTheBlock) {
    SceneParse p;
    ASSERT_TRUE(p.parse("SCENE SPHERE TRANSLATE 1,0,0 END_CUBE CONE } PLANE END END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 3u);
    EXPECT_EQ(shapes[0]->position, Vector3(1, 0, 0));
}

TEST(UnitShapeBlock, TransformWrittenLaterActsInTheShapesOwnSpace) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE SPHERE TRANSLATE 5,0,0 ROTATE 0,0,1.5707964 END_SPHERE "
                "SPHERE ROTATE 0,0,1.5707964 TRANSLATE 5,0,0 END_SPHERE END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 2u);
    // Turned about its own centre, left at (5, 0, 0).
    expect_near(shapes[0]->position, Vector3(5, 0, 0));
    expect_near(unit(shapes[0]).unitToWorld.matrix.row(0), Vector3(0, 1, 0));
    // Moved first, then turned about the origin.
    expect_near(shapes[1]->position, Vector3(0, 5, 0));
}

TEST(UnitShapeBlock, TemplateOrderRotatesThenScalesThenTranslates) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE FRAME TRANSLATE 0 0 10 CUBE TRANSLATE 1 2 3 SCALE 2 3 4 "
                "ROTATE 0 0 1.5707964 END_CUBE END_FRAME END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 1u);
    const UnitShape& u = unit(shapes[0]);
    const Matrix4& m = u.unitToWorld.matrix;
    // The unit x axis is turned onto y, then scaled by 3.
    expect_near(m.row(0), Vector3(0, 3, 0));
    expect_near(m.row(1), Vector3(-2, 0, 0));
    expect_near(m.row(2), Vector3(0, 0, 4));
    expect_near(shapes[0]->position, Vector3(1, 2, 13));
    // worldToUnit stays the inverse of unitToWorld.
    const Vector3 p0 = u.worldToUnit.transformPoint(u.unitToWorld.transformPoint({0.5f, -1, 2}));
    expect_near(p0, Vector3(0.5f, -1, 2));
}

TEST(UnitShapeBlock, PhaseOnlyInCosine) {
    SceneParse p;
    ASSERT_TRUE(p.parse("SCENE COSINE PHASE MUL 2 0.25 END_COSINE END_SCENE")) << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 1u);
    EXPECT_EQ(dynamic_cast<Cosine*>(shapes[0])->phase, 0.5f);
}

TEST(UnitShapeBlock, InterpolationInsideAShapeIsReadByLaterExpressions) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE SPHERE INTERPOLATION NAME up 0 4 1 4 END_INTERPOLATION "
                "TRANSLATE 0 up 0 END_SPHERE END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 1u);
    EXPECT_EQ(shapes[0]->position, Vector3(0, 4, 0));
}

TEST(PolynomialBlock, CoefficientsInTheOrderWritten) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE QUADRIC COEFFICIENTS 1 2 3 4 5 6 7 8 9 -1 TRANSLATE 0 1 0 "
                "END_QUADRIC CUBIC SCALE 2 2 2 COEFFICIENTS 10,9,8,7,6,5,4,3,2,SUB 0 1 "
                "MATERIAL DIFFUSE 1 0 0 END_MATERIAL END_CUBIC END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 2u);
    const Quadric* q = dynamic_cast<const Quadric*>(shapes[0]);
    const Cubic* c = dynamic_cast<const Cubic*>(shapes[1]);
    ASSERT_NE(q, nullptr);
    ASSERT_NE(c, nullptr);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(q->coefficients[i], static_cast<float>(i + 1));
        EXPECT_EQ(c->coefficients[i], static_cast<float>(10 - i));
    }
    EXPECT_EQ(q->coefficients[9], -1.0f);
    EXPECT_EQ(c->coefficients[9], -1.0f);
    EXPECT_EQ(q->position, Vector3(0, 1, 0));
    EXPECT_EQ(unit(c).unitToWorld.matrix.row(1), Vector3(0, 2, 0));
    EXPECT_EQ(c->material->diffuse, Vector3(1, 0, 0));
}

TEST(SorBlock, PointsTypeAndTransforms) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE SOR TYPE catmull 0.5 0  1.5,1  ADD 1 1, 2  0 3 TRANSLATE 0 -1 0 "
                "END_SOR SOR TYPE LINEAR 1 0 1 1 END_SOR END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 2u);
    const struct SOR* s = dynamic_cast<const struct SOR*>(shapes[0]);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->pointCount, 4);
    const float expected[4][2] = {{0.5f, 0}, {1.5f, 1}, {2, 2}, {0, 3}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(s->points[i].radius, expected[i][0]) << i;
        EXPECT_EQ(s->points[i].height, expected[i][1]) << i;
    }
    EXPECT_EQ(s->maxRadius, 2.0f);
    EXPECT_EQ(s->profileType, 1);
    EXPECT_EQ(s->position, Vector3(0, -1, 0));
    const struct SOR* straight = dynamic_cast<const struct SOR*>(shapes[1]);
    ASSERT_NE(straight, nullptr);
    EXPECT_EQ(straight->profileType, 0);
    EXPECT_EQ(straight->pointCount, 2);
}

std::string sor_with_points(int count) {
    std::string text = "SCENE SOR";
    for (int i = 0; i < count; ++i)
        text += " 1 " + std::to_string(i);
    return text + " END_SOR END_SCENE";
}

TEST(SorBlock, ThirtyTwoPointsFit) {
    SceneParse p;
    ASSERT_TRUE(p.parse(sor_with_points(32))) << p.error();
    EXPECT_EQ(dynamic_cast<const struct SOR*>(p.shapes()[0])->pointCount, 32);
}

TEST(SorBlock, ThirtyThirdPointIsRefusedNamingTheLimit) {
    for (bool build : {true, false}) {
        SceneParse p;
        const std::string text = sor_with_points(33);
        EXPECT_FALSE(p.parse(text, build));
        // Reported at the first word of the 33rd point: word 66 counted from
        // 0, behind SCENE, SOR and 32 pairs.
        size_t at = 0;
        for (int i = 0; i < 66; ++i)
            at = text.find(' ', at) + 1;
        EXPECT_EQ(p.error(), "Too many SOR points. Expected at most 32 at char " +
                                 std::to_string(at + 2) + " found: 1");
        EXPECT_EQ(p.message_count(), 1u);
    }
}

TEST(MeshBlock, TrianglesTakePositionsNormalsTexturesAndMaterial) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE MESH VERTEX_LIST 0 0 0 0 0 1 0.1 0.2  1 0 0 0 0 2 0.3 0.4 "
                "0 1 0 0 0 3 0.5 0.6 END_VERTEX_LIST MATERIAL DIFFUSE 0 1 0 END_MATERIAL "
                "VERTEX_LIST 0 0 1 1 0 0 0 0  1 0 1 1 0 0 0 0  0 1 1 1 0 0 0 0 "
                // Any corner number may be an expression, the first one too.
                "SUB 1 1 0 2 0 1 0 0 0  1 0 2 0 1 0 0 0  0 1 MUL 4 0.5 0 1 0 0 0 END_VERTEX_LIST "
                "END_MESH END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 3u);
    const Triangle* t = dynamic_cast<const Triangle*>(shapes[0]);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->A, Vector3(0, 0, 0));
    EXPECT_EQ(t->B, Vector3(1, 0, 0));
    EXPECT_EQ(t->C, Vector3(0, 1, 0));
    // Normals are made unit length.
    EXPECT_EQ(t->nB, Vector3(0, 0, 1));
    EXPECT_EQ(t->nC, Vector3(0, 0, 1));
    EXPECT_EQ(t->uA, 0.1f);
    EXPECT_EQ(t->vA, 0.2f);
    EXPECT_EQ(t->uB, 0.3f);
    EXPECT_EQ(t->vB, 0.4f);
    EXPECT_EQ(t->uC, 0.5f);
    EXPECT_EQ(t->vC, 0.6f);
    EXPECT_EQ(t->material, p.materials()[0]);
    EXPECT_EQ(shapes[1]->material, p.tc.parsed().current_material());
    EXPECT_EQ(shapes[2]->material->diffuse, Vector3(0, 1, 0));
    EXPECT_EQ(dynamic_cast<const Triangle*>(shapes[2])->C, Vector3(0, 1, 2));
}

TEST(MeshBlock, CheckOnlyParseReadsEveryVertexAndBuildsNothing) {
    SceneParse p;
    EXPECT_FALSE(
        p.check("SCENE MESH VERTEX_LIST 0 0 0 0 0 1 0 0  1 0 0 0 0 1 0 0 "
                "0 1 0 0 0 1 0 zero END_VERTEX_LIST END_MESH END_SCENE"));
    EXPECT_EQ(p.error(), error_at("Expected Float.", p.text, "zero"));
}

// A large mesh is read one triangle at a time, straight into the list.
TEST(MeshBlock, MillionTriangles) {
    const int count = 1000000;
    std::string text = "SCENE MESH VERTEX_LIST\n";
    const std::string triangle = "0 0 0 0 0 1 0 0 1 0 0 0 0 1 1 0 0 1 0 0 0 1 0 1\n";
    text.reserve(text.size() + triangle.size() * count + 40);
    for (int i = 0; i < count; ++i)
        text += triangle;
    text += "END_VERTEX_LIST END_MESH END_SCENE";
    SceneParse p;
    ASSERT_TRUE(p.parse(text)) << p.error();
    int n = 0;
    for (CShape* s = p.tc.parsed().scene->shapes.head; s != nullptr; s = nextOf(s))
        ++n;
    EXPECT_EQ(n, count);
    const Triangle* last = dynamic_cast<const Triangle*>(p.tc.parsed().scene->shapes.tail);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->C, Vector3(0, 1, 0));
    EXPECT_EQ(last->vC, 1.0f);
}

// A long vertex list as its plain-number path reads it: number words of every
// form, and now and then a comment, a brace or a word that ends a plain run.
// With `wrapped` every number is read as an expression instead (MUL x 1 is x,
// bit for bit), which the one-word-at-a-time path does. `at` gets the index of
// the separator behind each number word.
std::string long_vertex_list(int triangles, bool wrapped, std::vector<size_t>* at = nullptr) {
    const char* const words[] = {"-1.5e-3", "+2E+2", "3.",   ".5",     "-0",      "1e-45",
                                 "7",       "0.1",   "1e39", "-25",    "0.2",     "4e+00",
                                 "6E-1",    "0.935", "0.9",  "5.9464", "-0.9955", "0.1623"};
    const char* const seldom[] = {" ; 1 2 3\r\n", " [ 4 5 ] ", " { ", ",,"};
    std::string text = "SCENE FRAME ROTATE 0 0 1.5707964 TRANSLATE 0 0 5 MESH VERTEX_LIST\n";
    for (int t = 0; t < triangles; ++t) {
        for (int k = 0; k < 24; ++k) {
            const int n = t * 24 + k;
            std::string word = words[n % std::size(words)];
            if (n % 30011 == 5000) word = "1.5x";
            text += wrapped ? "MUL " + word + " 1" : word;
            if (at != nullptr) at->push_back(text.size());
            text += n % 40009 == 77 ? seldom[n % 4] : k == 23 ? "\n" : n % 3 ? " " : "\t";
        }
    }
    return text + "END_VERTEX_LIST END_MESH END_FRAME END_SCENE";
}

TEST(MeshBlock, PlainNumberRunsOnThreadsBuildWhatExpressionsBuild) {
    const int count = 6000;
    SceneParse plain;
    plain.tc.job().threads = 3;
    ASSERT_TRUE(plain.parse(long_vertex_list(count, false))) << plain.error();
    SceneParse wrapped;
    ASSERT_TRUE(wrapped.parse(long_vertex_list(count, true))) << wrapped.error();
    const auto a = plain.shapes();
    const auto b = wrapped.shapes();
    ASSERT_EQ(a.size(), static_cast<size_t>(count));
    ASSERT_EQ(b.size(), a.size());
    auto bits = [](const CShape* s) {
        const auto& t = dynamic_cast<const Triangle&>(*s);
        const Vector3 v[] = {t.A, t.B, t.C, t.nA, t.nB, t.nC};
        std::vector<uint32_t> out;
        for (const Vector3& c : v)
            out.insert(out.end(), {std::bit_cast<uint32_t>(c.x), std::bit_cast<uint32_t>(c.y),
                                   std::bit_cast<uint32_t>(c.z)});
        for (float f : {t.uA, t.vA, t.uB, t.vB, t.uC, t.vC})
            out.push_back(std::bit_cast<uint32_t>(f));
        return out;
    };
    for (size_t i = 0; i < a.size(); ++i)
        ASSERT_EQ(bits(a[i]), bits(b[i])) << "triangle " << i;
    SceneParse checked;
    checked.tc.job().threads = 3;
    EXPECT_TRUE(checked.check(long_vertex_list(count, false))) << checked.error();
}

TEST(MeshBlock, ErrorsDeepInALongListStandWhereTheScanFindsThem) {
    std::vector<size_t> at;
    const std::string list = long_vertex_list(6000, false, &at);
    for (const char* bad : {"zero", "--1"}) {
        std::string text = list;
        // Word 7 of triangle 4321: the first of its kind in the text.
        const size_t end = at[4321 * 24 + 6];
        size_t start = end;
        while (text[start - 1] != ' ' && text[start - 1] != '\t' && text[start - 1] != '\n')
            --start;
        text.replace(start, end - start, bad);
        for (bool build : {true, false}) {
            SceneParse p;
            p.tc.job().threads = 2;
            EXPECT_FALSE(p.parse(text, build));
            EXPECT_EQ(p.error(), error_at("Expected Float.", text, bad)) << bad;
        }
        // From an INCLUDE FILE, the word's line in the file is named.
        TempFolder folder;
        SceneParse p;
        EXPECT_FALSE(p.parse("INCLUDE FILE \"" + folder.write("list.gmk", text) + "\" END"));
        EXPECT_EQ(p.tc.parsed().parse_error_record.include_line,
                  1 + std::count(text.begin(), text.begin() + static_cast<long>(start), '\n'));
    }
    // The shape allowance ends the list at the triangle it has no room for,
    // behind that triangle's last number.
    SceneParse p;
    p.tc.job().threads = 2;
    p.tc.parsed().limits.shapes = 4000;
    EXPECT_FALSE(p.parse(list));
    const size_t behind = at[4001 * 24 - 1];
    size_t start = behind;
    while (list[start - 1] != ' ' && list[start - 1] != '\t' && list[start - 1] != '\n')
        --start;
    EXPECT_EQ(p.error(),
              message_at("Too many shapes. Expected at most 4000", static_cast<int>(behind) + 1,
                         list.substr(start, behind - start)));
}

// FILE in MESH: a building parse reads the model, a check-only parse only
// the name; each refusal names the file and says why.
TEST(MeshBlock, ModelFileTrianglesTakeTheBlocksMaterialAndTheFrame) {
    const std::string seeds = GMK_SOURCE_DIR "/fuzz/seeds/models/";
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE FRAME TRANSLATE 0 0 5 MESH MATERIAL DIFFUSE 0 1 0 END_MATERIAL "
                "FILE \"" +
                seeds +
                "cube.obj\" VERTEX_LIST 0 0 0 0 0 1 0 0  1 0 0 0 0 1 "
                "0 0  0 1 0 0 0 1 0 0 END_VERTEX_LIST FILE \"" +
                seeds + "triangle.stl\" END_MESH END_FRAME END_SCENE"))
        << p.error();
    std::vector<std::unique_ptr<Triangle>> made;
    const auto shapes = SceneParse::triangles_of(p.shapes(), made);
    ASSERT_EQ(shapes.size(), 14u);
    const auto* first = dynamic_cast<const Triangle*>(shapes[0]);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->C, Vector3(1, 1, 5));
    // The face's own normal, made unit length; no coordinates in the file.
    EXPECT_EQ(first->nA, Vector3(0, 0, -1));
    EXPECT_EQ(first->uA, 0.0f);
    EXPECT_EQ(first->uC, 1.0f);
    for (const CShape* s : shapes)
        EXPECT_EQ(s->material->diffuse, Vector3(0, 1, 0));
    EXPECT_EQ(dynamic_cast<const Triangle*>(shapes[13])->B, Vector3(1, 0, 5));
    EXPECT_EQ(p.tc.parsed().budget.model_triangles, 13);
    // A check-only parse opens no model file.
    SceneParse check;
    EXPECT_TRUE(check.check("SCENE MESH FILE \"/no/such/model.ply\" END_MESH END_SCENE"))
        << check.error();
}

// A large model is copied into its mesh in stretches, one a thread: with the
// file's normals (PLY) and with the faces' own (STL).
TEST(MeshBlock, LargeModelCopiedOnThreadsIsTheOneThreadMesh) {
    TempFolder folder;
    const ModelNumbers numbers = bumpy_grid(182);  // 66,248 triangles
    for (const std::string& name : {folder.write("grid.ply", binary_ply(numbers)),
                                    folder.write("grid.stl", binary_stl(numbers))}) {
        const std::string text = "SCENE FRAME ROTATE 10 20 30 TRANSLATE 0 1 5 MESH FILE \"" + name +
                                 "\" END_MESH END_FRAME END_SCENE";
        SceneParse one, three;
        one.tc.job().threads = 1;
        three.tc.job().threads = 3;
        ASSERT_TRUE(one.parse(text)) << one.error();
        ASSERT_TRUE(three.parse(text)) << three.error();
        const auto& a = dynamic_cast<const TriangleMesh&>(*one.shapes().at(0));
        const auto& b = dynamic_cast<const TriangleMesh&>(*three.shapes().at(0));
        ASSERT_EQ(a.faces.size(), numbers.size() / 24) << name;
        ASSERT_EQ(a.corners.size(), b.corners.size()) << name;
        ASSERT_EQ(a.faces.size(), b.faces.size()) << name;
        EXPECT_EQ(std::memcmp(a.corners.data(), b.corners.data(),
                              a.corners.size() * sizeof(TriangleMesh::Corner)),
                  0)
            << name;
        EXPECT_EQ(std::memcmp(a.faces.data(), b.faces.data(),
                              a.faces.size() * sizeof(TriangleMesh::Face)),
                  0)
            << name;
    }
}

TEST(MeshBlock, ModelFileErrorsStandAtTheFileName) {
    TempFolder folder;
    const std::string seeds = GMK_SOURCE_DIR "/fuzz/seeds/models/";
    folder.write("notes.obj", "this is no model\n");
    folder.write("nan.stl", std::string(80, ' ') + std::string("\1\0\0\0", 4) +
                                std::string(12, '\0') + std::string("\0\0\xc0\x7f", 4) +
                                std::string(34, '\0'));
    const std::string many = "Could not load model file: too many triangles. Expected at most 12";
    const struct {
        std::string name, message;
    } cases[] = {
        {folder.file("missing.obj"), "Could not load model file: no such file"},
        {"/", "Could not load model file: no such file"},
        {seeds + "../documents", "Could not load model file: no such file"},
        {folder.write("scene.gmk", "SCENE END_SCENE"),
         "Could not load model file: the name does not end in .obj, .ply, .stl, .gltf or .glb"},
        {folder.file("nan.stl"),
         "Could not load model file: the model has a coordinate that is not a finite number"},
        {folder.file("notes.obj"), "Could not load model file: the model has no triangles"},
        {seeds + "cube.obj\" FILE \"" + seeds + "triangle.glb", many},
    };
    for (const auto& c : cases) {
        const std::string text = "SCENE MESH FILE \"" + c.name + "\" END_MESH END_SCENE";
        SceneParse p;
        p.tc.parsed().limits.model_triangles = 12;
        EXPECT_FALSE(p.parse(text));
        // The error stands just behind the name's closing quote.
        const size_t quote = text.rfind("\" END_MESH");
        const std::string word = c.name.substr(c.name.rfind('"') + 1);
        EXPECT_EQ(p.error(), message_at(c.message, static_cast<int>(quote) + 1, word));
        EXPECT_EQ(p.message_count(), 1u);
    }
}

class ShapeErrorTest : public ErrorCaseTest {};

TEST_P(ShapeErrorTest, ReportsMessageAtWord) { expect_reported(); }

const char* const BadUnit = "Bad Unit Shape. Expected ROTATE,SCALE,TRANSLATE or MATERIAL";
const char* const BadQuadric =
    "Bad Quadric. Expected COEFFICIENTS,ROTATE,SCALE,TRANSLATE or MATERIAL";
const char* const BadCubic = "Bad Cubic. Expected COEFFICIENTS,ROTATE,SCALE,TRANSLATE or MATERIAL";
const char* const BadMesh = "Bad Mesh. Expected MATERIAL or VERTEX_LIST";

const ErrorCase shape_errors[] = {
    {"SCENE SPHERE PHASE 1 END_SPHERE END_SCENE", BadUnit, "PHASE", nullptr},
    {"SCENE SPHERE END_QUADRIC END_SCENE", BadUnit, "END_QUADRIC", nullptr},
    {"SCENE SPHERE COEFFICIENTS 1 END_SPHERE", BadUnit, "COEFFICIENTS", nullptr},
    {"SCENE CYLINDER TRANSLATE 1 2 3", "Expected END of Unit Shape", nullptr, "3"},
    {"SCENE CONE TRANSLATE 1 2 END_CONE END_SCENE", "Expected Float.", "END_CONE", nullptr},
    {"SCENE QUADRIC PHASE 1 END_QUADRIC END_SCENE", BadQuadric, "PHASE", nullptr},
    {"SCENE QUADRIC END_CUBIC END_SCENE", BadQuadric, "END_CUBIC", nullptr},
    {"SCENE QUADRIC COEFFICIENTS 1 2 3 4 5 6 7 8 9 END_QUADRIC END_SCENE", "Expected Float.",
     "END_QUADRIC", nullptr},
    {"SCENE QUADRIC", "Expected END_QUADRIC.", nullptr, "QUADRIC"},
    {"SCENE CUBIC END_SOR END_SCENE", BadCubic, "END_SOR", nullptr},
    {"SCENE CUBIC SCALE 1 1 1 ", "Expected END_CUBIC.", nullptr, "1"},
    {"SCENE SOR 0 0 1 1 END END_SOR END_SCENE", "Expected Float.", "END", nullptr},
    {"SCENE SOR 0 0 1 END_SOR END_SCENE", "Expected Float.", "END_SOR", nullptr},
    {"SCENE SOR 0 0 1 1", "Expected END_SOR.", nullptr, "1"},
    {"SCENE MESH END END_MESH END_SCENE", BadMesh, "END", nullptr},
    {"SCENE MESH TRANSLATE 1 1 1 END_MESH END_SCENE", BadMesh, "TRANSLATE", nullptr},
    {"SCENE MESH MATERIAL END_MATERIAL", "Expected END_MESH.", nullptr, "END_MATERIAL"},
    {"SCENE MESH VERTEX_LIST 0 0 0 0 0 1 0 0  1 0 0 0 0 1 0 0  0 1 0 0 0 1 0 0",
     "Expected END_VERTEX_LIST.", nullptr, "0"},
    {"SCENE MESH VERTEX_LIST 0 0 0 0 0 1 0 0  1 0 0 0 0 1 0 0  0 1 0 0 0 1 0 0 "
     "0 0 1 0 0 1 0 0 END_VERTEX_LIST END_MESH END_SCENE",
     "Expected Float.", "END_VERTEX_LIST", nullptr},
    {"SCENE MESH VERTEX_LIST ADD 1 zero 0 0 0 0 1 0 0 END_VERTEX_LIST END_MESH END_SCENE",
     "Expected Float.", "zero", nullptr},
};

INSTANTIATE_TEST_SUITE_P(BothParses, ShapeErrorTest,
                         ::testing::Combine(::testing::ValuesIn(shape_errors), ::testing::Bool()));

}  // namespace
