#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "record/image_file.h"

class Surface;

// Deflates the PNG of the frame being traced on a thread of its own, a band
// of rows as soon as the render has settled them, so that little of the
// picture is left to deflate once the frame is done.
class PngWhileTracing {
  public:
    PngWhileTracing() = default;
    ~PngWhileTracing() { stop(); }
    PngWhileTracing(const PngWhileTracing&) = delete;
    PngWhileTracing& operator=(const PngWhileTracing&) = delete;

    // Starts on a frame about to be traced into `picture`: `rows_done` counts
    // its settled rows from the top and must already read 0, as the trace
    // controller's job does once the frame is parsed (the count of the frame
    // before is not this frame's). The picture is read only once rows are
    // counted, after any change of its size. Stops the one before.
    void start(const Surface& picture, const std::atomic<int>& rows_done);
    // Ends the thread after the band it is at; what it deflated, for the
    // write of the finished frame (null when nothing was started).
    const PngAhead* finish();
    // Ends the thread and drops what it deflated.
    void stop();

  private:
    void run(const std::atomic<int>& rows_done);

    std::unique_ptr<PngAhead> ahead_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> stop_{false};
};
