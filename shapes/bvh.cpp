#include "shapes/bvh.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <exception>
#include <limits>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

#include "shapes/triangle.h"
#include "shapes/triangle_mesh.h"

// The ray as the box tests need it. Direction components too small to divide
// by count as parallel: over any distance a hit can be taken at, such a ray
// moves along that axis by far less than the boxes are padded.
struct BoxRay {
    alignas(16) float o[4];
    alignas(16) float inv[4];
    alignas(16) float d[4];  // the direction
    bool parallel[3] = {false, false, false};
    bool anyParallel;
    // Slack for the rounding of the box tests, in ray parameter units.
    float slack;
};

namespace {

// A float as the WebAssembly build's compiler must keep it: one 4-byte read
// of its own. That compiler turns a float read from memory and broadcast, or
// neighbouring floats read together, into one 8- or 16-byte read; when the
// floats were just written one by one, such a read waits until the writes
// have reached memory. Elsewhere the value as it is.
inline float readAlone(float x) {
#if defined(__wasm__)
    __asm__("" : "+r"(x));
#endif
    return x;
}

#if defined(__SSE2__)
// _mm_set1_ps of a float read alone.
inline __m128 broadcast(float x) { return _mm_set1_ps(readAlone(x)); }

// _mm_min_ps and _mm_max_ps: the first operand unless the second is smaller
// (larger), a NaN in either giving the second. WebAssembly's pmin and pmax
// with the operands swapped pick the same lane in one instruction, where the
// SSE emulation of the WebAssembly build compares and selects.
inline __m128 lanesMin(__m128 a, __m128 b) {
#if defined(__wasm_simd128__)
    return (__m128)wasm_f32x4_pmin((v128_t)b, (v128_t)a);
#else
    return _mm_min_ps(a, b);
#endif
}
inline __m128 lanesMax(__m128 a, __m128 b) {
#if defined(__wasm_simd128__)
    return (__m128)wasm_f32x4_pmax((v128_t)b, (v128_t)a);
#else
    return _mm_max_ps(a, b);
#endif
}
#endif

constexpr int kBins = 16;
// Lists this short are always one leaf; leaves up to kMaxLeaf are made when
// the surface-area heuristic finds no cheaper split.
constexpr uint32_t kMinSplit = 2;
constexpr uint32_t kMaxLeaf = 8;
// A node's box test against one shape's intersect.
constexpr float kNodeCost = 1.0f;
constexpr int kMaxDepth = 60;
// Halves smaller than this are not worth a thread of their own.
constexpr uint32_t kParallelMin = 4096;
// Ranges whose split search is shared between two threads.
constexpr uint32_t kParallelCutMin = 2 * kParallelMin;

[[maybe_unused]] int binIndex(float centre, float lo, float scale, int bins) {
    const int b = static_cast<int>((centre - lo) * scale);
    return std::clamp(b, 0, bins - 1);
}

// A box as the build grows it: plain floats, empty when lo > hi. Four lanes,
// the fourth unused, so that it grows by one wide min and max; the lanes
// take exactly the comparisons a lane-by-lane loop would.
struct Span {
    alignas(16) float lo[4] = {
        std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity(),
        std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity()};
    alignas(16) float hi[4] = {
        -std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()};

    // lo = l < lo ? l : lo and hi = h > hi ? h : hi in every lane.
    void growBy(const float* l, const float* h) {
#if defined(__SSE2__)
        _mm_store_ps(lo, _mm_min_ps(_mm_loadu_ps(l), _mm_load_ps(lo)));
        _mm_store_ps(hi, _mm_max_ps(_mm_loadu_ps(h), _mm_load_ps(hi)));
#else
        for (int a = 0; a < 4; ++a) {
            lo[a] = l[a] < lo[a] ? l[a] : lo[a];
            hi[a] = h[a] > hi[a] ? h[a] : hi[a];
        }
#endif
    }
    void grow(const Vector3& p) {
#if defined(__SSE2__)
        const __m128 xy = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(&p.x));
        const __m128 v = _mm_movelh_ps(xy, _mm_load_ss(&p.z));
        _mm_store_ps(lo, _mm_min_ps(v, _mm_load_ps(lo)));
        _mm_store_ps(hi, _mm_max_ps(v, _mm_load_ps(hi)));
#else
        const float v[4] = {p.x, p.y, p.z, p.z};
        growBy(v, v);
#endif
    }
    void grow(const Bounds& b) {
#if defined(__SSE2__)
        // Two loads within the box's six floats: lo.x lo.y lo.z hi.x, and
        // lo.z hi.x hi.y hi.z turned to hi.x hi.y hi.z hi.z.
        static_assert(sizeof(Bounds) == 6 * sizeof(float));
        const __m128 l = _mm_loadu_ps(&b.lo.x);
        const __m128 h = _mm_loadu_ps(&b.lo.z);
        _mm_store_ps(lo, _mm_min_ps(l, _mm_load_ps(lo)));
        _mm_store_ps(hi,
                     _mm_max_ps(_mm_shuffle_ps(h, h, _MM_SHUFFLE(3, 3, 2, 1)), _mm_load_ps(hi)));
#else
        const float l[4] = {b.lo.x, b.lo.y, b.lo.z, b.lo.z};
        const float h[4] = {b.hi.x, b.hi.y, b.hi.z, b.hi.z};
        growBy(l, h);
#endif
    }
    void grow(const Span& s) { growBy(s.lo, s.hi); }
    float area() const {
        if (!(lo[0] <= hi[0] && lo[1] <= hi[1] && lo[2] <= hi[2])) return 0.0f;
        const float dx = hi[0] - lo[0], dy = hi[1] - lo[1], dz = hi[2] - lo[2];
        return 2.0f * (dx * dy + dy * dz + dz * dx);
    }
    Bounds bounds() const {
        Bounds b;
        b.lo = {lo[0], lo[1], lo[2]};
        b.hi = {hi[0], hi[1], hi[2]};
        return b;
    }
};

float surfaceArea(const Bounds& b) {
    if (!b.valid()) return 0.0f;
    const float dx = b.hi.x - b.lo.x, dy = b.hi.y - b.lo.y, dz = b.hi.z - b.lo.z;
    return 2.0f * (dx * dy + dy * dz + dz * dx);
}

// The centre of a member's box, by which the build sorts it (worked out
// where it is needed rather than kept: a large mesh has millions).
Vector3 centreOf(const Bounds& p) {
    return {0.5f * (p.lo.x + p.hi.x), 0.5f * (p.lo.y + p.hi.y), 0.5f * (p.lo.z + p.hi.z)};
}

// Whether a triangle has area: the test of PackedTriangle::pack.
bool hasArea(const Vector3& a, const Vector3& b, const Vector3& c) {
    const Vector3 n = (b - a).cross(c - a);
    return n.dot(n) != 0.0f;
}

// Widens a box so that rounding in the shapes' own arithmetic can never put a
// reported hit just outside it.
Bounds padded(const Bounds& b) {
    Bounds out = b;
    const float ex = b.hi.x - b.lo.x, ey = b.hi.y - b.lo.y, ez = b.hi.z - b.lo.z;
    const float big = std::max({ex, ey, ez, std::fabs(b.lo.x), std::fabs(b.lo.y), std::fabs(b.lo.z),
                                std::fabs(b.hi.x), std::fabs(b.hi.y), std::fabs(b.hi.z)});
    const float pad = big * 1e-4f + 1e-5f;
    out.lo = {b.lo.x - pad, b.lo.y - pad, b.lo.z - pad};
    out.hi = {b.hi.x + pad, b.hi.y + pad, b.hi.z + pad};
    return out;
}

bool isFiniteBox(const Bounds& b) {
    return b.valid() && std::isfinite(b.lo.x) && std::isfinite(b.lo.y) && std::isfinite(b.lo.z) &&
           std::isfinite(b.hi.x) && std::isfinite(b.hi.y) && std::isfinite(b.hi.z);
}

#if defined(__SSE2__)
// The largest of the first three lanes, none of them NaN and the fourth 0.
inline float largestOf(__m128 v) {
    v = _mm_max_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1)));
    v = _mm_max_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 0, 3, 2)));
    return _mm_cvtss_f32(v);
}

