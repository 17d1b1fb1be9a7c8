#include <gtest/gtest.h>

#include <cmath>

#include "core/frame.h"
#include "core/record_list.h"

namespace {

void expectRow(const Matrix4& m, int r, float x, float y, float z, float eps = 1e-6f) {
    EXPECT_NEAR(m.m[r][0], x, eps) << "row " << r;
    EXPECT_NEAR(m.m[r][1], y, eps) << "row " << r;
    EXPECT_NEAR(m.m[r][2], z, eps) << "row " << r;
}

TEST(Vector3Test, NormalizedOfZeroIsUp) {
    Vector3 v = Vector3{0, 0, 0}.normalized();
    EXPECT_EQ(v, Vector3(0, 1, 0));
    Vector3 w = Vector3{3, 0, 4}.normalized();
    EXPECT_FLOAT_EQ(w.x, 0.6f);
    EXPECT_FLOAT_EQ(w.y, 0.0f);
    EXPECT_FLOAT_EQ(w.z, 0.8f);
}

TEST(Vector3Test, NormalizeInPlaceLeavesZeroAndNaN) {
    Vector3 z{0, 0, 0};
    z.normalize();
    EXPECT_EQ(z, Vector3(0, 0, 0));
    Vector3 n{NAN, 1, 0};
    n.normalize();
    EXPECT_TRUE(std::isnan(n.x));
    EXPECT_EQ(n.y, 1.0f);
}

TEST(Vector3Test, CrossFollowsRightHand) {
    EXPECT_EQ(Vector3(1, 0, 0).cross(Vector3(0, 1, 0)), Vector3(0, 0, 1));
    EXPECT_EQ(Vector3(0, 1, 0).cross(Vector3(0, 0, 1)), Vector3(1, 0, 0));
}

TEST(Matrix4Test, RotationZeroIsIdentityAndQuarterTurnAboutZ) {
    Matrix4 m = Matrix4::identity();
    m.scaleDiagonal(2, 2, 2);
    m.setRotation(0, 0, 0);
    expectRow(m, 0, 1, 0, 0);
    expectRow(m, 1, 0, 1, 0);
    expectRow(m, 2, 0, 0, 1);
    m.setRotation(0, 0, static_cast<float>(M_PI / 2));
    expectRow(m, 0, 0, 1, 0);
}

TEST(Matrix4Test, RotationDiscardsScaleKeepsTranslation) {
    Matrix4 m = Matrix4::identity();
    m.scaleDiagonal(2, 3, 4);
    m.addTranslation(5, 6, 7);
    m.setRotation(0.3f, 0, 0);
    EXPECT_NEAR(m.row(0).length(), 1.0f, 1e-6f);
    EXPECT_NEAR(m.row(1).length(), 1.0f, 1e-6f);
    expectRow(m, 3, 5, 6, 7);
}

TEST(Matrix4Test, ComposeTranslationThenScale) {
    Matrix4 t = Matrix4::identity();
    t.addTranslation(1, 0, 0);
    Matrix4 s = Matrix4::identity();
    s.scaleDiagonal(2, 2, 2);
    Matrix4 id = Matrix4::identity();
    Matrix4 copy = t;
    copy.compose(id);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(copy.m[r][c], t.m[r][c]);
    t.compose(s);
    EXPECT_EQ(t.transformPoint({0, 0, 0}), Vector3(2, 0, 0));
}

TEST(Matrix4Test, PointUsesRowThreeDirectionIgnoresIt) {
    Matrix4 m = Matrix4::identity();
    m.setRotation(0.1f, 0.2f, 0.3f);
    m.addTranslation(4, 5, 6);
    EXPECT_EQ(m.transformPoint({0, 0, 0}), Vector3(4, 5, 6));
    Vector3 d = m.transformDirection({1, 0, 0});
    EXPECT_EQ(d, m.row(0));
}

TEST(Matrix4Test, InverseOfIdentityAndTranslation) {
    Matrix4 m = Matrix4::identity();
    m.invert();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(m.m[r][c], r == c ? 1.0f : 0.0f);
    Matrix4 t = Matrix4::identity();
    t.addTranslation(1, 2, 3);
    t.invert();
    expectRow(t, 3, -1, -2, -3);
    expectRow(t, 0, 1, 0, 0);
}

TEST(Matrix4Test, InverseUndoesGeneralAffine) {
    Matrix4 m = Matrix4::identity();
    m.setRotation(0.4f, -1.1f, 2.0f);
    m.scaleDiagonal(2, 0.5f, 3);
    m.addTranslation(-3, 1, 7);
    Matrix4 inv = m;
    inv.invert();
    Vector3 p{0.3f, -2.0f, 5.0f};
    Vector3 back = inv.transformPoint(m.transformPoint(p));
    EXPECT_NEAR(back.x, p.x, 1e-4f);
    EXPECT_NEAR(back.y, p.y, 1e-4f);
    EXPECT_NEAR(back.z, p.z, 1e-4f);
    Matrix4 s = Matrix4::identity();
    s.scaleDiagonal(2, 0.5f, 3);
    EXPECT_FLOAT_EQ(s.determinant(), 3.0f);
}

TEST(Matrix4Test, SingularInverseIsNotFinite) {
    Matrix4 m = Matrix4::identity();
    m.scaleDiagonal(0, 1, 1);
    m.invert();
    EXPECT_FALSE(std::isfinite(m.m[0][0]));
}

TEST(Matrix4Test, LookAtFromAboveAndBehind) {
    Matrix4 m = Matrix4::identity();
    m.addTranslation(0, 1, 4);
    m.lookAt({0, 0, 0});
    const float s = std::sqrt(17.0f);
    expectRow(m, 2, 0, -1 / s, -4 / s);
    expectRow(m, 0, 1, 0, 0);
}

TEST(Matrix4Test, OrientAlongDefaultAxis) {
    Matrix4 m = Matrix4::identity();
    m.orientAlong({0, 0, 1});
    expectRow(m, 0, 1, 0, 0);
    expectRow(m, 1, 0, 1, 0);
    expectRow(m, 2, 0, 0, -1);
}

void expectOrthonormal(const Matrix4& m) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(m.row(i).length(), 1.0f, 1e-5f) << i;
        for (int j = i + 1; j < 3; ++j)
            EXPECT_NEAR(m.row(i).dot(m.row(j)), 0.0f, 1e-5f) << i << j;
    }
}

