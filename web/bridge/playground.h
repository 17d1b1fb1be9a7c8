#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "glimmark/canvas.h"
#include "glimmark/engine.h"
#include "glimmark/preview.h"
#include "glimmark/run.h"

// Where an error's word stands in the editor's text: the word as UTF-16
// offsets [from, to) (what a browser editor counts), and the line and column
// (from 1, in UTF-16 units) of its first character.
struct EditorPlace {
    int from = 0;
    int to = 0;
    int line = 1;
    int column = 1;
};
// The place of bytes [start, end) of UTF-8 `text`; an offset inside a
// character's bytes counts as the place before it, offsets outside the text
// are clamped to it. Lines end at "\n", as in the editor's text.
EditorPlace editor_place(const std::string& text, int start, int end);

// What a run tells the page. Each call stands for one message of the worker.
class PlaygroundEvents {
  public:
    virtual ~PlaygroundEvents() = default;
    // A message box of the studio (caption and text as it shows them).
    virtual void message(const std::string& caption, const std::string& text) = 0;
    // The first parse error: the box's caption and text, the status line, and
    // where the word is.
    virtual void parse_error(const std::string& caption, const std::string& text,
                             const std::string& status, const EditorPlace& place) = 0;
    // A parse-only run found no error: the studio's box that says so.
    virtual void parsed(const std::string& caption, const std::string& text) = 0;
    // A frame of `count` starts: its picture is width x height, black.
    virtual void frame(int width, int height, int index, int count, int fps) = 0;
    // Frame `index` is over with its first `rows` rows traced (all of them
    // unless it was stopped).
    virtual void frame_done(int index, int rows) = 0;
    // The next frame is due in this many milliseconds: call next_frame_due
    // then (or at once after stop).
    virtual void delay(int milliseconds) = 0;
    // A Play run is over: stopped by stop(), or done after `seconds`;
    // `failed` when it ended on an error it has shown. `status` is the
    // studio's status line for it (empty after a parse error, whose line
    // stays).
    virtual void run_over(bool stopped, bool failed, double seconds, const std::string& status) = 0;
    // A line for the status bar, such as why Play did nothing.
    virtual void status(const std::string& text) = 0;
};

// The run cycle and its window for a page: runs start on demand, the
// picture is kept in memory, and the frame a render thread would trace is
// traced by trace_rows, a few rows per call, so that the caller (the web
// worker's loop) can take Stop in between. Runs in one thread.
class Playground : public glimmark::Window {
  public:
    explicit Playground(PlaygroundEvents& events);
    ~Playground() override;
    Playground(const Playground&) = delete;
    Playground& operator=(const Playground&) = delete;

    // INCLUDE FILE and TEXTURE_FILE names are relative to this folder.
    void set_folder(const std::string& folder) { run_.options().folder = folder; }
    // Settings over the document's TRACER block (width, height, moment).
    glimmark::RunOptions& overrides() { return run_.options(); }
    // The next runs trace band `index` of `count` of every frame: picture
    // rows [index * height / count, (index + 1) * height / count), each the
    // very rows of the whole picture. Band 0 of 1 (the default) is all of it.
    void set_band(int index, int count);
    // The first picture row and the row past the last of the frame's band.
    int band_begin() const { return band_begin_; }
    int band_end() const { return band_end_; }
    // Chunks instead of a band: a frame starts with no rows, and each
    // trace_chunk hands it the rows it traces next (any of the picture's, in
    // any order, each the very rows of the whole picture); end_frame ends it.
    // Only the chunk being traced is kept in memory.
    void set_chunked(bool chunked) { chunked_ = chunked; }
    bool chunked() const { return chunked_; }
    // Starts rows [y0, y1) of the pending frame (clamped to the picture),
    // dropping the chunk before; false when no frame is pending.
    bool trace_chunk(int y0, int y1);
    // Whether the pending frame's chunk has rows left to trace.
    bool chunk_pending() const;
    // The pending frame is over (every chunk it was given is traced).
    void end_frame();

