#include "language/source_ranges.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

#include "scene/scene.h"

namespace {

bool is_separator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ','; }

SourceRanges* recording(const ParseContext& pc) {
    // Nothing is recorded while an exception (out of memory) unwinds the parse.
    if (pc.source_ranges == nullptr || std::uncaught_exceptions() > 0 || !pc.build_scene ||
        !pc.scene)
        return nullptr;
    return pc.source_ranges;
}

// Whether the word just scanned came from an INCLUDEd text, which has no
// place in the editor (the same test the error report makes).
bool word_is_included(const ParseContext& pc) {
    const auto& open = pc.splice.includes_open;
    return !open.empty() && pc.document.length - pc.word_position > open.front().tail;
}

int word_start_in_editor(const ParseContext& pc) { return pc.word_position + pc.document.offset; }

}  // namespace

void SourceRanges::reset(const char* editor_text) {
    ranges_.clear();
    text_ = editor_text;
    text_length_ = editor_text != nullptr ? static_cast<int>(std::strlen(editor_text)) : 0;
    loop_depth_ = 0;
    loop_start_ = 0;
    loop_shapes_.clear();
    include_start_ = -1;
}

const SourceRange* SourceRanges::find(const CShape* shape) const {
    const auto it = ranges_.find(shape);
    return it != ranges_.end() ? &it->second : nullptr;
}

const CShape* SourceRanges::innermost_at(int position, SourceRange& range) const {
    const CShape* found = nullptr;
    for (const auto& [shape, r] : ranges_) {
        if (position < r.start || position > r.end) continue;
        // Of two of one length the one that starts first, whatever the
        // map's order.
        const bool shorter = found == nullptr || r.end - r.start < range.end - range.start ||
                             (r.end - r.start == range.end - range.start && r.start < range.start);
        if (shorter) {
            found = shape;
            range = r;
        }
    }
    return found;
}

int SourceRanges::end_behind(int editor_position) const {
    int end = std::clamp(editor_position, 0, text_length_);
    while (end > 0 && text_ != nullptr && is_separator(text_[end - 1]))
        --end;
    return end;
}

void SourceRanges::note(const CShape* shape, SourceRange range) {
    range.start = std::clamp(range.start, 0, text_length_);
    range.end = std::clamp(range.end, range.start, text_length_);
    // Without memory for it the shape is only not found by a pick.
    try {
        ranges_.emplace(shape, range);
    } catch (const std::bad_alloc&) {
    }
}

ShapeRangeNote::ShapeRangeNote(ParseContext& pc, ShapeList* target) : pc_(pc) {
    if (recording(pc) == nullptr) return;
    list_ = target != nullptr ? target : &pc.scene->shapes;
    tail_before_ = list_->tail;
    start_ = word_start_in_editor(pc);
    included_ = word_is_included(pc);
}

ShapeRangeNote::~ShapeRangeNote() {
    SourceRanges* ranges = recording(pc_);
    if (ranges == nullptr || list_ == nullptr || pc_.parse_error) return;
    const CShape* first =
        tail_before_ != nullptr ? nextOf(tail_before_) : static_cast<const CShape*>(list_->head);
    if (first == nullptr) return;
    SourceRange range{start_, ranges->end_behind(pc_.document.position + pc_.document.offset)};
    const auto& open = pc_.splice.includes_open;
    const bool by_include =
        included_ && ranges->loop_depth_ == 0 && ranges->include_start_ >= 0 && !open.empty();
    if (by_include) {
        // The outermost INCLUDE through its end word.
        const OpenInclude& outer = open.front();
        range = {ranges->include_start_,
                 pc_.document.length - outer.tail + pc_.document.offset - outer.separator};
    }
    for (const CShape* s = first; s != nullptr; s = nextOf(s)) {
        if (ranges->loop_depth_ == 0)
            ranges->note(s, range);
        else
            try {
                ranges->loop_shapes_.push_back(s);
            } catch (const std::bad_alloc&) {
            }
    }
}

LoopRangeNote::LoopRangeNote(ParseContext& pc) : pc_(pc) {
    SourceRanges* ranges = recording(pc);
    if (ranges == nullptr) return;
    // A LOOP of an included text belongs to the INCLUDE around it.
    if (ranges->loop_depth_ == 0 && !word_is_included(pc)) {
        outermost_ = true;
        ranges->loop_start_ = word_start_in_editor(pc);
        ranges->loop_shapes_.clear();
    }
    if (outermost_ || ranges->loop_depth_ > 0) ranges->loop_depth_ += 1;
}

LoopRangeNote::~LoopRangeNote() {
    SourceRanges* ranges = recording(pc_);
    if (ranges == nullptr || ranges->loop_depth_ == 0) return;
    ranges->loop_depth_ -= 1;
    if (!outermost_) return;
    const SourceRange range{ranges->loop_start_,
                            ranges->end_behind(pc_.document.position + pc_.document.offset)};
    for (const CShape* s : ranges->loop_shapes_)
        ranges->note(s, range);
    ranges->loop_shapes_.clear();
}

IncludeRangeNote::IncludeRangeNote(ParseContext& pc) {
    SourceRanges* ranges = recording(pc);
    if (ranges == nullptr) return;
    // Only an INCLUDE written in the editor's own text, outside any loop,
    // gives its range to what it brings in.
    if (!word_is_included(pc) && ranges->loop_depth_ == 0)
        ranges->include_start_ = word_start_in_editor(pc);
}
