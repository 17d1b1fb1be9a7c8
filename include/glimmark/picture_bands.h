#pragma once

// What a picture written by `glimmark render --rows` says of itself: which
// rows of a picture of which size it holds (the others are black), and of
// which picture, so that bands traced apart are joined only with bands of
// the same picture. In a PNG it is a tEXt chunk before the image data, in a
// PPM a comment line after the magic number.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace glimmark {

struct PictureBand {
    int first_row = 0;
    int last_row = 0;
    int width = 0;
    int height = 0;
    // A fingerprint of the scene's text, the frame and the settings that
    // change the picture.
    uint64_t scene = 0;

    bool operator==(const PictureBand&) const = default;
};

enum class BandFound {
    Found,
    // A PNG or PPM picture that holds no record (written by another program
    // or by an older Glimmark).
    Missing,
    // A PNG or PPM whose record cannot be read.
    Damaged,
    // Neither a PNG nor a binary PPM.
    NotPicture,
};

// Looks for the record in the first `n` bytes of a picture file; `n` may
// stop anywhere, the record is near the start of every file that has one.
BandFound find_picture_band(const unsigned char* data, size_t n, PictureBand& band);

// 64-bit FNV-1a of `text`, continuing from `hash`: the band's `scene`.
uint64_t fingerprint(std::string_view text, uint64_t hash = 14695981039346656037ull);

}  // namespace glimmark
