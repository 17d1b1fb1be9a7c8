#include "render/shading.h"

#include <math.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

thread_local long long rays_cast = 0;

// Every shape gets a material from the parser; a shape built without one is
// shaded as the default material rather than read through a null pointer.
const Material& material_of(const CShape* shape) {
    static const Material fallback;
    if (shape == nullptr || shape->material == nullptr) return fallback;
    return *shape->material;
}

int depth_limit(const RenderJob& job) { return std::min(job.max_depth, MaxTraceDepth); }

// 10^(gloss + 1). A scene has few materials and powf is dear, so each thread
// keeps the last one it computed (compared bit for bit, so the value is
// always what powf gives for this gloss).
float highlight_exponent(float gloss) {
    thread_local bool known = false;
    thread_local uint32_t last_gloss = 0;
    thread_local float last = 0.0f;
    // std::bit_cast, which Emscripten's libc++ does not have.
    uint32_t bits = 0;
    std::memcpy(&bits, &gloss, sizeof bits);
    if (!known || bits != last_gloss) {
        last = powf(10.0f, gloss + 1.0f);
        last_gloss = bits;
        known = true;
    }
    return last;
}

// The half vector of a light at `light` on a shape at `shape` seen from
// `eye`. It is taken from the shape's position, not from the hit point, so
// that a highlight spreads evenly over a flat face: it depends on the three
// positions alone. Neighbouring pixels mostly shade the same shape, so each
// thread keeps the last one of each of the first few lights, keyed by the
// positions' bits (the value is always what the sums below give).
Vector3 half_vector(const Vector3& eye, const Vector3& shape, const Vector3& light, int slot) {
    struct Kept {
        uint32_t key[9];
        Vector3 H;
        bool known = false;
    };
    constexpr int Slots = 4;
    thread_local Kept kept[Slots];
    const float values[9] = {eye.x,   eye.y,   eye.z,   shape.x, shape.y,
                             shape.z, light.x, light.y, light.z};
    uint32_t key[9];
    std::memcpy(key, values, sizeof key);
    Kept* k = slot < Slots ? &kept[slot] : nullptr;
    if (k != nullptr && k->known) {
        // Word by word, not through memcmp: the WebAssembly build would call
        // it for every light of every shaded point.
        uint32_t differ = 0;
        for (int i = 0; i < 9; ++i)
            differ |= k->key[i] ^ key[i];
        if (differ == 0) return k->H;
    }
    const Vector3 V = (eye - shape).normalized();
    const Vector3 Lc = (shape - light).normalized();
    const Vector3 H = (V - Lc).normalized();
    if (k != nullptr) {
        std::memcpy(k->key, key, sizeof key);
        k->H = H;
        k->known = true;
    }
    return H;
}

// The colour along a secondary ray leaving `from`.
Vector3 trace_secondary(const Ray& ray, const CShape* from, uint32_t from_part, const Scene& scene,
                        const RenderJob& job, int depth) {
    Hit hit(const_cast<CShape*>(from), from_part);
    ++rays_cast;
    scene.shapes.nearestHit(hit, ray);
    if (hit.entryKind == 0) return scene.background_color;
    Vector3 colour;
    shade(colour, hit, ray, scene, job, depth);
    return colour;
}

// How far a shadow ray toward a light `dist` away needs to look. A shape is
// in the way when its entry's square is at most dist's; one entering past
// 1.0001 * dist cannot be (its square is larger by far more than rounding),
// so the search may stop there. Lights nearer than 1e-6 are searched all the
// way, where squares could underflow.
float shadow_reach(float dist) {
    if (!(dist >= 1e-6f)) return FarDistance;
    return std::min(FarDistance, dist * 1.0001f);
}

// Depth of the shape crossed by the ray that produced `hit`; a hit with only
// one known boundary counts as a sliver.
float crossing_thickness(const Hit& hit) {
    if (hit.boundaryCount > 1) return hit.exitDistance - hit.entryDistance;
    return 1e-6f;
}

}  // namespace

