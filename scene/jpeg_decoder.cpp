// JPEG textures, decoded by libjpeg-turbo. libjpeg reports an error by calling
// error_exit, which here jumps back to the setjmp of the step that was
// running; the two steps below hold no C++ objects that a jump could skip.

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <new>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "scene/texture_decoders.h"

namespace {

// Each scan of a progressive or multi-scan JPEG revisits every block of its
// components, so a small file repeating a cheap scan could keep the decoder
// busy for seconds. Encoders write about ten scans, each block taking part in
// a handful; a file with more scans, or whose scans together visit more blocks
// than MaxBlockPasses times the picture's, is refused.
constexpr int MaxScans = 1000;
constexpr long long MaxBlockPasses = 100;

struct Guard {
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
    long long blocks_allowed = 0;
    long long blocks_visited = 0;
    int scan_counted = 0;
};

Guard& guard_of(j_common_ptr cinfo) { return *static_cast<Guard*>(cinfo->client_data); }

[[noreturn]] void fail(j_common_ptr cinfo) { std::longjmp(guard_of(cinfo).jump, 1); }

// Warnings that say the picture data is damaged or missing are fatal: libjpeg
// would go on with zeros and fill the rest of the picture with grey. Those
// about extra bytes between markers or the metadata are passed over. Trace
// messages (level 0 and up) and the text of every message are dropped.
void on_message(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    switch (cinfo->err->msg_code) {
        case JWRN_EXTRANEOUS_DATA:
        case JWRN_JFIF_MAJOR:
        case JWRN_ADOBE_XFORM:
        case JWRN_BOGUS_ICC:
        case JWRN_NOT_SEQUENTIAL:
            return;
        default:
            fail(cinfo);
    }
}

void print_nothing(j_common_ptr) {}

// Blocks of the components in the scan being read.
long long blocks_in_scan(const jpeg_decompress_struct& cinfo) {
    long long blocks = 0;
    for (int i = 0; i < cinfo.comps_in_scan; ++i)
        blocks += static_cast<long long>(cinfo.cur_comp_info[i]->width_in_blocks) *
                  cinfo.cur_comp_info[i]->height_in_blocks;
    return blocks;
}

// Counts a scan against the limits; false when it is one too many.
bool count_scan(const jpeg_decompress_struct& cinfo, Guard& g) {
    g.scan_counted = cinfo.input_scan_number;
    g.blocks_visited += blocks_in_scan(cinfo);
    return g.scan_counted <= MaxScans && g.blocks_visited <= g.blocks_allowed;
}

// Called while the scans are read into the coefficient buffer: at the start
// of each scan after the first and after each row of blocks.
void on_progress(j_common_ptr common) {
    auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
    Guard& g = guard_of(common);
    if (cinfo->input_scan_number != g.scan_counted && !count_scan(*cinfo, g)) fail(common);
}

struct JpegSession {
    jpeg_decompress_struct cinfo{};
    Guard guard;
    bool created = false;

