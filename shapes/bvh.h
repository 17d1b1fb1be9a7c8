#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "core/bounds.h"
#include "core/huge_pages.h"
#include "shapes/shape.h"
#include "shapes/triangle.h"

struct BoxRay;

// A bounding volume hierarchy over the members of one shape list. Its search
// gives exactly the hit of the list's linear scan: the strictly nearer entry
// wins, ties keep the shape nearer the head, and a hit at the caller's
// starting distance is never taken. Shapes without finite bounds are tested
// one by one.
//
// It is built as a binary tree by the surface-area heuristic and then
// flattened into nodes of up to four children, whose boxes a ray tests
// together.
class ShapeBvh {
  public:
    // With `threads` above 1, the halves of large lists are built on threads
    // of their own; the hierarchy is the same whatever the count.
    void build(const ShapeList& list, int threads = 1);
    // Without `complete`, the hit's points, normals and colours may be left
    // out (ShapeList::nearestOccluder).
    void nearestHit(Hit& best, const Ray& ray, bool complete = true) const;

    // Bounded members, a TriangleMesh counting its triangles.
    size_t boundedCount() const { return prims_.size(); }
    size_t unboundedCount() const { return unbounded_.size(); }
    size_t nodeCount() const { return nodes_.size() + flat_.size(); }
    // A digest of the hierarchy's layout: every node's boxes and children,
    // every leaf, and the entries in their order (by list position and part).
    // Two builds with the same digest search alike.
    uint64_t fingerprint() const;

  private:
    struct Prim {
        CShape* shape;
        uint32_t index;  // order in the list, for ties
        // A triangle of a TriangleMesh (its number), or one of the two below.
        uint32_t part = AsShape;
    };
    // Tested through the shape's intersectDistances.
    static constexpr uint32_t AsShape = 0xFFFFFFFFu;
    // A Triangle, tested from packed_.
    static constexpr uint32_t PackedShape = 0xFFFFFFFEu;
    // Children's boxes by axis and child, so that four boxes are tested at once.
    struct alignas(64) Node {
        float lo[3][4];
        float hi[3][4];
        // A child node's index, a leaf (LeafFlag with its primitives), or
        // Empty for an unused slot.
        uint32_t child[4];
        uint32_t valid;  // bit i set when child i is used
        uint32_t pad[3];
    };
    struct Leaf {
        uint32_t first;
        uint32_t count;
    };
    // A leaf of up to LeafCountMax primitives keeps their count and the
    // first one's position in prims_ in its reference; a count of 0 there
    // sends to leaves_ instead (larger leaves, or primitives beyond the
    // position's bits). The count never reaches 15, so no leaf is Empty.
    static constexpr uint32_t LeafFlag = 0x80000000u;
    static constexpr int LeafCountShift = 27;
    static constexpr uint32_t LeafFirstMask = (1u << LeafCountShift) - 1;
    static constexpr uint32_t LeafCountMax = 8;
    static constexpr uint32_t Empty = 0xFFFFFFFFu;

    // The binary tree of the build, flattened afterwards. A node's left
    // child is the node right after it.
    struct BuildNode {
        Bounds box;
        uint32_t right = 0;  // or a leaf's first primitive
        uint32_t count = 0;  // a leaf's primitives; 0 for a node with children
    };
    static_assert(sizeof(BuildNode) == 32);
    // Lists of up to FlatMax bounded members have no tree: their boxes, four
    // to a group, are all tested at once and the members met are tried
    // nearest box first.
    static constexpr size_t FlatMax = 16;

    // The arrays of a large list, in huge pages.
    template <class T>
    using LongArray = std::vector<T, HugePageAllocator<T>>;
    // The same for arrays whose elements are each written before being read.
    template <class T>
    using UnfilledArray = std::vector<T, UnfilledHugePageAllocator<T>>;
    // An entry as the build sorts it: its padded box, its number in the
    // order of the list's entries (Empty for one without finite bounds), and
    // the member of the list it belongs to; two wide loads give the box.
    struct alignas(16) BuildRef {
        float lo[3];
        uint32_t id;
        float hi[3];
        uint32_t member;
    };
    static_assert(sizeof(BuildRef) == 32);
    using RefArray = UnfilledArray<BuildRef>;
    // The binary tree being built has room for the most nodes it can have;
    // each builder writes its nodes from its own next slot on.
    using Tree = UnfilledArray<BuildNode>;
    struct Cursor {
        uint32_t next = 0;  // the slot the next node takes
        size_t made = 0;    // nodes written
    };

