#pragma once

#include <string>

// The name pattern of the pictures a run writes. An OUT with one printf-style
// integer conversion (%d, %04d, %i, %u, with "%%" for a percent sign) names
// every frame through it; any other OUT is used as it is for a single frame,
// and for an animation gets _0000, _0001, ... before its extension.
struct FramePattern {
    std::string text;
    bool has_conversion = false;
    // The conversion's position, length and form.
    size_t start = 0;
    size_t length = 0;
    bool zero_pad = false;
    bool left_align = false;
    int width = 0;
};

// False (with the reason in `error`) for a pattern with more than one
// conversion, or with a conversion other than an integer one.
bool parse_frame_pattern(const std::string& out, FramePattern& pattern, std::string& error);

// The file name of frame `index` of a document with `frames` frames.
std::string frame_file_name(const FramePattern& pattern, int index, int frames);

// The default picture name of a scene file: its name with .png, beside it.
std::string default_picture_name(const std::string& scene_path);
