#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "glimmark/picture_file.h"

// Begins the picture file of the frame being traced on a thread of its own,
// a band of rows as soon as the render has settled them: a PNG's bands are
// deflated, a PPM's rows written to the file, so that little is left to do
// once the frame is done.
class ImageWhileTracing {
  public:
    ImageWhileTracing() = default;
    ~ImageWhileTracing() { stop(); }
    ImageWhileTracing(const ImageWhileTracing&) = delete;
    ImageWhileTracing& operator=(const ImageWhileTracing&) = delete;

    // Starts on a frame about to be traced into `picture` and written to
    // `path` in `format`: `rows_done` counts its settled rows from the top
    // and must already read 0, as the run's count does once the frame is
    // parsed (the count of the frame before is not this frame's).
    // The picture is read only once rows are counted, after any change of
    // its size. A PPM's header holds `band` when given. Stops the one before.
    void start(const glimmark::Canvas& picture, glimmark::PictureFormat format,
               const std::string& path, const std::atomic<int>& rows_done,
               const glimmark::PictureBand* band = nullptr);
    // Ends the thread after the band it is at; what it did, for the write of
    // the finished frame (null when nothing was started).
    glimmark::PictureAhead* finish();
    // Ends the thread and drops what it did.
    void stop();

  private:
    void run(const std::atomic<int>& rows_done);

    std::unique_ptr<glimmark::PictureAhead> ahead_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> stop_{false};
};
