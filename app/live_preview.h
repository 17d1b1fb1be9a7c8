#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "glimmark/canvas.h"
#include "glimmark/engine.h"
#include "glimmark/preview.h"

// The live preview's work off the UI thread: one thread at a time parses the
// text it is given and traces the scene in three passes, every 8th position
// as 8 x 8 blocks, every 2nd as 2 x 2 blocks, then the whole picture with
// the pixel loop of Play, so that its last picture has Play's bytes. A new
// request gives up the run under way (its pixel loops end within a few
// pixels) and starts once that run's thread has ended and been joined; a
// run that was given up shows nothing more. Its signals come on the UI
// thread, and only for the newest request.
class LivePreview : public QObject {
    Q_OBJECT
  public:
    // Larger pictures are previewed at half the size, and again, until they
    // hold at most this many pixels.
    static constexpr long long kMaxPixels = 2048LL * 2048LL;
    // The name of the preview's threads (where the system names threads).
    static constexpr const char* kThreadName = "gmk-preview";

    struct Request {
        std::string text;
        // For relative INCLUDE FILE and TEXTURE_FILE names.
        std::string folder;
        // The moment of an animation; none: the time Play starts with.
        std::optional<float> time;
        // The picture is traced at 1/divisor of WIDTH and HEIGHT.
        int divisor = 1;
        // Set: the scene is readied at exactly this size (a picture another
        // run traced), and only for picks: no pass is traced.
        int width = 0;
        int height = 0;
    };
    // What a click on the picture found.
    struct Pick {
        // The shape's block in the editor's bytes, [start, end); -1 for none.
        int start = -1;
        int end = -1;
        QString kind;
        QString material;
        // The scene is being parsed again: nothing could be looked at.
        bool busy = false;
    };

    explicit LivePreview(QObject* parent = nullptr);
    ~LivePreview() override;

    void request(Request request);
    // Gives up the run under way and forgets a waiting request; with `wait`,
    // returns once its thread has ended.
    void stop(bool wait);
    // True while a thread runs or a request waits for one.
    bool busy() const { return thread_.joinable() || pending_.has_value(); }
    // Threads started and not yet joined: 0 or 1.
    int threads_alive() const { return thread_.joinable() ? 1 : 0; }

    // The last picture a run showed (its passes draw into it); null before.
    std::shared_ptr<const glimmark::Canvas> picture() const { return picture_; }
    // The shape at pixel (x, y) of the picture shown, in the scene of the
    // newest request (traced at that size, or about to be): its
    // outermost block (a CSG or bounding group), or with `innermost` the
    // block of the very shape hit. Busy until that scene is ready.
    Pick pick(int x, int y, bool innermost);
    // Whether the shape at pixel (x, y) is made by the block [start, end)
    // (that block or one inside it), as pick() looks.
    bool shows_block(int x, int y, int start, int end);
    // The innermost shape block of the newest request's scene that holds
    // the character at `offset` of its text (start and end -1 for none, and
    // busy while that scene is not ready).
    Pick block_at(int offset);
    // The newest parse's animation, if it has one.
    bool has_animation() const { return has_animation_; }
    float start_time() const { return start_time_; }
    float end_time() const { return end_time_; }
    int frames() const { return frames_; }

  signals:
    // A new picture or a finished pass: 8 and 2 for the coarse passes, 1 for
    // the full picture, which is then complete.
    void pass_done(int step);
    // The newest request's parse failed; the old picture stays.
    void parse_failed(const glimmark::Diagnostic& error);
    // The newest request parsed without error.
    void parsed();
    // A run gives up without a picture (a size that cannot be traced).
    void run_refused(const QString& message);

  private:
    struct Run {
        std::atomic<bool> abandon{false};
        unsigned generation = 0;
    };
    void launch();
    void work(std::shared_ptr<Run> run, Request request);
    void thread_ended(unsigned generation);
    // Posts `what` to the UI thread, where it runs if `generation` is still
    // the newest.
    template <typename F>
    void post(unsigned generation, F what);
    // A surface of this size that nobody shows, from the spares if one is
    // free (a new one costs a moment for a large picture).
    std::shared_ptr<glimmark::Canvas> free_surface(int width, int height);
    // Takes the scene for a look from the UI thread: false when it cannot
    // be looked at, `busy` when that is because it is being made.
    bool lookable(std::unique_lock<std::mutex>& lock, bool& busy);
    // A pixel of the picture shown to one of the scene as readied; false
    // outside it.
    bool to_traced(int& x, int& y) const;

    std::thread thread_;
    unsigned thread_generation_ = 0;
    std::shared_ptr<Run> run_;
    std::optional<Request> pending_;
    unsigned generation_ = 0;
    std::shared_ptr<const glimmark::Canvas> picture_;
    std::mutex spares_mutex_;
    std::vector<std::shared_ptr<glimmark::Canvas>> spares_;

    // The parse side, used by one run's thread at a time; the lock guards the
    // scene against a pick while a parse replaces it or builds its search
    // structures.
    std::mutex scene_mutex_;
    // The newest parse's scene, traced pass by pass and picked in.
    glimmark::PreviewScene scene_;
    // The size the scene was traced at, and whether it may be picked.
    int traced_width_ = 0;
    int traced_height_ = 0;
    bool pickable_ = false;
    // The request whose scene is ready for picks (UI thread).
    unsigned ready_generation_ = 0;

    bool has_animation_ = false;
    float start_time_ = 0.0f;
    float end_time_ = 1.0f;
    int frames_ = 1;
};
