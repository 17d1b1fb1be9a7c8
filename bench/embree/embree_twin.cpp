// The speed anchor for triangle meshes: the same camera rays and shadow rays
// traced by Glimmark's hierarchy and by Intel Embree's single-ray queries
// (rtcIntersect1, rtcOccluded1) over the same triangles, one thread each.
//
//   glimmark_embree_twin SCENE [--width W --height H] [--repeat N] [--build-threads T]
//
// SCENE is parsed as the program parses it; its triangles (typed, or MESH
// FILE) go to Embree as they are in world space. The camera rays are the
// picture's own samples (no antialiasing); the shadow rays start where
// Glimmark's camera rays hit and go to each light, as shading sends them.
// Only the searches are timed, not shading, in processor time of the one
// thread (wall time on a busy machine counts other programs' turns); the best
// of N runs is kept. Both hierarchies are also built N times, each from
// nothing, the two taking turns, and the best and the median of the builds'
// wall and thread times are printed beside the first build's wall time.

#include <embree3/rtcore.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "render/pixel_samples.h"
#include "shapes/bvh.h"
#include "shapes/triangle.h"
#include "shapes/triangle_mesh.h"
#include "tests/support/captured_scene.h"

namespace {

struct ShadowRay {
    Ray ray;
    float reach;
    CShape* from;
    uint32_t part;
};

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Processor time of this thread: on a shared machine, the time the thread
// was not waiting for a core.
double cpuNow() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The times of repeated builds: wall and this thread's processor time.
struct BuildTimes {
    std::vector<double> wall, cpu;

