#include "app/live_preview.h"
#include "app/queued_call.h"

#include <QMetaObject>

#include <algorithm>
#include <utility>

#if defined(__linux__)
#include <pthread.h>
#endif

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
    int width = 0;
    int height = 0;
    {
        std::lock_guard<std::mutex> lock(scene_mutex_);
        pickable_ = false;
        // One parse at one moment: Play's first (TIME 0, and an animation's
        // START_TIME when it starts elsewhere) unless asked for another.
        const std::optional<glimmark::Diagnostic> error =
            scene_.parse(std::move(request.text), request.folder, request.time);
        if (error) {
            post(generation, [this, diagnostic = *error] { emit parse_failed(diagnostic); });
            return;
        }
        const std::string problem = scene_.refusal();
        if (!problem.empty()) {
            scene_.clear();
            const QString message = QString::fromStdString(problem);
            post(generation, [this, message] { emit run_refused(message); });
            return;
        }
        const glimmark::Animation animation = scene_.animation();
        post(generation, [this, animation] {
            has_animation_ = animation.animated;
            start_time_ = animation.start_time;
            end_time_ = animation.end_time;
            frames_ = std::max(1, animation.frames);
            emit parsed();
        });
        const int divisor = std::max(1, request.divisor);
        width = std::max(1, scene_.width() / divisor);
        height = std::max(1, scene_.height() / divisor);
        while (static_cast<long long>(width) * height > kMaxPixels) {
            width = std::max(1, width / 2);
            height = std::max(1, height / 2);
        }
        if (request.width > 0 && request.height > 0) {
            width = request.width;
            height = request.height;
        }
        // The parse may have been slow; a run given up builds nothing more.
        scene_.prepare(width, height, &run->abandon);
        if (run->abandon.load()) return;
        traced_width_ = width;
        traced_height_ = height;
        pickable_ = true;
    }
    post(generation, [this, generation] { ready_generation_ = generation; });
    // A picture of another run's is only picked in.
    if (request.width > 0 && request.height > 0) return;
    // The passes read the scene and nothing writes it until the next run.
    auto coarse = free_surface(width, height);
    for (const int step : {8, 2}) {
        if (!scene_.trace_coarse(*coarse, step)) return;
        post(generation, [this, coarse, step] {
            picture_ = coarse;
            emit pass_done(step);
        });
    }
    if (run->abandon.load()) return;
    auto full = free_surface(width, height);
    scene_.trace(*full);
    if (run->abandon.load()) return;
    post(generation, [this, full] {
        picture_ = full;
        emit pass_done(1);
    });
}

std::shared_ptr<glimmark::Canvas> LivePreview::free_surface(int width, int height) {
    std::lock_guard<std::mutex> lock(spares_mutex_);
    // Only the spares hold a free one, so nobody can take it meanwhile.
    for (const auto& s : spares_)
        if (s.use_count() == 1 && s->width() == width && s->height() == height) return s;
    // Pictures of another size are not needed again soon.
    std::erase_if(spares_, [&](const auto& s) {
        return s.use_count() == 1 && (s->width() != width || s->height() != height);
    });
    spares_.push_back(std::make_shared<glimmark::Canvas>(width, height));
    return spares_.back();
}

bool LivePreview::lookable(std::unique_lock<std::mutex>& lock, bool& busy) {
    busy = false;
    // Until the newest request's scene is ready, the one there is another
    // text's.
    if (ready_generation_ != generation_) {
        busy = this->busy();
        return false;
    }
    lock = std::unique_lock<std::mutex>(scene_mutex_, std::try_to_lock);
    if (!lock.owns_lock()) {
        busy = true;
        return false;
    }
    return pickable_ && scene_.ready();
}

bool LivePreview::to_traced(int& x, int& y) const {
    // A picture of another size (the newest run has not shown one yet) is
    // the same view: its pixel stands for the same place.
    if (picture_ && picture_->width() > 0 && picture_->height() > 0 &&
        (picture_->width() != traced_width_ || picture_->height() != traced_height_)) {
        x = static_cast<int>(static_cast<long long>(x) * traced_width_ / picture_->width());
        y = static_cast<int>(static_cast<long long>(y) * traced_height_ / picture_->height());
    }
    return x >= 0 && y >= 0 && x < traced_width_ && y < traced_height_;
}

LivePreview::Pick LivePreview::pick(int x, int y, bool innermost) {
    Pick found;
    std::unique_lock<std::mutex> lock;
    if (!lookable(lock, found.busy) || !to_traced(x, y)) return found;
    const std::optional<glimmark::PreviewPick> hit = scene_.pick(x, y, innermost);
    if (!hit) return found;
    found.start = hit->start;
    found.end = hit->end;
    found.kind = QString::fromStdString(hit->kind);
    found.material = QString::fromStdString(hit->material);
    return found;
}

bool LivePreview::shows_block(int x, int y, int start, int end) {
    std::unique_lock<std::mutex> lock;
    bool busy = false;
    return lookable(lock, busy) && to_traced(x, y) && scene_.shows_block(x, y, start, end);
}

LivePreview::Pick LivePreview::block_at(int offset) {
    Pick found;
    std::unique_lock<std::mutex> lock;
    if (!lookable(lock, found.busy)) return found;
    const std::optional<glimmark::PreviewPick> block = scene_.block_at(offset);
    if (!block) return found;
    found.start = block->start;
    found.end = block->end;
    found.kind = QString::fromStdString(block->kind);
    found.material = QString::fromStdString(block->material);
    return found;
}