// triangleBox of a mesh's triangle and then padded, in wide lanes (the
// fourth 0): each lane does the scalar code's operations in its order, and
// the largest of numbers none of which is NaN does not depend on the order.
// False where either would find the box not finite.
bool paddedTriangleBox(const Vector3& a, const Vector3& b, const Vector3& c, __m128& lo,
                       __m128& hi) {
    const __m128 A = _mm_setr_ps(a.x, a.y, a.z, 0.0f), B = _mm_setr_ps(b.x, b.y, b.z, 0.0f);
    const __m128 C = _mm_setr_ps(c.x, c.y, c.z, 0.0f);
    const __m128 inf = _mm_set1_ps(std::numeric_limits<float>::infinity());
    const __m128 magnitude =
        _mm_castsi128_ps(_mm_setr_epi32(0x7fffffff, 0x7fffffff, 0x7fffffff, 0));
    // Bounds::add of the three corners: a NaN coordinate is passed over, so
    // no lane is NaN.
    lo = _mm_min_ps(C, _mm_min_ps(B, _mm_min_ps(A, inf)));
    hi = _mm_max_ps(C, _mm_max_ps(B, _mm_max_ps(A, _mm_sub_ps(_mm_setzero_ps(), inf))));
    const float big = largestOf(_mm_max_ps(_mm_and_ps(lo, magnitude), _mm_and_ps(hi, magnitude)));
    const float pad = big * 1e-5f + 1e-6f;
    if (!std::isfinite(pad)) return false;
    lo = _mm_sub_ps(lo, _mm_set1_ps(pad));
    hi = _mm_add_ps(hi, _mm_set1_ps(pad));
    // isFiniteBox.
    const __m128 finite = _mm_and_ps(_mm_cmplt_ps(_mm_and_ps(lo, magnitude), inf),
                                     _mm_cmplt_ps(_mm_and_ps(hi, magnitude), inf));
    if ((_mm_movemask_ps(_mm_and_ps(finite, _mm_cmple_ps(lo, hi))) & 7) != 7) return false;
    // padded.
    const __m128 extent = _mm_and_ps(_mm_sub_ps(hi, lo), magnitude);
    const float bigger = largestOf(
        _mm_max_ps(extent, _mm_max_ps(_mm_and_ps(lo, magnitude), _mm_and_ps(hi, magnitude))));
    const float margin = bigger * 1e-4f + 1e-5f;
    lo = _mm_sub_ps(lo, _mm_set1_ps(margin));
    hi = _mm_add_ps(hi, _mm_set1_ps(margin));
    return true;
}
#endif

// The ray's origin and direction, component by component.
BoxRay boxRayOf(const float o[3], const float d[3]) {
    BoxRay r;
#if defined(__SSE2__)
    // The three axes at once, the fourth lane idle (a zero direction there
    // counts as parallel and is never looked at).
    const __m128 wo = _mm_setr_ps(o[0], o[1], o[2], 0.0f);
    const __m128 wd = _mm_setr_ps(d[0], d[1], d[2], 0.0f);
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 ad = _mm_and_ps(wd, magnitude);
    const __m128 ao = _mm_and_ps(wo, magnitude);
    const __m128 crossing = _mm_cmpge_ps(ad, _mm_set1_ps(1e-20f));
    _mm_store_ps(r.o, wo);
    _mm_store_ps(r.d, wd);
    _mm_store_ps(r.inv, _mm_and_ps(_mm_div_ps(_mm_set1_ps(1.0f), wd), crossing));
    const int crossingAxes = _mm_movemask_ps(crossing) & 7;
    r.anyParallel = crossingAxes != 7;
    // Only the searches of rays parallel to an axis look at these.
    if (r.anyParallel) {
        for (int a = 0; a < 3; ++a)
            r.parallel[a] = (crossingAxes & (1 << a)) == 0;
    }
    // Largest of the lanes (maximum does not depend on the order).
    __m128 b = lanesMax(ao, _mm_set1_ps(1.0f));
    __m128 l = ad;
    b = lanesMax(b, _mm_shuffle_ps(b, b, _MM_SHUFFLE(2, 3, 0, 1)));
    l = lanesMax(l, _mm_shuffle_ps(l, l, _MM_SHUFFLE(2, 3, 0, 1)));
    b = lanesMax(b, _mm_shuffle_ps(b, b, _MM_SHUFFLE(1, 0, 3, 2)));
    l = lanesMax(l, _mm_shuffle_ps(l, l, _MM_SHUFFLE(1, 0, 3, 2)));
    const float big = _mm_cvtss_f32(b);
    const float longest = _mm_cvtss_f32(l);
#else
    float big = 1.0f, longest = 0.0f;
    r.anyParallel = false;
    for (int a = 0; a < 3; ++a) {
        r.o[a] = o[a];
        r.d[a] = d[a];
        r.parallel[a] = !(std::fabs(d[a]) >= 1e-20f);
        r.anyParallel = r.anyParallel || r.parallel[a];
        r.inv[a] = r.parallel[a] ? 0.0f : 1.0f / d[a];
        big = std::max(big, std::fabs(o[a]));
        longest = std::max(longest, std::fabs(d[a]));
    }
    r.o[3] = r.inv[3] = r.d[3] = 0.0f;
#endif
    r.slack = longest > 0.0f ? 1e-5f * big / longest : 0.0f;
    return r;
}

// The span [tmin, tmax] of the ray's whole line inside one box, widened by
// the slack; false when the line misses the box.
bool boxSpan(const float lo[3], const float hi[3], const BoxRay& r, float& tmin, float& tmax) {
    float t0 = -std::numeric_limits<float>::infinity();
    float t1 = std::numeric_limits<float>::infinity();
    for (int a = 0; a < 3; ++a) {
        if (r.parallel[a]) {
            if (r.o[a] < lo[a] || r.o[a] > hi[a]) return false;
            continue;
        }
        const float u = (lo[a] - r.o[a]) * r.inv[a];
        const float v = (hi[a] - r.o[a]) * r.inv[a];
        t0 = std::max(t0, std::min(u, v));
        t1 = std::min(t1, std::max(u, v));
    }
    tmin = t0 - r.slack;
    tmax = t1 + r.slack;
    return tmin <= tmax;
}

// Every hit a bounded shape reports has its entry point in the shape's box
// and a point at or ahead of the origin there too, so a box whose span ends
// behind the origin, or starts past the best entry so far, holds nothing that
// could win. A box starting exactly at the best entry may still hold a tie
// that an earlier shape wins.
bool worthVisiting(bool met, float tmin, float tmax, float bestDistance) {
    return met && tmax >= 0.0f && tmin <= bestDistance;
}

}  // namespace

