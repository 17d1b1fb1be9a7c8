#pragma once

#include <cstddef>
#include <memory>
#include <vector>

// The decoders behind load_texture, one per kind of picture file. Each takes
// the whole file, already read into memory, and gives 8-bit red, green and
// blue with row 0 at the top, or refuses the file. A damaged or hostile file
// is refused: nothing is printed, nothing aborts, and the work is bounded by
// the size limits below.

// Longest side of a texture in pixels, as for the traced image.
constexpr int MaxTextureSide = 16384;

// Every buffer of decoded pixels is taken through these (operator new without
// exceptions), so that a program that counts what operator new hands out sees
// what a texture costs. allocate_bytes gives nullptr when memory runs out.
unsigned char* allocate_bytes(std::size_t size) noexcept;
void release_bytes(void* p) noexcept;

struct FreeBytes {
    void operator()(unsigned char* p) const { release_bytes(p); }
};
using OwnedBytes = std::unique_ptr<unsigned char[], FreeBytes>;

// Bytes that arrive a piece at a time (rows as a decoder reaches them): the
// buffer grows as they come, doubling up to the `limit` given at the start,
// so that a file that declares a large picture and then ends early or breaks
// off has cost what it held, not what its header promised.
class GrowingBytes {
  public:
    explicit GrowingBytes(std::size_t limit) : limit_(limit) {}
    // Room for `n` more bytes, or nullptr when that would pass the limit or
    // memory runs out. Earlier bytes may move: pointers from before are stale.
    unsigned char* extend(std::size_t n) noexcept;
    unsigned char* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }
    // The bytes, in a block of exactly size() bytes.
    OwnedBytes take() noexcept;

  private:
    OwnedBytes bytes_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t limit_;
};

struct DecodedBitmap {
    int width = 0;
    int height = 0;
    // width x height x 3 bytes (red, green, blue), row by row from the top.
    OwnedBytes rgb;
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
// BMP (top-down ones too) and TGA, by stb_image, after a look at the header:
// an uncompressed file too short for the picture it declares is refused
// before any pixel memory is taken; a run-length TGA is unpacked as its
// packets arrive; run-length BMPs (8 and 4 bits a pixel), which stb_image
// does not read, are decoded by decode_bmp_rle. Row 0 is the top row whatever
// corner the file starts from (a TGA's descriptor bits 4 and 5).
DecodeResult decode_bmp_tga(const std::vector<unsigned char>& file, long long max_texels,
                            DecodedBitmap& out);

// BI_RLE8 and BI_RLE4 bitmaps (bottom-up, as they must be). `offset` is where
// the runs start, `palette` the file's BGRx entries (at most 256 are used).
// Pixels the runs skip (delta and end-of-line escapes, an early end of the
// bitmap) take palette entry 0; runs past the end of a row are cut there; a
// file whose runs end before the bitmap's end escape is refused. Only rows
// the runs reach take memory until the whole bitmap has been read.
struct RleBitmap {
    int width = 0, height = 0;
    int bits = 8;  // 8 or 4
    std::size_t offset = 0;
    const unsigned char* palette = nullptr;
    int palette_entries = 0;
};
DecodeResult decode_bmp_rle(const std::vector<unsigned char>& file, const RleBitmap& bitmap,
                            DecodedBitmap& out);

// Which decoder a file is for, told by its first bytes.
bool looks_like_png(const std::vector<unsigned char>& file);
bool looks_like_jpeg(const std::vector<unsigned char>& file);
