#include <gtest/gtest.h>

#include <string>

#include "record/band_record.h"
#include "record/image_file.h"
#include "tests/support/temp_folder.h"

namespace {

const BandRecord kBand{10, 20, 40, 30, 0x0123456789abcdefull};

BandRecordFound find(const std::string& bytes, BandRecord& record) {
    return find_band_record(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                            record);
}

std::string file_with_record(ImageFormat format) {
    TempFolder dir("band_record");
    const std::string path = dir.file(format == ImageFormat::Png ? "b.png" : "b.ppm");
    std::string error;
    EXPECT_TRUE(
        write_image(path, format, 40, 30, std::vector<uint32_t>(40 * 30, 0x00FF00u), error, &kBand))
        << error;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::string bytes(1 << 16, '\0');
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
    return bytes;
}

// What join-rows reads from a band's first bytes: the record as written, or
// why there is none. A prefix cut inside the record, a changed byte (the PNG
// chunk's CRC) and a record text out of bounds are never taken for a record.
TEST(BandRecord, FoundInTheFilesTheWriterMakesAndNowhereElse) {
    for (ImageFormat format : {ImageFormat::Png, ImageFormat::Ppm}) {
        const std::string bytes = file_with_record(format);
        BandRecord r;
        ASSERT_EQ(find(bytes, r), BandRecordFound::Found);
        EXPECT_EQ(r, kBand);
        const size_t at = bytes.find("10-20 of 40x30");
        ASSERT_NE(at, std::string::npos);
        EXPECT_NE(find(bytes.substr(0, at + 5), r), BandRecordFound::Found);
        std::string changed = bytes;
        changed[at + 1] = '1';  // "11-20"
        EXPECT_EQ(find(changed, r),
                  format == ImageFormat::Png ? BandRecordFound::Damaged : BandRecordFound::Found);
    }
    BandRecord r;
    EXPECT_EQ(find("P6\n40 30\n255\n", r), BandRecordFound::Missing);
    EXPECT_EQ(find("P6\n# other\n40 30\n255\n# Glimmark rows 0-1 of 4x3 scene 0\n", r),
              BandRecordFound::Missing);
    EXPECT_EQ(find("GIF89a", r), BandRecordFound::NotPicture);
    EXPECT_EQ(find("P6 x", r), BandRecordFound::NotPicture);
    for (const char* text :
         {"10-20 of 40x30 scene 0123456789abcdef", "0-0 of 1x1 scene ffffffffffffffff"}) {
        ASSERT_TRUE(parse_band_record_text(text, r)) << text;
        EXPECT_EQ(band_record_text(r), text);
    }
    for (const char* text :
         {"20-10 of 40x30 scene 0123456789abcdef", "10-30 of 40x30 scene 0123456789abcdef",
          "10-20 of 0x30 scene 0123456789abcdef", "10-20 of 40x30 scene 0123456789ABCDEF",
          "10-20 of 40x30 scene 0123456789abcde", "-1-20 of 40x30 scene 0123456789abcdef",
          "10-20 of 40x9999999999 scene 0123456789abcdef",
          "10-20 of 40x30 scene 0123456789abcdef "})
        EXPECT_FALSE(parse_band_record_text(text, r)) << text;
}

}  // namespace