TEST(Matrix4Test, OrientAlongEqualToUpTakesSecondBranch) {
    Matrix4 m = Matrix4::identity();
    m.orientAlong({0, -1, 0});  // forward = (0, 1, 0) = old up
    expectRow(m, 2, 0, 1, 0);
    expectOrthonormal(m);
}

TEST(Matrix4Test, OrientAlongOppositeUpFallsBackToOldRight) {
    Matrix4 m = Matrix4::identity();
    m.addTranslation(0, 5, 0);
    m.lookAt({0, 0, 0});  // straight down the old up axis
    expectRow(m, 2, 0, -1, 0);
    expectRow(m, 0, 1, 0, 0);
    expectOrthonormal(m);
}

TEST(Matrix4Test, ScaleDiagonalTouchesOnlyDiagonal) {
    Matrix4 m = Matrix4::identity();
    m.scaleDiagonal(2, 3, 4);
    expectRow(m, 0, 2, 0, 0);
    expectRow(m, 1, 0, 3, 0);
    expectRow(m, 2, 0, 0, 4);
    Matrix4 r = Matrix4::identity();
    r.setRotation(0.5f, 0.2f, 0.1f);
    Matrix4 before = r;
    r.scaleDiagonal(2, 3, 4);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float expect = before.m[i][j];
            if (i == j && i < 3) expect *= (i == 0 ? 2.0f : i == 1 ? 3.0f : 4.0f);
            EXPECT_EQ(r.m[i][j], expect);
        }
}

struct Rec {
    Rec* previous = nullptr;
    Rec* next = nullptr;
    int id = 0;
    static int live;
    Rec() { ++live; }
    ~Rec() { --live; }
};
int Rec::live = 0;

TEST(RecordListTest, RemoveNodeRelinksBothEnds) {
    {
        RecordList<Rec> list;
        EXPECT_FALSE(list.removeNode(nullptr));
        Rec* a = new Rec;
        Rec* b = new Rec;
        Rec* c = new Rec;
        list.append(a);
        list.append(b);
        list.append(c);
        EXPECT_TRUE(list.removeNode(b));
        EXPECT_EQ(a->next, c);
        EXPECT_EQ(c->previous, a);
        EXPECT_TRUE(list.removeNode(c));
        EXPECT_EQ(list.tail, a);
        EXPECT_TRUE(list.removeNode(a));
        EXPECT_EQ(list.head, nullptr);
        EXPECT_EQ(list.tail, nullptr);
        Rec* orphan = new Rec;
        EXPECT_FALSE(list.removeNode(orphan));  // empty list
        delete orphan;
        list.append(new Rec);
        list.append(new Rec);
        list.deleteAll();
        EXPECT_EQ(list.head, nullptr);
    }
    EXPECT_EQ(Rec::live, 0);
}

TEST(RecordListTest, FramesUseParentChildLinks) {
    RecordList<Frame, &Frame::parent, &Frame::child> frames;
    Frame* a = new Frame;
    Frame* b = new Frame;
    frames.append(a);
    frames.append(b);
    EXPECT_EQ(a->child, b);
    EXPECT_EQ(b->parent, a);
    frames.removeNode(b);
    EXPECT_EQ(frames.tail, a);
    EXPECT_EQ(a->child, nullptr);
}

}  // namespace
