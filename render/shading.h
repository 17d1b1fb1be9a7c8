#pragma once

#include "core/ray.h"
#include "core/vector3.h"
#include "scene/render_job.h"
#include "scene/scene.h"
#include "shapes/shape.h"

// The colour seen along a primary ray: the shaded nearest surface, or the
// background colour (unclamped) when the ray hits nothing.
Vector3 trace_ray(const Ray& ray, const Scene& scene, const RenderJob& job);

// The colour at `hit`, reached along `ray`; `depth` counts the reflections and
// refractions above this call (0 for a primary ray). The job supplies the
// shading switches and the recursion limit.
void shade(Vector3& out, const Hit& hit, const Ray& ray, const Scene& scene, const RenderJob& job,
           int depth);

// Mirror ray at `point`: direction D - 2 (D . N) N. The origin is not offset;
// the caller skips the surface the ray leaves.
Ray reflect_ray(const Vector3& point, const Vector3& normal, const Vector3& direction);

// Transmitted ray for the ratio `eta`. There is no total internal reflection:
// past the critical angle the ray leaves along a grazing direction.
Ray refract_ray(const Vector3& point, const Vector3& normal, const Vector3& direction, float eta);

// Searches of the scene's shapes made on the calling thread so far: camera,
// shadow, reflected and transmitted rays alike. For ray statistics.
long long rays_cast_on_this_thread();

// a (1 - t) + b t, channel by channel.
Vector3 mix(const Vector3& a, const Vector3& b, float t);

// Channels not above 0 (NaN included) become 0, channels above 1 become 1.
void clamp(Vector3& colour);

// The fall-off of a light at `dist`: 1 at the light, 0 from `strength` on.
float light_attenuation(const Light& light, float dist);
