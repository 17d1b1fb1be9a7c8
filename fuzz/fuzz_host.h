#pragma once

#include <string>

#include "run/headless_host.h"
#include "run/trace_controller.h"

// A quiet headless host whose trace window is never larger than a small
// tile, so that a document asking for a huge image still costs little.
class FuzzHost : public HeadlessHost {
  public:
    static constexpr int Side = 8;

    FuzzHost() { quiet = true; }
    void show_trace_window(int width, int height) override {
        HeadlessHost::show_trace_window(width < Side ? width : Side, height < Side ? height : Side);
    }
};

// Runs `text` through the controller's whole cycle, as the CLI does: a
// check-only parse when `build` is false, otherwise a building parse and, when
// it parses, one traced frame of at most 8 x 8 pixels at a small depth.
void run_document(const std::string& text, bool build);
