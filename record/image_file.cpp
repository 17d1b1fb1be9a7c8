#include "record/image_file.h"

#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <filesystem>
#include <new>

#include <png.h>
#include <zlib.h>

#include "record/output_file.h"
#include "record/png_bands.h"
#include "record/ppm_ahead.h"
#include "record/rgb_rows.h"
#include "scene/surface.h"

namespace {

bool ends_with_ignoring_case(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i])
            return false;
    return true;
}

// The picture the writer reads, a row at a time: a vector of pixels or a
// surface. Neither way allocates or throws.
struct PictureRows {
    int width = 0;
    int height = 0;
    const uint32_t* pixels = nullptr;
    const Surface* surface = nullptr;
    // What the file says of the rows it holds; none when null.
    const BandRecord* band = nullptr;

    void rgb_row(int y, unsigned char* out) const {
        if (surface == nullptr) {
            pack_rgb(pixels + static_cast<size_t>(y) * static_cast<size_t>(width), width, out);
            return;
        }
        surface_rgb_row(*surface, y, out);
    }
};

// Where the encoded bytes go, in blocks: a file being written or a stream.
// The first failure is kept, with its reason, and later bytes are dropped.
class ByteSink {
  public:
    explicit ByteSink(OutputFile& file) : file_(&file) {}
    explicit ByteSink(std::FILE* stream) : stream_(stream) {}

    bool put(const void* data, size_t n) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        while (n > 0 && !failed_) {
            if (used_ == sizeof(block_) && !flush()) break;
            const size_t part = std::min(n, sizeof(block_) - used_);
            std::memcpy(block_ + used_, bytes, part);
            used_ += part;
            bytes += part;
            n -= part;
        }
        return !failed_;
    }

    bool flush() {
        if (failed_ || used_ == 0) return !failed_;
        if (file_ != nullptr) {
            failed_ = !file_->append(block_, used_);
            if (failed_) reason_ = file_->error_text();
        } else {
            errno = 0;
            failed_ = std::fwrite(block_, 1, used_, stream_) != used_;
            if (failed_) reason_ = errno != 0 ? std::strerror(errno) : "write failed";
        }
        used_ = 0;
        return !failed_;
    }

    bool failed() const { return failed_; }
    const std::string& reason() const { return reason_; }

  private:
    OutputFile* file_ = nullptr;
    std::FILE* stream_ = nullptr;
    unsigned char block_[1 << 16];
    size_t used_ = 0;
    bool failed_ = false;
    std::string reason_;
};

// The header unless the rows start further down, then the rows from `first`.
void write_ppm(ByteSink& sink, const PictureRows& rows, unsigned char* row, int first) {
    if (first == 0) {
        const std::string header = ppm_header(rows.width, rows.height, rows.band);
        sink.put(header.data(), header.size());
    }
    for (int y = first; y < rows.height && !sink.failed(); ++y) {
        rows.rgb_row(y, row);
        sink.put(row, static_cast<size_t>(rows.width) * 3);
    }
}

// libpng reports an error by calling on_png_error, which jumps back to the
// setjmp in write_png; no C++ object lives in the frames it jumps over.
void put_png_bytes(png_structp png, png_bytep data, size_t n) {
    auto* sink = static_cast<ByteSink*>(png_get_io_ptr(png));
    if (!sink->put(data, n)) png_error(png, "write failed");
}
void flush_png(png_structp) {}
[[noreturn]] void on_png_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_png_warning(png_structp, png_const_charp) {}