    // The box of a range's members and the box of their centres, worked out
    // by whoever split the range off.
    struct Extent {
        Bounds box;
        Bounds centres;
    };
    // Builds the node of members [begin, end) and those below it into the
    // tree's slots from the cursor's on (at most 2 (end - begin) - 1 of them),
    // and moves the cursor past them; the node's slot. `spareThreads` more
    // threads may build halves beside it.
    uint32_t buildBinary(Tree& tree, Cursor& at, RefArray& refs, uint32_t begin, uint32_t end,
                         const Extent& extent, int depth, int spareThreads = 0);
    // Where a range is cut in two: the members whose centre falls below bin
    // `bin` of `bins` on `axis` (binned from `lo`, `scale` bins a unit) go
    // to the left side. axis -1: no cut leaves members on both sides.
    struct Cut {
        int axis = -1;
        int bin = -1;
        int bins = 0;
        float lo = 0.0f;
        float scale = 0.0f;
        // The surface-area heuristic's cost of the two sides.
        float cost = std::numeric_limits<float>::infinity();
        // Whether the cut is worth more than a leaf of the range, and then
        // the box of each side's members.
        bool split = false;
        Bounds left, right;
    };
    // The cheapest cut of a range whose members span `box` and whose centres
    // span `centreBox`, on up to `threads` threads.
    static Cut findCut(const RefArray& refs, uint32_t begin, uint32_t end, const Bounds& box,
                       const Bounds& centreBox, int threads = 1);
    // Moves the members to their sides of the cut; where the right side
    // begins, and each side's extent (the boxes those of the cut).
    static uint32_t partition(RefArray& refs, uint32_t begin, uint32_t end, const Cut& cut,
                              Extent& left, Extent& right);
    // Builds node `me`'s two sides, the left on a thread of its own; false,
    // with nothing built, when no thread could be started.
    bool buildSidesInParallel(Tree& tree, Cursor& at, RefArray& refs, uint32_t me, uint32_t begin,
                              uint32_t mid, uint32_t end, const Extent& leftExtent,
                              const Extent& rightExtent, int depth, int spareThreads);
    // prims_ in the order of the build's entries: `base` gives each member's
    // first entry when it is a mesh, AsShape otherwise (empty when no member
    // is a mesh).
    void makePrims(const RefArray& refs, const std::vector<uint32_t>& base);
    uint32_t flatten(const Tree& tree, uint32_t node);
    uint32_t childRef(const Tree& tree, uint32_t node);
    // The members below `node`, counted up to just past `most`.
    static uint32_t smallCount(const Tree& tree, uint32_t node, uint32_t most);
    // Subtrees of up to WideLeaf triangles become one leaf, whose triangles
    // are tested four at a time, when the tree holds triangles only.
    static constexpr uint32_t WideLeaf = 8;
    bool smallLeaves_ = false;
    // Packs the triangles of prims_ [from, to).
    void packTriangles(size_t from, size_t to);
    void packTriangles(int threads);

    // The shape whose hit was kept, its points, normals and colours still
    // to be completed; null when none was.
    template <bool AnyParallel>
    const CShape* search(Hit& best, const Ray& ray, const BoxRay& r) const;
    template <bool AnyParallel>
    const CShape* searchFlat(Hit& best, const Ray& ray, const BoxRay& r) const;
    void nearestHitInOrder(Hit& best, const Ray& ray) const;
    // Tests the entry in prims_ slot `slot` and keeps its hit if nearer.
    template <class K>
    void consider(K& keep, uint32_t slot) const;
    // Tests the packed triangles of slots [first, first + count), when
    // every entry of the tree is a packed triangle.
    template <class K, class W>
    void considerPacked(K& keep, const W& wide, uint32_t first, uint32_t count) const;

    LongArray<Node> nodes_;
    std::vector<Node> flat_;  // groups of a flat list; child[i] indexes prims_
    std::vector<Leaf> leaves_;
    UnfilledArray<Prim> prims_;  // each written as it is made
    struct FreePacked {
        size_t bytes;  // set whenever there is a room to free
        void operator()(PackedTriangle* p) const;
    };
    // By prims_ slot, for the tree's triangles; the other slots are never
    // written or read.
    std::unique_ptr<PackedTriangle[], FreePacked> packed_;
    // Every entry of the tree has a packed copy (a triangle without area has
    // one that meets nothing).
    bool packedOnly_ = false;
    std::vector<Prim> unbounded_;
    LongArray<CShape*> inOrder_;  // every member, in list order
    uint32_t root_ = Empty;       // a node, a leaf, or Empty
    Bounds rootBox_;
};
