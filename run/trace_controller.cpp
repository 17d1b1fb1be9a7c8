#include "run/trace_controller.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

#include "language/document.h"
#include "language/tokenizer.h"
#include "render/pixel_loop.h"

namespace {

// Bytes per pixel a frame may need at once: the trace surface, a copy of it
// for whoever saves or records the picture, the picture's own bytes and the
// encoder's (a 16384 x 16384 render to PNG peaks at 13.4).
constexpr double FrameBytesPerPixel = 14.0;

bool fits_in_memory(int width, int height) {
#if defined(__unix__) || defined(__APPLE__)
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGESIZE);
    if (pages > 0 && page_size > 0)
        return static_cast<double>(width) * height * FrameBytesPerPixel <=
               static_cast<double>(pages) * static_cast<double>(page_size);
#endif
    return true;
}

// The TRACER block takes any integer; the pixel loop divides by the size and
// the trace window must hold it. Empty when the size can be traced.
std::string image_size_problem(int width, int height) {
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width < 1 || height < 1 || width > MaxImageSide || height > MaxImageSide)
        return "Image size " + size + " cannot be traced: WIDTH and HEIGHT must be 1 to " +
               std::to_string(MaxImageSide) + ".";
    if (!fits_in_memory(width, height))
        return "Image size " + size + " needs more memory than this machine has.";
    return {};
}

}  // namespace

TraceController::TraceController() = default;

TraceController::~TraceController() { destroy(); }

void TraceController::start(const char* text, bool build, bool rec, ThreadEntry entry) {
    // A second start while a frame is being traced must not touch the scene,
    // the lists or the job the render thread reads.
    if (run_active_) return;
    run_active_ = true;
    run_error.clear();
    build_scene = build;
    record = rec;
    source_text = text;
    thread_entry = entry;
    frame_index = 0;
    // What an ANIMATION block sets belongs to the document being run: a run
    // starts from the state of a fresh controller, so that a document without
    // ANIMATION sees TIME 0 and records no file a previous document named.
    frames = 1;
    has_animation = false;
    time = overrides.time.value_or(0.0f);
    start_time = 0.0f;
    end_time = 1.0f;
    frames_per_second = 4;
    output_file.clear();
    recorder.forget_last();
    show_recording_errors();
    recording_errors.clear();
    begin_frame();
}

void TraceController::parse_once() {
    parse_error = false;
    if (build_scene) {
        release_scene();
        Frame* root = new Frame;
        root->setIdentity();
        frame_list.append(root);
        material_list.append(new Material);
        scene = std::make_unique<Scene>();
        image_x = 0;
        image_y = 0;
        width = 320;
        height = 240;
        job.build(host, host != nullptr ? &host->trace_surface() : nullptr, image_x, image_y, width,
                  height, scene.get());
    }
    set_text(document, source_text != nullptr ? source_text : "");
    bool out_of_memory = false;
    try {
        parse_document(*this);
    } catch (const std::bad_alloc&) {
        out_of_memory = true;
    }
    if (out_of_memory) {
        // What the parse built so far goes first, so that the message itself
        // finds memory; it is shown where the parse stood.
        release_scene();
        report_parse_error(*this, "Out of memory. The scene needs more than this machine has.");
    }
    // Every parse starts again from the source text, and the spliced text is
    // read by nothing after its parse: what a long INCLUDE FILE brought in
    // does not stay in memory while the frame is traced.
    std::string().swap(document.text);
    document.length = 0;
    document.position = 0;
}

void TraceController::parse_frame() {
    parse_once();
    // One moment asked for by the front end is that moment, frame or not.
    if (overrides.time) {
        apply_overrides();
        return;
    }
    // Frame 0 of an animation is meant to be seen at START_TIME, which is only
    // known once the document has been read; the first parse of a run sees
    // TIME 0, so parse again when START_TIME is another time. has_animation
    // is cleared by start, so it tells whether this run's parse read ANIMATION.
    if (frame_index == 0 && build_scene && !parse_error && has_animation && time != start_time) {
        time = start_time;
        parse_once();
    }
    apply_overrides();
}

void TraceController::apply_overrides() {
    if (!build_scene || parse_error) return;
    if (overrides.width) width = *overrides.width;
    if (overrides.height) height = *overrides.height;
    if (overrides.antialiasing) job.antialiasing = *overrides.antialiasing;
    if (overrides.max_depth) job.max_depth = *overrides.max_depth;
}

bool TraceController::last_of_run() const {
    return overrides.time || frame_index + 1 >= frames ||
           (last_frame >= 0 && frame_index >= last_frame);
}