// The chunks before the image data (IHDR, and sRGB with gAMA and cHRM)
// through libpng. False when the sink failed or libpng found no memory.
bool write_png_header(ByteSink& sink, const PictureRows& rows) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_png_error, on_png_warning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &sink, put_png_bytes, flush_png);
    png_set_IHDR(png, info, static_cast<png_uint_32>(rows.width),
                 static_cast<png_uint_32>(rows.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // The pixels are display values for an sRGB screen; the gAMA and cHRM
    // chunks say the same to readers that do not know sRGB.
    png_set_sRGB_gAMA_and_cHRM(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// A chunk: length, type, data and the CRC of type and data.
void put_png_chunk(ByteSink& sink, const char (&type)[5], const unsigned char* data, size_t n) {
    const auto* type_bytes = reinterpret_cast<const unsigned char*>(type);
    const unsigned char head[8] = {static_cast<unsigned char>(n >> 24),
                                   static_cast<unsigned char>(n >> 16),
                                   static_cast<unsigned char>(n >> 8),
                                   static_cast<unsigned char>(n),
                                   type_bytes[0],
                                   type_bytes[1],
                                   type_bytes[2],
                                   type_bytes[3]};
    uLong crc = crc32(0, type_bytes, 4);
    if (n > 0) crc = crc32(crc, data, static_cast<uInt>(n));
    const unsigned char tail[4] = {
        static_cast<unsigned char>(crc >> 24), static_cast<unsigned char>(crc >> 16),
        static_cast<unsigned char>(crc >> 8), static_cast<unsigned char>(crc)};
    sink.put(head, 8);
    if (n > 0) sink.put(data, n);
    sink.put(tail, 4);
}

PngRows png_rows_of(const PictureRows& rows) {
    return {rows.width, rows.height, [rows](int y, unsigned char* rgb) { rows.rgb_row(y, rgb); }};
}

// False when the sink failed or memory ran short. The image data is deflated
// in bands on every core, one IDAT chunk a band; the bands `ahead` holds are
// taken from it.
bool write_png(ByteSink& sink, const PictureRows& rows, const PngBandsAhead* ahead) {
    if (!write_png_header(sink, rows)) return false;
    if (rows.band != nullptr) {
        const std::string text = band_record_png_text(*rows.band);
        put_png_chunk(sink, "tEXt", reinterpret_cast<const unsigned char*>(text.data()),
                      text.size());
    }
    bool out_of_memory = false;
    const bool deflated = deflate_png_rows(
        png_rows_of(rows), PngCompression, 0,
        [&sink](const unsigned char* data, size_t n) {
            put_png_chunk(sink, "IDAT", data, n);
            return !sink.failed();
        },
        out_of_memory, ahead);
    if (!deflated) return false;
    put_png_chunk(sink, "IEND", nullptr, 0);
    return !sink.failed();
}

// Encodes the picture into the sink and flushes it. False with `reason` set
// when the sink failed or memory ran short.
// A PPM starts at row `first_row`, the file holding the rows above already.
bool encode(ByteSink& sink, ImageFormat format, const PictureRows& rows, std::string& reason,
            const PngBandsAhead* ahead, int first_row = 0) {
    try {
        if (format == ImageFormat::Ppm) {
            std::vector<unsigned char> row(static_cast<size_t>(rows.width) * 3);
            write_ppm(sink, rows, row.data(), first_row);
        } else if (!write_png(sink, rows, ahead) && !sink.failed()) {
            throw std::bad_alloc();
        }
    } catch (const std::bad_alloc&) {
        reason = "out of memory";
        return false;
    }
    if (sink.flush()) return true;
    reason = sink.reason().empty() ? "write failed" : sink.reason();
    return false;
}

bool write_stream(std::FILE* out, ImageFormat format, const PictureRows& rows, std::string& reason,
                  const PngBandsAhead* ahead) {
    try {
        auto sink = std::make_unique<ByteSink>(out);
        if (!encode(*sink, format, rows, reason, ahead)) return false;
    } catch (const std::bad_alloc&) {
        reason = "out of memory";
        return false;
    }
    errno = 0;
    if (std::fflush(out) == 0 && !std::ferror(out)) return true;
    reason = errno != 0 ? std::strerror(errno) : "write failed";
    return false;
}

// Checked to the last byte: a full disk must not pass for a written picture.
// A regular file is written as a temporary beside it (nameless where the
// file system allows, so that even a killed process leaves nothing behind)
// and renamed over it when complete: a failed or interrupted write leaves the
// old picture as it was. Anything else (a device, a pipe) is written in
// place and never removed.
// A PPM begun by `ppm` while traced is finished in its file.
bool write_file(const std::string& path, ImageFormat format, const PictureRows& rows,
                std::string& error, const PngBandsAhead* ahead = nullptr, PpmAhead* ppm = nullptr) {
    namespace fs = std::filesystem;
    const std::string failed = "Could not write image '" + path + "': ";
    if (rows.width < 1 || rows.height < 1) {
        error = failed + "the picture is empty";
        return false;
    }
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    std::string reason;
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        errno = 0;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) {
            error = failed + std::strerror(errno);
            return false;
        }
        bool written = write_stream(f, format, rows, reason, ahead);
        errno = 0;
        if (std::fclose(f) != 0 && written) {
            written = false;
            reason = errno != 0 ? std::strerror(errno) : "write failed";
        }
        if (!written) error = failed + reason;
        return written;
    }
    OutputFile own;
    int first_row = 0;
    OutputFile* begun = format == ImageFormat::Ppm && ppm != nullptr
                            ? ppm->begun_file(path, rows.width, rows.height, rows.band, first_row)
                            : nullptr;
    OutputFile& file = begun != nullptr ? *begun : own;
    try {
        auto sink = std::make_unique<ByteSink>(file);
        // Named before it is closed: a nameless file ends with its descriptor.
        if ((begun != nullptr || file.create_temporary_for(path)) &&
            encode(*sink, format, rows, reason, ahead, first_row) && file.sync() &&
            file.name_temporary() && file.close() && file.rename_temporary_over(path))
            return true;
    } catch (const std::bad_alloc&) {
        reason = "out of memory";
    }
    if (reason.empty()) reason = file.error_text();
    file.discard_temporary();
    error = failed + (reason.empty() ? "write failed" : reason);
    return false;
}

}  // namespace

