#pragma once

#include <cstdint>

#include "core/bounds.h"
#include "core/frame.h"
#include "core/ray.h"
#include "core/vector3.h"
#include "shapes/material.h"

// Distance of a side at infinity and the start of every nearest-hit search.
constexpr float FarDistance = 8388608.0f;  // 2^23

struct CShape;

struct ListNode {
    ListNode* prev = nullptr;
    ListNode* next = nullptr;
};

// The span of one ray inside one shape.
struct Hit {
    // 0 = no hit; 1 = the ray enters at entryDistance; 2 = the origin is
    // already inside, or only one boundary was found.
    int entryKind = 0;
    int boundaryCount = 0;
    CShape* shape = nullptr;
    CShape* skipShape = nullptr;
    // Which part of `shape` was hit, for shapes made of many (a triangle of
    // a TriangleMesh), and which part of skipShape to skip; 0 for the rest.
    uint32_t part = 0;
    uint32_t skipPart = 0;
    Vector3 entryPoint;
    Vector3 exitPoint;
    Vector3 entryNormal;
    Vector3 exitNormal;
    Vector3 entryColour;
    Vector3 exitColour;
    float entryDistance = FarDistance;
    float exitDistance = FarDistance;
    // Numbers a shape's intersectDistances leaves for its completeHit.
    float weights[2] = {0.0f, 0.0f};

    Hit() = default;
    // A fresh hit that ignores `skip` (a reset one, without clearing twice).
    explicit Hit(CShape* skip, uint32_t skipOf = 0) : skipShape(skip), skipPart(skipOf) {}

    // shape, part and exitDistance are left as they are.
    void reset(CShape* skip, uint32_t skipOf = 0) {
        entryKind = 0;
        boundaryCount = 0;
        skipShape = skip;
        skipPart = skipOf;
        entryPoint = exitPoint = entryNormal = exitNormal = entryColour = exitColour = Vector3{};
        entryDistance = FarDistance;
    }
};

struct CShape : ListNode {
    Vector3 position;
    Material* material = nullptr;

    CShape() = default;
    CShape(const CShape&) = delete;
    CShape& operator=(const CShape&) = delete;
    // Lists delete their shapes through this base.
    virtual ~CShape() = default;

    virtual void intersect(Hit& hit, const Ray& ray) = 0;

    // A search tests many shapes for each one whose hit it keeps, so a shape
    // may split intersect in two: intersectDistances gives the kind, the
    // distances, the boundary count and the shape (and whatever it carries in
    // `weights`), and completeHit adds the points, normals and colours from
    // those alone, with the very arithmetic of intersect. The search completes
    // only the hit it keeps. Shapes that do not split do all in the first.
    virtual void intersectDistances(Hit& hit, const Ray& ray) { intersect(hit, ray); }
    virtual void completeHit(Hit& hit, const Ray& ray) const {
        (void)hit;
        (void)ray;
    }

    // World-space box that holds every point a hit of this shape can report,
    // for shapes that have one; false for unbounded shapes (and for those whose
    // hits may lie before the ray origin), which searches test one by one.
    virtual bool worldBounds(Bounds& out) const {
        (void)out;
        return false;
    }

    // Builds the search structures of any shape lists this shape holds (a
    // bounding shape's inner list); called once after the parse, before a trace.
    virtual void buildAcceleration() {}
    // Drops them again, so that searches are the plain scan.
    virtual void dropAcceleration() {}
};

// A shape defined once in its canonical unit space and placed by a frame.
struct UnitShape : CShape {
    Frame unitToWorld;
    Frame worldToUnit;

    void intersect(Hit& hit, const Ray& ray) override {
        (void)hit;
        (void)ray;
    }
    void setTransform(const Frame& frame);
};

class ShapeBvh;

// Intrusive list of shapes in insertion order; owns its members.
struct ShapeList {
    CShape* head = nullptr;
    CShape* tail = nullptr;

    ShapeList() = default;
    ShapeList(const ShapeList&) = delete;
    ShapeList& operator=(const ShapeList&) = delete;
    ~ShapeList();

    bool append(CShape* shape);
    // Appends the shapes first .. last, already linked to each other in order
    // (first->prev and last->next are set here), and takes ownership.
    void appendChain(CShape* first, CShape* last);
    bool removeLast();
    void deleteAll();
    // The strictly nearer entry wins; ties keep the shape nearer the head.
    // Uses the hierarchy once buildAcceleration has run, with the same result.
    void nearestHit(Hit& best, const Ray& ray) const;
    // The same hit's kind, distances, boundary count and shape; its points,
    // normals and colours may be left out (what a shadow ray asks).
    void nearestOccluder(Hit& best, const Ray& ray) const;
    // The plain scan, whatever has been built.
    void nearestHitLinear(Hit& best, const Ray& ray) const;

    // Builds a bounding volume hierarchy over the members (and, through
    // CShape::buildAcceleration, over the lists they hold). This list's own
    // hierarchy is built on up to `threads` threads, with the same result.
    void buildAcceleration(int threads = 1);
    void dropAcceleration();
    // Drops this list's hierarchy and those of the lists its members hold.
    void dropAllAcceleration();
    const ShapeBvh* acceleration() const { return bvh_; }

  private:
    ShapeBvh* bvh_ = nullptr;
};

inline CShape* nextOf(const CShape* s) { return static_cast<CShape*>(s->next); }
