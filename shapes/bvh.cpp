#include "shapes/bvh.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kBins = 12;
constexpr uint32_t kLeafSize = 4;
constexpr int kMaxDepth = 60;

float surfaceArea(const Bounds& b) {
    if (!b.valid()) return 0.0f;
    const float dx = b.hi.x - b.lo.x, dy = b.hi.y - b.lo.y, dz = b.hi.z - b.lo.z;
    return 2.0f * (dx * dy + dy * dz + dz * dx);
}

float axisOf(const Vector3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

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

// Entry of the ray's line into the box, or +inf when the line misses it.
// Hits before the origin count too: a shape may report one there.
inline float boxEntry(const float lo[3], const float hi[3], const float o[3], const float inv[3],
                      const bool zero[3]) {
    float tmin = -std::numeric_limits<float>::infinity();
    float tmax = std::numeric_limits<float>::infinity();
    for (int a = 0; a < 3; ++a) {
        if (zero[a]) {
            if (o[a] < lo[a] || o[a] > hi[a]) return std::numeric_limits<float>::infinity();
            continue;
        }
        float t1 = (lo[a] - o[a]) * inv[a];
        float t2 = (hi[a] - o[a]) * inv[a];
        if (t1 > t2) std::swap(t1, t2);
        tmin = std::max(tmin, t1);
        tmax = std::min(tmax, t2);
    }
    if (!(tmin <= tmax)) return std::numeric_limits<float>::infinity();
    return tmin;
}

}  // namespace

void ShapeBvh::build(const ShapeList& list) {
    nodes_.clear();
    prims_.clear();
    unbounded_.clear();
    std::vector<Bounds> boxes;
    std::vector<Vector3> centres;
    uint32_t index = 0;
    for (CShape* s = list.head; s != nullptr; s = nextOf(s), ++index) {
        Bounds b;
        const bool finite = s->worldBounds(b) && b.valid() && std::isfinite(b.lo.x) &&
                            std::isfinite(b.lo.y) && std::isfinite(b.lo.z) &&
                            std::isfinite(b.hi.x) && std::isfinite(b.hi.y) && std::isfinite(b.hi.z);
        if (!finite) {
            unbounded_.push_back({s, index});
            continue;
        }
        prims_.push_back({s, index});
        boxes.push_back(padded(b));
        const Bounds& p = boxes.back();
        centres.push_back(
            {0.5f * (p.lo.x + p.hi.x), 0.5f * (p.lo.y + p.hi.y), 0.5f * (p.lo.z + p.hi.z)});
    }
    if (prims_.empty()) return;
    nodes_.reserve(2 * prims_.size() / kLeafSize + 8);
    buildNode(boxes, centres, 0, static_cast<uint32_t>(prims_.size()), 0);
}

