// PNG textures, decoded by libpng. libpng reports a damaged file by calling
// our error function, which jumps back to the setjmp of the step that was
// running; the two steps below hold no C++ objects that a jump could skip.

#include <csetjmp>
#include <cstring>
#include <vector>

#include <png.h>

#include "scene/texture_decoders.h"

namespace {

struct PngInput {
    const unsigned char* data;
    size_t size;
    size_t position;
};

// A file that ends before libpng has read its image and the IEND chunk is
// refused, never filled in.
void read_input(png_structp png, png_bytep out, size_t n) {
    auto* in = static_cast<PngInput*>(png_get_io_ptr(png));
    if (n > in->size - in->position) png_error(png, "file ends early");
    std::memcpy(out, in->data + in->position, n);
    in->position += n;
}

// Nothing is printed: an error jumps back to the step's setjmp, a warning
// (a damaged chunk libpng can do without) is passed over.
[[noreturn]] void on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_warning(png_structp, png_const_charp) {}

struct PngSession {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngInput input{};

    PngSession(const std::vector<unsigned char>& file) : input{file.data(), file.size(), 0} {
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
        if (png != nullptr) info = png_create_info_struct(png);
    }
    ~PngSession() { png_destroy_read_struct(&png, &info, nullptr); }
    PngSession(const PngSession&) = delete;
    PngSession& operator=(const PngSession&) = delete;
};

// Reads the chunks up to the image data and sets the conversions that give
// 8-bit RGB rows whatever the file holds. False when the file is not a PNG
// libpng can read or is wider or taller than MaxTextureSide.
bool read_header(PngSession& s, png_uint_32& width, png_uint_32& height) {
    if (setjmp(png_jmpbuf(s.png))) return false;
    png_set_read_fn(s.png, &s.input, read_input);
    png_set_user_limits(s.png, MaxTextureSide, MaxTextureSide);
    // Text, colour profiles and the like are skipped unread; only IHDR, PLTE,
    // tRNS, IDAT and IEND are looked at.
    png_set_keep_unknown_chunks(s.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(s.png, s.info);

    int depth = 0, colour = 0;
    png_get_IHDR(s.png, s.info, &width, &height, &depth, &colour, nullptr, nullptr, nullptr);
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(s.png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(s.png);
    // The high byte of each sample, not a rounded one.
    if (depth == 16) png_set_strip_16(s.png);
    if ((colour & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(s.png);
    // Alpha, and a palette's transparency, are dropped: the colours stay as
    // stored, not blended with anything.
    png_set_strip_alpha(s.png);
    // Interlaced rows come pass by pass, each holding that pass's pixels only
    // (no interlace handling): see read_rows.
    png_read_update_info(s.png, s.info);
    return png_get_bit_depth(s.png, s.info) == 8 && png_get_channels(s.png, s.info) == 3 &&
           png_get_rowbytes(s.png, s.info) == static_cast<size_t>(width) * 3;
}

// Reads every row into `rows` as it arrives, then the chunks after them up
// to IEND. An interlaced picture's rows are those of its seven passes, one
// after the other, each only as wide as its pass; `row` holds one whole row,
// which libpng may fill past a pass's pixels.
bool read_rows(PngSession& s, GrowingBytes& rows, unsigned char* row) {
    if (setjmp(png_jmpbuf(s.png))) return false;
    const png_uint_32 width = png_get_image_width(s.png, s.info);
    const png_uint_32 height = png_get_image_height(s.png, s.info);
    const bool interlaced = png_get_interlace_type(s.png, s.info) != PNG_INTERLACE_NONE;
    for (int pass = 0; pass < (interlaced ? 7 : 1); ++pass) {
        const png_uint_32 columns = interlaced ? PNG_PASS_COLS(width, pass) : width;
        const png_uint_32 count = interlaced ? PNG_PASS_ROWS(height, pass) : height;
        // libpng skips the passes a small picture leaves empty.
        if (columns == 0) continue;
        for (png_uint_32 y = 0; y < count; ++y) {
            unsigned char* target = rows.extend(static_cast<size_t>(columns) * 3);
            if (target == nullptr) return false;
            png_read_row(s.png, row, nullptr);
            std::memcpy(target, row, static_cast<size_t>(columns) * 3);
        }
    }
    png_read_end(s.png, nullptr);
    return true;
}

// Puts each pixel of the passes, read one after the other, in its place.
void spread_passes(const unsigned char* passes, unsigned char* rgb, png_uint_32 width,
                   png_uint_32 height) {
    for (int pass = 0; pass < 7; ++pass) {
        const png_uint_32 columns = PNG_PASS_COLS(width, pass);
        const png_uint_32 count = PNG_PASS_ROWS(height, pass);
        if (columns == 0) continue;
        for (png_uint_32 y = 0; y < count; ++y)
            for (png_uint_32 x = 0; x < columns; ++x, passes += 3)
                std::memcpy(rgb + (static_cast<size_t>(PNG_ROW_FROM_PASS_ROW(y, pass)) * width +
                                   PNG_COL_FROM_PASS_COL(x, pass)) *
                                      3,
                            passes, 3);
    }
}

}  // namespace

bool looks_like_png(const std::vector<unsigned char>& file) {
    return file.size() >= 8 && png_sig_cmp(file.data(), 0, 8) == 0;
}

DecodeResult decode_png(const std::vector<unsigned char>& file, long long max_texels,
                        DecodedBitmap& out) {
    PngSession s(file);
    if (s.png == nullptr || s.info == nullptr) return DecodeResult::Refused;
    png_uint_32 width = 0, height = 0;
    if (!read_header(s, width, height)) return DecodeResult::Refused;
    if (width < 1 || height < 1 || width > MaxTextureSide || height > MaxTextureSide)
        return DecodeResult::Refused;
    if (static_cast<long long>(width) * height > max_texels) return DecodeResult::TooLarge;

    // The rows are kept as they arrive: a file that ends early or breaks off
    // costs what it held.
    const size_t size = static_cast<size_t>(width) * height * 3;
    GrowingBytes rows(size);
    OwnedBytes row(allocate_bytes(static_cast<size_t>(width) * 3));
    if (row == nullptr || !read_rows(s, rows, row.get()) || rows.size() != size)
        return DecodeResult::Refused;
    DecodedBitmap image;
    if (png_get_interlace_type(s.png, s.info) == PNG_INTERLACE_NONE) {
        image.rgb = rows.take();
    } else {
        image.rgb.reset(allocate_bytes(size));
        if (image.rgb != nullptr) spread_passes(rows.data(), image.rgb.get(), width, height);
    }
    if (image.rgb == nullptr) return DecodeResult::Refused;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    out = std::move(image);
    return DecodeResult::Decoded;
}
