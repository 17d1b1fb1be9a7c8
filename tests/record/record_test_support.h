#pragma once

// Shared pieces of the recorder's tests: a host that keeps its messages, a
// fresh folder per test, and pictures whose pixels tell frames apart.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "scene/host.h"
#include "scene/surface.h"
#include "tests/support/ffmpeg_tools.h"
#include "tests/support/temp_folder.h"

class RecordingHost : public Host {
  public:
    struct Message {
        std::string text;
        std::string caption;
    };
    std::vector<Message> messages;
    bool cancel = false;
    int choices = 0;
    // What the dialog answers when not cancelled; -1 keeps the preset.
    int answer_mjpeg = -1;
    int answer_quality = -1;
    bool preset_mjpeg = false;
    int preset_quality = 0;

    void message_box(const std::string& text, const std::string& caption) override {
        messages.push_back({text, caption});
    }
    void select_editor_text(int, int) override {}
    void show_trace_window(int width, int height) override { surface_.resize(width, height); }
    Surface& trace_surface() override { return surface_; }
    void post_trace_done(int) override {}
    void send_trace_done(int) override {}
    // answer_mjpeg chooses between the two AVI formats; answer_format, when
    // set, any format.
    VideoFormat preset_format = VideoFormat::AviMjpeg;
    int answer_format = -1;
    bool choose_compression(VideoFormat& format, int& quality) override {
        ++choices;
        preset_format = format;
        preset_mjpeg = format == VideoFormat::AviMjpeg;
        preset_quality = quality;
        if (cancel) return false;
        if (answer_mjpeg >= 0)
            format = answer_mjpeg != 0 ? VideoFormat::AviMjpeg : VideoFormat::AviRaw;
        if (answer_format >= 0) format = static_cast<VideoFormat>(answer_format);
        if (answer_quality >= 0) quality = answer_quality;
        return true;
    }

  private:
    Surface surface_;
};

// A picture where every pixel differs from its neighbours and from the same
// pixel of other frames: red = x + 7 frame, green = y + 13 frame, blue = mix.
inline uint32_t test_pixel(int x, int y, int frame) {
    const uint32_t r = static_cast<uint32_t>(x * 5 + frame * 7) & 0xFF;
    const uint32_t g = static_cast<uint32_t>(y * 9 + frame * 13) & 0xFF;
    const uint32_t b = static_cast<uint32_t>(x * 3 + y * 11 + frame * 29) & 0xFF;
    return r | (g << 8) | (b << 16);
}

inline void paint(Surface& s, int frame) {
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x)
            s.set_pixel(x, y, test_pixel(x, y, frame));
}