    template <class Build>
    void time(Build build) {
        const double w = now(), c = cpuNow();
        build();
        cpu.push_back(cpuNow() - c);
        wall.push_back(now() - w);
    }
    static double best(std::vector<double> v) { return *std::min_element(v.begin(), v.end()); }
    // The middle one, or the mean of the middle two.
    static double median(std::vector<double> v) {
        std::sort(v.begin(), v.end());
        const size_t n = v.size();
        return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
    }
    void print(const char* name) const {
        std::printf("%s wall %.4f / %.4f s, thread CPU %.4f / %.4f s", name, best(wall),
                    median(wall), best(cpu), median(cpu));
    }
};

// Glimmark's shadow reach (render/shading.cpp).
float shadow_reach(float dist) {
    if (!(dist >= 1e-6f)) return FarDistance;
    return std::min(FarDistance, dist * 1.0001f);
}

// Every triangle of the list, world space, as Embree takes them.
void gather(const ShapeList& list, std::vector<float>& vertices, std::vector<unsigned>& indices) {
    auto add = [&](const Vector3& p) {
        vertices.insert(vertices.end(), {p.x, p.y, p.z});
        return static_cast<unsigned>(vertices.size() / 3 - 1);
    };
    for (const CShape* s = list.head; s != nullptr; s = nextOf(s)) {
        if (const auto* t = dynamic_cast<const Triangle*>(s)) {
            indices.insert(indices.end(), {add(t->A), add(t->B), add(t->C)});
        } else if (const auto* m = dynamic_cast<const TriangleMesh*>(s)) {
            const auto base = static_cast<unsigned>(vertices.size() / 3);
            for (const auto& c : m->corners)
                add(c.position);
            for (const auto& f : m->faces)
                indices.insert(indices.end(),
                               {base + f.corner[0], base + f.corner[1], base + f.corner[2]});
        }
    }
}

RTCRayHit embreeRay(const Ray& r, float tfar) {
    RTCRayHit q{};
    q.ray.org_x = r.origin.x, q.ray.org_y = r.origin.y, q.ray.org_z = r.origin.z;
    q.ray.dir_x = r.direction.x, q.ray.dir_y = r.direction.y, q.ray.dir_z = r.direction.z;
    q.ray.tnear = 0.0f;
    q.ray.tfar = tfar;
    q.ray.mask = 0xFFFFFFFFu;
    q.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    return q;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: %s SCENE [--width W --height H] [--repeat N] [--build-threads T]\n",
                     argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    int width = 0, height = 0, repeat = 3, buildThreads = 1;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string o = argv[i];
        const int v = std::atoi(argv[i + 1]);
        if (o == "--width") width = v;
        if (o == "--height") height = v;
        if (o == "--repeat") repeat = std::max(1, v);
        if (o == "--build-threads") buildThreads = std::max(1, v);
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    CapturedScene captured;
    double t0 = now();
    if (!captured.load(text.str(), std::filesystem::path(path).parent_path().string())) {
        std::fprintf(stderr, "%s\n", captured.error().c_str());
        return 1;
    }
    const double parseSeconds = now() - t0;
    RenderJob& job = captured.job();
    if (width > 0) job.width = width;
    if (height > 0) job.height = height;
    const Scene& scene = captured.scene();
    ShapeList& shapes = const_cast<ShapeList&>(scene.shapes);
    // The two builds take turns, each from nothing, so that a machine
    // growing busier weighs on both alike (the last of each is searched).
    std::vector<float> vertices;
    std::vector<unsigned> indices;
    gather(scene.shapes, vertices, indices);
    RTCDevice device = rtcNewDevice("threads=1");
    RTCScene rtc = nullptr;
    BuildTimes glimmarkBuilds, embreeBuilds;
    for (int run = 0; run < repeat; ++run) {
        glimmarkBuilds.time([&] { shapes.buildAcceleration(buildThreads); });
        if (rtc != nullptr) rtcReleaseScene(rtc);
        rtc = rtcNewScene(device);
        embreeBuilds.time([&] {
            RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
            rtcSetSharedGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                       vertices.data(), 0, 3 * sizeof(float), vertices.size() / 3);
            rtcSetSharedGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                       indices.data(), 0, 3 * sizeof(unsigned), indices.size() / 3);
            rtcCommitGeometry(geometry);
            rtcAttachGeometry(rtc, geometry);
            rtcReleaseGeometry(geometry);
            rtcCommitScene(rtc);
        });
    }
    const double embreeBuild = embreeBuilds.wall.front();
    const double buildSeconds = glimmarkBuilds.wall.front();

    // The camera rays of the picture, one per pixel.
    std::vector<Ray> camera;
    camera.reserve(static_cast<size_t>(job.width) * job.height);
    for (int row = 0; row < job.height; ++row)
        for (int col = 0; col < job.width; ++col) {
            const float x = 2.0f * static_cast<float>(col) / static_cast<float>(job.width) - 1.0f;
            const float y = 2.0f * static_cast<float>(row) / static_cast<float>(job.height) - 1.0f;
            camera.push_back(primary_ray(scene.camera, x, y));
        }
    // Glimmark's hits give the shadow rays.
    std::vector<ShadowRay> shadows;
    std::vector<float> cameraT(camera.size(), -1.0f);
    for (size_t i = 0; i < camera.size(); ++i) {
        Hit hit;
        shapes.nearestHit(hit, camera[i]);
        if (hit.entryKind == 0) continue;
        cameraT[i] = hit.entryDistance;
        for (const Light* L = scene.lights.head; L != nullptr; L = L->next) {
            Vector3 Lvec = L->position - hit.entryPoint;
            const float dist = Lvec.length();
            Lvec.normalize();
            shadows.push_back({Ray{hit.entryPoint, Lvec}, shadow_reach(dist), hit.shape, hit.part});
        }
    }

    // Glimmark, trace only: nearest hits without shading, as shadow rays ask.
    double glimmarkBest = 1e30;
    long long glimmarkHits = 0, glimmarkBlocked = 0;
    for (int run = 0; run < repeat; ++run) {
        long long hits = 0, blocked = 0;
        t0 = cpuNow();
        for (const Ray& r : camera) {
            Hit hit;
            shapes.nearestOccluder(hit, r);
            hits += hit.entryKind != 0;
        }
        for (const ShadowRay& s : shadows) {
            Hit hit(s.from, s.part);
            hit.entryDistance = s.reach;
            shapes.nearestOccluder(hit, s.ray);
            blocked += hit.entryKind != 0;
        }
        glimmarkBest = std::min(glimmarkBest, cpuNow() - t0);
        glimmarkHits = hits;
        glimmarkBlocked = blocked;
    }

    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    double embreeBest = 1e30;
    long long embreeHits = 0, embreeBlocked = 0, agree = 0;
    for (int run = 0; run < repeat; ++run) {
        long long hits = 0, blocked = 0, same = 0;
        t0 = cpuNow();
        for (size_t i = 0; i < camera.size(); ++i) {
            RTCRayHit q = embreeRay(camera[i], FarDistance);
            rtcIntersect1(rtc, &context, &q);
            const bool hit = q.hit.geomID != RTC_INVALID_GEOMETRY_ID;
            hits += hit;
            same += hit == (cameraT[i] >= 0.0f);
        }
        for (const ShadowRay& s : shadows) {
            RTCRayHit q = embreeRay(s.ray, s.reach);
            // Embree has no shape to skip: the ray starts a little off it.
            q.ray.tnear = 1e-4f;
            rtcOccluded1(rtc, &context, &q.ray);
            blocked += q.ray.tfar < 0.0f;
        }
        embreeBest = std::min(embreeBest, cpuNow() - t0);
        embreeHits = hits;
        embreeBlocked = blocked;
        agree = same;
    }
    rtcReleaseScene(rtc);
    rtcReleaseDevice(device);

    const double rays = static_cast<double>(camera.size() + shadows.size());
    std::printf("scene %s: %zu triangles, %dx%d, %zu camera rays, %zu shadow rays\n", path.c_str(),
                indices.size() / 3, job.width, job.height, camera.size(), shadows.size());
    std::printf("parse %.3f s; build: Glimmark %.3f s on %d thread(s), Embree %.3f s on one\n",
                parseSeconds, buildSeconds, buildThreads, embreeBuild);
    // Of the Glimmark builds on more threads, only the calling thread's time
    // is counted.
    std::printf("builds, best / median of %d: ", repeat);
    glimmarkBuilds.print("Glimmark");
    std::printf("; ");
    embreeBuilds.print("Embree");
    std::printf("; ratio Embree/Glimmark CPU %.2f / %.2f\n",
                BuildTimes::best(embreeBuilds.cpu) / BuildTimes::best(glimmarkBuilds.cpu),
                BuildTimes::median(embreeBuilds.cpu) / BuildTimes::median(glimmarkBuilds.cpu));
    std::printf("hierarchy digest %016llx\n",
                static_cast<unsigned long long>(shapes.acceleration()->fingerprint()));
    std::printf("Glimmark: %.3f s, %.2f M rays/s/core (hits %lld, shadowed %lld)\n", glimmarkBest,
                rays / glimmarkBest * 1e-6, glimmarkHits, glimmarkBlocked);
    std::printf("Embree:   %.3f s, %.2f M rays/s/core (hits %lld, shadowed %lld)\n", embreeBest,
                rays / embreeBest * 1e-6, embreeHits, embreeBlocked);
    std::printf("ratio Glimmark/Embree: %.2f; camera rays hit alike: %.4f%%\n",
                embreeBest / glimmarkBest,
                100.0 * static_cast<double>(agree) / static_cast<double>(camera.size()));
    return 0;
}
