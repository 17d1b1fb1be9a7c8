#pragma once

// The engine for a program of its own: check a scene text, parse it into a
// frame, trace the frame into RGB bytes, list an animation's frames and find
// the text behind a pixel. Plain standard types only; link gmk_run (CMake
// target glimmark::engine). One parse at a time in a process: RND draws
// from one sequence, on from one parse to the next, as in a studio session.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace glimmark {

// What the caller puts over the text's own settings.
struct Settings {
    // Over the TRACER block's WIDTH, HEIGHT, ANTIALIASING and MAX_DEPTH.
    std::optional<int> width;
    std::optional<int> height;
    std::optional<int> antialiasing;
    std::optional<int> max_depth;
    // One moment of an animation: the text is parsed once, at this TIME.
    std::optional<float> time;
    // The frame of an animation to parse, from 0 (without `time`); the
    // frames before it are parsed too, as a render of the whole animation
    // parses them.
    int frame = 0;
    // Where relative INCLUDE FILE and TEXTURE_FILE names are opened; empty:
    // the current folder.
    std::string folder;
    // Threads a trace runs on; 0: every usable core.
    int threads = 0;
};

// The first error of a parse.
struct Diagnostic {
    // The text of the studio's parse error box:
    // "<message> at char <N> found: <word>".
    std::string text;
    // The parser's own message, e.g. "Expected END_SCENE.".
    std::string message;
    // The word the parser stood on.
    std::string word;
    // The characters of the text to select, [start, end): the word, or the
    // end word of the INCLUDE that brought it in; the line and column of
    // start, from 1.
    int start = 0;
    int end = 0;
    int line = 1;
    int column = 1;
    // When the word came from an INCLUDE FILE text: that file and the
    // word's line in it (from 1); empty and 0 otherwise.
    std::string include_file;
    int include_line = 0;
};

// Parses the text as `glimmark check` does, without building the scene:
// nothing, or the first error.
std::vector<Diagnostic> check(const std::string& text, const Settings& settings = {});

// The ANIMATION block of a parsed text (frames 1 without one).
struct Animation {
    bool animated = false;
    int frames = 1;
    float start_time = 0.0f;
    float end_time = 1.0f;
    int frames_per_second = 4;
    std::string output_file;
    // The TIME frame `index` is parsed at.
    float time_of(int index) const;
};

// A traced picture: width * height * 3 bytes, red, green, blue, row by row
// from the top, the bytes `glimmark render` writes.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
    // The stop flag ended the trace: the rows below the last whole one are
    // black.
    bool stopped = false;

    // The passes the trace was asked for (see Passes), width * height values
    // each (three for the normal and the linear colour), row by row from the
    // top; empty when not asked for.
    std::vector<float> depth;
    std::vector<float> normal;
    std::vector<int32_t> object;
    std::vector<float> linear;
};

// What a trace keeps of each pixel besides its bytes. Depth, normal and
// object come from the pixel's own camera ray (the first one traced for
// it, the one pick() follows); the linear colour is the pixel's colour as
// the bytes are made from it. Asking for them leaves the bytes as they are.
struct Passes {
    // The distance along the ray to the surface hit; +inf where none is.
    bool depth = false;
    // The surface's unit normal in world space; 0, 0, 0 where none is.
    bool normal = false;
    // The number of the source block the shape hit comes from, an index
    // into Frame::objects(); -1 where no shape is hit.
    bool object = false;
    // Red, green and blue floats (the background's colour unclamped).
    bool linear = false;
    bool any() const { return depth || normal || object || linear; }
};

// Watching a trace. `progress` is called on the caller's thread with the
// rows finished so far, every few milliseconds while they grow and once at
// the end; the trace ends after a whole row once `stop` reads true.
struct TraceControl {
    std::function<void(int rows_done, int rows_total)> progress;
    const std::atomic<bool>* stop = nullptr;
    // Called on the caller's thread every few milliseconds while the trace
    // runs, whether rows grow or not; false stops it as `stop` does.
    std::function<bool()> poll = nullptr;
    Passes passes = {};
};

// What a click on a picture found: the characters [start, end) of the
// shape's block (-1, -1 when it has none) and its block word ("SPHERE",
// "UNION", "MESH" for a triangle).
struct Pick {
    int start = -1;
    int end = -1;
    std::string kind;
};

// One parsed frame of a text, ready to be traced (again and again) and
// picked. Not to be used by two threads at once.
class Frame {
  public:
    ~Frame();
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    // The picture's size, the settings' overrides applied.
    int width() const;
    int height() const;
    // The frame's index in the animation and its TIME.
    int index() const;
    float time() const;
    Animation animation() const;
    // The extra samples a pixel may take, as the trace counts the
    // ANTIALIASING value (the settings' override applied): 0 to 1024.
    int antialiasing() const;

    Picture trace(const TraceControl& control = {});
    // The blocks the object pass numbers, by number: the outermost block of
    // the shapes hit (as pick() without `innermost` finds it; a LOOP or an
    // INCLUDE is one block), in the order of the scene's shapes. A shape
    // without a block of its own is a block of -1, -1.
    const std::vector<Pick>& objects();
    // The shape at picture position (x, y): the block of the outermost one
    // (a CSG or bounding group), or with `innermost` of the very shape hit;
    // nothing over the background or outside the picture.
    std::optional<Pick> pick(int x, int y, bool innermost = false);

    // What the engine keeps of the frame; made by parse().
    struct State;
    explicit Frame(std::unique_ptr<State> state);

  private:
    std::unique_ptr<State> state_;
};

// A parse's outcome: a frame, or why there is none.
struct Parsed {
    std::unique_ptr<Frame> frame;
    std::optional<Diagnostic> error;
    // A text that parsed and still cannot be traced (an image size out of
    // range, a frame past the animation's end): why.
    std::string refusal;
};

// Parses the text as a render of it does, building the scene of one frame.
Parsed parse(const std::string& text, const Settings& settings = {});

// Parses and traces; with an error or a refusal the picture is empty and
// `outcome`, when given, says why.
Picture trace(const std::string& text, const Settings& settings = {},
              const TraceControl& control = {}, Parsed* outcome = nullptr);

}  // namespace glimmark
