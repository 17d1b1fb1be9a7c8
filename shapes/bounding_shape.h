#pragma once

#include "shapes/shape.h"

// Tests one enclosing shape first and only then the shapes inside it
// (BOUNDING_SHAPE). The bound is never drawn.
struct BoundingShape : CShape {
    CShape* bound = nullptr;  // owned; null until the parser sets it
    ShapeList inner;          // owned by the list

    BoundingShape() = default;
    ~BoundingShape() override;
    void intersect(Hit& hit, const Ray& ray) override;
    bool worldBounds(Bounds& out) const override;
    // The inner list is searched like the scene's list, hierarchy included.
    void buildAcceleration() override;
    void dropAcceleration() override;
};
