#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "shapes/csg.h"
#include "shapes/everywhere.h"
#include "tests/support/hit_checks.h"
#include "tests/support/test_ball.h"

namespace {

// Reports a scripted span along any ray. Each side is tagged with the
// shape's tag so that a test can tell whose side the combined hit holds:
// entry colour (tag, 0, 0) and normal (tag, 0, -1); exit colour (tag, 1, 0)
// and normal (tag, 0, 1). A one-sided span leaves the exit fields alone.
struct SpanShape : CShape {
    int kind, count;
    float d0, d1, tag;
    int calls = 0;
    int* deletions = nullptr;

    SpanShape(int kind_, int count_, float d0_, float d1_, float tag_)
        : kind(kind_), count(count_), d0(d0_), d1(d1_), tag(tag_) {}
    ~SpanShape() override {
        if (deletions != nullptr) ++*deletions;
    }
    void intersect(Hit& hit, const Ray& ray) override {
        ++calls;
        hit.entryKind = 0;
        if (hit.skipShape == this || kind == 0) return;
        hit.entryKind = kind;
        hit.boundaryCount = count;
        hit.shape = this;
        hit.entryDistance = d0;
        hit.entryPoint = ray.origin + ray.direction * d0;
        hit.entryNormal = {tag, 0, -1};
        hit.entryColour = {tag, 0, 0};
        if (count < 2) return;
        hit.exitDistance = d1;
        hit.exitPoint = ray.origin + ray.direction * d1;
        hit.exitNormal = {tag, 0, 1};
        hit.exitColour = {tag, 1, 0};
    }
};

enum class Op { Union, Intersection, Difference };

std::unique_ptr<CSGShape> makeCsg(Op op, CShape* left, CShape* right) {
    std::unique_ptr<CSGShape> csg;
    switch (op) {
        case Op::Union:
            csg = std::make_unique<CSGUnion>();
            break;
        case Op::Intersection:
            csg = std::make_unique<CSGIntersection>();
            break;
        case Op::Difference:
            csg = std::make_unique<CSGDifference>();
            break;
    }
    csg->left = left;
    csg->right = right;
    return csg;
}

// Where a side of the combined span comes from.
enum class Side {
    LeftEntry,
    LeftExit,
    RightEntry,
    RightExit,
    RightExitReversed,
    RightEntryReversed
};

struct Span {
    int kind, count;
    float d0, d1;
};

struct CsgCase {
    const char* name;
    Op op;
    Span left, right;
    int kind;  // 0: no hit
    float entry;
    Side entrySide;
    float exit;
    Side exitSide;  // ignored for one-sided results
    int count;
};

constexpr Span kMiss{0, 0, 0, 0};
constexpr Op Uni = Op::Union, Int = Op::Intersection, Dif = Op::Difference;
constexpr Side E = Side::LeftEntry, X = Side::LeftExit, RE = Side::RightEntry, RX = Side::RightExit,
               RXR = Side::RightExitReversed, RER = Side::RightEntryReversed;
constexpr float L = 1.0f, R = 2.0f;  // the operands' tags

// Columns: name, operator, left span, right span (kind, count, entry, exit);
// then the expected kind, entry distance and side, exit distance and side,
// and count.
// clang-format off
const CsgCase kCsgCases[] = {
    // Union: from the nearer entry to the farther exit.
    {"UnionLeftMissesGivesRight", Uni, kMiss, {1, 2, 3, 5}, 1, 3, RE, 5, RX, 2},
    {"UnionBothMiss", Uni, kMiss, kMiss, 0, 0, E, 0, X, 0},
    {"UnionRightMissesKeepsLeft", Uni, {1, 2, 2, 4}, kMiss, 1, 2, E, 4, X, 2},
    {"UnionNearerRightEntry", Uni, {1, 2, 3, 6}, {1, 2, 2, 5}, 1, 2, RE, 6, X, 2},
    {"UnionFartherRightExit", Uni, {1, 2, 2, 4}, {1, 2, 3, 6}, 1, 2, E, 6, RX, 2},
    {"UnionDisjointSpansMerge", Uni, {1, 2, 1, 2}, {1, 2, 5, 6}, 1, 1, E, 6, RX, 2},
    {"UnionOneSidedRightGivesNoExit", Uni, {1, 2, 2, 4}, {2, 1, 1, 0}, 1, 1, RE, 4, X, 2},
    {"UnionTiesKeepLeft", Uni, {1, 2, 2, 4}, {1, 2, 2, 4}, 1, 2, E, 4, X, 2},
    {"UnionKeepsLeftKind", Uni, {2, 2, 0, 3}, {1, 2, 1, 5}, 2, 0, E, 5, RX, 2},
    {"UnionKeepsLeftCount", Uni, {2, 1, 3, 0}, {1, 2, 1, 5}, 2, 1, RE, 0, X, 1},
    // Intersection: where both spans overlap.
    {"IntersectionLeftMisses", Int, kMiss, {1, 2, 1, 5}, 0, 0, E, 0, X, 0},
    {"IntersectionOneSidedLeftStands", Int, {2, 1, 3, 0}, kMiss, 2, 3, E, 0, X, 1},
    {"IntersectionRightMisses", Int, {1, 2, 1, 5}, kMiss, 0, 0, E, 0, X, 0},
    {"IntersectionOneSidedRightMisses", Int, {1, 2, 1, 5}, {2, 1, 2, 0}, 0, 0, E, 0, X, 0},
    {"IntersectionOverlap", Int, {1, 2, 2, 6}, {1, 2, 3, 8}, 1, 3, RE, 6, X, 2},
    {"IntersectionRightInside", Int, {1, 2, 2, 8}, {1, 2, 3, 5}, 1, 3, RE, 5, RX, 2},
    {"IntersectionLeftInside", Int, {1, 2, 3, 5}, {1, 2, 2, 8}, 1, 3, E, 5, X, 2},
    {"IntersectionTiesKeepLeft", Int, {1, 2, 3, 5}, {1, 2, 3, 5}, 1, 3, E, 5, X, 2},
    {"IntersectionDisjoint", Int, {1, 2, 1, 2}, {1, 2, 3, 4}, 0, 0, E, 0, X, 0},
    {"IntersectionTouching", Int, {1, 2, 1, 3}, {1, 2, 3, 5}, 0, 0, E, 0, X, 0},
    {"IntersectionKeepsLeftKind", Int, {2, 2, 0, 5}, {1, 2, 2, 3}, 2, 2, RE, 3, RX, 2},
    // Difference: the left span with the right one cut away.
    {"DifferenceLeftMisses", Dif, kMiss, {1, 2, 1, 5}, 0, 0, E, 0, X, 0},
    {"DifferenceOneSidedLeftStands", Dif, {2, 1, 3, 0}, {1, 2, 1, 5}, 2, 3, E, 0, X, 1},
    {"DifferenceRightMisses", Dif, {1, 2, 2, 4}, kMiss, 1, 2, E, 4, X, 2},
    {"DifferenceOneSidedRightCutsNothing", Dif, {1, 2, 2, 4}, {2, 1, 1, 0}, 1, 2, E, 4, X, 2},
    {"DifferenceCutEndsWhereSpanStarts", Dif, {1, 2, 4, 6}, {1, 2, 1, 4}, 1, 4, E, 6, X, 2},
    {"DifferenceCutStartsWhereSpanEnds", Dif, {1, 2, 1, 3}, {1, 2, 3, 5}, 1, 1, E, 3, X, 2},
    {"DifferenceCutCoversAll", Dif, {1, 2, 3, 4}, {1, 2, 2, 5}, 0, 0, E, 0, X, 0},
    {"DifferenceCutCoversStart", Dif, {1, 2, 3, 6}, {1, 2, 2, 4}, 1, 4, RXR, 6, X, 2},
    {"DifferenceCutSharesStart", Dif, {1, 2, 2, 6}, {1, 2, 2, 4}, 1, 4, RXR, 6, X, 2},
    {"DifferenceCutInsideLeavesSpan", Dif, {1, 2, 2, 8}, {1, 2, 3, 5}, 1, 2, E, 8, X, 2},
    {"DifferenceCutSharesEndLeavesSpan", Dif, {1, 2, 2, 5}, {1, 2, 3, 5}, 1, 2, E, 5, X, 2},
    {"DifferenceCutCoversEnd", Dif, {1, 2, 2, 5}, {1, 2, 3, 7}, 1, 2, E, 3, RER, 2},
    {"DifferenceInsideKindSurvivesNewEntry", Dif, {2, 2, 0, 6}, {2, 2, 0, 3}, 2, 3, RXR, 6, X, 2},
    // Both entered from inside and the cut reaches farther: nothing is left
    // (rather than an entry beyond the exit).
    {"DifferenceSharedStartCutReachesFarther", Dif, {2, 2, 0, 3}, {2, 2, 0, 5}, 0, 0, E, 0, X, 0},
};
// clang-format on

class CsgSpanRules : public ::testing::TestWithParam<CsgCase> {};

void expectSide(const Hit& hit, bool entry, Side side, float distance, const Ray& ray,
                const char* name) {
    const Vector3 point = ray.origin + ray.direction * distance;
    const Vector3& p = entry ? hit.entryPoint : hit.exitPoint;
    const Vector3& n = entry ? hit.entryNormal : hit.exitNormal;
    const Vector3& c = entry ? hit.entryColour : hit.exitColour;
    EXPECT_EQ(entry ? hit.entryDistance : hit.exitDistance, distance) << name;
    EXPECT_EQ(p, point) << name;
    switch (side) {
        case Side::LeftEntry:
            EXPECT_EQ(n, Vector3(L, 0, -1)) << name;
            EXPECT_EQ(c, Vector3(L, 0, 0)) << name;
            break;
        case Side::LeftExit:
            EXPECT_EQ(n, Vector3(L, 0, 1)) << name;
            EXPECT_EQ(c, Vector3(L, 1, 0)) << name;
            break;
        case Side::RightEntry:
            EXPECT_EQ(n, Vector3(R, 0, -1)) << name;
            EXPECT_EQ(c, Vector3(R, 0, 0)) << name;
            break;
        case Side::RightExit:
            EXPECT_EQ(n, Vector3(R, 0, 1)) << name;
            EXPECT_EQ(c, Vector3(R, 1, 0)) << name;
            break;
        case Side::RightExitReversed:
            EXPECT_EQ(n, Vector3(-R, 0, -1)) << name;
            EXPECT_EQ(c, Vector3(R, 1, 0)) << name;
            break;
        case Side::RightEntryReversed:
            EXPECT_EQ(n, Vector3(-R, 0, 1)) << name;
            EXPECT_EQ(c, Vector3(R, 0, 0)) << name;
            break;
    }
}

TEST_P(CsgSpanRules, CombinedSpan) {
    const CsgCase& c = GetParam();
    auto* left = new SpanShape(c.left.kind, c.left.count, c.left.d0, c.left.d1, L);
    auto* right = new SpanShape(c.right.kind, c.right.count, c.right.d0, c.right.d1, R);
    auto csg = makeCsg(c.op, left, right);
    const Ray ray{{1, 2, 3}, {0.5f, 0, 0}};
    const Hit hit = hit_for(*csg, ray);
    EXPECT_LE(left->calls, 1);
    EXPECT_LE(right->calls, 1);
    ASSERT_EQ(hit.entryKind, c.kind);
    if (c.kind == 0) return;
    EXPECT_EQ(hit.boundaryCount, c.count);
    // The combined hit keeps the shape of whichever operand gave the kind.
    EXPECT_EQ(hit.shape, c.left.kind != 0 ? static_cast<CShape*>(left) : right);
    expectSide(hit, true, c.entrySide, c.entry, ray, c.name);
    if (c.count == 2) expectSide(hit, false, c.exitSide, c.exit, ray, c.name);
}

INSTANTIATE_TEST_SUITE_P(Rules, CsgSpanRules, ::testing::ValuesIn(kCsgCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Csg, RightOperandSeesTheCallersSkipShape) {
    auto* left = new SpanShape(1, 2, 2, 4, L);
    auto* right = new SpanShape(1, 2, 1, 6, R);
    CSGUnion u;
    u.left = left;
    u.right = right;
    const Ray ray{{0, 0, 0}, {1, 0, 0}};
    Hit hit = hit_for(u, ray, right);
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_EQ(hit.entryDistance, 2.0f);
    EXPECT_EQ(hit.exitDistance, 4.0f);
    hit = hit_for(u, ray, left);
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_EQ(hit.shape, right);
    EXPECT_EQ(hit.entryDistance, 1.0f);
}

const Ray kAlongX{{-10, 0, 0}, {1, 0, 0}};

TEST(Csg, UnionOfTwoSeparateSpheres) {
    CSGUnion u;
    auto* left = new TestBall({-3, 0, 0}, 1, L);
    u.left = left;
    u.right = new TestBall({3, 0, 0}, 1, R);
    const Hit hit = hit_for(u, kAlongX);
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_EQ(hit.shape, left);
    EXPECT_FLOAT_EQ(hit.entryDistance, 6.0f);
    EXPECT_FLOAT_EQ(hit.exitDistance, 14.0f);
    EXPECT_EQ(hit.entryColour, Vector3(L, L, L));
    EXPECT_EQ(hit.exitColour, Vector3(R, R, R));
    EXPECT_EQ(hit.entryNormal, Vector3(-1, 0, 0));
    EXPECT_EQ(hit.exitNormal, Vector3(1, 0, 0));
}

TEST(Csg, IntersectionOfOverlappingAndOfSeparateSpheres) {
    CSGIntersection lens;
    lens.left = new TestBall({-0.5f, 0, 0}, 1, L);
    lens.right = new TestBall({0.5f, 0, 0}, 1, R);
    const Hit hit = hit_for(lens, kAlongX);
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_FLOAT_EQ(hit.entryPoint.x, -0.5f);
    EXPECT_EQ(hit.entryColour, Vector3(R, R, R));
    EXPECT_FLOAT_EQ(hit.exitPoint.x, 0.5f);
    EXPECT_EQ(hit.exitColour, Vector3(L, L, L));

    CSGIntersection apart;
    apart.left = new TestBall({-3, 0, 0}, 1, L);
    apart.right = new TestBall({3, 0, 0}, 1, R);
    EXPECT_EQ(hit_for(apart, kAlongX).entryKind, 0);
}

TEST(Csg, DifferenceOfConcentricAndOverlappingSpheres) {
    CSGDifference swallowed;
    swallowed.left = new TestBall({0, 0, 0}, 1, L);
    swallowed.right = new TestBall({0, 0, 0}, 2, R);
    EXPECT_EQ(hit_for(swallowed, kAlongX).entryKind, 0);

    CSGDifference hollow;
    hollow.left = new TestBall({0, 0, 0}, 2, L);
    hollow.right = new TestBall({0, 0, 0}, 1, R);
    Hit hit = hit_for(hollow, kAlongX);
    ASSERT_EQ(hit.entryKind, 1);  // the inner hole is not seen along the ray
    EXPECT_FLOAT_EQ(hit.entryDistance, 8.0f);
    EXPECT_FLOAT_EQ(hit.exitDistance, 12.0f);

    CSGDifference bitten;
    bitten.left = new TestBall({0, 0, 0}, 1, L);
    bitten.right = new TestBall({-1, 0, 0}, 1, R);
    hit = hit_for(bitten, kAlongX);
    ASSERT_EQ(hit.entryKind, 1);
    // The visible surface is the inside of the cut: its exit point, facing
    // back into the cut.
    EXPECT_FLOAT_EQ(hit.entryDistance, 10.0f);
    EXPECT_FLOAT_EQ(hit.entryPoint.x, 0.0f);
    EXPECT_EQ(hit.entryNormal, Vector3(-1, 0, 0));
    EXPECT_EQ(hit.entryColour, Vector3(R, R, R));
    EXPECT_FLOAT_EQ(hit.exitPoint.x, 1.0f);
}

TEST(Csg, EverywhereAsOperand) {
    Material m;
    m.diffuse = {0.5f, 0.5f, 0.5f};
    auto everywhere = [&] {
        auto* e = new Everywhere;
        e->material = &m;
        Frame far;
        far.addTranslation(100, 100, 100);  // its placement changes nothing
        e->setTransform(far);
        return e;
    };
    const Ray inside{{0, 0, 0}, {1, 0, 0}};

    CSGUnion cover;
    cover.left = new TestBall({0, 0, 0}, 1, L);
    cover.right = everywhere();
    Hit hit = hit_for(cover, kAlongX);
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_EQ(hit.entryDistance, 0.0f);
    EXPECT_EQ(hit.exitDistance, FarDistance);

    CSGDifference nothing;
    nothing.left = new TestBall({0, 0, 0}, 1, L);
    nothing.right = everywhere();
    EXPECT_EQ(hit_for(nothing, kAlongX).entryKind, 0);
    EXPECT_EQ(hit_for(nothing, inside).entryKind, 0);

    CSGDifference cavity;
    cavity.left = everywhere();
    cavity.right = new TestBall({0, 0, 0}, 1, R);
    hit = hit_for(cavity, kAlongX);
    ASSERT_EQ(hit.entryKind, 2);  // outside the ball: everything is solid here
    EXPECT_EQ(hit.entryDistance, 0.0f);
    hit = hit_for(cavity, inside);
    ASSERT_EQ(hit.entryKind, 2);
    EXPECT_FLOAT_EQ(hit.entryDistance, 1.0f);  // the wall of the cavity
    EXPECT_EQ(hit.entryNormal, Vector3(-1, 0, 0));

    CSGIntersection clipped;
    auto* ball = new TestBall({0, 0, 0}, 1, L);
    clipped.left = ball;
    clipped.right = everywhere();
    hit = hit_for(clipped, kAlongX);
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_EQ(hit.shape, ball);
    EXPECT_FLOAT_EQ(hit.entryDistance, 9.0f);
    EXPECT_FLOAT_EQ(hit.exitDistance, 11.0f);

    CSGIntersection clippedTheOtherWay;
    clippedTheOtherWay.left = everywhere();
    clippedTheOtherWay.right = new TestBall({0, 0, 0}, 1, R);
    hit = hit_for(clippedTheOtherWay, kAlongX);
    ASSERT_EQ(hit.entryKind, 2);  // the kind is the left operand's
    EXPECT_FLOAT_EQ(hit.entryDistance, 9.0f);
    EXPECT_FLOAT_EQ(hit.exitDistance, 11.0f);
}

TEST(Csg, NestedOperands) {
    // (big ball minus a ball covering its front) united with a ball beyond.
    auto* cut = new CSGDifference;
    cut->left = new TestBall({0, 0, 0}, 1, L);
    cut->right = new TestBall({-1, 0, 0}, 1, R);
    CSGUnion u;
    u.left = cut;
    u.right = new TestBall({4, 0, 0}, 1, 3);
    const Hit hit = hit_for(u, kAlongX);
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_FLOAT_EQ(hit.entryDistance, 10.0f);
    EXPECT_FLOAT_EQ(hit.exitDistance, 15.0f);
    EXPECT_EQ(hit.exitColour, Vector3(3, 3, 3));
}

TEST(Csg, OperandsAreDeletedWithTheirShape) {
    int deletions = 0;
    auto span = [&](float tag) {
        auto* s = new SpanShape(1, 2, 1, 2, tag);
        s->deletions = &deletions;
        return s;
    };
    {
        ShapeList list;
        auto* inner = new CSGDifference;
        inner->left = span(1);
        inner->right = span(2);
        auto* outer = new CSGIntersection;
        outer->left = inner;
        outer->right = span(3);
        auto* u = new CSGUnion;
        u->left = outer;
        u->right = span(4);
        list.append(u);
        // A block that failed before its operands were read leaves a CSG
        // shape without them on the list.
        list.append(new CSGUnion);
        list.deleteAll();
        EXPECT_EQ(deletions, 4);
    }
    EXPECT_EQ(deletions, 4);
}

TEST(CsgBounds, WhichOperandsGiveTheBox) {
    Bounds box;
    auto unbounded = [] { return new Everywhere; };
    auto ball = [](float x) { return new TestBall({x, 0, 0}, 1, 1); };

    auto u = makeCsg(Op::Union, ball(-3), ball(3));
    ASSERT_TRUE(u->worldBounds(box));
    EXPECT_LE(box.lo.x, -4.0f);
    EXPECT_GE(box.hi.x, 4.0f);
    EXPECT_FALSE(makeCsg(Op::Union, ball(0), unbounded())->worldBounds(box));
    EXPECT_FALSE(makeCsg(Op::Union, unbounded(), ball(0))->worldBounds(box));

    auto i = makeCsg(Op::Intersection, ball(-3), ball(3));
    ASSERT_TRUE(i->worldBounds(box));
    EXPECT_LE(box.lo.x, -4.0f);
    EXPECT_LE(box.hi.x, -2.0f + 0.01f);
    ASSERT_TRUE(makeCsg(Op::Intersection, ball(2), unbounded())->worldBounds(box));
    EXPECT_GE(box.lo.x, 1.0f - 0.01f);
    // A left operand without a box may return a one-sided span untouched.
    EXPECT_FALSE(makeCsg(Op::Intersection, unbounded(), ball(0))->worldBounds(box));

    auto d = makeCsg(Op::Difference, ball(-3), ball(3));
    ASSERT_TRUE(d->worldBounds(box));
    EXPECT_LE(box.hi.x, -2.0f + 0.01f);
    ASSERT_TRUE(makeCsg(Op::Difference, ball(5), unbounded())->worldBounds(box));
    EXPECT_FALSE(makeCsg(Op::Difference, unbounded(), ball(0))->worldBounds(box));
}

// Random rays at random pairs of balls under every operator and a nested
// one: every side a hit reports lies inside the box the CSG shape claims.
TEST(CsgBounds, HitsLieInsideTheBoxProperty) {
    std::mt19937 rng(4242);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    Material m;
    int sides = 0;
    for (int i = 0; i < 300; ++i) {
        auto ball = [&] {
            return new TestBall({2 * u(rng), 2 * u(rng), 2 * u(rng)}, 0.5f + std::fabs(u(rng)), 1);
        };
        const Op op = static_cast<Op>(i % 3);
        std::unique_ptr<CSGShape> csg;
        if (i % 7 == 0) {
            csg = makeCsg(op, makeCsg(Op::Difference, ball(), ball()).release(), ball());
        } else if (i % 11 == 0) {
            auto* e = new Everywhere;
            e->material = &m;
            csg = makeCsg(op == Op::Union ? Op::Intersection : op, ball(), e);
        } else {
            csg = makeCsg(op, ball(), ball());
        }
        Bounds box;
        ASSERT_TRUE(csg->worldBounds(box)) << i;
        auto inside = [&](const Vector3& p) {
            return box.lo.x <= p.x && p.x <= box.hi.x && box.lo.y <= p.y && p.y <= box.hi.y &&
                   box.lo.z <= p.z && p.z <= box.hi.z;
        };
        for (int r = 0; r < 50; ++r) {
            const Vector3 origin{6 * u(rng), 6 * u(rng), 6 * u(rng)};
            const Vector3 target{2 * u(rng), 2 * u(rng), 2 * u(rng)};
            const Hit hit = hit_for(*csg, Ray{origin, target - origin});
            if (hit.entryKind == 0) continue;
            EXPECT_TRUE(inside(hit.entryPoint)) << i << " " << r;
            ++sides;
            if (hit.boundaryCount == 2) {
                EXPECT_TRUE(inside(hit.exitPoint)) << i << " " << r;
                ++sides;
            }
        }
    }
    EXPECT_GT(sides, 3000);
}

}  // namespace
