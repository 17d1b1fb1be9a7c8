#include "record/mjpeg_encoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace {

// libjpeg reports fatal errors by calling error_exit, which by default ends
// the process; jumping back keeps a broken frame from ending the program.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX];
};

void on_error(j_common_ptr info) {
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, err->text);
    std::longjmp(err->jump, 1);
}

void on_message(j_common_ptr) {}

}  // namespace

struct MjpegEncoder::State {
    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    bool created = false;
    std::string error;
    // Kept here rather than in locals: a jump back from an error must see
    // the values the library wrote.
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
};

MjpegEncoder::MjpegEncoder() : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.cinfo.err = jpeg_std_error(&s.err.base);
    s.err.base.error_exit = on_error;
    s.err.base.output_message = on_message;
    if (setjmp(s.err.jump) != 0) {
        s.error = s.err.text;
        return;
    }
    jpeg_create_compress(&s.cinfo);
    s.created = true;
}

MjpegEncoder::~MjpegEncoder() {
    if (state_->created) jpeg_destroy_compress(&state_->cinfo);
}

bool MjpegEncoder::ready() const { return state_->created; }

const std::string& MjpegEncoder::error() const { return state_->error; }

bool MjpegEncoder::encode(const uint8_t* rgb, int width, int height, int quality,
                          std::vector<uint8_t>& out) {
    State& s = *state_;
    if (!s.created) return false;
    if (width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) {
        s.error = "picture size out of range for JPEG";
        return false;
    }
    // The memory destination allocates the picture; it is freed on every
    // path, including a jump back from an error.
    s.buffer = nullptr;
    s.size = 0;
    if (setjmp(s.err.jump) != 0) {
        s.error = s.err.text;
        jpeg_abort_compress(&s.cinfo);
        std::free(s.buffer);
        s.buffer = nullptr;
        return false;
    }
    jpeg_mem_dest(&s.cinfo, &s.buffer, &s.size);
    s.cinfo.image_width = static_cast<JDIMENSION>(width);
    s.cinfo.image_height = static_cast<JDIMENSION>(height);
    s.cinfo.input_components = 3;
    s.cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&s.cinfo);
    jpeg_set_quality(&s.cinfo, std::clamp(quality, 1, 100), TRUE);
    jpeg_start_compress(&s.cinfo, TRUE);
    const size_t stride = static_cast<size_t>(width) * 3;
    while (s.cinfo.next_scanline < s.cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + stride * s.cinfo.next_scanline);
        jpeg_write_scanlines(&s.cinfo, &row, 1);
    }
    jpeg_finish_compress(&s.cinfo);
    out.assign(s.buffer, s.buffer + s.size);
    std::free(s.buffer);
    s.buffer = nullptr;
    return true;
}
