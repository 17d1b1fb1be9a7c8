#include "glimmark/run.h"

#include <utility>

#include "render/frame_threads.h"
#include "render/pixel_samples.h"
#include "render/row_cursor.h"
#include "run/diagnostic_of.h"
#include "run/trace_controller.h"

namespace glimmark {

// FrameWork and RowSteps

void FrameWork::trace() const {
    if (entry_ != nullptr && job_ != nullptr) entry_(job_);
}

int FrameWork::width() const { return job_ != nullptr ? job_->width : 0; }

int FrameWork::height() const { return job_ != nullptr ? job_->height : 0; }

struct RowSteps::State {
    explicit State(RenderJob& job) : cursor(job) {}
    RowCursor cursor;
};

RowSteps::RowSteps(const FrameWork& work) : state_(std::make_unique<State>(*work.job_)) {}

RowSteps::~RowSteps() = default;

void RowSteps::end_at_picture() { state_->cursor.end_at_picture(); }

bool RowSteps::trace_row() { return state_->cursor.trace_row(); }

bool RowSteps::over() const { return state_->cursor.over(); }

int RowSteps::row() const { return state_->cursor.row(); }

int RowSteps::height() const { return state_->cursor.job().height; }

// Window

Window::~Window() {
    if (frame_thread_.joinable()) frame_thread_.join();
}

void Window::show_parse_error(const Diagnostic& error) {
    message_box(error.text, "Parse Error");
    select_text(error.start, error.end);
}

void Window::start_frame(const FrameWork& work) {
    frame_thread_ = std::thread([work] { work.trace(); });
}

void Window::join_frame() {
    if (frame_thread_.joinable()) frame_thread_.join();
}

namespace {

// The controller's host, in front of the front end's window.
class WindowHost : public Host {
  public:
    WindowHost(Window& window, const std::string& text) : window_(window), text_(text) {}

    void message_box(const std::string& text, const std::string& caption) override {
        window_.message_box(text, caption);
    }
    void select_editor_text(int start, int end) override { window_.select_text(start, end); }
    void show_parse_error(const ParseError& error) override {
        window_.show_parse_error(diagnostic_of(error, text_));
    }
    void show_trace_window(int width, int height) override { window_.show_picture(width, height); }
    Surface& trace_surface() override { return window_.canvas(); }
    void post_trace_done(int wparam) override { window_.post_message(wparam); }
    void send_trace_done(int wparam) override { window_.send_message(wparam); }
    void run_finished() override { window_.run_finished(); }
    bool delay_next_frame(int milliseconds) override {
        return window_.delay_next_frame(milliseconds);
    }
    void run_parse(const std::function<void()>& parse) override { window_.run_parse(parse); }
    void start_render_thread(ThreadEntry entry, RenderJob* job) override;
    bool render_thread_running() const override { return window_.frame_running(); }
    void join_render_thread() override { window_.join_frame(); }