Vector3 mix(const Vector3& a, const Vector3& b, float t) {
    const float u = 1.0f - t;
    return {a.x * u + b.x * t, a.y * u + b.y * t, a.z * u + b.z * t};
}

void clamp(Vector3& c) {
    auto channel = [](float v) {
        if (!(v > 0.0f)) return 0.0f;
        if (v > 1.0f) return 1.0f;
        return v;
    };
    c = {channel(c.x), channel(c.y), channel(c.z)};
}

float light_attenuation(const Light& light, float dist) {
    if (light.strength > dist) return (light.strength - dist) / light.strength;
    return 0.0f;
}

Ray reflect_ray(const Vector3& point, const Vector3& normal, const Vector3& direction) {
    const float k = -direction.dot(normal);
    return {point, direction.plus(normal.scaled(2.0f * k))};
}

Ray refract_ray(const Vector3& point, const Vector3& normal, const Vector3& direction, float eta) {
    const float c = direction.dot(normal);
    float k = 1.0f - eta * eta * (1.0f - c * c);
    if (k < 0.0f) k = 0.0f;
    const float m = eta * c - sqrtf(k);
    return {point, normal.scaled(m) - direction.scaled(eta)};
}

long long rays_cast_on_this_thread() { return rays_cast; }

Vector3 trace_ray(const Ray& ray, const Scene& scene, const RenderJob& job) {
    Hit hit;
    ++rays_cast;
    scene.shapes.nearestHit(hit, ray);
    if (hit.entryKind == 0) return scene.background_color;
    Vector3 colour;
    shade(colour, hit, ray, scene, job, 0);
    return colour;
}

