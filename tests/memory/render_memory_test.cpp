// Tracing on a machine that runs out of memory: the parse reports it, and
// what the trace only wants for speed (the search structures, the rows the
// threads keep) is done without, for the very same picture.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../render/render_test_support.h"
#include "memory_limit.h"
#include "record/image_file.h"
#include "run/headless_host.h"
#include "run/trace_controller.h"
#include "scene/surface.h"
#include "tests/support/temp_folder.h"

namespace {

// A grid of spheres under one light.
struct GridFrame : TracedFrame {
    GridFrame(int w, int h, int spheres) : TracedFrame(w, h, 2) {
        t.scene.ambience = 0.2f;
        Material* m = t.material({0.7f, 0.5f, 0.3f});
        for (int i = 0; i < spheres; ++i)
            t.sphere({static_cast<float>(i % 40) * 0.1f - 2.0f,
                      static_cast<float>(i / 40) * 0.1f - 2.0f, 6.0f + static_cast<float>(i % 3)},
                     0.06f, m);
        t.light({0.0f, 5.0f, -5.0f}, {1.0f, 1.0f, 1.0f}, 20.0f);
    }
};

TEST(AccelerationWithoutMemory, TheShapesAreSearchedOneByOneForTheSamePicture) {
    GridFrame f(24, 16, 1600);
    const std::vector<uint32_t> plain = f.trace(1, false);
    const size_t refused = memory_limit::refusals();
    {
        memory_limit::Budget budget(4096);
        f.render(1, true);
    }
    EXPECT_GT(memory_limit::refusals(), refused);
    EXPECT_EQ(f.surface.snapshot(), plain);
    EXPECT_EQ(f.t.scene.shapes.acceleration(), nullptr);
    // With memory the structures are built, and the picture is the same.
    EXPECT_EQ(f.trace(1, true), plain);
    EXPECT_NE(f.t.scene.shapes.acceleration(), nullptr);
}

TEST(ParallelFrameWithoutMemory, ThePlainLoopTracesTheSamePicture) {
    GridFrame f(24, 16, 200);
    const std::vector<uint32_t> plain = f.trace(1, false);
    const long long plain_rays = f.job.rays_traced.load();
    const size_t refused = memory_limit::refusals();
    {
        memory_limit::Budget budget(1024);
        f.render(4, false);
    }
    EXPECT_GT(memory_limit::refusals(), refused);
    EXPECT_EQ(f.surface.snapshot(), plain);
    EXPECT_EQ(f.job.rays_traced.load(), plain_rays);
    EXPECT_EQ(f.job.rows_done.load(), f.job.height + 2);
}

int finish_frame(RenderJob* job) {
    job->main_window->post_trace_done(TRACE_FRAME_DONE);
    return 0;
}

TEST(ParseWithoutMemory, IsAParseErrorAndWhatItBuiltIsFreed) {
    HeadlessHost host;
    host.quiet = true;
    TraceController tc;
    tc.host = &host;
    host.set_handler([&tc](int w) { tc.handle_trace_done(w); });
    // 640,000 spheres: far more than the budget holds.
    const std::string scene =
        "SCENE LOOP j LT j 800 LOOP i LT i 800 SPHERE TRANSLATE i j 0 END_SPHERE END_LOOP "
        "END_LOOP END_SCENE";
    {
        memory_limit::Budget budget(1 << 20);
        tc.start(scene.c_str(), true, false, finish_frame);
        host.run_loop();
    }
    EXPECT_TRUE(tc.parsed().parse_error);
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().caption, "Parse Error");
    EXPECT_EQ(host.messages.back().text.rfind(
                  "Out of memory. The scene needs more than this machine has. at char ", 0),
              0u)
        << host.messages.back().text;
    EXPECT_EQ(tc.parsed().scene, nullptr);
    EXPECT_TRUE(tc.parsed().frame_list.empty());
    EXPECT_TRUE(tc.parsed().material_list.empty());
    EXPECT_EQ(host.runs_finished, 1);
    EXPECT_FALSE(tc.running());

    // The next run has all it needs again.
    tc.start("SCENE SPHERE END_SPHERE END_SCENE", true, false, finish_frame);
    host.run_loop();
    EXPECT_FALSE(tc.parsed().parse_error);
    EXPECT_EQ(host.runs_finished, 2);
}

// A picture is written a row at a time: the writer's own memory does not grow
// with the picture, so a render that fits in memory can also be saved.
TEST(PictureWithoutMemory, IsWrittenWithoutACopyOfThePixels) {
    Surface picture(1024, 1024);
    for (int y = 0; y < 1024; ++y)
        picture.set_pixel(y, y, 0x00FFFFFFu);
    TempFolder dir;
    for (const char* name : {"big.png", "big.ppm"}) {
        ImageFormat format;
        ASSERT_TRUE(image_format_for(name, format));
        std::string error;
        const size_t refused = memory_limit::refusals();
        {
            // A sixteenth of the 4 MB of pixels.
            memory_limit::Budget budget(1 << 18);
            EXPECT_TRUE(write_image(dir.file(name), format, picture, error)) << error;
        }
        EXPECT_EQ(memory_limit::refusals(), refused) << name;
        EXPECT_GT(std::filesystem::file_size(dir.file(name)), 1000u);
    }
}

}  // namespace
