#pragma once

// The run cycle of a front end that owns a window (the studio, the command
// line, the playground): a run parses the text frame by frame, shows each
// frame's picture on the window's canvas while a render thread traces it,
// records an animation, and tells the window what the user must see. Every
// front end runs this very cycle; a program that only wants pictures uses
// glimmark/engine.h.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "glimmark/canvas.h"
#include "glimmark/engine.h"
#include "glimmark/recording.h"

struct RenderJob;

namespace glimmark {

// What the window hands back to Run::handle, on its own thread: a frame's
// render thread is done, an animation's next frame is due (after a delay the
// window was asked for), the run is over.
enum RunMessage : int { FrameDone = 200, NextFrameDue = 300, RunOver = 400 };

// A frame to trace, handed to the window; the window traces it on a thread
// of its own (trace) or a few rows at a time (RowSteps).
class FrameWork {
  public:
    FrameWork() = default;
    // Traces the whole frame on the calling thread and then posts FrameDone
    // to the window: a render thread's work.
    void trace() const;
    int width() const;
    int height() const;

  private:
    friend class RowSteps;
    friend struct FrameWorkAccess;
    int (*entry_)(RenderJob*) = nullptr;
    RenderJob* job_ = nullptr;
};

// A frame traced row by row on the caller's thread, for a window that has no
// render thread (the web page). The frame is done when over() says so; the
// window then hands FrameDone to the run itself.
class RowSteps {
  public:
    // Starts the frame as a render thread starts it.
    explicit RowSteps(const FrameWork& work);
    ~RowSteps();
    RowSteps(const RowSteps&) = delete;
    RowSteps& operator=(const RowSteps&) = delete;
    // Ends the frame at the picture's last row (the loop's two rows past it
    // carry no colour into a visible pixel).
    void end_at_picture();
    // Traces the next row; false when the frame is over.
    bool trace_row();
    bool over() const;
    // The next loop row to trace.
    int row() const;
    // The picture's height.
    int height() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// What a run needs from the front end.
class Window {
  public:
    virtual ~Window();

    // A modal message box with an OK button.
    virtual void message_box(const std::string& text, const std::string& caption) = 0;
    // Selects editor characters [start, end), scrolls to them and focuses
    // the editor.
    virtual void select_text(int start, int end) = 0;
    // The first error of a parse: a box captioned "Parse Error" with the
    // error's text, and its word selected in the editor.
    virtual void show_parse_error(const Diagnostic& error);
    // Shows the picture of this size (its canvas resized), without taking
    // the focus.
    virtual void show_picture(int width, int height) = 0;
    // The picture's pixels; render threads set them while a frame is traced.
    virtual Canvas& canvas() = 0;
    // Queues the message for the window's own thread (from any thread).
    virtual void post_message(int message) = 0;
    // Hands the message to the run before returning (the window's thread).
    virtual void send_message(int message) = 0;
    // The run is over (the studio enables Play and Record again).
    virtual void run_finished() {}
    // An animation's next frame is due in this many milliseconds. A window
    // that shows frames at their pace returns true and hands NextFrameDue
    // to the run once the time has passed, without blocking; false starts
    // the frame at once.
    virtual bool delay_next_frame(int milliseconds) {
        (void)milliseconds;
        return false;
    }
    // Runs a frame's parse and returns once it is over; by default on the
    // calling thread. A window that must go on answering the user runs it on
    // another thread and handles its own events meanwhile (a parse is not
    // started twice: Run::start does nothing while a run is under way).
    virtual void run_parse(const std::function<void()>& parse) { parse(); }
    // A frame to trace: by default a render thread traces it. One at a time.
    virtual void start_frame(const FrameWork& work);
    virtual bool frame_running() const { return frame_thread_.joinable(); }
    // Waits for the render thread to end (it posts its message as its last
    // act).
    virtual void join_frame();

