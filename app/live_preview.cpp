#include "app/live_preview.h"
#include "app/queued_call.h"

#include <QMetaObject>

#include <algorithm>
#include <string_view>
#include <utility>

#if defined(__linux__)
#include <pthread.h>
#endif

#include "language/vocabulary.h"
#include "render/pick.h"
#include "render/pixel_loop.h"
#include "render/progressive_passes.h"
#include "run/image_size.h"
#include "shapes/shape.h"

LivePreview::LivePreview(QObject* parent) : QObject(parent) {}

LivePreview::~LivePreview() { stop(true); }

// A call from the preview's thread, run on the UI thread only while its
// request is still the newest.
template <typename F>
void LivePreview::post(unsigned generation, F what) {
    post_queued(this, [this, generation, what = std::move(what)]() mutable {
        if (generation == generation_) what();
    });
}

void LivePreview::request(Request request) {
    ++generation_;
    pending_ = std::move(request);
    if (run_) run_->abandon.store(true);
    // The run under way ends within a few pixels (or once its parse is
    // over); its thread's end starts the waiting request.
    if (!thread_.joinable()) launch();
}

void LivePreview::stop(bool wait) {
    ++generation_;
    pending_.reset();
    if (run_) run_->abandon.store(true);
    if (wait && thread_.joinable()) thread_.join();
}

void LivePreview::launch() {
    if (!pending_) return;
    run_ = std::make_shared<Run>();
    run_->generation = generation_;
    thread_generation_ = generation_;
    Request request = std::move(*pending_);
    pending_.reset();
    thread_ = std::thread([this, run = run_, request = std::move(request)]() mutable {
#if defined(__linux__)
        // The threads the passes start inherit the name, so that a look at
        // the process shows every thread of the preview.
        pthread_setname_np(pthread_self(), kThreadName);
#endif
        const unsigned generation = run->generation;
        work(std::move(run), std::move(request));
        post_queued(this, [this, generation] { thread_ended(generation); });
    });
}

void LivePreview::thread_ended(unsigned generation) {
    // A thread that stop() has joined already, and a newer one is running.
    if (generation != thread_generation_ || !thread_.joinable()) return;
    thread_.join();
    launch();
}

void LivePreview::work(std::shared_ptr<Run> run, Request request) {
    const unsigned generation = run->generation;
    RenderJob* job = nullptr;
    int width = 0;
    int height = 0;
    {
        std::lock_guard<std::mutex> lock(scene_mutex_);
        pickable_ = false;
        // The frame the last parse left goes before the next parse begins.
        frame_ = ParsedFrame{};
        text_ = std::move(request.text);
        // One parse at one moment: Play's first (TIME 0, and an animation's
        // START_TIME when it starts elsewhere) unless asked for another.
        ParseSettings settings;
        settings.overrides.time = request.time;
        settings.source_folder = request.folder;
        settings.source_ranges = &ranges_;
        frame_ = parse_frame_text(text_, settings);
        if (!frame_) {
            const ParseError error = frame_.error;
            post(generation, [this, error] { emit parse_failed(error); });
            return;
        }
        const ParseContext& frame = *frame_.frame;
        const std::string problem = image_size_problem(frame.width, frame.height);
        if (!problem.empty()) {
            frame_ = ParsedFrame{};
            const QString message = QString::fromStdString(problem);
            post(generation, [this, message] { emit run_refused(message); });
            return;
        }
        job = &frame_.frame->job;
        const bool animation = frame.has_animation;
        const float start = frame.start_time;
        const float end = frame.end_time;
        post(generation, [this, animation, start, end] {
            has_animation_ = animation;
            start_time_ = start;
            end_time_ = end;
            emit parsed();
        });
        const int divisor = std::max(1, request.divisor);
        width = std::max(1, frame.width / divisor);
        height = std::max(1, frame.height / divisor);
        while (static_cast<long long>(width) * height > kMaxPixels) {
            width = std::max(1, width / 2);
            height = std::max(1, height / 2);
        }
        job->image_x = frame.image_x;
        job->image_y = frame.image_y;
        job->width = width;
        job->height = height;
        job->abandon = &run->abandon;
        // The parse may have been slow; nothing is built for a run given up.
        if (run->abandon.load()) return;
        prepare_acceleration(*job);
        traced_width_ = width;
        traced_height_ = height;
        pickable_ = true;
    }
    // The passes read the scene and nothing writes it until the next run.
    auto coarse = free_surface(width, height);
    for (const int step : {8, 2}) {
        if (!trace_coarse_pass(*job, *coarse, step)) return;
        post(generation, [this, coarse, step] {
            picture_ = coarse;
            emit pass_done(step);
        });
    }
    if (run->abandon.load()) return;
    auto full = free_surface(width, height);
    job->drawing_context = full.get();
    render_frame(*job);
    job->drawing_context = nullptr;
    if (run->abandon.load()) return;
    post(generation, [this, full] {
        picture_ = full;
        emit pass_done(1);
    });
}

std::shared_ptr<Surface> LivePreview::free_surface(int width, int height) {
    std::lock_guard<std::mutex> lock(spares_mutex_);
    // Only the spares hold a free one, so nobody can take it meanwhile.
    for (const auto& s : spares_)
        if (s.use_count() == 1 && s->width() == width && s->height() == height) return s;
    // Pictures of another size are not needed again soon.
    std::erase_if(spares_, [&](const auto& s) {
        return s.use_count() == 1 && (s->width() != width || s->height() != height);
    });
    spares_.push_back(std::make_shared<Surface>(width, height));
    return spares_.back();
}

LivePreview::Pick LivePreview::pick(int x, int y, bool innermost) {
    Pick found;
    std::unique_lock<std::mutex> lock(scene_mutex_, std::try_to_lock);
    if (!lock.owns_lock()) {
        found.busy = true;
        return found;
    }
    if (!pickable_ || !frame_) return found;
    // A picture of another size (the newest run has not shown one yet) is
    // the same view: its pixel stands for the same place.
    if (picture_ && picture_->width() > 0 && picture_->height() > 0 &&
        (picture_->width() != traced_width_ || picture_->height() != traced_height_)) {
        x = static_cast<int>(static_cast<long long>(x) * traced_width_ / picture_->width());
        y = static_cast<int>(static_cast<long long>(y) * traced_height_ / picture_->height());
    }
    if (x < 0 || y < 0 || x >= traced_width_ || y >= traced_height_) return found;
    const std::vector<const CShape*> path = pick_shapes(frame_.frame->job, x, y);
    if (path.empty()) return found;
    // The shape that coloured the pixel names the kind and the material.
    const CShape* hit = path.back();
    const std::string_view kind = shape_block_keyword(shape_block(hit));
    found.kind = QString::fromLatin1(kind.data(), static_cast<qsizetype>(kind.size()));
    if (hit->material != nullptr) found.material = QString::fromStdString(hit->material->name);
    auto take = [&](const CShape* s) {
        const SourceRange* range = ranges_.find(s);
        if (range == nullptr) return false;
        found.start = range->start;
        found.end = range->end;
        return true;
    };
    if (innermost) {
        for (auto it = path.rbegin(); it != path.rend(); ++it)
            if (take(*it)) break;
    } else {
        for (const CShape* s : path)
            if (take(s)) break;
    }
    return found;
}
