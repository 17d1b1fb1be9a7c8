#pragma once

#include "language/parse_context.h"

// Where a construct stands; the table of what may stand where uses it.
enum class BlockScope { Scene, Frame, Loop };

// scene_blocks.cpp: SCENE, and one construct of a SCENE, FRAME or LOOP body.
void parse_scene(ParseContext& pc);
// Parses the construct the current word (pc.token / pc.word) starts when it may
// stand in this scope; false when it starts nothing here, so that the caller
// reports its own message.
bool parse_scene_item(ParseContext& pc, BlockScope scope);

// reuse_blocks.cpp
void parse_define(ParseContext& pc);
void parse_include(ParseContext& pc);
void parse_interpolation(ParseContext& pc);
// loop_block.cpp
void parse_loop(ParseContext& pc);

// Splices text into the document at the read position (insert_text) and
// keeps the running loops and the INCLUDE depth in step with it; false, after
// a parse error, when the document would grow beyond its limit.
bool splice_text(ParseContext& pc, const std::string& text);
// Clears the splice bookkeeping at the start of a parse.
void reset_splices(ParseContext& pc);

// Resolves a file name from the document: beside the scene file first, then
// the current folder. Returns the name to open.
std::string resolve_document_path(const ParseContext& pc, const std::string& name);
