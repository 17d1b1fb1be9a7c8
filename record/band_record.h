#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What a picture written by `glimmark render` says of itself: which rows of a
// picture of which size it holds (the others are black), and of which scene.
// A whole picture holds rows 0 to height - 1. The scene is a fingerprint of
// the scene's text, the frame and the settings that change the picture, so
// that bands traced apart are joined only with bands of the same picture.
//
// In a PNG it is a tEXt chunk before the image data, keyword "Glimmark rows";
// in a PPM a comment line after the magic number, "# Glimmark rows TEXT".
// TEXT reads "10-20 of 40x30 scene 0123456789abcdef".
struct BandRecord {
    int first_row = 0;
    int last_row = 0;
    int width = 0;
    int height = 0;
    uint64_t scene = 0;

    bool operator==(const BandRecord&) const = default;
};

inline constexpr char BandRecordKeyword[] = "Glimmark rows";

// "10-20 of 40x30 scene 0123456789abcdef".
std::string band_record_text(const BandRecord& record);
// The record TEXT stands for; false for anything else (rows outside the
// picture, a size outside 1 to 65535, trailing bytes).
bool parse_band_record_text(std::string_view text, BandRecord& record);

// The PPM comment line, "# Glimmark rows TEXT\n".
std::string band_record_ppm_comment(const BandRecord& record);
// The data of the PNG tEXt chunk: the keyword, a zero byte and TEXT.
std::string band_record_png_text(const BandRecord& record);

enum class BandRecordFound {
    Found,
    // A PNG or PPM picture that holds no record (written by another program
    // or by an older Glimmark).
    Missing,
    // A PNG or PPM whose record cannot be read.
    Damaged,
    // Neither a PNG nor a binary PPM.
    NotPicture,
};

// Looks for the record in the first bytes of a picture file: a PNG's chunks
// before its image data, a PPM's header. `n` may stop anywhere; the record
// is near the start of every file that has one.
BandRecordFound find_band_record(const unsigned char* data, size_t n, BandRecord& record);

// 64-bit FNV-1a of `text`, continuing from `hash`.
uint64_t fingerprint(std::string_view text, uint64_t hash = 14695981039346656037ull);
