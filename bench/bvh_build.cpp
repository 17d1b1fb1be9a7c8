// Build time of the search hierarchy over large triangle lists: it must stay
// linear-logarithmic (a million triangles in a few seconds).

#include <benchmark/benchmark.h>

#include <random>

#include "shapes/bvh.h"
#include "shapes/triangle.h"

namespace {

// A wavy sheet of n small triangles, like a height-field mesh.
void fill_sheet(ShapeList& list, int n, std::mt19937& rng) {
    std::uniform_real_distribution<float> jitter(-0.01f, 0.01f);
    const int side = static_cast<int>(std::sqrt(static_cast<double>(n) / 2.0)) + 1;
    const float step = 12.0f / static_cast<float>(side);
    const Vector3 up{0.0f, 1.0f, 0.0f};
    int made = 0;
    for (int i = 0; i < side && made < n; ++i) {
        for (int j = 0; j < side && made < n; ++j) {
            const float x = -6.0f + step * static_cast<float>(i);
            const float z = -6.0f + step * static_cast<float>(j);
            const Vector3 a{x, jitter(rng), z}, b{x + step, jitter(rng), z},
                c{x + step, jitter(rng), z + step}, d{x, jitter(rng), z + step};
            list.append(new Triangle(a, b, c, up, up, up, 0, 0, 0, 0, 0, 0, nullptr));
            list.append(new Triangle(a, c, d, up, up, up, 0, 0, 0, 0, 0, 0, nullptr));
            made += 2;
        }
    }
}

void BvhBuild(benchmark::State& state) {
    std::mt19937 rng(7);
    ShapeList list;
    fill_sheet(list, static_cast<int>(state.range(0)), rng);
    for (auto _ : state) {
        ShapeBvh bvh;
        bvh.build(list);
        benchmark::DoNotOptimize(bvh.nodeCount());
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BvhBuild)
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);
