#include "render/parallel_render.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "render/frame_threads.h"
#include "render/pixel_samples.h"
#include "render/row_cursor.h"
#include "render/shading.h"
#include "scene/surface.h"

// How the picture stays the plain loop's. A pixel's colour is its own sample,
// or, when that sample differs from the previous pixel's final colour, the
// supersampled colour; the supersampled colour depends only on the position
// and the own sample, never on the previous pixel. So the own samples and
// most supersampled colours can be traced in any order on any thread; only
// the decision which pixels are supersampled runs along the rows in order,
// and it costs nothing once the colours are there.
//
// Threads take whole rows: a row's own samples first, then the supersampled
// colours of the pixels that will probably need them (those whose own sample
// differs from the one to the left, or follow such a pixel: a supersampled
// colour seldom equals the next own sample). The settler, one thread at a
// time, hands the finished rows in order to the frame's row cursor, which
// walks the chain through them, takes the prepared colours, traces the few
// that were not foreseen, and sets the pixels of each row as it goes.

namespace {

// One row's traced colours while it waits to be settled. Every column's own
// sample and prepared mark are written before they are read; a supersampled
// colour only where it is marked prepared.
struct RowSlot {
    Vector3* primary = nullptr;
    Vector3* extra = nullptr;  // the supersampled colour, where prepared
    uint8_t* prepared = nullptr;
    // The row whose colours the slot holds, once they are complete.
    std::atomic<int> ready_row{-1};
};

struct FreeBlock {
    void operator()(void* p) const { ::operator delete(p); }
};

// Room for `count` values left as the system gives it: a large block is
// mapped without being touched, so its pages are made by the threads that
// first write them, while they trace, instead of being cleared beforehand
// on one thread.
template <typename T>
T* uncleared_block(std::unique_ptr<void, FreeBlock>& owner, size_t count) {
    owner.reset(::operator new(std::max<size_t>(1, count) * sizeof(T)));
    return static_cast<T*>(owner.get());
}

class ParallelFrame {
  public:
    ParallelFrame(RowCursor& frame, int threads)
        : frame_(frame),
          job_(frame.job()),
          scene_(*job_.scene),
          surface_(job_.drawing_context),
          columns_(job_.width + 2),
          first_(frame.row()),
          rows_(frame.rows().end),
          aa_(extra_samples(job_)),
          threads_(threads),
          // Enough rows ahead for the threads to keep busy while the settler
          // traces an unforeseen supersample, or while the thread with the
          // oldest row is held up by the system; few enough to stay small.
          window_(std::min(rows_ - first_, std::max(64, 16 * threads))),
          slots_(static_cast<size_t>(window_)),
          next_row_(first_),
          settled_(first_) {
        if (aa_ == 0) return;  // the pixels go straight to the picture
        const size_t row = static_cast<size_t>(columns_);
        const size_t all = row * slots_.size();
        Vector3* primary = uncleared_block<Vector3>(primary_block_, all);
        Vector3* extra = aa_ > 0 ? uncleared_block<Vector3>(extra_block_, all) : nullptr;
        uint8_t* prepared = aa_ > 0 ? uncleared_block<uint8_t>(prepared_block_, all) : nullptr;
        for (size_t i = 0; i < slots_.size(); ++i) {
            slots_[i].primary = primary + i * row;
            if (aa_ > 0) {
                slots_[i].extra = extra + i * row;
                slots_[i].prepared = prepared + i * row;
            }
        }
    }

    void run() {
        run_on_threads(threads_, [this] { work(); });
        // Without supersampling rows are drawn as they are traced; those
        // below the last settled one were cut short or are out of order.
        if (aa_ == 0 && abort_.load()) frame_.clear_unsettled_rows();
    }

  private:
    void work() {
        const long long cast_before = rays_cast_on_this_thread();
        work_rows();
        job_.rays_cast.fetch_add(rays_cast_on_this_thread() - cast_before);
    }

    void work_rows() {
        int row = 0;
        while (claim_row(row)) {
            RowSlot& slot = slots_[static_cast<size_t>(row % window_)];
            if (!trace_row(row, slot)) {
                stop();  // a frame given up wakes the threads waiting for room
                break;
            }
            slot.ready_row.store(row);
            settle_ready_rows();
        }
        settle_ready_rows();
    }

