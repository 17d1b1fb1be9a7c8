#include "glimmark/picture_file.h"

#include "record/image_file.h"

namespace glimmark {

static_assert(static_cast<int>(PictureFormat::Ppm) == static_cast<int>(ImageFormat::Ppm));

bool picture_format_for(const std::string& path, PictureFormat& format) {
    ImageFormat f = static_cast<ImageFormat>(format);
    const bool known = image_format_for(path, f);
    format = static_cast<PictureFormat>(f);
    return known;
}

bool write_picture(const std::string& path, PictureFormat format, int width, int height,
                   const std::vector<uint32_t>& pixels, std::string& error) {
    return write_image(path, static_cast<ImageFormat>(format), width, height, pixels, error);
}

}  // namespace glimmark
