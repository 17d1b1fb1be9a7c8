#include "shapes/shape.h"

void UnitShape::setTransform(const Frame& frame) {
    unitToWorld.matrix = frame.matrix;
    worldToUnit.matrix = frame.matrix;
    worldToUnit.matrix.invert();
    position = frame.matrix.row(3);
}

bool ShapeList::append(CShape* shape) {
    if (shape == nullptr) return false;
    shape->prev = tail;
    shape->next = nullptr;
    if (tail != nullptr)
        tail->next = shape;
    else
        head = shape;
    tail = shape;
    return true;
}

bool ShapeList::removeLast() {
    if (tail == nullptr) return false;
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
    Hit work;
    work.reset(best.skipShape);
    for (CShape* s = head; s != nullptr; s = nextOf(s)) {
        s->intersect(work, ray);
        if (work.entryKind != 0 && best.entryDistance > work.entryDistance) best = work;
    }
}