    // F4: parse only. F5: parse and trace every frame.
    void parse(const std::string& text);
    void play(const std::string& text);
    // F7: the frame being traced ends after the row it is in, a frame that
    // waits for its time is not started, and the run ends.
    void stop();
    // Traces up to `rows` more loop rows of the frame (the picture's rows and
    // the two past it). When the frame is complete its frame-done message
    // comes, and with it the next frame or the end of the run. Returns the
    // picture rows finished so far of the frame pending now (0 when none is).
    // Chunked, the rows are those of the chunk, whose end does not end the
    // frame; the row returned is the one past the last finished.
    int trace_rows(int rows);
    // The time asked for by delay() has passed.
    void next_frame_due();
    // Whether a frame waits for trace_rows.
    bool frame_pending() const { return pending_; }
    bool running() const { return run_.running(); }
    // Rows [y0, y1) of the picture as RGBA bytes, alpha 255; valid until the
    // next call.
    const std::vector<uint8_t>& rgba_rows(int y0, int y1);
    // The picture; a band's holds only the band's rows (the others read
    // black).
    const glimmark::Canvas& picture() const { return canvas_; }

    // The live preview's quick looks before its full trace, as the studio
    // takes them: the text parsed at the moment the next run traces, readied
    // at the picture's size halved until it holds at most kPreviewPixels.
    // False when there is nothing to look at (a parse error or a size that
    // cannot be traced: the run that follows says so); nothing is said here.
    static constexpr long long kPreviewPixels = 2048LL * 2048LL;
    bool preview(const std::string& text);
    // The scene's picture size, and the size the preview is traced at.
    int preview_picture_width() const { return preview_full_width_; }
    int preview_picture_height() const { return preview_full_height_; }
    int preview_width() const { return preview_canvas_.width(); }
    int preview_height() const { return preview_canvas_.height(); }
    // A coarse pass of every `step`-th pixel of every `step`-th row at the
    // preview's size; its samples as RGBA bytes, alpha 255, row by row:
    // ceil(width / step) x ceil(height / step) of them, valid until the
    // next call.
    const std::vector<uint8_t>& preview_pass(int step);
    // Drops the preview's scene and picture.
    void preview_clear();

    // Window
    void message_box(const std::string& text, const std::string& caption) override;
    void select_text(int start, int end) override;
    void show_parse_error(const glimmark::Diagnostic& error) override;
    void show_picture(int width, int height) override;
    glimmark::Canvas& canvas() override { return canvas_; }
    void post_message(int message) override;
    void send_message(int message) override;
    void run_finished() override;
    bool delay_next_frame(int milliseconds) override;
    void start_frame(const glimmark::FrameWork& work) override;
    bool frame_running() const override { return false; }
    void join_frame() override {}

  private:
    // Starts a run; false when the text cannot be run (said why).
    bool begin(const std::string& text, bool build);
    // A parse error as the page shows it: a box, a status line and the
    // place to select in the editor.
    void show_diagnostic(const glimmark::Diagnostic& error);
    void finish_frame();
    // The picture rows the pending frame has reached (0 when none is).
    int picture_rows() const;

    PlaygroundEvents& events_;
    glimmark::Canvas canvas_;
    glimmark::Run run_;
    std::string text_;
    std::vector<uint8_t> rgba_;
    // The frame handed over instead of a render thread, while it is pending.
    std::unique_ptr<glimmark::RowSteps> frame_;
    // The pending frame's work, for the chunks it is traced in.
    glimmark::FrameWork work_;
    bool chunked_ = false;
    int band_index_ = 0;
    int band_count_ = 1;
    int band_begin_ = 0;
    int band_end_ = 0;
    bool pending_ = false;
    bool stop_pressed_ = false;
    bool waiting_ = false;
    bool building_ = false;
    std::chrono::steady_clock::time_point started_;
    glimmark::PreviewScene preview_scene_;
    glimmark::Canvas preview_canvas_;
    int preview_full_width_ = 0;
    int preview_full_height_ = 0;
};
