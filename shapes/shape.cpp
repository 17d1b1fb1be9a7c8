#include "shapes/shape.h"

#include "shapes/bvh.h"

void UnitShape::setTransform(const Frame& frame) {
    unitToWorld.matrix = frame.matrix;
    worldToUnit.matrix = frame.matrix;
    worldToUnit.matrix.invert();
    position = frame.matrix.row(3);
}

ShapeList::~ShapeList() { deleteAll(); }

void ShapeList::buildAcceleration(int threads) {
    dropAcceleration();
    for (CShape* s = head; s != nullptr; s = nextOf(s))
        s->buildAcceleration();
    bvh_ = new ShapeBvh;
    bvh_->build(*this, threads);
}

void ShapeList::dropAcceleration() {
    delete bvh_;
    bvh_ = nullptr;
}

void ShapeList::dropAllAcceleration() {
    dropAcceleration();
    for (CShape* s = head; s != nullptr; s = nextOf(s))
        s->dropAcceleration();
}

bool ShapeList::append(CShape* shape) {
    if (shape == nullptr) return false;
    dropAcceleration();
    shape->prev = tail;
    shape->next = nullptr;
    if (tail != nullptr)
        tail->next = shape;
    else
        head = shape;
    tail = shape;
    return true;
}

void ShapeList::appendChain(CShape* first, CShape* last) {
    if (first == nullptr || last == nullptr) return;
    dropAcceleration();
    first->prev = tail;
    last->next = nullptr;
    if (tail != nullptr)
        tail->next = first;
    else
        head = first;
    tail = last;
}

bool ShapeList::removeLast() {
    if (tail == nullptr) return false;
    dropAcceleration();
    CShape* last = tail;
    tail = static_cast<CShape*>(last->prev);
    if (tail != nullptr)
        tail->next = nullptr;
    else
        head = nullptr;
    last->prev = nullptr;
    last->next = nullptr;
    return true;
}

void ShapeList::deleteAll() {
    dropAcceleration();
    CShape* s = head;
    while (s != nullptr) {
        CShape* n = nextOf(s);
        delete s;
        s = n;
    }
    head = nullptr;
    tail = nullptr;
}

void ShapeList::nearestHit(Hit& best, const Ray& ray) const {
    if (bvh_ != nullptr) {
        bvh_->nearestHit(best, ray);
        return;
    }
    nearestHitLinear(best, ray);
}

void ShapeList::nearestOccluder(Hit& best, const Ray& ray) const {
    if (bvh_ != nullptr) {
        bvh_->nearestHit(best, ray, false);
        return;
    }
    nearestHitLinear(best, ray);
}

void ShapeList::nearestHitLinear(Hit& best, const Ray& ray) const {
    Hit work(best.skipShape, best.skipPart);
    for (CShape* s = head; s != nullptr; s = nextOf(s)) {
        s->intersect(work, ray);
        if (work.entryKind != 0 && best.entryDistance > work.entryDistance) best = work;
    }
}
