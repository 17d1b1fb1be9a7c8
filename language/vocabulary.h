#pragma once

// The words of the scene language, each spelled here and nowhere else: the
// characters that end a word, the keywords with their token codes, the words
// only one block understands, and the operator words of expressions. The
// scanner, the block parsers, the expression reader, the studio's highlighter
// and its pick all read these tables; web/tools/vocabulary.mjs writes them
// out for the playground's highlighter.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "scene/shape_block.h"

// The characters that end a word.
inline constexpr std::string_view word_separators = " \t\n\r,";

// The separators as the bits of a mask: the scanner asks about every
// character, and one bit test is as quick as comparing them one by one.
inline constexpr uint64_t word_separator_bits = [] {
    uint64_t bits = 0;
    for (const char c : word_separators)
        bits |= uint64_t{1} << c;
    return bits;
}();
static_assert([] {
    for (const char c : word_separators)
        if (static_cast<unsigned char>(c) >= 64) return false;
    return true;
}());

constexpr bool is_word_separator(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 64 && ((word_separator_bits >> byte) & 1) != 0;
}

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

// The words that only one block understands. They have no token code: the
// block compares the word it has scanned with them.
enum class Statement : int {
    Color,
    Strength,
    LookAt,
    Diffuse,
    Gloss,
    Transparency,
    InnerTransparencyDepth,
    Reflection,
    Refraction,
    Density,
    TextureFile,
    VertexList,
    EndVertexList,
    Type,
    Catmull,
    Phase,
};

// The operator words of expressions.
enum class Operator : int {
    Add,
    Sub,
    Mul,
    Div,
    Abs,
    Max,
    Min,
    Flr,
    Clg,
    Mod,
    Pow,
    Time,
    Rnd,
    Sin,
    Cos,
    Tan,
    Asn,
    Acs,
    Atn,
    Log,
    Exp,
    Ife,
    Equ,
    Gt,
    Lt,
    Neq,
    And,
    Or,
    Not,
};

// A word as it is written (in capitals) and what it stands for.
template <class Code>
struct Word {
    std::string_view word;
    Code code;
};

// The keyword table. "}" and "END" close any block.
inline constexpr Word<Token> keywords[] = {
    {"ANIMATION", ANIMATION},
    {"END_ANIMATION", END_ANIMATION},
    {"TRACER", TRACER},
    {"END_TRACER", END_TRACER},
    {"SCENE", SCENE},
    {"END_SCENE", END_SCENE},
    {"FRAME", FRAME},
    {"END_FRAME", END_FRAME},
    {"BOUNDING_SHAPE", BOUNDING_SHAPE},
    {"CAMERA", CAMERA},
    {"END_CAMERA", END_CAMERA},
    {"LIGHT", LIGHT},
    {"END_LIGHT", END_LIGHT},
    {"MESH", MESH},
    {"END_MESH", END_MESH},
    {"PLANE", PLANE},
    {"END_PLANE", END_PLANE},
    {"SPHERE", SPHERE},
    {"END_SPHERE", END_SPHERE},
    {"CYLINDER", CYLINDER},
    {"END_CYLINDER", END_CYLINDER},
    {"CONE", CONE},
    {"END_CONE", END_CONE},
    {"PARABOLOID", PARABOLOID},
    {"END_PARABOLOID", END_PARABOLOID},
    {"HYPERBOLOID", HYPERBOLOID},
    {"END_HYPERBOLOID", END_HYPERBOLOID},
    {"CUBE", CUBE},
    {"END_CUBE", END_CUBE},
    {"QUADRIC", QUADRIC},
    {"END_QUADRIC", END_QUADRIC},
    {"COEFFICIENTS", COEFFICIENTS},
    {"EVERYWHERE", EVERYWHERE},
    {"END_EVERYWHERE", END_EVERYWHERE},
    {"CUBIC", CUBIC},
    {"END_CUBIC", END_CUBIC},
    {"TRIAD", TRIAD},
    {"END_TRIAD", END_TRIAD},
    {"COSINE", COSINE},
    {"END_COSINE", END_COSINE},
    {"PYRAMID", PYRAMID},
    {"END_PYRAMID", END_PYRAMID},
    {"SOR", SOR},
    {"END_SOR", END_SOR},
    {"INTERPOLATION", INTERPOLATION},
    {"END_INTERPOLATION", END_INTERPOLATION},
    {"DEFINE", DEFINE},
    {"END_DEFINE", END_DEFINE},
    {"NAME", NAME},
    {"FILE", FILE_TOKEN},
    {"MATERIAL", MATERIAL},
    {"END_MATERIAL", END_MATERIAL},
    {"INCLUDE", INCLUDE},
    {"END_INCLUDE", END_INCLUDE},
    {"TRANSLATE", TRANSLATE},
    {"SCALE", SCALE},
    {"ROTATE", ROTATE},
    {"MATRIX", MATRIX},
    {"UNION", UNION},
    {"END_UNION", END_UNION},
    {"INTERSECTION", INTERSECTION},
    {"END_INTERSECTION", END_INTERSECTION},
    {"DIFFERENCE", DIFFERENCE},
    {"END_DIFFERENCE", END_DIFFERENCE},
    {"LOOP", LOOP},
    {"END_LOOP", END_LOOP},
    {"START_TIME", START_TIME},
    {"END_TIME", END_TIME},
    {"FRAMES", FRAMES},
    {"FRAMES_PER_SECOND", FRAMES_PER_SECOND},
    {"OUTPUT_FILE", OUTPUT_FILE},
    {"ANTIALIASING", ANTIALIASING},
    {"WIDTH", WIDTH},
    {"HEIGHT", HEIGHT},
    {"NO_REFRACTION", NO_REFRACTION},
    {"NO_REFLECTION", NO_REFLECTION},
    {"NO_HIGHLIGHTS", NO_HIGHLIGHTS},
    {"NO_SHADOW", NO_SHADOW},
    {"NO_DIFFUSE", NO_DIFFUSE},
    {"MAX_DEPTH", MAX_DEPTH},
    {"BACKGROUND_COLOR", BACKGROUND_COLOR},
    {"AMBIENCE", AMBIENCE},
    {"FOG_DEPTH", FOG_DEPTH},
    {"}", BLOCK_END},
    {"END", BLOCK_END},
};

