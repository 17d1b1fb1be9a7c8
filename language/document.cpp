#include "language/document.h"

#include "language/blocks.h"
#include "language/expressions.h"
#include "language/tokenizer.h"

// document ::= { animation | tracer | scene | define | include }
void parse_document(ParseContext& pc) {
    pc.nesting_depth = 0;
    reset_splices(pc);
    pc.budget = SceneBudget{};
    while (more_to_read(pc)) {
        scan_token(pc);
        switch (pc.token) {
            case ANIMATION:
                parse_animation(pc);
                break;
            case TRACER:
                parse_tracer(pc);
                break;
            case SCENE:
                parse_scene(pc);
                break;
            case DEFINE:
                parse_define(pc);
                break;
            case INCLUDE:
                parse_include(pc);
                break;
            default:
                if (!pc.word.empty())
                    report_parse_error(
                        pc, "Bad document. Expected ANIMATION, TRACER, SCENE, DEFINE or INCLUDE.");
                break;
        }
    }
}

// tracer ::= TRACER { ANTIALIASING int | WIDTH int | HEIGHT int | MAX_DEPTH int
//                   | NO_REFRACTION | NO_REFLECTION | NO_HIGHLIGHTS | NO_SHADOW
//                   | NO_DIFFUSE | include } ( END_TRACER | END )
void parse_tracer(ParseContext& pc) {
    // A check-only parse reads and checks the same words and stores nothing.
    const bool build = pc.build_scene;
    while (more_to_read(pc)) {
        scan_token(pc);
        switch (pc.token) {
            case END_TRACER:
            case BLOCK_END:
                return;
            case ANTIALIASING: {
                int v = read_integer(pc);
                if (build && !pc.parse_error) pc.job.antialiasing = v;
                break;
            }
            case WIDTH: {
                int v = read_integer(pc);
                if (build && !pc.parse_error) pc.width = v;
                break;
            }
            case HEIGHT: {
                int v = read_integer(pc);
                if (build && !pc.parse_error) pc.height = v;
                break;
            }
            case MAX_DEPTH: {
                int v = read_integer(pc);
                if (build && !pc.parse_error) pc.job.max_depth = v;
                break;
            }
            case NO_REFRACTION:
                if (build) pc.job.no_refraction = true;
                break;
            case NO_REFLECTION:
                if (build) pc.job.no_reflection = true;
                break;
            case NO_HIGHLIGHTS:
                if (build) pc.job.no_highlights = true;
                break;
            case NO_SHADOW:
                if (build) pc.job.no_shadow = true;
                break;
            case NO_DIFFUSE:
                if (build) pc.job.no_diffuse = true;
                break;
            case INCLUDE:
                parse_include(pc);
                break;
            default:
                if (!pc.word.empty())
                    report_parse_error(pc,
                                       "Bad Tracer. Expected NO_REFLECTION, NO_REFRACTION, "
                                       "ANTIALIASING, WIDTH or HEIGHT");
                break;
        }
    }
    if (!pc.parse_error) report_parse_error(pc, "Expected END_TRACER.");
}

// animation ::= ANIMATION { START_TIME expr | END_TIME expr | FRAMES int
//                         | FRAMES_PER_SECOND int | OUTPUT_FILE string | include }
//               ( END_ANIMATION | END )
void parse_animation(ParseContext& pc) {
    pc.has_animation = true;
    pc.output_file.clear();
    while (more_to_read(pc)) {
        scan_token(pc);
        switch (pc.token) {
            case END_ANIMATION:
            case BLOCK_END:
                return;
            // A value that fails to read leaves its setting as it was.
            case START_TIME: {
                float v = read_expression(pc);
                if (!pc.parse_error) pc.start_time = v;
                break;
            }
            case END_TIME: {
                float v = read_expression(pc);
                if (!pc.parse_error) pc.end_time = v;
                break;
            }
            case FRAMES: {
                int v = read_integer(pc);
                if (!pc.parse_error) pc.frames = v;
                break;
            }
            case FRAMES_PER_SECOND: {
                int v = read_integer(pc);
                if (!pc.parse_error) pc.frames_per_second = v;
                break;
            }
            case OUTPUT_FILE:
                read_string(pc);
                pc.output_file = pc.word;
                break;
            case INCLUDE:
                parse_include(pc);
                break;
            default:
                if (!pc.word.empty())
                    report_parse_error(pc,
                                       "Bad Animation. Expected START_TIME, END_TIME, FRAMES, "
                                       "FRAMES_PER_SECOND or OUTPUT_FILE");
                break;
        }
    }
    if (!pc.parse_error) report_parse_error(pc, "Expected END_ANIMATION.");
}