    // The next row to trace, once its slot is free; false when every row is
    // taken or the frame is stopped.
    bool claim_row(int& row) {
        std::unique_lock<std::mutex> lock(mutex_);
        room_.wait(lock, [this] {
            return abort_.load() || next_row_ >= rows_ || next_row_ < settled_.load() + window_;
        });
        if (abort_.load() || next_row_ >= rows_) return false;
        row = next_row_++;
        return true;
    }

    // False when the frame was stopped meanwhile.
    bool trace_row(int row, RowSlot& slot) {
        if (aa_ == 0) {
            // Each pixel is its own sample: nothing waits for the chain.
            for (int col = 0; col < columns_; ++col) {
                if ((col & 31) == 0 && (abort_.load(std::memory_order_relaxed) || job_.abandoned()))
                    return false;
                const Vector3 c = primary_sample(scene_, job_, col, row);
                if (surface_ != nullptr) surface_->set_pixel(col, row, to_colorref(c));
                if (job_.linear != nullptr) keep_linear(job_, col, row, c);
            }
            return true;
        }
        for (int col = 0; col < columns_; ++col) {
            if ((col & 31) == 0 && (abort_.load(std::memory_order_relaxed) || job_.abandoned()))
                return false;
            slot.primary[static_cast<size_t>(col)] = primary_sample(scene_, job_, col, row);
        }
        if (aa_ == 0) return true;
        const Vector3* c = slot.primary;
        for (int col = 0; col < columns_; ++col) {
            // The first two columns follow the row above, whose colours are
            // not at hand: they are always prepared.
            const bool likely = col < 2 || needs_supersampling(job_, c[col], c[col - 1]) ||
                                needs_supersampling(job_, c[col - 1], c[col - 2]);
            slot.prepared[static_cast<size_t>(col)] = likely ? 1 : 0;
            if (!likely) continue;
            if (abort_.load(std::memory_order_relaxed) || job_.abandoned()) return false;
            slot.extra[static_cast<size_t>(col)] = supersampled(scene_, job_, col, row, c[col]);
        }
        return true;
    }

    bool row_ready(int row) const {
        return row < rows_ && slots_[static_cast<size_t>(row % window_)].ready_row.load() == row;
    }

    // Settles the finished rows in order, unless another thread is at it.
    void settle_ready_rows() {
        for (;;) {
            bool expected = false;
            if (!settling_.compare_exchange_strong(expected, true)) return;
            while (!abort_.load() && row_ready(settled_.load())) {
                settle_row(slots_[static_cast<size_t>(settled_.load() % window_)]);
                // A stop asked for or the job abandoned before the last row.
                if (frame_.over() && frame_.row() < rows_) stop();
            }
            settling_.store(false);
            // A row finished while this thread was settling found the settler
            // busy and left it here.
            if (abort_.load() || !row_ready(settled_.load())) return;
        }
    }

    // The chain through the frame's next row, by its cursor.
    void settle_row(const RowSlot& slot) {
        if (aa_ == 0)
            frame_.count_row();
        else
            frame_.settle_row(slot.primary, slot.extra, slot.prepared);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            settled_.store(frame_.row());
        }
        room_.notify_all();
    }

    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            abort_.store(true);
        }
        room_.notify_all();
    }

    RowCursor& frame_;  // settled by one thread at a time
    RenderJob& job_;
    const Scene& scene_;
    Surface* surface_;
    const int columns_;
    const int first_;  // the loop rows traced: first_ up to rows_
    const int rows_;
    const int aa_;
    const int threads_;
    const int window_;
    std::vector<RowSlot> slots_;
    std::unique_ptr<void, FreeBlock> primary_block_, extra_block_, prepared_block_;

    std::mutex mutex_;
    std::condition_variable room_;
    int next_row_;  // guarded by mutex_
    std::atomic<int> settled_;
    std::atomic<bool> abort_{false};
    // Held by the one thread that settles; frame_ belongs to it.
    std::atomic<bool> settling_{false};
};

}  // namespace

bool trace_rows_parallel(RowCursor& frame) {
    if (frame.over()) return true;
    std::unique_ptr<ParallelFrame> parallel;
    try {
        parallel =
            std::make_unique<ParallelFrame>(frame, std::max(1, resolved_thread_count(frame.job())));
    } catch (const std::bad_alloc&) {
        return false;
    }
    parallel->run();
    return true;
}
