#pragma once

#include <cstdint>

#include "render/pixel_samples.h"
#include "scene/render_job.h"

#include "scene/surface.h"

// Builds the scene's search structures when the job accelerates and drops
// them when it does not; a RowCursor calls it before the first pixel.
void prepare_acceleration(const RenderJob& job);

// One frame's way through its loop rows: the start every loop of a frame
// makes, and the rows in order, each settled along the colour chain and
// counted. The plain loop traces its rows here; the parallel loop traces
// colours ahead on other threads and settles them here; the web page traces
// a few rows per call. Belongs to one thread at a time.
//
// The loop runs two columns and two rows past the picture (a band of rows
// ends at the band); those positions are traced and take part in the colour
// comparison, and the surface clips them away. The previous colour carries
// over from row to row.
class RowCursor {
  public:
    // Starts the frame: clears the stop flag, the counters and the picture;
    // then, when there is something to trace, prepares the scene's search
    // structures and finds the colour the chain brings into the first loop
    // row (the rays that takes count as cast).
    explicit RowCursor(RenderJob& job);
    RowCursor(const RowCursor&) = delete;
    RowCursor& operator=(const RowCursor&) = delete;

    RenderJob& job() const { return job_; }
    // A scene and a picture of at least 1 x 1; a frame without is over at
    // once, black.
    bool traceable() const { return traceable_; }
    // The loop rows of the frame, and the one settled next.
    LoopRows rows() const { return {rows_.begin, end_}; }
    int row() const { return row_; }
    // Every row settled, a stop asked for after the last one, or the job
    // abandoned: no row follows.
    bool over() const { return ended_ || row_ >= end_; }
    // Ends the frame at the picture's last row: the two loop rows past it
    // carry no colour into a visible pixel, so a loop that only shows the
    // picture need not trace them.
    void end_at_picture();

    // Traces row() pixel by pixel along the chain, sets its pixels and counts
    // it. False when the frame is over.
    bool trace_row();
    // Settles row() from colours traced ahead: `own` holds every column's
    // own sample, `extra` the supersampled colour where `prepared` is set;
    // the others are traced here. Otherwise as trace_row.
    bool settle_row(const Vector3* own, const Vector3* extra, const uint8_t* prepared);
    // Counts row() whose pixels are set already: without supersampling each
    // pixel is its own sample and nothing waits for the chain.
    bool count_row();
    // Blackens the rows from row() to the end, for a loop that sets pixels
    // before their row is settled and ended early.
    void clear_unsettled_rows();

  private:
    template <typename Own, typename Extra>
    bool walk_row(Own own, Extra extra);
    bool finish_row(long long rays);

    RenderJob& job_;
    Surface* surface_;
    bool traceable_ = false;
    LoopRows rows_;
    int end_ = 0;
    int row_ = 0;
    int columns_ = 0;
    int aa_ = 0;
    bool ended_ = false;
    Vector3 previous_{0.0f, 0.0f, 0.0f};
};