namespace {

// Runs work(from, to) over [0, count), the first half on a thread of its own
// when `threads` allows and the count is worth it.
template <class Work>
void inHalves(size_t count, int threads, Work work) {
    std::thread helper;
    std::exception_ptr failure;
    if (threads > 1 && count >= kParallelMin) {
        try {
            helper = std::thread([&] {
                try {
                    work(size_t{0}, count / 2);
                } catch (...) {
                    failure = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
        }
    }
    try {
        work(helper.joinable() ? count / 2 : 0, count);
    } catch (...) {
        if (helper.joinable()) helper.join();
        throw;
    }
    if (helper.joinable()) {
        helper.join();
        if (failure) std::rethrow_exception(failure);
    }
}

// Gives an array's memory back at once.
template <class Array>
void release(Array& a) {
    Array().swap(a);
}

}  // namespace

void ShapeBvh::build(const ShapeList& list, int threads) {
    nodes_.clear();
    flat_.clear();
    leaves_.clear();
    prims_.clear();
    packed_.reset();
    packedOnly_ = false;
    unbounded_.clear();
    inOrder_.clear();
    root_ = Empty;
    size_t members = 0;
    for (CShape* s = list.head; s != nullptr; s = nextOf(s))
        ++members;
    inOrder_.reserve(members);
    for (CShape* s = list.head; s != nullptr; s = nextOf(s))
        inOrder_.push_back(s);
    // The entries the hierarchy holds: each member, or each triangle of a
    // mesh. An entry's number is its place in that order, for ties.
    const size_t count = inOrder_.size();
    std::vector<const TriangleMesh*> meshOf(count, nullptr);
    std::vector<size_t> firstEntry(count + 1, 0);
    bool anyMesh = false;
    for (size_t i = 0; i < count; ++i) {
        meshOf[i] = dynamic_cast<const TriangleMesh*>(inOrder_[i]);
        anyMesh = anyMesh || meshOf[i] != nullptr;
        firstEntry[i + 1] = firstEntry[i] + (meshOf[i] != nullptr ? meshOf[i]->triangleCount() : 1);
    }
    const size_t entries = firstEntry[count];
    if (entries >= Empty) throw std::length_error("too many shapes for one hierarchy");
    // Every entry's padded box, the halves of a long list on two threads,
    // each half's extents joined afterwards (a minimum or a maximum does not
    // depend on the order). A mesh's triangle without area is never met and
    // takes no place. Nothing is read before the loop writes it.
    RefArray refs(entries);
    Span halves[2][2];
    size_t boundedHalves[2] = {0, 0};
    inHalves(entries, threads, [&](size_t from, size_t to) {
        const int half = from == 0 ? 0 : 1;
        Span& box = halves[half][0];
        Span& centres = halves[half][1];
        size_t bounded = 0;
        size_t i = static_cast<size_t>(
            std::upper_bound(firstEntry.begin(), firstEntry.end(), from) - firstEntry.begin() - 1);
        for (size_t e = from; e < to; ++e) {
            while (e >= firstEntry[i + 1])
                ++i;
            Bounds b;
            bool ok;
#if defined(__SSE2__)
            if (meshOf[i] != nullptr) {
                const auto face = static_cast<uint32_t>(e - firstEntry[i]);
                const Vector3& A = meshOf[i]->position(face, 0);
                const Vector3& B = meshOf[i]->position(face, 1);
                const Vector3& C = meshOf[i]->position(face, 2);
                BuildRef& r = refs[e];
                r.member = static_cast<uint32_t>(i);
                __m128 lo, hi;
                if (!(paddedTriangleBox(A, B, C, lo, hi) && hasArea(A, B, C))) {
                    r.id = Empty;
                    continue;
                }
                _mm_store_ps(r.lo, lo);
                _mm_store_ps(r.hi, hi);
                r.id = static_cast<uint32_t>(e);
                r.member = static_cast<uint32_t>(i);
                alignas(16) float c[4];
                _mm_store_ps(c, _mm_mul_ps(_mm_set1_ps(0.5f), _mm_add_ps(lo, hi)));
                box.growBy(r.lo, r.hi);
                centres.growBy(c, c);
                ++bounded;
                continue;
            }
#endif
            if (meshOf[i] != nullptr) {
                const auto face = static_cast<uint32_t>(e - firstEntry[i]);
                ok = meshOf[i]->triangleBounds(face, b) &&
                     hasArea(meshOf[i]->position(face, 0), meshOf[i]->position(face, 1),
                             meshOf[i]->position(face, 2));
            } else {
                ok = inOrder_[i]->worldBounds(b);
            }
            BuildRef& r = refs[e];
            r.member = static_cast<uint32_t>(i);
            if (!(ok && isFiniteBox(b))) {
                r.id = Empty;
                continue;
            }
            const Bounds p = padded(b);
            r.lo[0] = p.lo.x, r.lo[1] = p.lo.y, r.lo[2] = p.lo.z;
            r.hi[0] = p.hi.x, r.hi[1] = p.hi.y, r.hi[2] = p.hi.z;
            r.id = static_cast<uint32_t>(e);
            box.grow(p);
            centres.grow(centreOf(p));
            ++bounded;
        }
        boundedHalves[half] = bounded;
    });
    Span all, centreSpan;
    for (const auto& half : halves) {
        all.grow(half[0]);
        centreSpan.grow(half[1]);
    }
    const size_t boundedEntries = boundedHalves[0] + boundedHalves[1];
    bool trianglesOnly = true;
    for (size_t i = 0; i < count; ++i)
        if (meshOf[i] == nullptr && firstEntry[i + 1] > firstEntry[i] &&
            refs[firstEntry[i]].id != Empty)
            trianglesOnly = trianglesOnly && dynamic_cast<const Triangle*>(inOrder_[i]) != nullptr;
    if (boundedEntries != entries) {
        // The bounded entries move up, in order; the members without finite
        // bounds are tested one by one.
        size_t kept = 0;
        for (size_t e = 0; e < entries; ++e) {
            const BuildRef r = refs[e];
            if (r.id == Empty) {
                if (meshOf[r.member] == nullptr)
                    unbounded_.push_back({inOrder_[r.member], static_cast<uint32_t>(e), AsShape});
                continue;
            }
            refs[kept++] = r;
        }
        refs.resize(kept);
    }
    // What the entries' primitives need of the members once the tree is
    // built.
    std::vector<uint32_t> base;
    if (anyMesh) {
        base.resize(count);
        for (size_t i = 0; i < count; ++i)
            base[i] = meshOf[i] != nullptr ? static_cast<uint32_t>(firstEntry[i]) : AsShape;
    }
    release(meshOf);
    release(firstEntry);
    if (refs.empty()) return;
    if (refs.size() <= FlatMax) {
        makePrims(refs, base);
        for (size_t first = 0; first < refs.size(); first += 4) {
            Node group{};
            for (size_t i = 0; i < 4; ++i) {
                if (first + i >= refs.size()) {
                    group.child[i] = Empty;
                    continue;
                }
                const BuildRef& b = refs[first + i];
                group.lo[0][i] = b.lo[0], group.lo[1][i] = b.lo[1], group.lo[2][i] = b.lo[2];
                group.hi[0][i] = b.hi[0], group.hi[1][i] = b.hi[1], group.hi[2][i] = b.hi[2];
                group.child[i] = static_cast<uint32_t>(first + i);
                group.valid |= 1u << i;
            }
            flat_.push_back(group);
        }
        return;
    }
    // Room for the most nodes; the pages no node is written to are never
    // touched.
    Tree tree(2 * refs.size() - 1);
    Cursor at;
    buildBinary(tree, at, refs, 0, static_cast<uint32_t>(refs.size()),
                Extent{all.bounds(), centreSpan.bounds()}, 0, std::max(0, threads - 1));
    // One after the other, each step's arrays gone before the next takes
    // its own: the peak of a large mesh is that of one step.
    makePrims(refs, base);
    release(refs);
    release(base);
    rootBox_ = tree[0].box;
    // Room for the most nodes the tree can need: the pages past the last
    // node are never touched, so there is nothing to give back.
    nodes_.reserve(at.made / 2 + 1);
    smallLeaves_ = trianglesOnly;
    root_ = childRef(tree, 0);
    release(tree);
    packTriangles(threads);
}

void ShapeBvh::makePrims(const RefArray& refs, const std::vector<uint32_t>& base) {
    prims_.resize(refs.size());
    for (size_t k = 0; k < refs.size(); ++k) {
        const BuildRef& r = refs[k];
        const uint32_t first = base.empty() ? AsShape : base[r.member];
        prims_[k] = Prim{inOrder_[r.member], r.id, first == AsShape ? AsShape : r.id - first};
    }
}

void ShapeBvh::FreePacked::operator()(PackedTriangle* p) const {
    huge_free(p, bytes, alignof(PackedTriangle));
}

void ShapeBvh::packTriangles(int threads) {
    packed_.reset();
    size_t count = 0;
    for (Prim& p : prims_) {
        if (p.part == AsShape && dynamic_cast<const Triangle*>(p.shape) != nullptr)
            p.part = PackedShape;
        count += p.part != AsShape ? 1 : 0;
    }
    // Worth a copy only where triangles are many: a few are tested as shapes.
    packedOnly_ = false;
    if (count < 64) {
        for (Prim& p : prims_)
            if (p.part == PackedShape) p.part = AsShape;
        return;
    }
    // Left as the system gives it: each triangle's slot is written whole
    // before any search reads it.
    const size_t bytes = prims_.size() * sizeof(PackedTriangle);
    packed_ = std::unique_ptr<PackedTriangle[], FreePacked>(
        static_cast<PackedTriangle*>(huge_allocate(bytes, alignof(PackedTriangle))),
        FreePacked{bytes});
    inHalves(prims_.size(), threads, [this](size_t from, size_t to) { packTriangles(from, to); });
    packedOnly_ = count == prims_.size();
}

void ShapeBvh::packTriangles(size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        Prim& p = prims_[i];
        if (p.part == AsShape) continue;
        if (p.part == PackedShape) {
            const auto& t = *static_cast<const Triangle*>(p.shape);
            if (!packed_[i].pack(t.A, t.B, t.C)) {
                // Tested as a shape, which meets nothing; a plane of no
                // direction meets nothing either (no ray is parallel to
                // it), so leaves that test their copies unseen agree.
                packed_[i].n = Vector3{};
                p.part = AsShape;
            }
        } else {
            const auto& m = *static_cast<const TriangleMesh*>(p.shape);
            packed_[i].pack(m.position(p.part, 0), m.position(p.part, 1), m.position(p.part, 2));
        }
    }
}

namespace {

// One bin of the split search: the box of the entries whose centre falls in
// it, four lanes as a Span's (the fourth 0 once an entry is in it, and never
// part of a result).
struct alignas(16) Bin {
    float lo[4];
    float hi[4];
};

// The bins of every axis for a range of entries, by bin and axis, with their
// counts (the fourth lane 0), so that a bin's three axes are read at once.
struct Binned {
    Bin bins[kBins][3];
    alignas(16) uint32_t count[kBins][4];
    // Bit b set when bin b holds entries on some axis.
    unsigned held;

    void clear(int nb) {
        held = 0;
        const Span empty;
        for (int b = 0; b < nb; ++b) {
            for (int a = 0; a < 3; ++a) {
                std::copy(empty.lo, empty.lo + 4, bins[b][a].lo);
                std::copy(empty.hi, empty.hi + 4, bins[b][a].hi);
            }
            std::fill(count[b], count[b] + 4, 0u);
        }
    }
    // This set's bins grown by another's (minimum, maximum and counts do not
    // depend on the order, and no box or centre holds a -0).
    void join(const Binned& other, int nb) {
        for (int b = 0; b < nb; ++b) {
            for (int a = 0; a < 3; ++a) {
                Span s;
                s.growBy(bins[b][a].lo, bins[b][a].hi);
                s.growBy(other.bins[b][a].lo, other.bins[b][a].hi);
                std::copy(s.lo, s.lo + 4, bins[b][a].lo);
                std::copy(s.hi, s.hi + 4, bins[b][a].hi);
            }
            for (int a = 0; a < 4; ++a)
                count[b][a] += other.count[b][a];
        }
        held |= other.held;
    }
};

#if defined(__SSE2__)
// The first three lanes; the fourth of a build entry's loads holds numbers.
inline __m128 xyz(__m128 v) {
    return _mm_and_ps(v, _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0)));
}
#endif

// Bins entries [from, to) into `even` and `odd` (cleared), in turn, so that
// neighbours falling in the same bin need not wait for each other's update
// (or all into `even`). An entry's centre is half the sum of its box's
// corners, its bin on each axis binIndex of that from `lo`, `scale` bins a
// unit.
template <bool Paired, class Ref>
void binEntries(const Ref* refs, uint32_t from, uint32_t to, const Span& lo, const float scale[3],
                int nb, Binned& even, Binned& odd) {
#if defined(__SSE2__)
    const __m128 binLo = xyz(_mm_load_ps(lo.lo));
    const __m128 binScale = _mm_setr_ps(scale[0], scale[1], scale[2], 0.0f);
    const __m128 half = _mm_set1_ps(0.5f);
    // The bins clamped in 16-bit lanes: saturating changes no clamped value.
    const __m128i top = _mm_set1_epi16(static_cast<short>(nb - 1));
    const __m128i zero = _mm_setzero_si128();
    unsigned held = 0;
    auto binOne = [&](Binned& out, const Ref& r) {
        // The fourth lanes, numbers, are cleared, so that no arithmetic on
        // the bins meets one read as a float (a subnormal, slow to work on).
        const __m128 l = xyz(_mm_load_ps(r.lo)), h = xyz(_mm_load_ps(r.hi));
        const __m128 centre = _mm_mul_ps(half, _mm_add_ps(l, h));
        const __m128i b = _mm_cvttps_epi32(_mm_mul_ps(_mm_sub_ps(centre, binLo), binScale));
        const __m128i k = _mm_min_epi16(_mm_max_epi16(_mm_packs_epi32(b, b), zero), top);
        const int k0 = _mm_extract_epi16(k, 0), k1 = _mm_extract_epi16(k, 1);
        const int k2 = _mm_extract_epi16(k, 2);
        // Long ranges fill most bins: they are found from the counts.
        if (!Paired) held |= 1u << k0 | 1u << k1 | 1u << k2;
        Bin& b0 = out.bins[k0][0];
        Bin& b1 = out.bins[k1][1];
        Bin& b2 = out.bins[k2][2];
        _mm_store_ps(b0.lo, _mm_min_ps(l, _mm_load_ps(b0.lo)));
        _mm_store_ps(b0.hi, _mm_max_ps(h, _mm_load_ps(b0.hi)));
        ++out.count[k0][0];
        _mm_store_ps(b1.lo, _mm_min_ps(l, _mm_load_ps(b1.lo)));
        _mm_store_ps(b1.hi, _mm_max_ps(h, _mm_load_ps(b1.hi)));
        ++out.count[k1][1];
        _mm_store_ps(b2.lo, _mm_min_ps(l, _mm_load_ps(b2.lo)));
        _mm_store_ps(b2.hi, _mm_max_ps(h, _mm_load_ps(b2.hi)));
        ++out.count[k2][2];
    };
#else
    unsigned held = 0;
    auto binOne = [&](Binned& out, const Ref& r) {
        for (int a = 0; a < 3; ++a) {
            const int k = binIndex(0.5f * (r.lo[a] + r.hi[a]), lo.lo[a], scale[a], nb);
            held |= 1u << k;
            Bin& bin = out.bins[k][a];
            for (int j = 0; j < 3; ++j) {
                bin.lo[j] = r.lo[j] < bin.lo[j] ? r.lo[j] : bin.lo[j];
                bin.hi[j] = r.hi[j] > bin.hi[j] ? r.hi[j] : bin.hi[j];
            }
            ++out.count[k][a];
        }
    };
#endif
    uint32_t i = from;
    if (Paired) {
        for (; i + 1 < to; i += 2) {
            binOne(even, refs[i]);
            binOne(odd, refs[i + 1]);
        }
    }
    for (; i < to; ++i)
        binOne(even, refs[i]);
    even.held |= held;
}

}  // namespace

