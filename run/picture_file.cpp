#include "glimmark/picture_file.h"

#include <optional>

#include "record/image_file.h"
#include "record/ppm_ahead.h"
#include "scene/texture_decoders.h"

namespace glimmark {

static_assert(static_cast<int>(PictureFormat::Ppm) == static_cast<int>(ImageFormat::Ppm));

namespace {

ImageFormat image_format(PictureFormat format) { return static_cast<ImageFormat>(format); }

// The band's record as the picture writers take it.
class Record {
  public:
    explicit Record(const PictureBand* band) {
        if (band != nullptr)
            record_ =
                BandRecord{band->first_row, band->last_row, band->width, band->height, band->scene};
    }
    const BandRecord* get() const { return record_ ? &*record_ : nullptr; }

  private:
    std::optional<BandRecord> record_;
};

}  // namespace

bool picture_format_for(const std::string& path, PictureFormat& format) {
    ImageFormat f = image_format(format);
    const bool known = image_format_for(path, f);
    format = static_cast<PictureFormat>(f);
    return known;
}

bool write_picture(const std::string& path, PictureFormat format, int width, int height,
                   const std::vector<uint32_t>& pixels, std::string& error) {
    return write_image(path, image_format(format), width, height, pixels, error);
}

bool write_picture_to(std::FILE* out, const std::string& name, PictureFormat format, int width,
                      int height, const std::vector<uint32_t>& pixels, std::string& error) {
    return write_image_to(out, name, image_format(format), width, height, pixels, error);
}

struct PictureAhead::State {
    std::unique_ptr<RowsAhead> rows;
};

struct PictureAheadAccess {
    static RowsAhead* rows(PictureAhead* ahead) {
        return ahead != nullptr ? ahead->state_->rows.get() : nullptr;
    }
};

PictureAhead::PictureAhead(const Canvas& picture, PictureFormat format, const std::string& path,
                           const PictureBand* band)
    : state_(std::make_unique<State>()) {
    if (format == PictureFormat::Png)
        state_->rows = std::make_unique<PngAhead>(picture);
    else
        state_->rows = std::make_unique<PpmAhead>(picture, path, Record(band).get());
}

PictureAhead::~PictureAhead() = default;

void PictureAhead::take_settled(int settled_rows, const std::atomic<bool>& stop) {
    state_->rows->take_settled(settled_rows, stop);
}

bool PictureAhead::complete() const { return state_->rows->complete(); }

bool write_picture(const std::string& path, PictureFormat format, const Canvas& picture,
                   std::string& error, PictureAhead* ahead, const PictureBand* band) {
    return write_image(path, image_format(format), picture, error, PictureAheadAccess::rows(ahead),
                       Record(band).get());
}

bool write_picture_to(std::FILE* out, const std::string& name, PictureFormat format,
                      const Canvas& picture, std::string& error, PictureAhead* ahead,
                      const PictureBand* band) {
    return write_image_to(out, name, image_format(format), picture, error,
                          PictureAheadAccess::rows(ahead), Record(band).get());
}

bool png_is_whole(const std::vector<unsigned char>& file, int width, int height) {
    if (!looks_like_png(file)) return false;
    DecodedBitmap picture;
    return decode_png(file, static_cast<long long>(width) * height, picture) ==
               DecodeResult::Decoded &&
           picture.width == width && picture.height == height;
}

}  // namespace glimmark
