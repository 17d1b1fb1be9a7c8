#include "web/bridge/playground.h"

#include <algorithm>
#include <cstdio>

#include "glimmark/about.h"
#include "glimmark/engine.h"

namespace {

// UTF-16 units of the character whose UTF-8 lead byte is `lead`, and its
// length in bytes. A byte that cannot lead a character counts as one unit.
void character_size(unsigned char lead, int& bytes, int& units) {
    units = 1;
    if (lead < 0x80)
        bytes = 1;
    else if ((lead & 0xE0) == 0xC0)
        bytes = 2;
    else if ((lead & 0xF0) == 0xE0)
        bytes = 3;
    else if ((lead & 0xF8) == 0xF0)
        bytes = 4, units = 2;
    else
        bytes = 1;
}

}  // namespace

EditorPlace editor_place(const std::string& text, int start, int end) {
    const int size = static_cast<int>(text.size());
    start = std::clamp(start, 0, size);
    end = std::clamp(end, start, size);
    EditorPlace place;
    bool have_from = false;
    bool have_to = false;
    int units = 0;       // UTF-16 offset of the character at byte i
    int line_start = 0;  // UTF-16 offset of the first character of its line
    for (int i = 0; i < size && !have_to;) {
        int bytes = 1;
        int n = 1;
        character_size(static_cast<unsigned char>(text[i]), bytes, n);
        // A character cut off by the end of the text is one unit per byte.
        if (i + bytes > size) bytes = 1, n = 1;
        if (!have_from && i + bytes > start) {
            place.from = units;
            have_from = true;
        }
        if (i + bytes > end) {
            place.to = units;
            have_to = true;
        }
        if (!have_from && text[i] == '\n') {
            place.line += 1;
            line_start = units + 1;
        }
        units += n;
        i += bytes;
    }
    if (!have_from) place.from = units;
    if (!have_to) place.to = units;
    place.column = place.from - line_start + 1;
    return place;
}

Playground::Playground(PlaygroundEvents& events) : events_(events) { run_.set_window(this); }

void Playground::set_band(int index, int count) {
    band_count_ = std::max(1, count);
    band_index_ = std::clamp(index, 0, band_count_ - 1);
}

Playground::~Playground() {
    // The run calls its window while it goes; the window goes after it.
    pending_ = false;
    frame_.reset();
    run_.set_window(nullptr);
}

bool Playground::begin(const std::string& text, bool build) {
    if (run_.running()) {
        events_.status("A trace is running; Stop (F7) ends it.");
        return false;
    }
    if (text.size() > static_cast<size_t>(glimmark::max_scene_characters)) {
        message_box("The scene text has " + std::to_string(text.size()) +
                        " characters; a trace reads at most " +
                        std::to_string(glimmark::max_scene_characters) + ".",
                    "Glimmark Error");
        if (build) events_.run_over(false, true, 0.0, std::string());
        return false;
    }
    text_ = text;
    stop_pressed_ = false;
    waiting_ = false;
    building_ = build;
    started_ = std::chrono::steady_clock::now();
    return true;
}

void Playground::parse(const std::string& text) {
    if (!begin(text, false)) return;
    // The check builds nothing, so no override of the TRACER block counts.
    glimmark::Settings settings;
    settings.folder = run_.options().folder;
    const std::vector<glimmark::Diagnostic> found = glimmark::check(text_, settings);
    if (found.empty())
        events_.parsed("Parse", "Parsed OK!");
    else
        show_diagnostic(found.front());
}

void Playground::play(const std::string& text) {
    if (!begin(text, true)) return;
    run_.start(text_, true, false);
}

void Playground::stop() {
    run_.request_stop();
    if (!run_.running()) return;
    stop_pressed_ = true;
    // The frame ends after the row it has finished; an animation waiting for
    // its next frame ends at once.
    if (pending_)
        finish_frame();
    else if (waiting_)
        next_frame_due();
}

