#include "cli/image_while_tracing.h"

#include <chrono>
#include <new>
#include <system_error>

void ImageWhileTracing::start(const glimmark::Canvas& picture, glimmark::PictureFormat format,
                              const std::string& path, const std::atomic<int>& rows_done,
                              const glimmark::PictureBand* band) {
    stop();
    try {
        ahead_ = std::make_unique<glimmark::PictureAhead>(picture, format, path, band);
        stop_.store(false);
        thread_ = std::thread([this, &rows_done] { run(rows_done); });
    } catch (const std::bad_alloc&) {
        ahead_.reset();  // the write does the whole picture
    } catch (const std::system_error&) {
        ahead_.reset();
    }
}

void ImageWhileTracing::run(const std::atomic<int>& rows_done) {
    // A band of a large picture takes the render some milliseconds; looking
    // a few times as often costs nothing.
    constexpr auto Pause = std::chrono::milliseconds(2);
    for (;;) {
        // Acquire: the settled rows' pixels are seen as the render set them.
        ahead_->take_settled(rows_done.load(std::memory_order_acquire), stop_);
        if (ahead_->complete()) return;
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_for(lock, Pause, [this] { return stop_.load(); })) return;
    }
}

glimmark::PictureAhead* ImageWhileTracing::finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_.store(true);
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    return ahead_.get();
}

void ImageWhileTracing::stop() {
    finish();
    ahead_.reset();
}
