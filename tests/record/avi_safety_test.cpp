#include <gtest/gtest.h>

#include <fstream>

#include "record/avi_writer.h"
#include "record/video_recorder.h"
#include "record_test_support.h"
#include "riff_reader.h"

namespace {

void write_text(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string read_text(const std::string& path) {
    const std::vector<uint8_t> b = RiffFile::read_all(path);
    return std::string(b.begin(), b.end());
}

size_t frames_in(const std::string& path) {
    const RiffFile f(path);
    if (!f.problem.empty() || f.parts.empty()) return 0;
    return f.parts[0].child("LIST", "movi")->all("00dc").size();
}

// Records `frames` black pictures; the writer's records go to `errors`.
bool record(RecordingErrors& errors, const std::string& path, int frames) {
    AviWriter avi;
    avi.codec = AviCodec::Raw;
    const bool opened = avi.open(path, 4, 4, 4, "IV50");
    Surface s(4, 4);
    for (int i = 0; opened && i < frames; ++i)
        avi.write_frame(s);
    avi.close();
    errors = avi.take_errors();
    return opened;
}

struct OpenFailure {
    const char* name;
    int width;
    int height;
    AviCodec codec;
    RecordingErrorKind kind;
    const char* text;
    const char* caption;
};

class AviOpenFailure : public ::testing::TestWithParam<OpenFailure> {};

TEST_P(AviOpenFailure, ShowsItsMessageAndLeavesNothingBehind) {
    const OpenFailure& c = GetParam();
    TempFolder dir;
    AviWriter avi;
    avi.codec = c.codec;
    const std::string path = std::string(c.name) == "missing folder"
                                 ? dir.file("no/such/folder/out.avi")
                                 : dir.file("out.avi");
    EXPECT_FALSE(avi.open(path, c.width, c.height, 4, "IV50"));
    EXPECT_FALSE(avi.is_open());
    const RecordingErrors messages = avi.take_errors();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, c.kind);
    EXPECT_EQ(messages[0].text, c.text);
    EXPECT_EQ(messages[0].caption, c.caption);
    EXPECT_TRUE(dir.names().empty());
    Surface s(4, 4);
    EXPECT_FALSE(avi.write_frame(s));
    EXPECT_EQ(avi.frames_written, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, AviOpenFailure,
    ::testing::Values(
        OpenFailure{"missing folder", 8, 8, AviCodec::Mjpeg, RecordingErrorKind::CannotCreate,
                    "Error opening AVI file for write. Check path and permissions.", "AVI Error"},
        OpenFailure{"zero width", 0, 8, AviCodec::Mjpeg, RecordingErrorKind::Stream,
                    "Could not create uncompressed AVI stream for selected window. Switch desktop "
                    "to high color?",
                    "AVI Error."},
        OpenFailure{"negative height", 8, -1, AviCodec::Raw, RecordingErrorKind::Stream,
                    "Could not create uncompressed AVI stream for selected window. Switch desktop "
                    "to high color?",
                    "AVI Error."},
        OpenFailure{"wider than a frame rectangle", 40000, 8, AviCodec::Mjpeg,
                    RecordingErrorKind::Stream,
                    "Could not create uncompressed AVI stream for selected window. Switch desktop "
                    "to high color?",
                    "AVI Error."},
        OpenFailure{
            "raw frame beyond a part", 20000, 20000, AviCodec::Raw, RecordingErrorKind::Format,
            "Could not set compressed format on AVI stream. Select another codec.", "Error AVI."}));

TEST(AviOpen, TheNameOfAFolderCannotBeOpened) {
    TempFolder dir;
    AviWriter avi;
    std::filesystem::create_directory(dir.file("sub.avi"));
    EXPECT_FALSE(avi.open(dir.file("sub.avi"), 4, 4, 4, "IV50"));
    const RecordingErrors messages = avi.take_errors();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, RecordingErrorKind::CannotCreate);
    EXPECT_EQ(messages[0].text, "Error opening AVI file for write. Check path and permissions.");
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("sub.avi")));
}

TEST(AviOpen, AnEmptyNameCannotBeOpened) {
    AviWriter avi;
    EXPECT_FALSE(avi.open("", 4, 4, 4, "IV50"));
    const RecordingErrors messages = avi.take_errors();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "AVI Error");
}

TEST(AviOpen, MjpegNeedsNoRawFrameRoom) {
    TempFolder dir;
    AviWriter avi;
    avi.codec = AviCodec::Mjpeg;
    EXPECT_TRUE(avi.open(dir.file("wide.avi"), 20000, 20000, 4, "IV50"));
    avi.close();
    EXPECT_TRUE(avi.take_errors().empty());
}