ShapeBvh::Cut ShapeBvh::findCut(const RefArray& refs, uint32_t begin, uint32_t end,
                                const Bounds& box, const Bounds& centreBox, int threads) {
    // Binned surface-area heuristic over all three axes at once: the cost of
    // a split is one more box test plus the children's shapes weighted by
    // their areas, against all shapes of a leaf.
    // Small nodes need fewer bins, and most nodes are small.
    const uint32_t n = end - begin;
    Span centreSpan;
    centreSpan.grow(centreBox);
    const int nb = static_cast<int>(std::min<uint32_t>(kBins, std::max<uint32_t>(4, 2 * n)));
    alignas(16) float ext[4], scale[4];
#if defined(__SSE2__)
    // The three divisions at once, each lane rounded as one alone.
    const __m128 extent = xyz(_mm_sub_ps(_mm_load_ps(centreSpan.hi), _mm_load_ps(centreSpan.lo)));
    const __m128 positive = _mm_cmpgt_ps(extent, _mm_setzero_ps());
    _mm_store_ps(ext, extent);
    _mm_store_ps(
        scale,
        _mm_and_ps(positive,
                   _mm_div_ps(_mm_set1_ps(static_cast<float>(nb)),
                              _mm_or_ps(extent, _mm_andnot_ps(positive, _mm_set1_ps(1.0f))))));
#else
    for (int a = 0; a < 3; ++a) {
        ext[a] = centreSpan.hi[a] - centreSpan.lo[a];
        scale[a] = ext[a] > 0.0f ? static_cast<float>(nb) / ext[a] : 0.0f;
    }
#endif
    static_assert(sizeof(Span) == 32 && sizeof(Bin) == 32);
    // Ranges this short use one set of bins.
    constexpr uint32_t kPairedMin = 64;
    auto binRange = [&](Binned& out, uint32_t from, uint32_t to) {
        out.clear(nb);
        if (to - from < kPairedMin) {
            binEntries<false>(refs.data(), from, to, centreSpan, scale, nb, out, out);
            return;
        }
        Binned odd;
        odd.clear(nb);
        binEntries<true>(refs.data(), from, to, centreSpan, scale, nb, out, odd);
        out.join(odd, nb);
        for (int b = 0; b < nb; ++b)
            if (out.count[b][0] != 0 || out.count[b][1] != 0 || out.count[b][2] != 0)
                out.held |= 1u << b;
    };
    // A large range is binned in two halves, the first on a thread of its
    // own, and the halves' bins joined: the bins are those of one pass.
    Binned all;
    Binned firstHalf;
    const uint32_t half = begin + n / 2;
    std::thread helper;
    if (threads > 1 && n >= kParallelCutMin) {
        try {
            helper = std::thread([&] { binRange(firstHalf, begin, half); });
        } catch (const std::system_error&) {
        }
    }
    binRange(all, helper.joinable() ? half : begin, end);
    if (helper.joinable()) {
        helper.join();
        all.join(firstHalf, nb);
    }
    const auto& bins = all.bins;
    const auto& binCount = all.count;
    Cut best;
    best.bins = nb;
#if defined(__SSE2__)
    if (n < (1u << 31)) {
        // The three axes side by side, one to a lane: each lane does the
        // operations of the loop below in its order, and the cheapest cut of
        // each axis, the first met on a tie, is taken in the order of the
        // axes, as the loop takes it.
        const __m128i zero = _mm_setzero_si128();
        const __m128i active = _mm_setr_epi32(ext[0] > 0.0f ? -1 : 0, ext[1] > 0.0f ? -1 : 0,
                                              ext[2] > 0.0f ? -1 : 0, 0);
        // Span::area of each axis's box; the lanes of an empty box are never
        // read (its count is 0), and a box of entries is never inverted.
        auto areas = [](const __m128 lo[3], const __m128 hi[3]) {
            // Each axis's box's sides, then the x sides of the three boxes,
            // the y and the z sides.
            const __m128 d0 = _mm_sub_ps(hi[0], lo[0]), d1 = _mm_sub_ps(hi[1], lo[1]);
            const __m128 d2 = _mm_sub_ps(hi[2], lo[2]);
            const __m128 xy = _mm_unpacklo_ps(d0, d1), zw = _mm_unpackhi_ps(d0, d1);
            const __m128 dx = _mm_movelh_ps(xy, d2);
            const __m128 dy = _mm_shuffle_ps(xy, d2, _MM_SHUFFLE(3, 1, 3, 2));
            const __m128 dz = _mm_shuffle_ps(zw, d2, _MM_SHUFFLE(3, 2, 1, 0));
            const __m128 sum =
                _mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, dy), _mm_mul_ps(dy, dz)), _mm_mul_ps(dz, dx));
            return _mm_mul_ps(_mm_set1_ps(2.0f), sum);
        };
        const Span empty;
        __m128 lo[3], hi[3];
        auto grow = [&](int b) {
            for (int a = 0; a < 3; ++a) {
                lo[a] = _mm_min_ps(_mm_load_ps(bins[b][a].lo), lo[a]);
                hi[a] = _mm_max_ps(_mm_load_ps(bins[b][a].hi), hi[a]);
            }
            return _mm_load_si128(reinterpret_cast<const __m128i*>(binCount[b]));
        };
        // Only the cuts just below a bin that holds entries on some axis are
        // weighed: one below a bin empty on an axis costs there exactly what
        // the next cut up costs, which is weighed first and kept on a tie.
        int held[kBins];
        int m = 0;
        for (unsigned bits = all.held; bits != 0; bits &= bits - 1)
            held[m++] = __builtin_ctz(bits);
        __m128 leftArea[kBins];
        __m128i leftCount[kBins];
        for (int a = 0; a < 3; ++a)
            lo[a] = _mm_load_ps(empty.lo), hi[a] = _mm_load_ps(empty.hi);
        __m128i cnt = zero;
        for (int k = 0; k + 1 < m; ++k) {
            cnt = _mm_add_epi32(cnt, grow(held[k]));
            leftArea[k] = areas(lo, hi);
            leftCount[k] = cnt;
        }
        for (int a = 0; a < 3; ++a)
            lo[a] = _mm_load_ps(empty.lo), hi[a] = _mm_load_ps(empty.hi);
        cnt = zero;
        __m128 bestCost = _mm_set1_ps(std::numeric_limits<float>::infinity());
        __m128i bestBin = _mm_set1_epi32(-1);
        for (int k = m - 1; k > 0; --k) {
            cnt = _mm_add_epi32(cnt, grow(held[k]));
            const __m128 cost =
                _mm_add_ps(_mm_mul_ps(leftArea[k - 1], _mm_cvtepi32_ps(leftCount[k - 1])),
                           _mm_mul_ps(areas(lo, hi), _mm_cvtepi32_ps(cnt)));
            const __m128i none =
                _mm_or_si128(_mm_cmpeq_epi32(leftCount[k - 1], zero), _mm_cmpeq_epi32(cnt, zero));
            const __m128 better = _mm_and_ps(_mm_castsi128_ps(_mm_andnot_si128(none, active)),
                                             _mm_cmplt_ps(cost, bestCost));
            const __m128i take = _mm_castps_si128(better);
            bestCost = _mm_or_ps(_mm_and_ps(better, cost), _mm_andnot_ps(better, bestCost));
            bestBin = _mm_or_si128(_mm_and_si128(take, _mm_set1_epi32(held[k])),
                                   _mm_andnot_si128(take, bestBin));
        }
        alignas(16) float costs[4];
        alignas(16) int cuts[4];
        _mm_store_ps(costs, bestCost);
        _mm_store_si128(reinterpret_cast<__m128i*>(cuts), bestBin);
        for (int axis = 0; axis < 3; ++axis) {
            if (cuts[axis] >= 0 && costs[axis] < best.cost) {
                best.cost = costs[axis];
                best.axis = axis;
                best.bin = cuts[axis];
            }
        }
    } else
