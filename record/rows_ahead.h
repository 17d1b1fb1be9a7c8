#pragma once

#include <atomic>

// Work on a picture's file done while the picture is being traced, a band of
// rows at a time as soon as the render has settled them, so that little is
// left to do once the frame is done. Used by one thread at a time besides
// the render.
class RowsAhead {
  public:
    virtual ~RowsAhead() = default;
    // Takes on the bands within the first `settled_rows` rows of the picture
    // (the rows the render will not change any more; the picture's size is
    // taken at the first call with rows settled); returns between bands once
    // `stop` is set. What it could not do is left to the write.
    virtual void take_settled(int settled_rows, const std::atomic<bool>& stop) = 0;
    // Every band is done.
    virtual bool complete() const = 0;
};