void Playground::next_frame_due() {
    if (!waiting_) return;
    waiting_ = false;
    run_.handle(glimmark::NextFrameDue);
}

void Playground::start_frame(const glimmark::FrameWork& work) {
    // The band's rows of this frame's height; the whole picture as one band
    // keeps the loop's own bounds.
    const long long height = work.height();
    const int count = run_.animated() && !run_.options().time ? std::max(1, run_.frames()) : 1;
    pending_ = true;
    if (chunked_) {
        // The rows come chunk by chunk; until the first, nothing is kept.
        work_ = work;
        band_begin_ = 0;
        band_end_ = static_cast<int>(height);
        canvas_.resize_band(work.width(), work.height(), 0, 0);
        events_.frame(work.width(), work.height(), run_.frame_index(), count,
                      run_.frames_per_second());
        return;
    }
    band_begin_ = static_cast<int>(height * band_index_ / band_count_);
    band_end_ = static_cast<int>(height * (band_index_ + 1) / band_count_);
    if (band_count_ > 1)
        run_.set_rows(band_begin_, band_end_ - 1);
    else
        run_.set_rows(0, -1);
    // The frame starts as a render thread starts it; its rows come on demand.
    frame_ = std::make_unique<glimmark::RowSteps>(work);
    // The two loop rows past the picture are clipped away and carry no
    // colour into a visible pixel, so they are not traced.
    frame_->end_at_picture();
    events_.frame(work.width(), work.height(), run_.frame_index(), count, run_.frames_per_second());
}

bool Playground::trace_chunk(int y0, int y1) {
    if (!pending_ || !chunked_) return false;
    const int height = work_.height();
    y0 = std::clamp(y0, 0, height);
    y1 = std::clamp(y1, y0, height);
    frame_.reset();
    if (y0 == y1) return true;
    // The chunk alone is kept; its rows start the chain where the whole
    // frame has it, as a band of the command's --rows does.
    canvas_.resize_band(work_.width(), height, y0, y1);
    run_.set_rows(y0, y1 - 1);
    frame_ = std::make_unique<glimmark::RowSteps>(work_);
    frame_->end_at_picture();
    return true;
}

bool Playground::chunk_pending() const { return pending_ && frame_ != nullptr && !frame_->over(); }

void Playground::end_frame() {
    if (pending_ && chunked_) finish_frame();
}

int Playground::trace_rows(int rows) {
    if (!pending_ || frame_ == nullptr) return 0;
    for (int n = 0; n < rows && !frame_->over(); ++n)
        frame_->trace_row();
    if (chunked_) return picture_rows();
    if (frame_->over()) finish_frame();
    return pending_ && frame_ != nullptr ? picture_rows() : 0;
}

int Playground::picture_rows() const {
    return frame_ != nullptr ? std::min(frame_->row(), frame_->height()) : 0;
}

void Playground::finish_frame() {
    const int rows = picture_rows();
    pending_ = false;
    frame_.reset();
    events_.frame_done(run_.frame_index(), rows);
    run_.handle(glimmark::FrameDone);
}

const std::vector<uint8_t>& Playground::rgba_rows(int y0, int y1) {
    const int width = canvas_.width();
    y0 = std::clamp(y0, 0, canvas_.height());
    y1 = std::clamp(y1, y0, canvas_.height());
    rgba_.resize(static_cast<size_t>(y1 - y0) * width * 4);
    size_t i = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t p = canvas_.pixel(x, y);  // 0x00BBGGRR
            rgba_[i++] = static_cast<uint8_t>(p);
            rgba_[i++] = static_cast<uint8_t>(p >> 8);
            rgba_[i++] = static_cast<uint8_t>(p >> 16);
            rgba_[i++] = 255;
        }
    }
    return rgba_;
}

