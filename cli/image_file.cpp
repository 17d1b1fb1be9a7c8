#include "cli/image_file.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>

#include "record/output_file.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#if __has_include(<stb_image_write.h>)
#include <stb_image_write.h>
#else
#include <stb/stb_image_write.h>
#endif
#pragma GCC diagnostic pop

namespace {

bool ends_with_ignoring_case(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i])
            return false;
    return true;
}

// Where the PNG encoder hands its bytes. No exception may pass through the
// encoder, which would lose its own buffers on the way.
struct PngSink {
    std::vector<unsigned char>& bytes;
    bool out_of_memory = false;
};

void append_bytes(void* context, void* data, int size) {
    auto* sink = static_cast<PngSink*>(context);
    const auto* bytes = static_cast<const unsigned char*>(data);
    try {
        sink->bytes.insert(sink->bytes.end(), bytes, bytes + size);
    } catch (const std::bad_alloc&) {
        sink->out_of_memory = true;
    }
}

bool write_all(const std::string& path, const std::vector<unsigned char>& bytes,
               std::string& reason) {
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    errno = 0;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    int saved = errno;
    const bool closed = std::fclose(f) == 0;
    if (saved == 0) saved = errno;
    if (written && closed) return true;
    reason = saved != 0 ? std::strerror(saved) : "write failed";
    return false;
}

// The whole file in one go, checked to the last byte: a full disk must not
// pass for a written picture. A regular file is written as a temporary beside
// it (nameless where the file system allows, so that even a killed process
// leaves nothing behind) and renamed over it when complete: a failed or
// interrupted write leaves the old picture as it was. Anything else (a
// device, a pipe) is written in place and never removed.
bool write_file(const std::string& path, const std::vector<unsigned char>& bytes,
                std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    std::string reason;
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        if (write_all(path, bytes, reason)) return true;
        error = "Could not write image '" + path + "': " + reason;
        return false;
    }
    OutputFile file;
    // Named before it is closed: a nameless file ends with its descriptor.
    if (file.create_temporary_for(path) && file.append(bytes.data(), bytes.size()) && file.sync() &&
        file.name_temporary() && file.close() && file.rename_temporary_over(path))
        return true;
    reason = file.error_text();
    file.discard_temporary();
    error = "Could not write image '" + path + "': " + (reason.empty() ? "write failed" : reason);
    return false;
}

// A picture of a stream (-o -): the next one follows it directly.
bool write_to_stdout(const std::vector<unsigned char>& bytes, std::string& error) {
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
        std::fflush(stdout) == 0)
        return true;
    error = std::string("Could not write the picture to standard output: ") +
            (errno != 0 ? std::strerror(errno) : "write failed");
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
                 const std::vector<uint32_t>& pixels, std::string& error) {
    if (width < 1 || height < 1 ||
        pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
        error = "Could not write image '" + path + "': the picture is empty";
        return false;
    }
    try {
        const std::vector<unsigned char> rgb = rgb_bytes(pixels);
        std::vector<unsigned char> file;
        if (format == ImageFormat::Ppm) {
            const std::string header =
                "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
            file.reserve(header.size() + rgb.size());
            file.insert(file.end(), header.begin(), header.end());
            file.insert(file.end(), rgb.begin(), rgb.end());
        } else {
            PngSink sink{file};
            // The encoder fails only when it finds no memory for its buffers.
            if (!stbi_write_png_to_func(append_bytes, &sink, width, height, 3, rgb.data(),
                                        width * 3) ||
                sink.out_of_memory)
                throw std::bad_alloc();
        }
        if (path == "-") return write_to_stdout(file, error);
        return write_file(path, file, error);
    } catch (const std::bad_alloc&) {
        error = "Could not write image '" + path + "': out of memory";
        return false;
    }
}
