#pragma once

// Shapes that see every primary ray of a picture traced through the default
// camera: a gradient and a stop at a row.

#include <atomic>
#include <cmath>
#include <vector>

#include "scene/render_job.h"
#include "shapes/shape.h"

// Screen coordinates of a primary ray of the default camera, whose direction
// for (x, y) is normalized(-x, -y, 1).
inline void screen_of(const Ray& r, float& x, float& y) {
    x = -r.direction.x / r.direction.z;
    y = -r.direction.y / r.direction.z;
}

// The hit of a shape that every ray meets at distance 1, facing the camera,
// in one colour.
inline void hit_at_one(Hit& hit, CShape* shape, const Ray& ray, const Vector3& colour) {
    hit.entryKind = 1;
    hit.boundaryCount = 2;
    hit.shape = shape;
    hit.entryDistance = hit.exitDistance = 1.0f;
    hit.entryPoint = hit.exitPoint = ray.origin + ray.direction;
    hit.entryNormal = hit.exitNormal = Vector3{0.0f, 0.0f, -1.0f};
    hit.entryColour = hit.exitColour = colour;
}

// Met by every ray at distance 1 and coloured by the ray's direction, so that
// every sample of a picture has a colour of its own.
struct GradientShape : CShape {
    // Where the rays asked about are kept; none are when null, as several
    // threads may ask at once.
    std::vector<Ray>* rays = nullptr;
    void intersect(Hit& hit, const Ray& ray) override {
        hit.entryKind = 0;
        if (hit.skipShape == this) return;
        if (rays != nullptr) rays->push_back(ray);
        const Vector3 d = ray.direction;
        hit_at_one(hit, this, ray, {0.5f + 0.5f * d.x, 0.5f + 0.5f * d.y, d.z});
    }
};

// Never hit; asks the job to stop once it sees a ray of screen row
// `stop_row` or a later one, in a picture `height` rows high seen through
// the default camera.
struct StopAtRow : CShape {
    RenderJob* job = nullptr;
    int height = 0;
    int stop_row = 0;
    std::atomic<int> highest_row{-1};  // the last row a ray was seen of
    void intersect(Hit& hit, const Ray& ray) override {
        hit.entryKind = 0;
        float x, y;
        screen_of(ray, x, y);
        const int row = static_cast<int>(std::lround((y + 1) * height / 2));
        int seen = highest_row.load();
        while (row > seen && !highest_row.compare_exchange_weak(seen, row)) {
        }
        if (row >= stop_row) job->stop_requested.store(true);
    }
};
