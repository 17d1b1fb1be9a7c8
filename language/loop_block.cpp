#include "language/blocks.h"
#include "language/expressions.h"
#include "language/source_ranges.h"
#include "language/tokenizer.h"

namespace {

constexpr int MaxLoopCount = 1024;
// Passes of all loops of one parse together: nested loops multiply, and
// without a bound their shapes would exhaust memory.
constexpr long long MaxLoopPasses = 1048576;
// Characters read again by the passes of all loops of one parse: a long body
// run many times would otherwise keep the parse busy for hours.
constexpr long long MaxLoopCharacters = 1LL << 30;

// The running loop's place in the splice bookkeeping, for as long as it runs.
class RunningLoop {
  public:
    RunningLoop(ParseContext& pc, LoopRestart& restart) : pc_(pc) {
        pc_.splice.loops.push_back(&restart);
    }
    ~RunningLoop() { pc_.splice.loops.pop_back(); }
    RunningLoop(const RunningLoop&) = delete;
    RunningLoop& operator=(const RunningLoop&) = delete;

  private:
    ParseContext& pc_;
};

struct LoopState {
    LoopCounter* counter = nullptr;
    LoopRestart restart;
    int condition_start = 0;
};

// The end of a pass: counts it and reads the condition again. True when the
// loop is over (or the parse has failed).
bool end_pass(ParseContext& pc, LoopState& loop) {
    TextBuffer& doc = pc.document;
    int after_end = doc.position;
    loop.counter->value += 1;
    pc.splice.loop_passes += 1;

    if (loop.restart.spliced) {
        // An INCLUDE in the body has cut the text the pass started from;
        // splice the loop's own text in again to read the condition.
        LoopRestart& r = loop.restart;
        int resume = doc.length - r.resume_tail;
        if (doc.position < resume) {
            // The pass ended inside an included text: the rest of the loop
            // cannot be read again, so this pass is the last.
            return true;
        }
        r.captured.append(doc.text, static_cast<size_t>(resume),
                          static_cast<size_t>(doc.position - resume));
        std::string loop_text;
        loop_text.swap(r.captured);
        if (!splice_text(pc, loop_text)) return true;
        r.captured.clear();
        r.spliced = false;
        r.resume_tail = doc.length;
        loop.condition_start = 0;
        after_end = static_cast<int>(loop_text.size());
    }

    doc.position = loop.condition_start;
    float condition = read_expression(pc);
    // A check-only parse reads every body once.
    bool over = condition == 0.0f || !pc.build_scene;
    if (over)
        doc.position = after_end;
    else
        pc.splice.loop_characters += after_end - loop.condition_start;
    if (loop.counter->value > MaxLoopCount) {
        report_parse_error(pc, "Loop count exceeded max (1024)");
        return true;
    }
    if (pc.splice.loop_passes > MaxLoopPasses) {
        report_parse_error(pc, "Loop passes exceeded max (1048576)");
        return true;
    }
    if (pc.splice.loop_characters > MaxLoopCharacters) {
        report_parse_error(pc, "Loop text exceeded max (1073741824 characters in all)");
        return true;
    }
    return over || pc.parse_error;
}

}  // namespace

// loop ::= LOOP word expr { loop_item } ( END_LOOP | END )
// The word names the counter; the expression is the condition, read again at
// the end of every pass.
void parse_loop(ParseContext& pc) {
    NestingGuard guard(pc);
    if (!guard.ok()) return;
    const LoopRangeNote note(pc);

    scan_token(pc);
    LoopState loop;
    loop.counter = new LoopCounter;
    loop.counter->name = pc.word;
    pc.counter_list.append(loop.counter);
    loop.condition_start = pc.document.position;
    loop.restart.resume_tail = pc.document.length - loop.condition_start;
    RunningLoop running(pc, loop.restart);

    // The condition's value does not matter yet: the first pass always runs.
    read_expression(pc);
    bool ended = false;
    while (more_to_read(pc)) {
        scan_token(pc);
        if (pc.token == END_LOOP || pc.token == BLOCK_END) {
            if (end_pass(pc, loop)) {
                ended = true;
                break;
            }
            continue;
        }
        switch (pc.token) {
            case DEFINE:
                parse_define(pc);
                break;
            case INCLUDE:
                parse_include(pc);
                break;
            case LOOP:
                parse_loop(pc);
                break;
            default:
                if (!parse_scene_item(pc, Place::Loop) && !pc.word.empty())
                    report_parse_error(pc,
                                       "Bad Loop. Expected CAMERA, LIGHT, FRAME, Shape, "
                                       "BACKGROUND_COLOR or AMBIENCE");
                break;
        }
    }
    if (!ended && !pc.parse_error) report_parse_error(pc, "Expected END_LOOP.");
    // The counter's name is known only while its loop runs.
    pc.counter_list.removeNode(loop.counter);
}
