#pragma once

#include <memory>
#include <vector>

#include "render/pixel_loop.h"
#include "scene/scene.h"
#include "scene/surface.h"
#include "shapes/sphere.h"
#include "tests/support/picture_shapes.h"

// A scene built by hand: materials owned here, shapes and lights by the scene.
struct TestScene {
    Scene scene;
    std::vector<std::unique_ptr<Material>> materials;

    Material* material(const Vector3& diffuse) {
        materials.push_back(std::make_unique<Material>());
        materials.back()->diffuse = diffuse;
        return materials.back().get();
    }
    Sphere* sphere(const Vector3& centre, float radius, Material* m) {
        auto* s = new Sphere;
        Frame f;
        f.scaleDiagonal(radius, radius, radius);
        f.addTranslation(centre.x, centre.y, centre.z);
        s->setTransform(f);
        s->material = m;
        scene.shapes.append(s);
        return s;
    }
    Light* light(const Vector3& position, const Vector3& colour, float strength) {
        auto* l = new Light;
        l->position = position;
        l->color = colour;
        l->strength = strength;
        scene.lights.append(l);
        return l;
    }
};

// A scene of the test's own traced into a surface with the two extra
// columns and rows the pixel loop writes.
struct TracedFrame {
    TestScene t;
    RenderJob job;
    Surface surface;
    TracedFrame(int w, int h, int aa) : surface(w + 2, h + 2) {
        job.width = w;
        job.height = h;
        job.antialiasing = aa;
        job.scene = &t.scene;
        job.drawing_context = &surface;
        t.scene.ambience = 1.0f;
        t.scene.background_color = {0.1f, 0.2f, 0.3f};
    }
    // Traces without taking memory of its own.
    void render(int threads, bool accelerate) {
        job.threads = threads;
        job.accelerate = accelerate;
        // The frame blacks out the picture only; the two extra columns and
        // rows are kept here too.
        surface.fill_black(0, 0, job.width + 2, job.height + 2);
        render_frame(job);
    }
    std::vector<uint32_t> trace(int threads, bool accelerate) {
        render(threads, accelerate);
        return surface.snapshot();
    }
};

// A shape that records every ray it is asked about and reports no hit.
struct ProbeShape : CShape {
    std::vector<Ray> rays;
    void intersect(Hit& hit, const Ray& ray) override {
        hit.entryKind = 0;
        rays.push_back(ray);
    }
};
