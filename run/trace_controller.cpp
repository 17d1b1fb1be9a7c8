#include "run/trace_controller.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>

#include "render/pixel_loop.h"
#include "run/image_size.h"

TraceController::TraceController() = default;

TraceController::~TraceController() { destroy(); }

void TraceController::start(const char* text, bool build, bool rec, ThreadEntry entry) {
    // A second start while a frame is being traced must not touch the scene,
    // the lists or the job the render thread reads.
    if (run_active_) return;
    run_active_ = true;
    run_error.clear();
    parse_.build_scene = build;
    record = rec;
    source_text_ = text;
    thread_entry = entry;
    frame_index = 0;
    // What an ANIMATION block sets belongs to the document being run: a run
    // starts from the state of a fresh controller, so that a document without
    // ANIMATION sees TIME 0 and records no file a previous document named.
    parse_.frames = 1;
    parse_.has_animation = false;
    parse_.time = overrides.time.value_or(0.0f);
    parse_.start_time = 0.0f;
    parse_.end_time = 1.0f;
    parse_.frames_per_second = 4;
    parse_.output_file.clear();
    recorder.forget_last();
    // A Stop pressed before this run belongs to the one before.
    if (stoppable_parse) parse_.job.stop_requested.store(false);
    show_recording_errors();
    recording_errors.clear();
    begin_frame();
}

ParseSettings TraceController::frame_settings() const {
    ParseSettings settings;
    settings.time = parse_.time;
    settings.first_frame = frame_index == 0;
    settings.overrides = overrides;
    settings.build_scene = parse_.build_scene;
    settings.source_folder = source_folder;
    settings.stoppable = stoppable_parse;
    return settings;
}

void TraceController::parse_frame() {
    const ParseSettings settings = frame_settings();
    bool parsed = false;
    const auto parse = [&] { parsed = parse_frame_into(parse_, source_text_, settings); };
    parsing.store(true);
    if (host != nullptr)
        host->run_parse(parse);
    else
        parse();
    parsing.store(false);
    // A Stop while the parse ran (the window answered meanwhile) ends the run
    // here even when the parse got to its end first.
    if (stoppable_parse && parse_.job.stop_requested.load() && !parse_.parse_stopped) {
        parse_.parse_error = true;
        parse_.parse_stopped = true;
        parsed = false;
    }
    if (!parsed && !parse_.parse_stopped && host != nullptr)
        host->show_parse_error(parse_.parse_error_record);
}

bool TraceController::last_of_run() const {
    return overrides.time || frame_index + 1 >= parse_.frames ||
           (last_frame >= 0 && frame_index >= last_frame);
}

void TraceController::begin_frame() {
    parse_frame();
    // Frames before the range, and those the front end skips, are parsed, not
    // traced, so that RND and every other state the parses carry along are
    // those of a whole run.
    while (parse_.build_scene && !parse_.parse_error) {
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
        parse_.time = parse_.start_time + (parse_.end_time - parse_.start_time) *
                                              static_cast<float>(frame_index) /
                                              static_cast<float>(parse_.frames);
        parse_frame();
    }
    if (!parse_.build_scene || parse_.parse_error || host == nullptr) {
        end_run();
        return;
    }

    run_error = frame_index == std::max(0, first_frame) ? recording_problem() : std::string();
    if (run_error.empty()) run_error = image_size_problem(parse_.width, parse_.height);
    if (run_error.empty()) {
        try {
            host->show_trace_window(parse_.width, parse_.height);
        } catch (const std::bad_alloc&) {
            run_error = "Image size " + std::to_string(parse_.width) + " x " +
                        std::to_string(parse_.height) + " needs more memory than this machine has.";
        }
    }
    if (!run_error.empty()) {
        host->message_box(run_error, "Glimmark Error");
        end_run();
        return;
    }
    parse_.job.image_x = parse_.image_x;
    parse_.job.image_y = parse_.image_y;
    parse_.job.width = parse_.width;
    parse_.job.height = parse_.height;
    parse_.job.main_window = host;
    parse_.job.drawing_context = &host->trace_surface();

    if (frame_index == 0) parse_.time = parse_.start_time;
    if (frame_index == std::max(0, first_frame)) {
        const std::string& file = record_file.empty() ? parse_.output_file : record_file;
        const bool wanted = record && !file.empty();
        record = wanted && open_recording(file);
        // A kind of file or codec that cannot be written is not traced for.
        if (wanted && !record && recorder.refused()) {
            end_run();
            return;
        }
    }
    frame_started_ = std::chrono::steady_clock::now();
    host->start_render_thread(thread_entry != nullptr ? thread_entry : render_thread_main,
                              &parse_.job);
}

std::string TraceController::recording_problem() const {
    if (!record || !refuse_empty_recording) return {};
    if (!parse_.has_animation)
        return "Record needs an ANIMATION block, and this scene has none: nothing was recorded.";
    if (record_file.empty() && parse_.output_file.empty())
        return "The ANIMATION block names no OUTPUT_FILE: nothing was recorded.";
    return {};
}

bool TraceController::open_recording(const std::string& file) {
    std::optional<CompressionChoice> chosen = recorder.offer(file, parse_.frames_per_second);
    if (chosen && choose_compression && !choose_compression(chosen->format, chosen->quality))
        chosen.reset();
    const bool open = chosen && recorder.open_as(file, parse_.width, parse_.height,
                                                 parse_.frames_per_second, *chosen);
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
    if (host != nullptr && parse_.frames_per_second > 0) {
        const auto period = std::chrono::duration<double>(1.0 / parse_.frames_per_second);
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
    if (frame_index < parse_.frames && (last_frame < 0 || frame_index <= last_frame)) {
        parse_.time = parse_.start_time + (parse_.end_time - parse_.start_time) *
                                              static_cast<float>(frame_index) /
                                              static_cast<float>(parse_.frames);
        if (!parse_.job.stop_requested.load()) {
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
        if (parse_.job.stop_requested.load())
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
        if (parse_.has_animation && !overrides.time) {
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

void TraceController::destroy() {
    if (host != nullptr) {
        parse_.job.stop_requested.store(true);
        host->join_render_thread();
    }
    parse_.release_scene();
    recorder.close();
    show_recording_errors();
    parse_.document.text.clear();
    parse_.document.length = 0;
    parse_.document.position = 0;
}
