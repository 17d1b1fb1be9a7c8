// The WebAssembly module's entry points, called by web/src/worker.js. Every
// event of a run becomes a call of Module.onEvent with the worker message's
// object (see web/PROTOCOL.md); the worker adds the pixels of rows itself.

#include <emscripten.h>

#include <memory>
#include <string>

#include "glimmark/about.h"
#include "web/bridge/playground.h"

// clang-format off
EM_JS(void, js_message, (const char* caption, const char* text), {
    Module['onEvent']({type: 'message', caption: UTF8ToString(caption), message: UTF8ToString(text)});
});
EM_JS(void, js_parse_error, (const char* caption, const char* text, const char* status, int line,
                             int col, int from, int to), {
    Module['onEvent']({type: 'error', caption: UTF8ToString(caption), message: UTF8ToString(text),
                       status: UTF8ToString(status), line: line, col: col, from: from, to: to});
});
EM_JS(void, js_parsed, (const char* caption, const char* text), {
    Module['onEvent']({type: 'parsed', caption: UTF8ToString(caption), message: UTF8ToString(text)});
});
EM_JS(void, js_frame, (int width, int height, int index, int count, int fps, int band_begin,
                       int band_end), {
    Module['onEvent']({type: 'frame', width: width, height: height, index: index, count: count, fps: fps,
                       bandBegin: band_begin, bandEnd: band_end});
});
EM_JS(void, js_frame_done, (int index, int rows), {
    Module['onEvent']({type: 'frameDone', index: index, rows: rows});
});
EM_JS(void, js_delay, (int milliseconds), {
    Module['onEvent']({type: 'delay', milliseconds: milliseconds});
});
EM_JS(void, js_run_over, (int stopped, int failed, double seconds, const char* status), {
    Module['onEvent']({type: stopped ? 'stopped' : 'done', failed: !!failed, seconds: seconds,
                       status: UTF8ToString(status)});
});
EM_JS(void, js_status, (const char* text), {
    Module['onEvent']({type: 'status', message: UTF8ToString(text)});
});
// clang-format on

namespace {

class WorkerEvents : public PlaygroundEvents {
  public:
    void message(const std::string& caption, const std::string& text) override {
        js_message(caption.c_str(), text.c_str());
    }
    void parse_error(const std::string& caption, const std::string& text, const std::string& status,
                     const EditorPlace& place) override {
        js_parse_error(caption.c_str(), text.c_str(), status.c_str(), place.line, place.column,
                       place.from, place.to);
    }
    void parsed(const std::string& caption, const std::string& text) override {
        js_parsed(caption.c_str(), text.c_str());
    }
    void frame(int width, int height, int index, int count, int fps) override;
    void frame_done(int index, int rows) override { js_frame_done(index, rows); }
    void delay(int milliseconds) override { js_delay(milliseconds); }
    void run_over(bool stopped, bool failed, double seconds, const std::string& status) override {
        js_run_over(stopped ? 1 : 0, failed ? 1 : 0, seconds, status.c_str());
    }
    void status(const std::string& text) override { js_status(text.c_str()); }
};

WorkerEvents events;
std::unique_ptr<Playground> playground;

void WorkerEvents::frame(int width, int height, int index, int count, int fps) {
    js_frame(width, height, index, count, fps, playground->band_begin(), playground->band_end());
}

Playground& the_playground() {
    if (!playground) {
        playground = std::make_unique<Playground>(events);
        // The worker puts the scene's files here.
        playground->set_folder("/scene");
    }
    return *playground;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE const char* gmk_version() { return glimmark::version(); }

EMSCRIPTEN_KEEPALIVE void gmk_parse(const char* text) { the_playground().parse(text); }

EMSCRIPTEN_KEEPALIVE void gmk_play(const char* text) { the_playground().play(text); }

// The moment of the animation the next runs trace (--time of the command);
// has_time 0: every frame.
EMSCRIPTEN_KEEPALIVE void gmk_set_time(int has_time, double time) {
    auto& moment = the_playground().overrides().time;
    if (has_time != 0)
        moment = static_cast<float>(time);
    else
        moment.reset();
}

// The band of rows the next runs trace: `index` of `count` (0 of 1: all).
EMSCRIPTEN_KEEPALIVE void gmk_set_band(int index, int count) {
    the_playground().set_band(index, count);
}

// 1: the next runs trace the chunks gmk_trace_chunk hands them (0: bands).
EMSCRIPTEN_KEEPALIVE void gmk_set_chunked(int chunked) {
    the_playground().set_chunked(chunked != 0);
}

// Rows [y0, y1) of the pending frame are traced next; 0 when no frame is
// pending.
EMSCRIPTEN_KEEPALIVE int gmk_trace_chunk(int y0, int y1) {
    return the_playground().trace_chunk(y0, y1) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int gmk_chunk_pending() { return the_playground().chunk_pending() ? 1 : 0; }

EMSCRIPTEN_KEEPALIVE void gmk_end_frame() { the_playground().end_frame(); }

EMSCRIPTEN_KEEPALIVE void gmk_stop() { the_playground().stop(); }

EMSCRIPTEN_KEEPALIVE void gmk_next_frame_due() { the_playground().next_frame_due(); }

EMSCRIPTEN_KEEPALIVE int gmk_frame_pending() { return the_playground().frame_pending() ? 1 : 0; }

EMSCRIPTEN_KEEPALIVE int gmk_trace_rows(int rows) { return the_playground().trace_rows(rows); }

// Rows [y0, y1) as RGBA bytes in the module's memory; (y1 - y0) x width x 4
// of them, valid until the next call.
EMSCRIPTEN_KEEPALIVE const uint8_t* gmk_rgba_rows(int y0, int y1) {
    return the_playground().rgba_rows(y0, y1).data();
}

// The live preview's coarse passes (see Playground::preview): 1 when the
// text can be looked at, then passes of every `step`-th pixel, their samples
// as RGBA bytes in the module's memory, and the sizes they stand for.
EMSCRIPTEN_KEEPALIVE int gmk_preview(const char* text) {
    return the_playground().preview(text) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE const uint8_t* gmk_preview_pass(int step) {
    return the_playground().preview_pass(step).data();
}

// 0 and 1: the picture's width and height; 2 and 3: the preview's.
EMSCRIPTEN_KEEPALIVE int gmk_preview_size(int which) {
    const Playground& p = the_playground();
    switch (which) {
        case 0:
            return p.preview_picture_width();
        case 1:
            return p.preview_picture_height();
        case 2:
            return p.preview_width();
        default:
            return p.preview_height();
    }
}

EMSCRIPTEN_KEEPALIVE void gmk_preview_clear() { the_playground().preview_clear(); }

EMSCRIPTEN_KEEPALIVE int gmk_picture_width() { return the_playground().picture().width(); }
}