uint32_t ShapeBvh::buildNode(std::vector<Bounds>& boxes, std::vector<Vector3>& centres,
                             uint32_t begin, uint32_t end, int depth) {
    const uint32_t me = static_cast<uint32_t>(nodes_.size());
    nodes_.push_back({});
    Bounds box, centreBox;
    for (uint32_t i = begin; i < end; ++i) {
        box.add(boxes[i]);
        centreBox.add(centres[i]);
    }
    Node node{};
    node.lo[0] = box.lo.x, node.lo[1] = box.lo.y, node.lo[2] = box.lo.z;
    node.hi[0] = box.hi.x, node.hi[1] = box.hi.y, node.hi[2] = box.hi.z;
    const uint32_t n = end - begin;

    auto makeLeaf = [&] {
        node.firstOrRight = begin;
        node.count = n;
        nodes_[me] = node;
        return me;
    };
    if (n <= kLeafSize || depth >= kMaxDepth) return makeLeaf();

    // Binned surface-area heuristic over the widest centroid axis.
    int axis = 0;
    const float ext[3] = {centreBox.hi.x - centreBox.lo.x, centreBox.hi.y - centreBox.lo.y,
                          centreBox.hi.z - centreBox.lo.z};
    if (ext[1] > ext[axis]) axis = 1;
    if (ext[2] > ext[axis]) axis = 2;
    if (!(ext[axis] > 0.0f)) return makeLeaf();
    const float lo = axisOf(centreBox.lo, axis);
    const float scale = kBins / ext[axis];
    auto binOf = [&](uint32_t i) {
        int b = static_cast<int>((axisOf(centres[i], axis) - lo) * scale);
        return std::clamp(b, 0, kBins - 1);
    };
    Bounds binBox[kBins];
    uint32_t binCount[kBins] = {};
    for (uint32_t i = begin; i < end; ++i) {
        const int b = binOf(i);
        binBox[b].add(boxes[i]);
        ++binCount[b];
    }
    float leftArea[kBins - 1];
    uint32_t leftCount[kBins - 1];
    Bounds acc;
    uint32_t cnt = 0;
    for (int i = 0; i < kBins - 1; ++i) {
        acc.add(binBox[i]);
        cnt += binCount[i];
        leftArea[i] = surfaceArea(acc);
        leftCount[i] = cnt;
    }
    float bestCost = std::numeric_limits<float>::infinity();
    int bestSplit = -1;
    acc = Bounds{};
    cnt = 0;
    for (int i = kBins - 1; i > 0; --i) {
        acc.add(binBox[i]);
        cnt += binCount[i];
        if (leftCount[i - 1] == 0 || cnt == 0) continue;
        const float cost = leftArea[i - 1] * leftCount[i - 1] + surfaceArea(acc) * cnt;
        if (cost < bestCost) {
            bestCost = cost;
            bestSplit = i;
        }
    }
    const float leafCost = surfaceArea(box) * n;
    if (bestSplit < 0 || (n <= 16 && bestCost >= leafCost)) return makeLeaf();

    uint32_t mid = begin;
    for (uint32_t i = begin; i < end; ++i) {
        if (binOf(i) < bestSplit) {
            std::swap(prims_[i], prims_[mid]);
            std::swap(boxes[i], boxes[mid]);
            std::swap(centres[i], centres[mid]);
            ++mid;
        }
    }
    if (mid == begin || mid == end) return makeLeaf();
    buildNode(boxes, centres, begin, mid, depth + 1);
    const uint32_t right = buildNode(boxes, centres, mid, end, depth + 1);
    node.firstOrRight = right;
    node.count = 0;
    nodes_[me] = node;
    return me;
}

void ShapeBvh::nearestHit(Hit& best, const Ray& ray) const {
    const float limit = best.entryDistance;  // a hit must be strictly nearer than this
    float bestDistance = limit;
    uint32_t bestIndex = std::numeric_limits<uint32_t>::max();
    Hit work;
    work.reset(best.skipShape);

    auto consider = [&](const Prim& p) {
        p.shape->intersect(work, ray);
        if (work.entryKind == 0) return;
        const float d = work.entryDistance;
        if (!(d < limit)) return;
        if (d < bestDistance || (d == bestDistance && p.index < bestIndex)) {
            best = work;
            bestDistance = d;
            bestIndex = p.index;
        }
    };

    for (const Prim& p : unbounded_)
        consider(p);
    if (nodes_.empty()) return;

    const float o[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
    const float dir[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
    float inv[3];
    bool zero[3];
    for (int a = 0; a < 3; ++a) {
        zero[a] = dir[a] == 0.0f;
        inv[a] = zero[a] ? 0.0f : 1.0f / dir[a];
    }
    struct Entry {
        uint32_t node;
        float t;
    };
    Entry stack[128];
    int top = 0;
    float t0 = boxEntry(nodes_[0].lo, nodes_[0].hi, o, inv, zero);
    if (!(t0 <= bestDistance)) return;
    stack[top++] = {0, t0};
    while (top > 0) {
        const Entry e = stack[--top];
        // Equal entries may still hold a tie that an earlier shape wins.
        if (e.t > bestDistance) continue;
        const Node& node = nodes_[e.node];
        if (node.count > 0) {
            for (uint32_t i = 0; i < node.count; ++i)
                consider(prims_[node.firstOrRight + i]);
            continue;
        }
        const uint32_t left = e.node + 1, right = node.firstOrRight;
        const float tl = boxEntry(nodes_[left].lo, nodes_[left].hi, o, inv, zero);
        const float tr = boxEntry(nodes_[right].lo, nodes_[right].hi, o, inv, zero);
        // Push the farther child first so the nearer is searched first.
        if (tl <= tr) {
            if (tr <= bestDistance) stack[top++] = {right, tr};
            if (tl <= bestDistance) stack[top++] = {left, tl};
        } else {
            if (tl <= bestDistance) stack[top++] = {left, tl};
            if (tr <= bestDistance) stack[top++] = {right, tr};
        }
    }
}