namespace {

// Lighting of a point where the ray enters its shape from outside: diffuse
// light and shadows per light, then reflection and refraction, then the
// highlights, which the mirrored and transmitted colours must not weaken.
void shade_entry(Vector3& out, const Hit& hit, const Ray& ray, const Scene& scene,
                 const RenderJob& job, int depth) {
    const Vector3& P = hit.entryPoint;
    const Vector3& N = hit.entryNormal;
    const Vector3& C = hit.entryColour;
    CShape* S = hit.shape;
    const Material& M = material_of(S);
    const Vector3 shape_position = S != nullptr ? S->position : Vector3{};

    float A = 0.0f;
    Vector3 diffuse_sum;
    Vector3 highlight_sum;
    int n = 0;

    const float h = highlight_exponent(M.gloss);

    for (const Light* L = scene.lights.head; L != nullptr; L = L->next) {
        Vector3 Lvec = L->position - P;
        const float dist = Lvec.length();
        const float att = light_attenuation(*L, dist);
        A = A + att;
        Lvec.normalize();
        const Vector3& Ldir = Lvec;

        Vector3 t;
        if (!job.no_diffuse) {
            const float lambert = std::max(0.0f, 2.0f * att * N.dot(Ldir));
            t = multiply(L->color, C).scaled(lambert);
        }

        bool occluded = false;
        if (!job.no_shadow) {
            Hit shadow(S, hit.part);
            shadow.entryDistance = shadow_reach(dist);
            ++rays_cast;
            scene.shapes.nearestOccluder(shadow, Ray{P, Ldir});
            occluded = shadow.entryKind != 0 &&
                       !(dist * dist < shadow.entryDistance * shadow.entryDistance);
            if (occluded) {
                const Material& O = material_of(shadow.shape);
                float f;
                if (O.inner_transparency_depth > 0.0f && shadow.boundaryCount > 1)
                    f = std::max(0.0f, 1.0f - (shadow.exitDistance - shadow.entryDistance) /
                                                  O.inner_transparency_depth);
                else
                    f = O.transparency;
                t = t.scaled(f);
            }
        }
        diffuse_sum = diffuse_sum.plus(t);

        if (!job.no_highlights && M.gloss > 0.0f && !occluded && att > 0.0f) {
            const Vector3 H = half_vector(scene.camera.eye, shape_position, L->position, n);
            const float s = std::max(0.0f, N.dot(H));
            highlight_sum = highlight_sum.plus(L->color.scaled(powf(s, h)).scaled(att));
        }
        n = n + 1;
    }

    if (n > 0) out = out.plus(diffuse_sum / static_cast<float>(n));

    if (depth < depth_limit(job)) {
        const Vector3& D = ray.direction;
        if (!job.no_reflection && M.reflection > 0.0f) {
            const Ray R = reflect_ray(P, N, D);
            const Vector3 reflected = trace_secondary(R, S, hit.part, scene, job, depth + 1);
            out = mix(out, reflected, M.reflection);
        }
        if (!job.no_refraction && M.transparency > 0.0f) {
            const Ray T = refract_ray(P, N, D, M.refraction);
            const float thickness = crossing_thickness(hit);
            Vector3 tc = trace_secondary(T, S, hit.part, scene, job, depth + 1);
            if (M.inner_transparency_depth > 0.0f) {
                // The tint grows with the square of the thickness crossed.
                const float s = std::min(1.0f, thickness * thickness / M.inner_transparency_depth);
                tc = mix(tc, M.diffuse.scaled(std::min(A, 1.0f)), s);
            }
            out = mix(out, tc, M.transparency);
        }
    }

    if (n > 0) out = out.plus(highlight_sum / static_cast<float>(n));
}

// A ray that starts inside its shape (it left a shape lying within S, for
// instance) only picks up what shows through S.
void shade_inside(Vector3& out, const Hit& hit, const Ray& ray, const Scene& scene,
                  const RenderJob& job, int depth) {
    CShape* S = hit.shape;
    const Material& M = material_of(S);
    if (!(depth < depth_limit(job) && !job.no_refraction && M.transparency > 0.0f)) return;

    const Vector3& D = ray.direction;
    Hit inner(S, hit.part);
    float thickness = crossing_thickness(hit);
    ++rays_cast;
    scene.shapes.nearestHit(inner, ray);

    Vector3 tc;
    if (inner.entryKind != 0 && hit.exitDistance > inner.entryDistance) {
        // Another shape begins before the ray leaves S.
        shade(tc, inner, ray, scene, job, depth + 1);
        thickness = inner.entryDistance - hit.entryDistance;
    } else {
        const Ray E = refract_ray(hit.exitPoint, hit.exitNormal, D, M.refraction);
        tc = trace_secondary(E, S, hit.part, scene, job, depth + 1);
    }

    if (M.inner_transparency_depth > 0.0f) {
        // Linear in the thickness here, and lit by every light without shadows.
        const float s = std::min(1.0f, thickness / M.inner_transparency_depth);
        float A = 0.0f;
        for (const Light* L = scene.lights.head; L != nullptr; L = L->next) {
            const float dist = (L->position - hit.entryPoint).length();
            A = A + light_attenuation(*L, dist);
        }
        tc = mix(tc, M.diffuse.scaled(A), s);
    }
    out = mix(out, tc, M.transparency);
}

}  // namespace

void shade(Vector3& out, const Hit& hit, const Ray& ray, const Scene& scene, const RenderJob& job,
           int depth) {
    // The distance from the eye only matters in fog.
    const float fog = scene.fog_depth;
    const float d_eye = fog > 0.0f ? (hit.entryPoint - scene.camera.eye).length() : 0.0f;
    if (fog > 0.0f && fog < d_eye) {
        out = scene.background_color;
        return;
    }

    out = hit.entryColour.scaled(scene.ambience);
    if (hit.entryKind == 1)
        shade_entry(out, hit, ray, scene, job, depth);
    else
        shade_inside(out, hit, ray, scene, job, depth);

    if (fog > 0.0f) out = mix(out, scene.background_color, d_eye / fog);
    clamp(out);
}
