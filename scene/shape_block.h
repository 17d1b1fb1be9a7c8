#pragma once

// The block that makes a shape of each class. The pick tells a scene's
// shapes apart by their class (render/pick.h); the language names each block
// by its keyword (language/vocabulary.h). Neither sees the other, and both
// see this list.
enum class ShapeBlock : int {
    Sphere,
    Cube,
    Cylinder,
    Cone,
    Paraboloid,
    Hyperboloid,
    Plane,
    Triad,
    Pyramid,
    Cosine,
    Everywhere,
    Quadric,
    Cubic,
    Sor,
    Mesh,  // a triangle of it
    Union,
    Intersection,
    Difference,
    BoundingShape,  // a bounding group
    None,           // a shape no block makes
};
