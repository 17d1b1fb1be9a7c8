#pragma once

// A live preview of scene text, as the studio shows one while the text is
// edited: the text parsed at one moment, traced into canvases of the front
// end's own at a size it chooses, coarse passes first, and the shape behind
// a pixel of that picture. Not to be used by two threads at once, except
// that pick() may run while a pass traces.

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "glimmark/canvas.h"
#include "glimmark/engine.h"

namespace glimmark {

// What a click on the preview's picture found: the block of a shape as
// Frame::pick finds it, and the name of the material of the shape hit
// (empty when it has none).
struct PreviewPick : Pick {
    std::string material;
};

class PreviewScene {
  public:
    PreviewScene();
    ~PreviewScene();
    PreviewScene(const PreviewScene&) = delete;
    PreviewScene& operator=(const PreviewScene&) = delete;

    // Drops the scene of the last parse, then parses `text` as Play parses
    // its first frame (TIME 0, or an animation's START_TIME when it starts
    // elsewhere), or at `time`; relative INCLUDE FILE and TEXTURE_FILE names
    // are opened in `folder`. The first error, or nothing when a scene was
    // built.
    std::optional<Diagnostic> parse(std::string text, const std::string& folder,
                                    std::optional<float> time);
    // Drops the scene.
    void clear();
    // A parse built a scene (and clear() has not dropped it).
    bool ready() const;

    // Of the scene built: the picture size the text asks for, why a picture
    // of that size cannot be traced (empty when it can), and the ANIMATION
    // block.
    int width() const;
    int height() const;
    std::string refusal() const;
    Animation animation() const;

    // Readies the scene to be traced at width x height (its own size or a
    // fraction of it, the same view); the passes end within a few pixels
    // once `abandon` reads true. Builds the search structures the passes and
    // pick() read.
    void prepare(int width, int height, const std::atomic<bool>* abandon);
    // A quick look before the full picture: every `step`-th pixel of every
    // `step`-th row, each drawn as a step x step block. False when abandoned
    // first. The passes after it take its samples instead of tracing them
    // again, until the scene is parsed or readied anew.
    bool trace_coarse(Canvas& canvas, int step);
    // The whole picture with Play's pixel loop: Play's bytes at that size.
    void trace(Canvas& canvas);

    // The shape at (x, y) of the prepared picture: the block of the
    // outermost one (a CSG or bounding group), or with `innermost` of the
    // very shape hit; the kind and material are those of the shape hit.
    // Nothing over the background or outside the picture.
    std::optional<PreviewPick> pick(int x, int y, bool innermost) const;
    // Whether the shape at (x, y) is made by the block [start, end): the
    // block of the shape hit or of one that holds it.
    bool shows_block(int x, int y, int start, int end) const;
    // The innermost shape block that holds the character position `offset`
    // of the text parsed (its end counts, as a caret's place); the kind and
    // material are those of a shape it makes. Nothing outside every block.
    std::optional<PreviewPick> block_at(int offset) const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace glimmark
