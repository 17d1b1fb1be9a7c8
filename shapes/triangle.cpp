#include "shapes/triangle.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include "core/huge_pages.h"
#include "shapes/shape_support.h"

namespace {

// The slabs triangles are carved from. A freed triangle's place is taken by
// the next one; when the last triangle goes, so do the slabs, which is what
// happens between two parses of a scene.
class TriangleSlabs {
  public:
    static constexpr size_t Slot =
        (sizeof(Triangle) + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
    static constexpr size_t SlabBytes = size_t{1} << 21;

    void* take() {
        std::lock_guard<std::mutex> lock(mutex_);
        void* place = nullptr;
        if (free_ != nullptr) {
            place = free_;
            free_ = free_->next;
        } else {
            if (left_ < Slot) add_slab();
            place = cursor_;
            cursor_ += Slot;
            left_ -= Slot;
        }
        ++alive_;
        return place;
    }

    void give_back(void* place) noexcept {
        std::lock_guard<std::mutex> lock(mutex_);
        auto* slot = static_cast<FreeSlot*>(place);
        slot->next = free_;
        free_ = slot;
        if (--alive_ > 0) return;
        for (void* slab : slabs_)
            std::free(slab);
        slabs_.clear();
        free_ = nullptr;
        cursor_ = nullptr;
        left_ = 0;
    }

  private:
    struct FreeSlot {
        FreeSlot* next;
    };

    void add_slab() {
        slabs_.reserve(slabs_.size() + 1);
        void* slab = std::aligned_alloc(SlabBytes, SlabBytes);
        if (slab == nullptr) throw std::bad_alloc();
        advise_huge_pages(slab, SlabBytes);
        slabs_.push_back(slab);
        cursor_ = static_cast<char*>(slab);
        left_ = SlabBytes;
    }

    std::mutex mutex_;
    FreeSlot* free_ = nullptr;
    char* cursor_ = nullptr;
    size_t left_ = 0;
    size_t alive_ = 0;
    std::vector<void*> slabs_;
};

// Never destroyed: a triangle may still be deleted while the program ends.
TriangleSlabs& slabs() {
    static TriangleSlabs* const pool = new TriangleSlabs;
    return *pool;
}

}  // namespace

void* Triangle::operator new(std::size_t size) {
    if (size != sizeof(Triangle)) return ::operator new(size);
    return slabs().take();
}

void Triangle::operator delete(void* triangle, std::size_t size) noexcept {
    if (triangle == nullptr) return;
    if (size != sizeof(Triangle)) {
        ::operator delete(triangle);
        return;
    }
    slabs().give_back(triangle);
}

Triangle::Triangle(const Vector3& A_, const Vector3& B_, const Vector3& C_, const Vector3& nA_,
                   const Vector3& nB_, const Vector3& nC_, float uA_, float vA_, float uB_,
                   float vB_, float uC_, float vC_, Material* material_)
    : A(A_),
      B(B_),
      C(C_),
      nA(nA_),
      nB(nB_),
      nC(nC_),
      uA(uA_),
      vA(vA_),
      uB(uB_),
      vB(vB_),
      uC(uC_),
      vC(vC_) {
    material = material_;
}

void Triangle::intersectDistances(Hit& hit, const Ray& ray) {
    hit.entryKind = 0;
    if (hit.skipShape == this) return;
    PackedTriangle plane;
    if (plane.pack(A, B, C)) plane.meet(hit, this, ray);
}

void completeTriangleHit(Hit& hit, const Ray& ray, const Vector3& nA, const Vector3& nB,
                         const Vector3& nC, const float* uv, const Material* material) {
    const float t = hit.entryDistance;
    const float s = hit.weights[0];
    const float g = hit.weights[1];
    const Vector3 P = ray.origin + ray.direction * t;
    const float a = 1.0f - g - s;
    hit.entryPoint = P;
    hit.exitPoint = P;
    // Deliberately not renormalised: shading sees the blend as it is.
    hit.entryNormal = nA * a + nB * s + nC * g;
    hit.exitNormal = hit.entryNormal * -1.0f;
    if (hasTexture(material)) {
        const float u = a * uv[0] + s * uv[2] + g * uv[4];
        const float v = a * uv[1] + s * uv[3] + g * uv[5];
        hit.entryColour = material->colourAt(u, v);
    } else {
        hit.entryColour = diffuseOf(material);
    }
    hit.exitColour = hit.entryColour;
}

void Triangle::completeHit(Hit& hit, const Ray& ray) const {
    const float uv[6] = {uA, vA, uB, vB, uC, vC};
    completeTriangleHit(hit, ray, nA, nB, nC, uv, material);
}

void Triangle::intersect(Hit& hit, const Ray& ray) {
    intersectDistances(hit, ray);
    if (hit.entryKind != 0) completeHit(hit, ray);
}

bool triangleBox(const Vector3& A, const Vector3& B, const Vector3& C, Bounds& out) {
    Bounds box;
    box.add(A);
    box.add(B);
    box.add(C);
    // A margin for the rounding of the reported points (a flat triangle's box
    // has no thickness at all).
    const float big = std::max({std::fabs(box.lo.x), std::fabs(box.lo.y), std::fabs(box.lo.z),
                                std::fabs(box.hi.x), std::fabs(box.hi.y), std::fabs(box.hi.z)});
    const float pad = big * 1e-5f + 1e-6f;
    if (!std::isfinite(pad)) return false;
    box.lo = {box.lo.x - pad, box.lo.y - pad, box.lo.z - pad};
    box.hi = {box.hi.x + pad, box.hi.y + pad, box.hi.z + pad};
    out = box;
    return true;
}

bool Triangle::worldBounds(Bounds& out) const { return triangleBox(A, B, C, out); }
