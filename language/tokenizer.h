#pragma once

#include <string>

#include "language/parse_context.h"

// Token codes of the keyword table. Block keywords and their ends pair up.
enum Token : int {
    TOKEN_NONE = 0,
    ANIMATION = 10,
    END_ANIMATION = 11,
    START_TIME = 12,
    END_TIME = 13,
    FRAMES = 14,
    FRAMES_PER_SECOND = 15,
    OUTPUT_FILE = 16,
    TRACER = 20,
    END_TRACER = 21,
    ANTIALIASING = 22,
    WIDTH = 23,
    HEIGHT = 24,
    NO_REFRACTION = 25,
    NO_REFLECTION = 26,
    NO_HIGHLIGHTS = 27,
    NO_SHADOW = 28,
    NO_DIFFUSE = 29,
    SCENE = 30,
    END_SCENE = 31,
    MAX_DEPTH = 32,
    BACKGROUND_COLOR = 33,
    AMBIENCE = 34,
    FOG_DEPTH = 35,
    FRAME = 40,
    END_FRAME = 41,
    BOUNDING_SHAPE = 42,
    CAMERA = 50,
    END_CAMERA = 51,
    LIGHT = 60,
    END_LIGHT = 61,
    MESH = 100,
    END_MESH = 101,
    PLANE = 110,
    END_PLANE = 111,
    SPHERE = 200,
    END_SPHERE = 201,
    CYLINDER = 210,
    END_CYLINDER = 211,
    CONE = 220,
    END_CONE = 221,
    PARABOLOID = 230,
    END_PARABOLOID = 231,
    HYPERBOLOID = 240,
    END_HYPERBOLOID = 241,
    CUBE = 250,
    END_CUBE = 251,
    QUADRIC = 260,
    END_QUADRIC = 261,
    COEFFICIENTS = 262,
    EVERYWHERE = 270,
    END_EVERYWHERE = 271,
    CUBIC = 280,
    END_CUBIC = 281,
    TRIAD = 290,
    END_TRIAD = 291,
    COSINE = 292,
    END_COSINE = 293,
    PYRAMID = 294,
    END_PYRAMID = 295,
    SOR = 296,
    END_SOR = 297,
    INTERPOLATION = 310,
    END_INTERPOLATION = 311,
    DEFINE = 320,
    END_DEFINE = 321,
    NAME = 322,
    FILE_TOKEN = 323,
    MATERIAL = 330,
    END_MATERIAL = 331,
    INCLUDE = 340,
    END_INCLUDE = 341,
    TRANSLATE = 342,
    SCALE = 343,
    ROTATE = 344,
    MATRIX = 345,
    UNION = 350,
    END_UNION = 351,
    INTERSECTION = 360,
    END_INTERSECTION = 361,
    DIFFERENCE = 370,
    END_DIFFERENCE = 371,
    LOOP = 380,
    END_LOOP = 381,
    BLOCK_END = 999,
};

struct Keyword {
    const char* word;
    int code;
};
// The keyword table; the only place a keyword is spelled.
const Keyword* keyword_table(int& count);
// Code of a word (case-insensitive), 0 when it is no keyword.
int keyword_code(const std::string& word);
// Case-insensitive comparison for the words only one block understands.
bool word_is(const std::string& word, const char* keyword);

void set_text(TextBuffer& buffer, const char* source);
void insert_text(TextBuffer& buffer, const std::string& text);
void scan_token(ParseContext& pc);
void read_string(ParseContext& pc);
int read_integer(ParseContext& pc);
// 1 when a separator ended the word just scanned, 0 when the end of the text did.
int separator_behind_word(const TextBuffer& doc);
void report_parse_error(ParseContext& pc, const char* message);
// Nested blocks and expressions recurse. Their depth is bounded so that no
// document can exhaust the stack: the block or operator that would go deeper
// than MaxNesting reports "Nesting exceeded max (256)" and must return at
// once when its guard is not ok().
constexpr int MaxNesting = 256;
class NestingGuard {
  public:
    explicit NestingGuard(ParseContext& pc);
    ~NestingGuard();
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;
    bool ok() const { return ok_; }

  private:
    ParseContext& pc_;
    bool ok_;
};

// The shape of every parser loop: not at the end and no error.
inline bool more_to_read(const ParseContext& pc) {
    return pc.document.position < pc.document.length && !pc.parse_error;
}