#endif
        for (int axis = 0; axis < 3; ++axis) {
            if (!(ext[axis] > 0.0f)) continue;
            float leftArea[kBins - 1];
            uint32_t leftCount[kBins - 1];
            Span acc;
            uint32_t cnt = 0;
            for (int i = 0; i < nb - 1; ++i) {
                acc.growBy(bins[i][axis].lo, bins[i][axis].hi);
                cnt += binCount[i][axis];
                leftArea[i] = acc.area();
                leftCount[i] = cnt;
            }
            acc = Span{};
            cnt = 0;
            for (int i = nb - 1; i > 0; --i) {
                acc.growBy(bins[i][axis].lo, bins[i][axis].hi);
                cnt += binCount[i][axis];
                if (leftCount[i - 1] == 0 || cnt == 0) continue;
                const float cost = leftArea[i - 1] * static_cast<float>(leftCount[i - 1]) +
                                   acc.area() * static_cast<float>(cnt);
                if (cost < best.cost) {
                    best.cost = cost;
                    best.axis = axis;
                    best.bin = i;
                }
            }
        }
    const float area = surfaceArea(box);
    const float splitCost = kNodeCost * area + best.cost;
    const float leafCost = area * static_cast<float>(n);
    best.split = best.axis >= 0 && !(n <= kMaxLeaf && leafCost <= splitCost);
    if (best.split) {
        best.lo = centreSpan.lo[best.axis];
        best.scale = scale[best.axis];
        // The bins below the cut hold the left side's members, the others
        // the right side's (a bin empty on every axis adds nothing).
        Span left, right;
        const unsigned below = (1u << best.bin) - 1;
        for (unsigned bits = all.held & below; bits != 0; bits &= bits - 1)
            left.growBy(bins[__builtin_ctz(bits)][best.axis].lo,
                        bins[__builtin_ctz(bits)][best.axis].hi);
        for (unsigned bits = all.held & ~below; bits != 0; bits &= bits - 1)
            right.growBy(bins[__builtin_ctz(bits)][best.axis].lo,
                         bins[__builtin_ctz(bits)][best.axis].hi);
        best.left = left.bounds();
        best.right = right.bounds();
    }
    return best;
}

uint32_t ShapeBvh::partition(RefArray& refs, uint32_t begin, uint32_t end, const Cut& cut,
                             Extent& left, Extent& right) {
    // Each side's box of centres is grown on the way.
    uint32_t mid = begin;
    Span leftCentres, rightCentres;
#if defined(__SSE2__)
    __m128 leftCLo = _mm_load_ps(leftCentres.lo), leftCHi = _mm_load_ps(leftCentres.hi);
    __m128 rightCLo = leftCLo, rightCHi = leftCHi;
    // The cut's bin is above the first and below the last, so an entry's
    // bin before binIndex clamps it is below the cut's exactly when the
    // clamped one is; it is worked out in every lane, the cut's axis's read.
    const __m128 cutLo = _mm_set1_ps(cut.lo), cutScale = _mm_set1_ps(cut.scale);
    const __m128i cutBin = _mm_set1_epi32(cut.bin);
    const int axisBit = 1 << cut.axis;
    BuildRef* entry = refs.data();
    for (uint32_t i = begin; i < end; ++i) {
        // Both halves of an entry move as they were loaded, its numbers with
        // them.
        const __m128 l = _mm_load_ps(entry[i].lo), h = _mm_load_ps(entry[i].hi);
        const __m128 centre = _mm_mul_ps(_mm_set1_ps(0.5f), _mm_add_ps(xyz(l), xyz(h)));
        const __m128i bin = _mm_cvttps_epi32(_mm_mul_ps(_mm_sub_ps(centre, cutLo), cutScale));
        if (_mm_movemask_ps(_mm_castsi128_ps(_mm_cmplt_epi32(bin, cutBin))) & axisBit) {
            leftCLo = _mm_min_ps(centre, leftCLo);
            leftCHi = _mm_max_ps(centre, leftCHi);
            _mm_store_ps(entry[i].lo, _mm_load_ps(entry[mid].lo));
            _mm_store_ps(entry[i].hi, _mm_load_ps(entry[mid].hi));
            _mm_store_ps(entry[mid].lo, l);
            _mm_store_ps(entry[mid].hi, h);
            ++mid;
        } else {
            rightCLo = _mm_min_ps(centre, rightCLo);
            rightCHi = _mm_max_ps(centre, rightCHi);
        }
    }
    _mm_store_ps(leftCentres.lo, leftCLo), _mm_store_ps(leftCentres.hi, leftCHi);
    _mm_store_ps(rightCentres.lo, rightCLo), _mm_store_ps(rightCentres.hi, rightCHi);
#else
    for (uint32_t i = begin; i < end; ++i) {
        const BuildRef r = refs[i];
        const float c[4] = {0.5f * (r.lo[0] + r.hi[0]), 0.5f * (r.lo[1] + r.hi[1]),
                            0.5f * (r.lo[2] + r.hi[2]), 0.0f};
        if (binIndex(c[cut.axis], cut.lo, cut.scale, cut.bins) < cut.bin) {
            leftCentres.growBy(c, c);
            refs[i] = refs[mid];
            refs[mid] = r;
            ++mid;
        } else {
            rightCentres.growBy(c, c);
        }
    }
#endif
    left = Extent{cut.left, leftCentres.bounds()};
    right = Extent{cut.right, rightCentres.bounds()};
    return mid;
}

