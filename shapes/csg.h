#pragma once

#include "shapes/shape.h"

// Constructive solid geometry over exactly two operands. Each operator asks
// both operands for their one span along the ray and combines the two spans
// into one; the combined hit keeps the left operand's entryKind,
// boundaryCount and shape.
//
// The operands belong to the CSG shape: the parser takes them off the shape
// list and stores them here, and the destructor deletes them (nested CSG
// shapes included). The CSG shape's own material is never used for colours.
struct CSGShape : CShape {
    CShape* left = nullptr;   // the first shape written in the block
    CShape* right = nullptr;  // the second

    ~CSGShape() override;
    // Operands may hold lists of their own (a bounding shape's, say).
    void buildAcceleration() override;
    void dropAcceleration() override;
};

// Both operands: from the nearer entry to the farther exit.
struct CSGUnion : CSGShape {
    void intersect(Hit& hit, const Ray& ray) override;
    // The box of both operands, when both have one.
    bool worldBounds(Bounds& out) const override;
};

// Where both operands overlap.
struct CSGIntersection : CSGShape {
    void intersect(Hit& hit, const Ray& ray) override;
    // The left operand's box (a left span with one side is returned as it is,
    // so the right operand's box alone would not hold it).
    bool worldBounds(Bounds& out) const override;
};

// The left operand with the right one cut away.
struct CSGDifference : CSGShape {
    void intersect(Hit& hit, const Ray& ray) override;
    // The left operand's box.
    bool worldBounds(Bounds& out) const override;
};