void TraceController::begin_frame() {
    parse_frame();
    // Frames before the range, and those the front end skips, are parsed, not
    // traced, so that RND and every other state the parses carry along are
    // those of a whole run.
    while (build_scene && !parse_error) {
        FrameChoice choice = FrameChoice::Skip;
        if (frame_index >= first_frame)
            choice = before_frame ? before_frame(*this) : FrameChoice::Trace;
        if (choice == FrameChoice::Trace) break;
        // A range that starts past the animation's last frame, or a run
        // whose frames are all skipped: nothing to trace.
        if (choice == FrameChoice::Stop || last_of_run()) {
            end_run();
            return;
        }
        release_scene();
        frame_index += 1;
        time = start_time + (end_time - start_time) * static_cast<float>(frame_index) /
                                static_cast<float>(frames);
        parse_frame();
    }
    if (!build_scene || parse_error || host == nullptr) {
        end_run();
        return;
    }

    run_error = frame_index == std::max(0, first_frame) ? recording_problem() : std::string();
    if (run_error.empty()) run_error = image_size_problem(width, height);
    if (run_error.empty()) {
        try {
            host->show_trace_window(width, height);
        } catch (const std::bad_alloc&) {
            run_error = "Image size " + std::to_string(width) + " x " + std::to_string(height) +
                        " needs more memory than this machine has.";
        }
    }
    if (!run_error.empty()) {
        host->message_box(run_error, "Glimmark Error");
        end_run();
        return;
    }
    job.image_x = image_x;
    job.image_y = image_y;
    job.width = width;
    job.height = height;
    job.drawing_context = &host->trace_surface();

    if (frame_index == 0) time = start_time;
    if (frame_index == std::max(0, first_frame)) {
        const std::string& file = record_file.empty() ? output_file : record_file;
        const bool wanted = record && !file.empty();
        record = wanted && open_recording(file);
        // A kind of file or codec that cannot be written is not traced for.
        if (wanted && !record && recorder.refused()) {
            end_run();
            return;
        }
    }
    frame_started_ = std::chrono::steady_clock::now();
    host->start_render_thread(thread_entry != nullptr ? thread_entry : render_thread_main, &job);
}

std::string TraceController::recording_problem() const {
    if (!record || !refuse_empty_recording) return {};
    if (!has_animation)
        return "Record needs an ANIMATION block, and this scene has none: nothing was recorded.";
    if (record_file.empty() && output_file.empty())
        return "The ANIMATION block names no OUTPUT_FILE: nothing was recorded.";
    return {};
}

bool TraceController::open_recording(const std::string& file) {
    std::optional<CompressionChoice> chosen = recorder.offer(file, frames_per_second);
    if (chosen && choose_compression && !choose_compression(chosen->format, chosen->quality))
        chosen.reset();
    const bool open = chosen && recorder.open_as(file, width, height, frames_per_second, *chosen);
    show_recording_errors();
    return open;
}

void TraceController::show_recording_errors() {
    for (RecordingError& error : recorder.take_errors()) {
        if (host != nullptr) host->message_box(error.text, error.caption);
        recording_errors.push_back(std::move(error));
    }
}

void TraceController::begin_paced_frame() {
    // An animation is shown at FRAMES_PER_SECOND at most: a frame starts no
    // sooner than one period after the one before it started. Tracing that
    // takes longer slows it down; the host decides whether to wait at all.
    if (host != nullptr && frames_per_second > 0) {
        const auto period = std::chrono::duration<double>(1.0 / frames_per_second);
        const auto due = frame_started_ +
                         std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
        const double left_ms =
            std::chrono::duration<double, std::milli>(due - std::chrono::steady_clock::now())
                .count();
        if (left_ms > 0.0 &&
            host->delay_next_frame(static_cast<int>(std::min(std::ceil(left_ms), 1e9))))
            return;
    }
    begin_frame();
}

void TraceController::next_frame() {
    frame_index += 1;
    if (frame_index < frames && (last_frame < 0 || frame_index <= last_frame)) {
        time = start_time + (end_time - start_time) * static_cast<float>(frame_index) /
                                static_cast<float>(frames);
        if (!job.stop_requested.load()) {
            begin_paced_frame();
            return;
        }
    }
    end_run();
}

void TraceController::end_run() {
    // The run-over message goes through the front end's handler when there
    // is one, as a frame's message does.
    if (host != nullptr)
        host->send_trace_done(TRACE_RUN_OVER);
    else
        handle_trace_done(TRACE_RUN_OVER);
}

void TraceController::handle_trace_done(int wparam) {
    // The render thread posts its message as its last act; joining it is the
    // sound form of waiting for it to end.
    if (host != nullptr) host->join_render_thread();
    if (wparam == TRACE_NEXT_FRAME) {
        // The wait before the next frame is over, or was cut short by Stop.
        if (!run_active_) return;
        if (job.stop_requested.load())
            end_run();
        else
            begin_paced_frame();
        return;
    }
    if (wparam == TRACE_FRAME_DONE) {
        if (record && host != nullptr) {
            // A file that refuses a frame has been reported and closed by the
            // writer with the frames written so far; a frame the writer only
            // skipped leaves it open, to be closed when the run ends.
            if (!recorder.write_frame(host->trace_surface())) record = recorder.is_open();
            show_recording_errors();
        }
        release_scene();
        if (has_animation && !overrides.time) {
            next_frame();
            return;
        }
    } else {
        release_scene();
    }
    if (!run_active_) return;
    if (record) {
        recorder.close();
        show_recording_errors();
        record = false;
    }
    run_active_ = false;
    if (host != nullptr) host->run_finished();
}

void TraceController::delete_scene() {
    if (scene) {
        scene->lights.deleteAll();
        scene->shapes.deleteAll();
        scene.reset();
    }
    job.scene = nullptr;
}

void TraceController::release_scene() {
    interpolation_list.deleteAll();
    frame_list.deleteAll();
    delete_scene();
    material_list.deleteAll();
    text_list.deleteAll();
    text_names.clear();
    counter_list.deleteAll();
}

void TraceController::destroy() {
    if (host != nullptr) {
        job.stop_requested.store(true);
        host->join_render_thread();
    }
    delete_scene();
    recorder.close();
    show_recording_errors();
    document.text.clear();
    document.length = 0;
    document.position = 0;
    counter_list.deleteAll();
    text_list.deleteAll();
    text_names.clear();
    interpolation_list.deleteAll();
    frame_list.deleteAll();
    material_list.deleteAll();
}
