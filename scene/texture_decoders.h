#pragma once

#include <cstdlib>
#include <memory>
#include <vector>

// The decoders behind load_texture, one per kind of picture file. Each takes
// the whole file, already read into memory, and gives 8-bit red, green and
// blue with row 0 at the top, or refuses the file. A damaged or hostile file
// is refused: nothing is printed, nothing aborts, and the work is bounded by
// the size limits below.

// Longest side of a texture in pixels, as for the traced image.
constexpr int MaxTextureSide = 16384;

struct FreeBytes {
    void operator()(unsigned char* p) const { std::free(p); }
};

struct DecodedBitmap {
    int width = 0;
    int height = 0;
    // width x height x 3 bytes (red, green, blue), row by row from the top.
    // Taken from malloc and not cleared: the pages of rows a refused file
    // never reached are never touched.
    std::unique_ptr<unsigned char[], FreeBytes> rgb;
};

enum class DecodeResult {
    Decoded,
    Refused,
    // Both sides within MaxTextureSide, but more than max_texels texels;
    // found from the header, before anything is decoded.
    TooLarge,
};

// `out` is written only when the result is Decoded. Alpha is dropped, grey
// becomes red = green = blue, and palettes and 16-bit samples (the high byte)
// are expanded to 8-bit colour.

// PNG, by libpng: any colour type, bit depth and interlacing. Chunks other
// than the image's own (IHDR, PLTE, tRNS, IDAT, IEND) are skipped unread.
DecodeResult decode_png(const std::vector<unsigned char>& file, long long max_texels,
                        DecodedBitmap& out);
// JPEG, by libjpeg-turbo: baseline and progressive Huffman-coded files; grey,
// YCbCr, RGB and CMYK/YCCK (converted to RGB). Refused: arithmetic coding, a
// file too short to hold every block, data that ends before the picture is
// complete (libjpeg would fill the rest in grey), corrupt entropy data, and
// more scans than a bounded number of passes over the picture.
DecodeResult decode_jpeg(const std::vector<unsigned char>& file, long long max_texels,
                         DecodedBitmap& out);
// BMP (top-down ones too) and TGA, by stb_image.
DecodeResult decode_bmp_tga(const std::vector<unsigned char>& file, long long max_texels,
                            DecodedBitmap& out);

// Which decoder a file is for, told by its first bytes.
bool looks_like_png(const std::vector<unsigned char>& file);
bool looks_like_jpeg(const std::vector<unsigned char>& file);