  private:
    Window& window_;
    // The text of the run, for the lines and columns of its errors.
    const std::string& text_;
};

}  // namespace

struct Run::State {
    TraceController controller;
    RunOptions options;
    std::string text;
    std::unique_ptr<WindowHost> host;
    std::vector<RecordingMessage> recording_messages;
    std::size_t messages_seen = 0;
    Run::FrameEntry frame_entry = nullptr;
};

struct FrameWorkAccess {
    static FrameWork make(ThreadEntry entry, RenderJob* job) {
        FrameWork work;
        work.entry_ = entry;
        work.job_ = job;
        return work;
    }
};

void WindowHost::start_render_thread(ThreadEntry entry, RenderJob* job) {
    window_.start_frame(FrameWorkAccess::make(entry, job));
}

Run::Run(Window* window) : state_(std::make_unique<State>()) { set_window(window); }

Run::~Run() {
    // The controller joins the render thread through its host as it goes.
    state_->controller.destroy();
    state_->controller.host = nullptr;
}

void Run::set_window(Window* window) {
    state_->host =
        window != nullptr ? std::make_unique<WindowHost>(*window, state_->text) : nullptr;
    state_->controller.host = state_->host.get();
}

RunOptions& Run::options() { return state_->options; }

const RunOptions& Run::options() const { return state_->options; }

void Run::set_threads(int threads) { state_->controller.job().threads = threads; }

void Run::set_rows(int first_row, int last_row) {
    state_->controller.job().first_row = first_row;
    state_->controller.job().last_row = last_row;
}

int Run::threads() const { return resolved_thread_count(state_->controller.job()); }

namespace {

// The command line's recording options, over the recorder's last choice.
void apply_video_options(VideoRecorder& recorder, const RunOptions& o) {
    recorder.avi.replace_any_file = o.replace_any_file;
    if (!o.video) return;
    const VideoChoice& v = *o.video;
    if (v.codec == "raw" || v.codec == "mjpeg")
        recorder.avi.codec = v.codec == "raw" ? AviCodec::Raw : AviCodec::Mjpeg;
    if (v.quality > 0) recorder.avi.quality = v.quality;
    recorder.choice = {v.codec, v.quality, v.crf, v.preset};
}

}  // namespace

void Run::start(const std::string& text, bool build, bool record) {
    TraceController& tc = state_->controller;
    if (tc.running()) return;
    const RunOptions& o = state_->options;
    tc.source_folder = o.folder;
    tc.overrides.width = o.width;
    tc.overrides.height = o.height;
    tc.overrides.antialiasing = o.antialiasing;
    tc.overrides.max_depth = o.max_depth;
    tc.overrides.time = o.time;
    tc.first_frame = o.first_frame;
    tc.last_frame = o.last_frame;
    tc.record_file = o.record_file;
    tc.refuse_empty_recording = o.refuse_empty_recording;
    tc.stoppable_parse = o.stoppable_parse;
    apply_video_options(tc.recorder, o);
    tc.choose_compression = nullptr;
    if (o.choose_compression)
        tc.choose_compression = [this](VideoFormat& format, int& quality) {
            VideoKind kind = static_cast<VideoKind>(format);
            const bool chosen = state_->options.choose_compression(kind, quality);
            format = static_cast<VideoFormat>(kind);
            return chosen;
        };
    tc.before_frame = nullptr;
    if (o.before_frame)
        tc.before_frame = [this](const TraceController&) {
            return static_cast<::FrameChoice>(state_->options.before_frame(*this));
        };
    state_->text = text;
    tc.start(state_->text.c_str(), build, record, state_->frame_entry);
}

void Run::handle(int message) { state_->controller.handle_trace_done(message); }

bool Run::running() const { return state_->controller.running(); }

bool Run::parsing() const { return state_->controller.parsing.load(); }

void Run::request_stop() { state_->controller.request_stop(); }

bool Run::stop_requested() const { return state_->controller.job().stop_requested.load(); }

int Run::frames() const { return state_->controller.parsed().frames; }

int Run::width() const { return state_->controller.parsed().width; }

int Run::height() const { return state_->controller.parsed().height; }

bool Run::animated() const { return state_->controller.parsed().has_animation; }

int Run::frames_per_second() const { return state_->controller.parsed().frames_per_second; }

int Run::frame_index() const { return state_->controller.frame_index; }

std::optional<Diagnostic> Run::parse_error() const {
    const ParseContext& parsed = state_->controller.parsed();
    if (!parsed.parse_error || parsed.parse_stopped) return std::nullopt;
    return diagnostic_of(parsed.parse_error_record, state_->text);
}

const std::string& Run::run_error() const { return state_->controller.run_error; }

const std::vector<RecordingMessage>& Run::recording_messages() const {
    // The controller keeps its records as they were shown; they are turned
    // into the interface's own as they come.
    const RecordingErrors& errors = state_->controller.recording_errors;
    std::vector<RecordingMessage>& out = state_->recording_messages;
    if (errors.size() < state_->messages_seen) {
        out.clear();
        state_->messages_seen = 0;
    }
    for (std::size_t i = state_->messages_seen; i < errors.size(); ++i)
        out.push_back(
            {static_cast<RecordingProblem>(errors[i].kind), errors[i].caption, errors[i].text});
    state_->messages_seen = errors.size();
    return out;
}

int Run::rows_in_band() const {
    const TraceController& tc = state_->controller;
    const LoopRows rows = loop_rows(tc.parsed().height, tc.job().first_row, tc.job().last_row);
    return std::max(0, std::min(rows.end, tc.parsed().height) - rows.begin);
}

int Run::rows_done() const { return state_->controller.job().rows_done.load(); }

long long Run::rays_traced() const { return state_->controller.job().rays_traced.load(); }

std::string Run::recorded_file() const { return state_->controller.recorder.file(); }

int Run::recorded_frames() const { return state_->controller.recorder.frame_count(); }

// Command line

std::string Run::output_file() const { return state_->controller.parsed().output_file; }

Run::PictureValues Run::picture_values() const {
    const TraceController& tc = state_->controller;
    const RenderJob& job = tc.job();
    return {job.antialiasing,  job.max_depth, tc.parsed().time,  job.no_diffuse,
            job.no_highlights, job.no_shadow, job.no_reflection, job.no_refraction};
}

int Run::frame_height() const { return state_->controller.job().height; }

const std::atomic<int>& Run::rows_done_count() const { return state_->controller.job().rows_done; }

std::atomic<bool>& Run::stop_flag() { return state_->controller.job().stop_requested; }

void Run::set_frame_entry(FrameEntry entry) { state_->frame_entry = entry; }

}  // namespace glimmark