    JpegSession() {
        cinfo.err = jpeg_std_error(&guard.errors);
        guard.errors.error_exit = fail;
        guard.errors.emit_message = on_message;
        guard.errors.output_message = print_nothing;
        guard.progress.progress_monitor = on_progress;
        cinfo.client_data = &guard;
    }
    ~JpegSession() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
    JpegSession(const JpegSession&) = delete;
    JpegSession& operator=(const JpegSession&) = delete;
};

// stb_image, which read JPEG textures before, takes RGB without conversion
// when the components are named R, G and B, or when an Adobe marker says so
// and no JFIF marker says otherwise; libjpeg gives JFIF precedence.
void choose_colour_space(jpeg_decompress_struct& cinfo) {
    if (cinfo.num_components == 3) {
        const jpeg_component_info* c = cinfo.comp_info;
        const bool named_rgb =
            c[0].component_id == 'R' && c[1].component_id == 'G' && c[2].component_id == 'B';
        const bool adobe_rgb =
            cinfo.saw_Adobe_marker && cinfo.Adobe_transform == 0 && !cinfo.saw_JFIF_marker;
        cinfo.jpeg_color_space = named_rgb || adobe_rgb ? JCS_RGB : JCS_YCbCr;
    }
    // libjpeg turns YCCK into CMYK but not CMYK into RGB; that is done below.
    const bool four = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = four ? JCS_CMYK : JCS_RGB;
}

// Reads the markers up to the first scan. False when the file is not a JPEG
// libjpeg can read.
bool read_header(JpegSession& s, const unsigned char* data, size_t size) {
    if (setjmp(s.guard.jump)) return false;
    jpeg_create_decompress(&s.cinfo);
    s.created = true;
    jpeg_mem_src(&s.cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&s.cinfo, TRUE);
    choose_colour_space(s.cinfo);
    return true;
}

// Stored CMYK is inverted (255 is no ink), as Adobe writes it; each colour is
// scaled by the black channel, rounded as stb_image did.
void cmyk_to_rgb(const unsigned char* cmyk, unsigned char* rgb, unsigned width) {
    for (unsigned x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        for (int c = 0; c < 3; ++c) {
            const unsigned t = cmyk[c] * cmyk[3] + 128u;
            rgb[c] = static_cast<unsigned char>((t + (t >> 8)) >> 8);
        }
    }
}

// Decodes every row into `rgb` (row by row, three bytes a pixel), which grows
// as the rows arrive, and reads on to the end of the file's picture.
// `cmyk_row` holds one row of a CMYK file.
bool read_rows(JpegSession& s, GrowingBytes& rgb, unsigned char* cmyk_row) {
    if (setjmp(s.guard.jump)) return false;
    jpeg_decompress_struct& cinfo = s.cinfo;
    cinfo.progress = &s.guard.progress;
    jpeg_start_decompress(&cinfo);
    const int channels = cinfo.out_color_space == JCS_CMYK ? 4 : 3;
    if (cinfo.output_width != cinfo.image_width || cinfo.output_height != cinfo.image_height ||
        cinfo.output_components != channels)
        return false;
    const size_t stride = static_cast<size_t>(cinfo.output_width) * 3;
    while (cinfo.output_scanline < cinfo.output_height) {
        unsigned char* target = rgb.extend(stride);
        if (target == nullptr) return false;
        JSAMPROW row = channels == 4 ? cmyk_row : target;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) return false;
        if (channels == 4) cmyk_to_rgb(cmyk_row, target, cinfo.output_width);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

}  // namespace

bool looks_like_jpeg(const std::vector<unsigned char>& file) {
    // A start marker, FF D8, which may have fill bytes (more FFs) before it.
    size_t p = 0;
    while (p < file.size() && file[p] == 0xFF)
        ++p;
    return p > 0 && p < file.size() && file[p] == 0xD8;
}

DecodeResult decode_jpeg(const std::vector<unsigned char>& file, long long max_texels,
                         DecodedBitmap& out) {
    if (!looks_like_jpeg(file)) return DecodeResult::Refused;
    // libjpeg wants the marker's FF D8 at the very start.
    size_t start = 0;
    while (file[start + 1] == 0xFF)
        ++start;

    JpegSession s;
    if (!read_header(s, file.data() + start, file.size() - start)) return DecodeResult::Refused;
    const JDIMENSION width = s.cinfo.image_width, height = s.cinfo.image_height;
    if (width < 1 || height < 1 || width > MaxTextureSide || height > MaxTextureSide)
        return DecodeResult::Refused;
    if (static_cast<long long>(width) * height > max_texels) return DecodeResult::TooLarge;

    long long picture_blocks = 0;
    for (int c = 0; c < s.cinfo.num_components; ++c)
        picture_blocks += static_cast<long long>(s.cinfo.comp_info[c].width_in_blocks) *
                          s.cinfo.comp_info[c].height_in_blocks;
    // Arithmetic coding, which nothing in common use writes, can code a huge
    // picture in a few bytes; Huffman coding spends at least one bit on every
    // block, so a file too short for its blocks cannot hold the picture.
    if (s.cinfo.arith_code || static_cast<long long>(file.size()) * 8 < picture_blocks)
        return DecodeResult::Refused;
    s.guard.blocks_allowed = MaxBlockPasses * picture_blocks;
    if (!count_scan(s.cinfo, s.guard)) return DecodeResult::Refused;  // the first scan

    // A sequential file is decoded as it is read: one that breaks off costs
    // the rows it held. (A progressive one is read whole into libjpeg's
    // coefficients first, within the bounds above.)
    const size_t size = static_cast<size_t>(width) * height * 3;
    GrowingBytes rgb(size);
    std::vector<unsigned char> cmyk_row;
    try {
        if (s.cinfo.out_color_space == JCS_CMYK) cmyk_row.resize(static_cast<size_t>(width) * 4);
    } catch (const std::bad_alloc&) {
        return DecodeResult::Refused;
    }
    if (!read_rows(s, rgb, cmyk_row.data()) || rgb.size() != size) return DecodeResult::Refused;
    DecodedBitmap image;
    image.rgb = rgb.take();
    if (image.rgb == nullptr) return DecodeResult::Refused;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    out = std::move(image);
    return DecodeResult::Decoded;
}