bool image_format_for(const std::string& path, ImageFormat& format) {
    if (ends_with_ignoring_case(path, ".png")) {
        format = ImageFormat::Png;
        return true;
    }
    if (ends_with_ignoring_case(path, ".ppm")) {
        format = ImageFormat::Ppm;
        return true;
    }
    return false;
}

std::vector<unsigned char> rgb_bytes(const std::vector<uint32_t>& pixels) {
    std::vector<unsigned char> rgb(pixels.size() * 3);
    for (size_t i = 0; i < pixels.size(); ++i) {
        rgb[3 * i] = static_cast<unsigned char>(pixels[i] & 0xFF);
        rgb[3 * i + 1] = static_cast<unsigned char>((pixels[i] >> 8) & 0xFF);
        rgb[3 * i + 2] = static_cast<unsigned char>((pixels[i] >> 16) & 0xFF);
    }
    return rgb;
}

bool write_image(const std::string& path, ImageFormat format, int width, int height,
                 const std::vector<uint32_t>& pixels, std::string& error, const BandRecord* band) {
    if (width < 1 || height < 1 ||
        pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
        error = "Could not write image '" + path + "': the picture is empty";
        return false;
    }
    PictureRows rows{width, height, pixels.data(), nullptr, band};
    return write_file(path, format, rows, error);
}

bool write_image_to(std::FILE* out, const std::string& name, ImageFormat format, int width,
                    int height, const std::vector<uint32_t>& pixels, std::string& error,
                    const BandRecord* band) {
    std::string reason = "the picture is empty";
    const PictureRows rows{width, height, pixels.data(), nullptr, band};
    if (width >= 1 && height >= 1 &&
        pixels.size() == static_cast<size_t>(width) * static_cast<size_t>(height) &&
        write_stream(out, format, rows, reason, nullptr))
        return true;
    error = "Could not write image '" + name + "': " + reason;
    return false;
}

PngAhead::PngAhead(const Surface& picture) : picture_(picture) {}

PngAhead::~PngAhead() = default;

void PngAhead::take_settled(int settled_rows, const std::atomic<bool>& stop) {
    if (settled_rows < 1) return;
    if (!bands_) {
        const PictureRows rows{picture_.width(), picture_.height(), nullptr, &picture_};
        if (rows.width < 1 || rows.height < 1) return;
        try {
            bands_ = std::make_unique<PngBandsAhead>(png_rows_of(rows), PngCompression);
        } catch (const std::bad_alloc&) {
            return;  // the write deflates every band
        }
    }
    bands_->deflate_settled(settled_rows, stop);
}

bool PngAhead::complete() const { return bands_ && bands_->complete(); }

namespace {

const PngBandsAhead* png_bands_of(RowsAhead* ahead) {
    const auto* png = dynamic_cast<const PngAhead*>(ahead);
    return png != nullptr ? png->bands() : nullptr;
}

}  // namespace

bool write_image(const std::string& path, ImageFormat format, const Surface& picture,
                 std::string& error, RowsAhead* ahead, const BandRecord* band) {
    PictureRows rows{picture.width(), picture.height(), nullptr, &picture, band};
    return write_file(path, format, rows, error, png_bands_of(ahead),
                      dynamic_cast<PpmAhead*>(ahead));
}

bool write_image_to(std::FILE* out, const std::string& name, ImageFormat format,
                    const Surface& picture, std::string& error, RowsAhead* ahead,
                    const BandRecord* band) {
    PictureRows rows{picture.width(), picture.height(), nullptr, &picture, band};
    std::string reason = "the picture is empty";
    if (rows.width >= 1 && rows.height >= 1 &&
        write_stream(out, format, rows, reason, png_bands_of(ahead)))
        return true;
    error = "Could not write image '" + name + "': " + reason;
    return false;
}