bool ShapeBvh::buildSidesInParallel(Tree& tree, Cursor& at, RefArray& refs, uint32_t me,
                                    uint32_t begin, uint32_t mid, uint32_t end,
                                    const Extent& leftExtent, const Extent& rightExtent, int depth,
                                    int spareThreads) {
    // The halves touch disjoint ranges of the entries and of the tree's
    // slots: the left one takes the room for the most nodes it can have
    // (from the slot after this node's on), and is built there on a thread
    // of its own. The nodes' numbers differ from a one-thread build, but
    // flattening follows the structure only, which is the same.
    const int leftSpare = (spareThreads - 1) / 2;
    const int rightSpare = spareThreads - 1 - leftSpare;
    Cursor leftAt{at.next, 0};
    Cursor rightAt{at.next + 2 * (mid - begin) - 1, 0};
    std::exception_ptr failure;
    std::thread helper;
    try {
        helper = std::thread([&] {
            try {
                buildBinary(tree, leftAt, refs, begin, mid, leftExtent, depth + 1, leftSpare);
            } catch (...) {
                failure = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        return false;  // no thread: built by the caller
    }
    uint32_t right = 0;
    try {
        right = buildBinary(tree, rightAt, refs, mid, end, rightExtent, depth + 1, rightSpare);
    } catch (...) {
        helper.join();
        throw;
    }
    helper.join();
    if (failure) std::rethrow_exception(failure);
    at.next = rightAt.next;
    at.made += leftAt.made + rightAt.made;
    tree[me].right = right;
    return true;
}

uint32_t ShapeBvh::buildBinary(Tree& tree, Cursor& at, RefArray& refs, uint32_t begin, uint32_t end,
                               const Extent& extent, int depth, int spareThreads) {
    const uint32_t me = at.next++;
    ++at.made;
    // The extent was grown from exactly these members, and a minimum or a
    // maximum does not depend on the order it is taken in.
    const Bounds box = extent.box;
    const uint32_t n = end - begin;
    auto makeLeaf = [&] {
        tree[me] = BuildNode{box, begin, n};
        return me;
    };
    if (n <= kMinSplit || depth >= kMaxDepth) return makeLeaf();

    const Cut cut = findCut(refs, begin, end, box, extent.centres, spareThreads + 1);
    if (!cut.split) return makeLeaf();

    Extent leftExtent, rightExtent;
    const uint32_t mid = partition(refs, begin, end, cut, leftExtent, rightExtent);
    if (mid == begin || mid == end) return makeLeaf();
    tree[me] = BuildNode{box, 0, 0};
    if (spareThreads > 0 && mid - begin >= kParallelMin && end - mid >= kParallelMin &&
        buildSidesInParallel(tree, at, refs, me, begin, mid, end, leftExtent, rightExtent, depth,
                             spareThreads))
        return me;
    buildBinary(tree, at, refs, begin, mid, leftExtent, depth + 1);
    tree[me].right = buildBinary(tree, at, refs, mid, end, rightExtent, depth + 1);
    return me;
}

uint32_t ShapeBvh::smallCount(const Tree& tree, uint32_t node, uint32_t most) {
    const BuildNode& b = tree[node];
    if (b.count > 0) return b.count;
    const uint32_t left = smallCount(tree, node + 1, most);
    return left > most ? left : left + smallCount(tree, b.right, most - left);
}

uint32_t ShapeBvh::childRef(const Tree& tree, uint32_t node) {
    // A leaf's first primitive and count, or a count of 0.
    uint32_t first = tree[node].right;
    uint32_t count = tree[node].count;
    const uint32_t few = count == 0 && smallLeaves_ ? smallCount(tree, node, WideLeaf) : 0;
    if (count == 0 && smallLeaves_ && few <= WideLeaf) {
        // A few triangles are tested together as one leaf (their members
        // are one range, as every subtree's are) rather than as a node.
        uint32_t leftmost = node;
        while (tree[leftmost].count == 0)
            ++leftmost;
        first = tree[leftmost].right;
        count = few;
    }
    if (count > 0) {
        if (count <= LeafCountMax && first <= LeafFirstMask)
            return LeafFlag | count << LeafCountShift | first;
        if (leaves_.size() > LeafFirstMask) throw std::length_error("too many large leaves");
        leaves_.push_back({first, count});
        return LeafFlag | static_cast<uint32_t>(leaves_.size() - 1);
    }
    return flatten(tree, node);
}

uint32_t ShapeBvh::flatten(const Tree& tree, uint32_t node) {
    const uint32_t me = static_cast<uint32_t>(nodes_.size());
    nodes_.emplace_back();
    // The two children, with the largest inner one replaced by its own two
    // while there is room for four.
    uint32_t kids[4] = {node + 1, tree[node].right, 0, 0};
    int count = 2;
    while (count < 4) {
        int widest = -1;
        float widestArea = -1.0f;
        for (int i = 0; i < count; ++i) {
            const BuildNode& k = tree[kids[i]];
            if (k.count > 0) continue;
            const float a = surfaceArea(k.box);
            if (a > widestArea) {
                widestArea = a;
                widest = i;
            }
        }
        if (widest < 0) break;
        const uint32_t inner = kids[widest];
        kids[widest] = inner + 1;
        kids[count++] = tree[inner].right;
    }
    Node out{};
    for (int i = 0; i < 4; ++i) {
        if (i >= count) {
            out.child[i] = Empty;
            continue;
        }
        const Bounds& b = tree[kids[i]].box;
        out.lo[0][i] = b.lo.x, out.lo[1][i] = b.lo.y, out.lo[2][i] = b.lo.z;
        out.hi[0][i] = b.hi.x, out.hi[1][i] = b.hi.y, out.hi[2][i] = b.hi.z;
        out.child[i] = childRef(tree, kids[i]);
        out.valid |= 1u << i;
    }
    nodes_[me] = out;
    return me;
}

uint64_t ShapeBvh::fingerprint() const {
    // FNV-1a over the values, field by field.
    uint64_t h = 14695981039346656037ull;
    auto mix = [&h](const void* data, size_t bytes) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < bytes; ++i)
            h = (h ^ p[i]) * 1099511628211ull;
    };
    auto mixNodes = [&](const auto& nodes) {
        for (const Node& n : nodes) {
            mix(n.lo, sizeof n.lo);
            mix(n.hi, sizeof n.hi);
            mix(n.child, sizeof n.child);
            mix(&n.valid, sizeof n.valid);
        }
    };
    auto mixPrims = [&](const auto& prims) {
        for (const Prim& p : prims) {
            mix(&p.index, sizeof p.index);
            mix(&p.part, sizeof p.part);
        }
    };
    mixNodes(nodes_);
    mixNodes(flat_);
    for (const Leaf& l : leaves_) {
        mix(&l.first, sizeof l.first);
        mix(&l.count, sizeof l.count);
    }
    mixPrims(prims_);
    mixPrims(unbounded_);
    mix(&root_, sizeof root_);
    if (root_ != Empty) {
        mix(&rootBox_.lo, sizeof rootBox_.lo);
        mix(&rootBox_.hi, sizeof rootBox_.hi);
    }
    const unsigned char flags[2] = {packedOnly_, packed_ != nullptr};
    mix(flags, sizeof flags);
    return h;
}

void ShapeBvh::nearestHit(Hit& best, const Ray& ray, bool complete) const {
    // Each component read once, on its own: the caller has usually just
    // written the ray.
    const float o[3] = {readAlone(ray.origin.x), readAlone(ray.origin.y), readAlone(ray.origin.z)};
    const float d[3] = {readAlone(ray.direction.x), readAlone(ray.direction.y),
                        readAlone(ray.direction.z)};
    // As isFiniteRay: x - x is 0 for a finite x and NaN otherwise.
    const float finite = ((o[0] - o[0]) + (o[1] - o[1])) + ((o[2] - o[2]) + (d[0] - d[0])) +
                         ((d[1] - d[1]) + (d[2] - d[2]));
    if (finite != 0.0f) {
        // The box tests need finite numbers; the list order decides as well.
        nearestHitInOrder(best, ray);
        return;
    }
    const BoxRay r = boxRayOf(o, d);
    const CShape* kept;
    if (!flat_.empty())
        kept = r.anyParallel ? searchFlat<true>(best, ray, r) : searchFlat<false>(best, ray, r);
    else
        kept = r.anyParallel ? search<true>(best, ray, r) : search<false>(best, ray, r);
    if (kept != nullptr && complete) kept->completeHit(best, ray);
}

void ShapeBvh::nearestHitInOrder(Hit& best, const Ray& ray) const {
    // Every member, in list order: the linear scan's own rule.
    Hit work(best.skipShape, best.skipPart);
    for (CShape* s : inOrder_) {
        s->intersect(work, ray);
        if (work.entryKind != 0 && best.entryDistance > work.entryDistance) best = work;
    }
}

namespace {

// The ray broadcast for testing four boxes at once, with the faces it meets
// first along each axis: the low ones where the direction is positive.
struct WideRay {
#if defined(__SSE2__)
    __m128 o[3];
    __m128 d[3];
    __m128 inv[3];
    __m128 slack;
    // Offsets in bytes, from the start of a node's lo, of each axis's near
    // and far faces (hi follows lo, three rows of four).
    size_t nearFace[3];
    size_t farFace[3];
#endif
    explicit WideRay(const BoxRay& r) {
#if defined(__SSE2__)
        for (int a = 0; a < 3; ++a) {
            o[a] = broadcast(r.o[a]);
            d[a] = broadcast(r.d[a]);
            inv[a] = broadcast(r.inv[a]);
            const bool positive = r.inv[a] >= 0.0f;
            const size_t row = 4 * sizeof(float) * static_cast<size_t>(a);
            nearFace[a] = (positive ? 0 : 3 * 4 * sizeof(float)) + row;
            farFace[a] = (positive ? 3 * 4 * sizeof(float) : 0) + row;
        }
        slack = broadcast(r.slack);
#else
        (void)r;
#endif
    }
};

#if defined(__SSE2__)
// Four rows of four floats turned into four columns.
inline void transpose(__m128& a, __m128& b, __m128& c, __m128& d) {
    const __m128 ab0 = _mm_unpacklo_ps(a, b), cd0 = _mm_unpacklo_ps(c, d);
    const __m128 ab1 = _mm_unpackhi_ps(a, b), cd1 = _mm_unpackhi_ps(c, d);
    a = _mm_movelh_ps(ab0, cd0);
    b = _mm_movehl_ps(cd0, ab0);
    c = _mm_movelh_ps(ab1, cd1);
    d = _mm_movehl_ps(cd1, ab1);
}

// PackedTriangle::meets of four triangles at once, one to a lane: each lane
// does the scalar test's operations in its order, so its numbers are the
// same to the last bit (no lane stops early, which changes no result). Bit i
// of the answer is set when triangle i is met, its distance and weights in
// t, s and g.
inline unsigned meetFour(const PackedTriangle* const tri[4], const WideRay& w, float farthest,
                         float t[4], float s[4], float g[4]) {
    // Rows of each: A.x A.y A.z e1.x, e1.y e1.z e2.x e2.y, e2.z n.x n.y n.z,
    // E11 E12 E22 den.
    static_assert(sizeof(PackedTriangle) == 16 * sizeof(float) &&
                  offsetof(PackedTriangle, A) == 0 && offsetof(PackedTriangle, n) == 36 &&
                  offsetof(PackedTriangle, E11) == 48 && offsetof(PackedTriangle, den) == 60);
    __m128 row[4][4];  // row[i][k]: row i of triangle k
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i < 4; ++i)
            row[i][k] = _mm_load_ps(reinterpret_cast<const float*>(tri[k]) + 4 * i);
    for (int i = 0; i < 4; ++i)
        transpose(row[i][0], row[i][1], row[i][2], row[i][3]);
    const __m128 Ax = row[0][0], Ay = row[0][1], Az = row[0][2];
    const __m128 e1x = row[0][3], e1y = row[1][0], e1z = row[1][1];
    const __m128 e2x = row[1][2], e2y = row[1][3], e2z = row[2][0];
    const __m128 nx = row[2][1], ny = row[2][2], nz = row[2][3];
    const __m128 E11 = row[3][0], E12 = row[3][1], E22 = row[3][2], den = row[3][3];
    auto dot = [](__m128 ax, __m128 ay, __m128 az, __m128 bx, __m128 by, __m128 bz) {
        __m128 r = _mm_mul_ps(ax, bx);
        r = _mm_add_ps(r, _mm_mul_ps(ay, by));
        return _mm_add_ps(r, _mm_mul_ps(az, bz));
    };
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
    const __m128 dn = dot(nx, ny, nz, w.d[0], w.d[1], w.d[2]);
    const __m128 q =
        dot(_mm_sub_ps(w.o[0], Ax), _mm_sub_ps(w.o[1], Ay), _mm_sub_ps(w.o[2], Az), nx, ny, nz);
    const __m128 tt = _mm_div_ps(_mm_xor_ps(q, _mm_set1_ps(-0.0f)), dn);
    __m128 miss = _mm_or_ps(_mm_cmpeq_ps(dn, zero), _mm_cmplt_ps(tt, zero));
    miss = _mm_or_ps(miss, _mm_cmpgt_ps(tt, broadcast(farthest)));
    const __m128 wx = _mm_sub_ps(_mm_add_ps(w.o[0], _mm_mul_ps(w.d[0], tt)), Ax);
    const __m128 wy = _mm_sub_ps(_mm_add_ps(w.o[1], _mm_mul_ps(w.d[1], tt)), Ay);
    const __m128 wz = _mm_sub_ps(_mm_add_ps(w.o[2], _mm_mul_ps(w.d[2], tt)), Az);
    const __m128 W1 = dot(e1x, e1y, e1z, wx, wy, wz);
    const __m128 W2 = dot(e2x, e2y, e2z, wx, wy, wz);
    const __m128 ss = _mm_div_ps(_mm_sub_ps(_mm_mul_ps(W2, E12), _mm_mul_ps(E22, W1)), den);
    const __m128 gg = _mm_div_ps(_mm_sub_ps(_mm_mul_ps(E12, W1), _mm_mul_ps(E11, W2)), den);
    miss = _mm_or_ps(miss, _mm_or_ps(_mm_cmplt_ps(ss, zero), _mm_cmpgt_ps(ss, one)));
    miss =
        _mm_or_ps(miss, _mm_or_ps(_mm_cmplt_ps(gg, zero), _mm_cmpgt_ps(_mm_add_ps(ss, gg), one)));
    _mm_storeu_ps(t, tt);
    _mm_storeu_ps(s, ss);
    _mm_storeu_ps(g, gg);
    return static_cast<unsigned>(_mm_movemask_ps(miss)) ^ 15u;
}
#endif

// The children of `node` worth visiting, as a bit mask, with the distance at
// which the ray's line enters each child's box.
template <bool AnyParallel, typename Node>
inline unsigned childSpans(const Node& node, const BoxRay& r, const WideRay& w, float bestDistance,
                           float t0[4]) {
#if defined(__SSE2__)
    if (!AnyParallel) {
        // No direction component is zero here. Along each axis the near
        // face's distance is the smaller of the two (lo <= hi, and rounding
        // keeps the order), so the faces are taken by the direction's sign
        // instead of a min and a max of the pair; no distance is NaN, so
        // starting from the first axis instead of an infinity changes
        // nothing either. The spans come out the same.
        static_assert(offsetof(Node, hi) == offsetof(Node, lo) + 12 * sizeof(float));
        const char* box = reinterpret_cast<const char*>(&node) + offsetof(Node, lo);
        __m128 tmin = _mm_setzero_ps(), tmax = _mm_setzero_ps();
        for (int a = 0; a < 3; ++a) {
            const __m128 near = _mm_load_ps(reinterpret_cast<const float*>(box + w.nearFace[a]));
            const __m128 far = _mm_load_ps(reinterpret_cast<const float*>(box + w.farFace[a]));
            const __m128 u = _mm_mul_ps(_mm_sub_ps(near, w.o[a]), w.inv[a]);
            const __m128 v = _mm_mul_ps(_mm_sub_ps(far, w.o[a]), w.inv[a]);
            tmin = a == 0 ? u : lanesMax(tmin, u);
            tmax = a == 0 ? v : lanesMin(tmax, v);
        }
        tmin = _mm_sub_ps(tmin, w.slack);
        tmax = _mm_add_ps(tmax, w.slack);
        const __m128 ok =
            _mm_and_ps(_mm_and_ps(_mm_cmple_ps(tmin, tmax), _mm_cmpge_ps(tmax, _mm_setzero_ps())),
                       _mm_cmple_ps(tmin, broadcast(bestDistance)));
        _mm_storeu_ps(t0, tmin);
        return static_cast<unsigned>(_mm_movemask_ps(ok)) & node.valid;
    }
#else
    (void)w;
#endif
    unsigned mask = 0;
    for (int i = 0; i < 4; ++i) {
        if (!(node.valid & (1u << i))) continue;
        const float lo[3] = {node.lo[0][i], node.lo[1][i], node.lo[2][i]};
        const float hi[3] = {node.hi[0][i], node.hi[1][i], node.hi[2][i]};
        float tmin = 0.0f, tmax = 0.0f;
        const bool met = boxSpan(lo, hi, r, tmin, tmax);
        t0[i] = tmin;
        if (worthVisiting(met, tmin, tmax, bestDistance)) mask |= 1u << i;
    }
    return mask;
}

// `to = from`. The desktop build copies the record with a few vector moves;
// the WebAssembly build would make the copy a call of memcpy, so there it
// goes field by field.
inline void copyHit(Hit& to, const Hit& from) {
#if !defined(__wasm__)
    to = from;
#else
    static_assert(sizeof(Hit) == 2 * sizeof(int) + 2 * sizeof(CShape*) + 2 * sizeof(uint32_t) +
                                     6 * sizeof(Vector3) + 4 * sizeof(float),
                  "every field of Hit is copied below");
    to.entryKind = from.entryKind;
    to.boundaryCount = from.boundaryCount;
    to.shape = from.shape;
    to.skipShape = from.skipShape;
    to.part = from.part;
    to.skipPart = from.skipPart;
    to.entryPoint = from.entryPoint;
    to.exitPoint = from.exitPoint;
    to.entryNormal = from.entryNormal;
    to.exitNormal = from.exitNormal;
    to.entryColour = from.entryColour;
    to.exitColour = from.exitColour;
    to.entryDistance = from.entryDistance;
    to.exitDistance = from.exitDistance;
    to.weights[0] = from.weights[0];
    to.weights[1] = from.weights[1];
#endif
}

// The hit a search keeps: the strictly nearer entry wins, a tie goes to the
// shape nearer the head of the list, and nothing at or past the caller's
// starting distance is taken. Only the distances are asked of the shapes;
// the kept one completes its hit afterwards.
struct Keeper {
    Keeper(Hit& best, const Ray& ray)
        : best(best),
          ray(ray),
          limit(best.entryDistance),
          distance(limit),
          work(best.skipShape, best.skipPart) {}

    void consider(CShape* shape, uint32_t index) {
        shape->intersectDistances(work, ray);
        if (work.entryKind == 0) return;
        keepIfNearer(shape, index);
    }

    void keepIfNearer(CShape* shape, uint32_t index) {
        const float d = work.entryDistance;
        if (!(d < limit)) return;
        if (d < distance || (d == distance && index < keptIndex)) {
            copyHit(best, work);
            distance = d;
            keptIndex = index;
            kept = shape;
        }
    }

    // Triangle::intersectDistances on the triangle's packed values.
    void consider(const PackedTriangle& p, CShape* shape, uint32_t index) {
        work.entryKind = 0;
        if (work.skipShape == shape) return;
        p.meet(work, shape, ray, distance);
        if (work.entryKind != 0) keepIfNearer(shape, index);
    }

    // The same for triangle `part` of a mesh.
    void consider(const PackedTriangle& p, CShape* shape, uint32_t index, uint32_t part) {
        work.entryKind = 0;
        if (work.skipShape == shape && work.skipPart == part) return;
        p.meet(work, shape, ray, distance);
        if (work.entryKind == 0) return;
        work.part = part;
        keepIfNearer(shape, index);
    }

    // A packed triangle's hit, met at `t` with weights `s`, `g` by
    // PackedTriangle::meets, of a Triangle (`whole`) or of triangle `part`
    // of a mesh: kept as the two above keep it.
    void keepPacked(CShape* shape, uint32_t index, bool whole, uint32_t part, float t, float s,
                    float g) {
        if (work.skipShape == shape && (whole || work.skipPart == part)) return;
        PackedTriangle::setHit(work, shape, t, s, g);
        if (!whole) work.part = part;
        keepIfNearer(shape, index);
    }

    Hit& best;
    const Ray& ray;
    const float limit;
    float distance;  // of the hit kept so far, or the limit
    uint32_t keptIndex = std::numeric_limits<uint32_t>::max();
    const CShape* kept = nullptr;
    Hit work;
};

}  // namespace