// In the order of Statement, so that a statement finds its word at its index.
inline constexpr Word<Statement> statement_words[] = {
    {"COLOR", Statement::Color},
    {"STRENGTH", Statement::Strength},
    {"LOOK_AT", Statement::LookAt},
    {"DIFFUSE", Statement::Diffuse},
    {"GLOSS", Statement::Gloss},
    {"TRANSPARENCY", Statement::Transparency},
    {"INNER_TRANSPARENCY_DEPTH", Statement::InnerTransparencyDepth},
    {"REFLECTION", Statement::Reflection},
    {"REFRACTION", Statement::Refraction},
    {"DENSITY", Statement::Density},
    {"TEXTURE_FILE", Statement::TextureFile},
    {"VERTEX_LIST", Statement::VertexList},
    {"END_VERTEX_LIST", Statement::EndVertexList},
    {"TYPE", Statement::Type},
    {"CATMULL", Statement::Catmull},
    {"PHASE", Statement::Phase},
};

// In the order of Operator, as the expression reader's table is.
inline constexpr Word<Operator> operator_words[] = {
    {"ADD", Operator::Add}, {"SUB", Operator::Sub}, {"MUL", Operator::Mul},
    {"DIV", Operator::Div}, {"ABS", Operator::Abs}, {"MAX", Operator::Max},
    {"MIN", Operator::Min}, {"FLR", Operator::Flr}, {"CLG", Operator::Clg},
    {"MOD", Operator::Mod}, {"POW", Operator::Pow}, {"TIME", Operator::Time},
    {"RND", Operator::Rnd}, {"SIN", Operator::Sin}, {"COS", Operator::Cos},
    {"TAN", Operator::Tan}, {"ASN", Operator::Asn}, {"ACS", Operator::Acs},
    {"ATN", Operator::Atn}, {"LOG", Operator::Log}, {"EXP", Operator::Exp},
    {"IFE", Operator::Ife}, {"EQU", Operator::Equ}, {"GT", Operator::Gt},
    {"LT", Operator::Lt},   {"NEQ", Operator::Neq}, {"AND", Operator::And},
    {"OR", Operator::Or},   {"NOT", Operator::Not},
};

// In the order of ShapeBlock: the keyword of each block that makes a shape.
struct ShapeBlockKeyword {
    ShapeBlock code;
    Token keyword;
};
inline constexpr ShapeBlockKeyword shape_block_keywords[] = {
    {ShapeBlock::Sphere, SPHERE},
    {ShapeBlock::Cube, CUBE},
    {ShapeBlock::Cylinder, CYLINDER},
    {ShapeBlock::Cone, CONE},
    {ShapeBlock::Paraboloid, PARABOLOID},
    {ShapeBlock::Hyperboloid, HYPERBOLOID},
    {ShapeBlock::Plane, PLANE},
    {ShapeBlock::Triad, TRIAD},
    {ShapeBlock::Pyramid, PYRAMID},
    {ShapeBlock::Cosine, COSINE},
    {ShapeBlock::Everywhere, EVERYWHERE},
    {ShapeBlock::Quadric, QUADRIC},
    {ShapeBlock::Cubic, CUBIC},
    {ShapeBlock::Sor, SOR},
    {ShapeBlock::Mesh, MESH},
    {ShapeBlock::Union, UNION},
    {ShapeBlock::Intersection, INTERSECTION},
    {ShapeBlock::Difference, DIFFERENCE},
    {ShapeBlock::BoundingShape, BOUNDING_SHAPE},
};

// True when every entry of a table stands at the index of its code.
template <class Entry, std::size_t N>
constexpr bool in_code_order(const Entry (&table)[N]) {
    for (std::size_t i = 0; i < N; ++i)
        if (static_cast<std::size_t>(table[i].code) != i) return false;
    return true;
}
static_assert(in_code_order(statement_words));
static_assert(in_code_order(operator_words));
static_assert(in_code_order(shape_block_keywords));
static_assert(std::size(shape_block_keywords) == static_cast<std::size_t>(ShapeBlock::None));

// Code of a word (case-insensitive), TOKEN_NONE when it is no keyword.
int keyword_code(const std::string& word);
// Whether the word is the statement's word, in any letter case.
bool word_is(const std::string& word, Statement statement);
// The operator the word names, in any letter case; false when it names none.
bool find_operator(const std::string& word, Operator& op);
// The keyword of the block that makes a shape ("SPHERE"), as the keyword
// table spells it; "shape" for a shape no block makes.
std::string_view shape_block_keyword(ShapeBlock block);
