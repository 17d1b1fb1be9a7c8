#pragma once

#include <cstdint>
#include <vector>

#include "core/bounds.h"
#include "shapes/shape.h"

// A bounding volume hierarchy over the members of one shape list. Its search
// gives exactly the hit of the list's linear scan: the strictly nearer entry
// wins, ties keep the shape nearer the head, and a hit at the caller's
// starting distance is never taken. Shapes without finite bounds are tested
// one by one.
class ShapeBvh {
  public:
    void build(const ShapeList& list);
    void nearestHit(Hit& best, const Ray& ray) const;

    size_t boundedCount() const { return prims_.size(); }
    size_t unboundedCount() const { return unbounded_.size(); }
    size_t nodeCount() const { return nodes_.size(); }

  private:
    struct Prim {
        CShape* shape;
        uint32_t index;  // position in the list, for ties
    };
    struct Node {
        float lo[3];
        float hi[3];
        // Leaves: first primitive and count; inner nodes: count 0 and the
        // right child's index (the left child follows its parent).
        uint32_t firstOrRight;
        uint32_t count;
    };
    uint32_t buildNode(std::vector<Bounds>& boxes, std::vector<Vector3>& centres, uint32_t begin,
                       uint32_t end, int depth);

    std::vector<Node> nodes_;
    std::vector<Prim> prims_;
    std::vector<Prim> unbounded_;
};