template <class K, class W>
void ShapeBvh::considerPacked(K& keep, const W& wide, uint32_t first, uint32_t count) const {
    // Only a met triangle's entry in prims_ is read. A hit past the one
    // kept meanwhile is left, as the test one by one would leave it.
    const uint32_t end = first + count;
#if defined(__SSE2__)
    for (; first + 1 < end; first += 4) {
        const uint32_t n = std::min<uint32_t>(4, end - first);
        const PackedTriangle* tri[4];
        for (uint32_t k = 0; k < 4; ++k)
            tri[k] = &packed_[first + std::min(k, n - 1)];
        alignas(16) float t[4], s[4], g[4];
        unsigned met = meetFour(tri, wide, keep.distance, t, s, g) & ((1u << n) - 1);
        while (met != 0) {
            const int i = __builtin_ctz(met);
            met &= met - 1;
            if (t[i] > keep.distance) continue;
            const Prim& p = prims_[first + i];
            keep.keepPacked(p.shape, p.index, p.part == PackedShape, p.part, t[i], s[i], g[i]);
        }
    }
#else
    (void)wide;
#endif
    for (uint32_t i = first; i < end; ++i) {
        float t, s, g;
        if (!packed_[i].meets(keep.ray, keep.distance, t, s, g)) continue;
        const Prim& p = prims_[i];
        keep.keepPacked(p.shape, p.index, p.part == PackedShape, p.part, t, s, g);
    }
}