bool Playground::preview(const std::string& text) {
    preview_clear();
    if (run_.running() || text.size() > static_cast<size_t>(glimmark::max_scene_characters))
        return false;
    if (preview_scene_.parse(text, run_.options().folder, run_.options().time)) return false;
    if (!preview_scene_.refusal().empty()) {
        preview_scene_.clear();
        return false;
    }
    preview_full_width_ = preview_scene_.width();
    preview_full_height_ = preview_scene_.height();
    int width = preview_full_width_;
    int height = preview_full_height_;
    while (static_cast<long long>(width) * height > kPreviewPixels) {
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
    }
    preview_scene_.prepare(width, height, nullptr);
    preview_canvas_.resize(width, height);
    return true;
}

const std::vector<uint8_t>& Playground::preview_pass(int step) {
    rgba_.clear();
    if (!preview_scene_.ready() || step < 1) return rgba_;
    preview_scene_.trace_coarse(preview_canvas_, step);
    // One sample per block: its top left pixel, the one the pass traced.
    const int width = preview_canvas_.width();
    const int height = preview_canvas_.height();
    rgba_.reserve(static_cast<size_t>((width + step - 1) / step) * ((height + step - 1) / step) *
                  4);
    for (int y = 0; y < height; y += step) {
        for (int x = 0; x < width; x += step) {
            const uint32_t p = preview_canvas_.pixel(x, y);  // 0x00BBGGRR
            rgba_.push_back(static_cast<uint8_t>(p));
            rgba_.push_back(static_cast<uint8_t>(p >> 8));
            rgba_.push_back(static_cast<uint8_t>(p >> 16));
            rgba_.push_back(255);
        }
    }
    return rgba_;
}

void Playground::preview_clear() {
    preview_scene_.clear();
    preview_canvas_.resize(0, 0);
    preview_full_width_ = 0;
    preview_full_height_ = 0;
}

void Playground::message_box(const std::string& text, const std::string& caption) {
    events_.message(caption, text);
}

void Playground::select_text(int start, int end) {
    // Only a parse error selects text, and show_parse_error sends its place.
    (void)start;
    (void)end;
}

void Playground::show_parse_error(const glimmark::Diagnostic& error) { show_diagnostic(error); }

void Playground::show_diagnostic(const glimmark::Diagnostic& error) {
    const EditorPlace place = editor_place(text_, error.start, error.end);
    const std::string where =
        "Line " + std::to_string(place.line) + ", Col " + std::to_string(place.column);
    events_.parse_error("Parse Error", error.text + "\n\n" + where,
                        "Parse Error at " + where + ": " + error.message + " found: " + error.word,
                        place);
}

void Playground::show_picture(int width, int height) {
    // Only the band's rows are kept: a worker's memory grows with its band,
    // not with the picture. Chunked, each chunk makes room for itself.
    if (chunked_) {
        canvas_.resize_band(width, height, 0, 0);
        return;
    }
    const int first = static_cast<int>(static_cast<long long>(height) * band_index_ / band_count_);
    const int end =
        static_cast<int>(static_cast<long long>(height) * (band_index_ + 1) / band_count_);
    if (canvas_.width() != width || canvas_.height() != height || canvas_.first_row() != first ||
        canvas_.end_row() != end)
        canvas_.resize_band(width, height, first, end);
}

void Playground::post_message(int message) { run_.handle(message); }

void Playground::send_message(int message) { run_.handle(message); }

bool Playground::delay_next_frame(int milliseconds) {
    waiting_ = true;
    events_.delay(milliseconds);
    return true;
}

void Playground::run_finished() {
    if (!building_) return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    const bool failed = run_.parse_error().has_value() || !run_.run_error().empty();
    std::string status;
    if (!run_.run_error().empty()) {
        status = run_.run_error();
    } else if (run_.parse_error()) {
        // The parse error's line stays.
    } else if (stop_pressed_) {
        status = "Stopped";
    } else {
        char text[64];
        std::snprintf(text, sizeof(text), "Done in %.2f s", seconds);
        status = text;
    }
    events_.run_over(stop_pressed_, failed, seconds, status);
}