  protected:
    std::thread frame_thread_;
};

// What the front end wants done with a parsed frame before it is traced.
enum class FrameChoice {
    Trace,
    // Parsed, not traced (its picture exists already); the run goes on.
    Skip,
    // The run ends here without tracing; the front end has said why.
    Stop,
};

// The kinds of video a recording can be written as.
enum class VideoKind { AviRaw, AviMjpeg, Mp4H264, MkvH264, WebmVp9, Gif };

// What went wrong with a recording, by its consequence for the run.
enum class RecordingProblem {
    Refused,
    TargetTaken,
    CannotCreate,
    Stream,
    Compressor,
    Format,
    WriteFailed,
    FileFull,
    IndexFull,
    SaveFailed,
    Warning,
};

// One message of a recording, as the window was shown it.
struct RecordingMessage {
    RecordingProblem kind;
    std::string caption;
    std::string text;
};

class Run;

// Set before a run starts.
struct RunOptions {
    // Folder of the scene file, for relative INCLUDE FILE and TEXTURE_FILE
    // names; empty for text that has no file.
    std::string folder;
    // Over the TRACER block's values; `time` parses one moment of an
    // animation and traces it once.
    std::optional<int> width;
    std::optional<int> height;
    std::optional<int> antialiasing;
    std::optional<int> max_depth;
    std::optional<float> time;
    // Traces only frames first_frame to last_frame of an animation (last -1:
    // to its end); the frames before are parsed without being traced.
    int first_frame = 0;
    int last_frame = -1;
    // When set, a recording goes to this file instead of OUTPUT_FILE; a
    // relative name is relative to the current folder.
    std::string record_file;
    // Record of a scene that gives nowhere to record ends after the parse
    // with run_error() and traces nothing (otherwise its frames are traced
    // without being recorded).
    bool refuse_empty_recording = false;
    // Stop ends a parse under way too, at its next word: the run ends as
    // stopped, with no error to show. Otherwise a parse always reads to its
    // end.
    bool stoppable_parse = false;
    // Asked for the recording's format and quality before its file is
    // opened, starting from those the file name selects; false when the user
    // cancels: nothing is recorded and nothing is said. None: as selected.
    std::function<bool(VideoKind& format, int& quality)> choose_compression;
    // Asked for every frame of the range once it is parsed, before it is
    // traced; none: every frame is traced.
    std::function<FrameChoice(const Run&)> before_frame;

    // Command line
    // What the recording is made with (record's --codec, --quality, --crf
    // and --preset); none: what the file name selects and the last choice.
    std::optional<VideoChoice> video;
    // An AVI recording replaces a file of its name even when it is not an
    // AVI file.
    bool replace_any_file = false;
};

class Run {
  public:
    explicit Run(Window* window = nullptr);
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    void set_window(Window* window);
    RunOptions& options();
    const RunOptions& options() const;
    // The threads a frame is traced on (0: every usable core), and the band
    // of picture rows it traces (-1: from the top, to the bottom).
    void set_threads(int threads);
    void set_rows(int first_row, int last_row);
    int threads() const;

    // Parses `text` (build false: no scene is built, nothing traced), or
    // parses and traces every frame; `record` records them too. A start
    // while a run is under way does nothing.
    void start(const std::string& text, bool build, bool record);
    // The window's handler of the run's messages.
    void handle(int message);
    // True while a frame is traced or a run is under way.
    bool running() const;
    // True while a frame's parse runs (on another thread, when the window's
    // run_parse puts it there): what the last parse read is not to be asked
    // for meanwhile.
    bool parsing() const;
    // The Stop command: the frame ends after its row, the run after it.
    void request_stop();
    bool stop_requested() const;

    // What the last parse read (the overrides applied); it stays until the
    // next run.
    int frames() const;
    int width() const;
    int height() const;
    bool animated() const;
    int frames_per_second() const;
    // The frame being parsed or traced, from 0.
    int frame_index() const;
    // The first error of the last parse.
    std::optional<Diagnostic> parse_error() const;
    // Why the last run ended without tracing although its parse succeeded;
    // empty otherwise.
    const std::string& run_error() const;
    // The recording's messages of the last run, in order.
    const std::vector<RecordingMessage>& recording_messages() const;
    // The picture rows the frame traces (its band).
    int rows_in_band() const;
    // The frame's progress: loop rows finished and rays cast.
    int rows_done() const;
    long long rays_traced() const;
    // The file the last recording went to, and the frames written to it.
    std::string recorded_file() const;
    int recorded_frames() const;

    // Command line
    // OUTPUT_FILE of the last parse's ANIMATION block (empty without one).
    std::string output_file() const;
    // What changes the picture of the frame parsed besides the text, its
    // size and its index: ANTIALIASING and MAX_DEPTH as the trace counts
    // them, the frame's TIME and the TRACER block's switches.
    struct PictureValues {
        int antialiasing = 0;
        int max_depth = 0;
        float time = 0.0f;
        bool no_diffuse = false;
        bool no_highlights = false;
        bool no_shadow = false;
        bool no_reflection = false;
        bool no_refraction = false;
    };
    PictureValues picture_values() const;
    // The picture rows the frame's trace covers, loop rows included: its
    // height once its render thread has started.
    int frame_height() const;
    // The frame's count of loop rows finished, for a thread that follows the
    // trace: read with acquire, the rows' pixels are seen as the render set
    // them.
    const std::atomic<int>& rows_done_count() const;
    // The flag request_stop sets, for a signal handler (which may only
    // store to it).
    std::atomic<bool>& stop_flag();

    // Studio
    // The routine a frame's render thread runs; null (the default): the
    // engine's pixel loop. Tests give one that traces at a pace of its own.
    using FrameEntry = int (*)(RenderJob*);
    void set_frame_entry(FrameEntry entry);

    struct State;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace glimmark