template <class K>
void ShapeBvh::consider(K& keep, uint32_t slot) const {
    const Prim& p = prims_[slot];
    if (p.part == AsShape) {
        keep.consider(p.shape, p.index);
    } else if (p.part == PackedShape) {
        keep.consider(packed_[slot], p.shape, p.index);
    } else if (packed_ != nullptr) {
        keep.consider(packed_[slot], p.shape, p.index, p.part);
    } else {
        static_cast<TriangleMesh*>(p.shape)->meetTriangle(keep.work, p.part, keep.ray);
        if (keep.work.entryKind != 0) keep.keepIfNearer(p.shape, p.index);
    }
}

template <bool AnyParallel>
const CShape* ShapeBvh::search(Hit& best, const Ray& ray, const BoxRay& r) const {
    Keeper keep(best, ray);
    for (const Prim& p : unbounded_)
        keep.consider(p.shape, p.index);
    if (root_ == Empty) return keep.kept;
    // A root node tests its children's boxes anyway; only a lone leaf needs
    // its own box tested first.
    float t0 = -std::numeric_limits<float>::infinity(), t1 = 0.0f;
    if (root_ & LeafFlag) {
        const float rootLo[3] = {rootBox_.lo.x, rootBox_.lo.y, rootBox_.lo.z};
        const float rootHi[3] = {rootBox_.hi.x, rootBox_.hi.y, rootBox_.hi.z};
        if (!worthVisiting(boxSpan(rootLo, rootHi, r, t0, t1), t0, t1, keep.distance))
            return keep.kept;
    }

    struct Entry {
        uint32_t ref;
        float t;
    };
    // Each level takes one entry off and puts at most four on.
    Entry stack[3 * kMaxDepth + 8];
    int top = 0;
    Entry e{root_, t0};
    const WideRay wide(r);
    // What a child waiting on the stack will read is asked of memory at
    // once, while its nearer siblings are searched.
    auto prefetch = [this](uint32_t ref) {
        if (ref & LeafFlag) {
            const uint32_t count = (ref & ~LeafFlag) >> LeafCountShift;
            if (count != 0 && packed_ != nullptr) __builtin_prefetch(&packed_[ref & LeafFirstMask]);
        } else {
            const char* node = reinterpret_cast<const char*>(&nodes_[ref]);
            __builtin_prefetch(node);
            __builtin_prefetch(node + 64);
        }
    };
    for (;;) {
        if (e.t <= keep.distance) {
            if (e.ref & LeafFlag) {
                uint32_t first = e.ref & LeafFirstMask;
                uint32_t count = (e.ref & ~LeafFlag) >> LeafCountShift;
                if (count == 0) {
                    const Leaf& leaf = leaves_[first];
                    first = leaf.first;
                    count = leaf.count;
                }
                if (packedOnly_) {
                    considerPacked(keep, wide, first, count);
                } else {
                    for (uint32_t i = first; i < first + count; ++i)
                        consider(keep, i);
                }
            } else {
                const Node& node = nodes_[e.ref];
                float tc[4];
                unsigned mask = childSpans<AnyParallel>(node, r, wide, keep.distance, tc);
                if (mask != 0) {
                    // The nearest child is searched next, the others wait on
                    // the stack, the nearer of them on top. One or two
                    // children, the usual case, need no sorting loop.
                    const int first = __builtin_ctz(mask);
                    mask &= mask - 1;
                    if (mask == 0) {
                        e = Entry{node.child[first], tc[first]};
                        continue;
                    }
                    if ((mask & (mask - 1)) == 0) {
                        const int second = __builtin_ctz(mask);
                        const Entry a{node.child[first], tc[first]};
                        const Entry b{node.child[second], tc[second]};
                        const bool bFirst = b.t < a.t;
                        stack[top++] = bFirst ? a : b;
                        prefetch(stack[top - 1].ref);
                        e = bFirst ? b : a;
                        continue;
                    }
                    mask |= 1u << first;
                    Entry found[4];
                    int k = 0;
                    while (mask != 0) {
                        const int i = __builtin_ctz(mask);
                        mask &= mask - 1;
                        const Entry c{node.child[i], tc[i]};
                        int j = k++;
                        while (j > 0 && found[j - 1].t < c.t) {
                            found[j] = found[j - 1];
                            --j;
                        }
                        found[j] = c;
                    }
                    for (int i = 0; i + 1 < k; ++i) {
                        stack[top++] = found[i];
                        prefetch(found[i].ref);
                    }
                    e = found[k - 1];
                    continue;
                }
            }
        }
        if (top == 0) return keep.kept;
        e = stack[--top];
    }
}

template <bool AnyParallel>
const CShape* ShapeBvh::searchFlat(Hit& best, const Ray& ray, const BoxRay& r) const {
    Keeper keep(best, ray);
    for (const Prim& p : unbounded_)
        keep.consider(p.shape, p.index);

    // The members whose boxes the ray meets, nearest box first. A member
    // whose box starts past the best entry so far holds nothing that could
    // win, and neither do those after it.
    struct Entry {
        uint32_t prim;
        float t;
    };
    Entry met[FlatMax];
    int k = 0;
    const WideRay wide(r);
    for (const Node& group : flat_) {
        float tc[4];
        unsigned mask = childSpans<AnyParallel>(group, r, wide, keep.distance, tc);
        while (mask != 0) {
            const int i = __builtin_ctz(mask);
            mask &= mask - 1;
            const Entry c{group.child[i], tc[i]};
            int j = k++;
            while (j > 0 && met[j - 1].t > c.t) {
                met[j] = met[j - 1];
                --j;
            }
            met[j] = c;
        }
    }
    for (int i = 0; i < k && met[i].t <= keep.distance; ++i)
        consider(keep, met[i].prim);
    return keep.kept;
}
