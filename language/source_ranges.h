#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "language/parse_context.h"

struct CShape;

// Editor characters [start, end): from the first character of the word that
// began a block through the last character of its end word.
struct SourceRange {
    int start = 0;
    int end = 0;
};

// Where in the document each shape of a building parse was written, for a
// front end that leads from the picture back to the text (the studio's
// pick). A parse records it only when ParseContext::source_ranges points at
// one of these; the command line leaves it null and pays nothing.
//
// A shape made by a block of an INCLUDEd text, or by a block inside a LOOP,
// has no block of its own in the editor: it gets the range of the outermost
// INCLUDE or LOOP that made it. Each CSG operand and each bound keeps its
// own block.
class SourceRanges {
  public:
    // Forgets every shape; `editor_text` is the text the next parse reads.
    void reset(const char* editor_text);
    // The range of a shape, or null when none was recorded.
    const SourceRange* find(const CShape* shape) const;
    // The shortest range that holds `position` (a caret's place: its end
    // counts), and a shape of it; null when none does.
    const CShape* innermost_at(int position, SourceRange& range) const;
    size_t size() const { return ranges_.size(); }

  private:
    friend class ShapeRangeNote;
    friend class LoopRangeNote;
    friend class IncludeRangeNote;

    // The editor position just behind the last word read before `position`
    // (the document's read position plus its offset): separators skipped.
    int end_behind(int editor_position) const;
    void note(const CShape* shape, SourceRange range);

    std::unordered_map<const CShape*, SourceRange> ranges_;
    const char* text_ = nullptr;
    int text_length_ = 0;
    // The outermost LOOP of the editor's own text while it runs: where it
    // starts, and the shapes it has made so far, which get its range once
    // its end word is known.
    int loop_depth_ = 0;
    int loop_start_ = 0;
    std::vector<const CShape*> loop_shapes_;
    // The outermost INCLUDE of the editor's own text outside any loop.
    int include_start_ = -1;
};

// Each note is made on the stack where its block's parser begins (the
// keyword just scanned) and records when the parser returns. All do nothing
// without a SourceRanges or in a check-only parse.
class ShapeRangeNote {
  public:
    // `target` is where the block puts its shapes (a MESH's list); null: the
    // scene's list, on which a shape block leaves exactly one shape.
    explicit ShapeRangeNote(ParseContext& pc, ShapeList* target = nullptr);
    ~ShapeRangeNote();
    ShapeRangeNote(const ShapeRangeNote&) = delete;
    ShapeRangeNote& operator=(const ShapeRangeNote&) = delete;

  private:
    ParseContext& pc_;
    ShapeList* list_ = nullptr;
    CShape* tail_before_ = nullptr;
    int start_ = 0;
    bool included_ = false;
};

class LoopRangeNote {
  public:
    explicit LoopRangeNote(ParseContext& pc);
    ~LoopRangeNote();
    LoopRangeNote(const LoopRangeNote&) = delete;
    LoopRangeNote& operator=(const LoopRangeNote&) = delete;

  private:
    ParseContext& pc_;
    bool outermost_ = false;
};

class IncludeRangeNote {
  public:
    explicit IncludeRangeNote(ParseContext& pc);
};