// The codec is chosen between the offer and the open: a choice cancelled
// after the offer leaves nothing.
TEST(AviOpen, CancellingTheCodecChoiceRecordsNothingWithoutAMessage) {
    TempFolder dir;
    VideoRecorder recorder;
    EXPECT_TRUE(recorder.offer(dir.file("c.avi"), 4));
    EXPECT_TRUE(recorder.take_errors().empty());
    EXPECT_FALSE(recorder.is_open());
    EXPECT_TRUE(dir.names().empty()) << "neither the file nor its temporary twin";
}

TEST(AviOverwrite, AnExistingFileThatIsNotAnAviIsLeftAlone) {
    TempFolder dir;
    RecordingErrors messages;
    const std::string path = dir.file("scene.gmk");
    write_text(path, "SCENE\nEND_SCENE\n");
    EXPECT_FALSE(record(messages, path, 2));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, RecordingErrorKind::TargetTaken);
    EXPECT_EQ(messages[0].caption, "AVI Error");
    EXPECT_NE(messages[0].text.find(path), std::string::npos);
    EXPECT_NE(messages[0].text.find("not an AVI file"), std::string::npos);
    EXPECT_EQ(read_text(path), "SCENE\nEND_SCENE\n");
    EXPECT_EQ(dir.names().size(), 1u);
}

TEST(AviOverwrite, ARiffFileOfAnotherKindIsNotAnAvi) {
    TempFolder dir;
    RecordingErrors messages;
    const std::string path = dir.file("sound.avi");
    const std::string wave("RIFF\x04\x00\x00\x00WAVE", 12);
    write_text(path, wave);
    EXPECT_FALSE(record(messages, path, 1));
    EXPECT_EQ(read_text(path), wave);
    write_text(path, "");
    EXPECT_FALSE(record(messages, path, 1)) << "an empty file is not an AVI file either";
}

TEST(AviOverwrite, APreviousRecordingIsReplacedOnlyWhenTheNewOneIsComplete) {
    TempFolder dir;
    RecordingErrors messages;
    const std::string path = dir.file("anim.avi");
    ASSERT_TRUE(record(messages, path, 2));
    ASSERT_EQ(frames_in(path), 2u);

    AviWriter avi;
    avi.codec = AviCodec::Raw;
    ASSERT_TRUE(avi.open(path, 4, 4, 4, "IV50"));
    Surface s(4, 4);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(avi.write_frame(s));
    EXPECT_EQ(frames_in(path), 2u) << "the old recording stays until close";
    // Nameless where the file system allows it, else under a hidden name.
    EXPECT_LE(dir.names().size(), 2u) << "the new one grows under no other name but one";
    avi.close();
    EXPECT_EQ(frames_in(path), 5u);
    ASSERT_EQ(dir.names().size(), 1u);
    EXPECT_EQ(dir.names()[0], "anim.avi");
    EXPECT_TRUE(avi.take_errors().empty());
}

TEST(AviOverwrite, ANameTakenDuringTheRecordingIsNotReplaced) {
    TempFolder dir;
    const std::string path = dir.file("late.avi");
    AviWriter avi;
    avi.codec = AviCodec::Raw;
    ASSERT_TRUE(avi.open(path, 4, 4, 4, "IV50"));
    Surface s(4, 4);
    ASSERT_TRUE(avi.write_frame(s));
    write_text(path, "notes");
    avi.close();
    EXPECT_EQ(read_text(path), "notes");
    const RecordingErrors messages = avi.take_errors();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "AVI Error");
    // The recording is kept under the name the message gives.
    const std::string& text = messages[0].text;
    const size_t at = text.find("kept as ");
    ASSERT_NE(at, std::string::npos) << text;
    std::string kept = text.substr(at + 8);
    kept.pop_back();  // the full stop
    EXPECT_EQ(frames_in(kept), 1u);
}

TEST(AviOverwrite, OpeningAgainClosesAndSavesTheFirstRecording) {
    TempFolder dir;
    AviWriter avi;
    avi.codec = AviCodec::Raw;
    ASSERT_TRUE(avi.open(dir.file("a.avi"), 4, 4, 4, "IV50"));
    Surface s(4, 4);
    ASSERT_TRUE(avi.write_frame(s));
    ASSERT_TRUE(avi.open(dir.file("b.avi"), 4, 4, 4, "IV50"));
    EXPECT_EQ(avi.frames_written, 0);
    avi.close();
    EXPECT_EQ(frames_in(dir.file("a.avi")), 1u);
    EXPECT_EQ(frames_in(dir.file("b.avi")), 0u);
    EXPECT_EQ(dir.names().size(), 2u);
}

}  // namespace
