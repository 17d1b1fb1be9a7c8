// The recorder's choice of writer and the FFmpeg-library writer's files, as
// ffprobe reads them.
#include <gtest/gtest.h>

#include <fstream>

#include "record/video_recorder.h"
#include "record_test_support.h"

namespace {

struct FormatCase {
    const char* name;      // file name
    int answer;            // format the dialog answers, -1: the one preselected
    VideoFormat preset;    // what the dialog is offered
    const char* saved_as;  // the file written
    const char* codec;     // as ffprobe names it
};

class VideoRecorderFormats : public ::testing::TestWithParam<FormatCase> {};

// 9 x 7 pictures: yuv420p formats pad them to 10 x 8 by the last column and
// row; GIF keeps them as they are.
TEST_P(VideoRecorderFormats, WritesTheFormatChosenWithEveryFrame) {
    const FormatCase& c = GetParam();
    if (!have_video_libraries()) GTEST_SKIP() << "built without FFmpeg's libraries";
    TempFolder dir;
    RecordingHost host;
    host.answer_format = c.answer;
    VideoRecorder recorder;
    ASSERT_TRUE(recorder.open(&host, dir.file(c.name), 9, 7, 5));
    EXPECT_EQ(host.preset_format, c.preset);
    EXPECT_EQ(recorder.file(), dir.file(c.saved_as));
    Surface s(9, 7);
    for (int i = 0; i < 6; ++i) {
        paint(s, i);
        ASSERT_TRUE(recorder.write_frame(s)) << i;
    }
    recorder.close();
    EXPECT_EQ(recorder.frame_count(), 6);
    EXPECT_TRUE(host.messages.empty()) << host.messages[0].text;
    REQUIRE_FFMPEG_TOOLS();
    const std::string info = probe_video(dir.file(c.saved_as));
    const bool yuv = std::string(c.codec) == "h264" || std::string(c.codec) == "vp9";
    EXPECT_NE(info.find("codec_name=" + std::string(c.codec) + "\n"), std::string::npos) << info;
    EXPECT_NE(info.find(yuv ? "width=10\nheight=8" : "width=9\nheight=7"), std::string::npos)
        << info;
    EXPECT_NE(info.find("r_frame_rate=5/1"), std::string::npos) << info;
    EXPECT_NE(info.find("nb_read_frames=6"), std::string::npos) << info;
    if (yuv) {
        EXPECT_NE(info.find("pix_fmt=yuv420p\ncolor_range=tv\ncolor_space=bt709"),
                  std::string::npos)
            << info;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VideoRecorderFormats,
    ::testing::Values(FormatCase{"a.mp4", -1, VideoFormat::Mp4H264, "a.mp4", "h264"},
                      FormatCase{"a.MKV", -1, VideoFormat::MkvH264, "a.MKV", "h264"},
                      FormatCase{"a.webm", -1, VideoFormat::WebmVp9, "a.webm", "vp9"},
                      FormatCase{"a.gif", -1, VideoFormat::Gif, "a.gif", "gif"},
                      // The dialog's choice wins over the name's extension.
                      FormatCase{"a.avi", static_cast<int>(VideoFormat::WebmVp9),
                                 VideoFormat::AviMjpeg, "a.webm", "vp9"},
                      FormatCase{"a.gif", static_cast<int>(VideoFormat::AviRaw), VideoFormat::Gif,
                                 "a.avi", "rawvideo"}));

struct Refusal {
    const char* name;
    const char* codec;
    int crf;
    const char* says;
};

class VideoRecorderRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(VideoRecorderRefusal, SaysWhyBeforeAskingOrWriting) {
    const Refusal& c = GetParam();
    TempFolder dir;
    RecordingHost host;
    VideoRecorder recorder;
    recorder.choice.codec = c.codec;
    recorder.choice.crf = c.crf;
    EXPECT_FALSE(recorder.open(&host, dir.file(c.name), 8, 8, 4));
    EXPECT_TRUE(recorder.refused());
    EXPECT_EQ(host.choices, 0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].caption, "Video Error");
    EXPECT_NE(host.messages[0].text.find(c.says), std::string::npos) << host.messages[0].text;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VideoRecorderRefusal,
    ::testing::Values(Refusal{"a.webm", "h264", -1, "cannot hold --codec h264; it holds vp9"},
                      Refusal{"a.avi", "vp9", -1, "it holds mjpeg, raw"},
                      Refusal{"a.mp4", "gif", -1, "it holds h264, mpeg4"},
                      Refusal{"a.mp4", "", 52, "from 0 to 51, not 52"},
                      Refusal{"a.bin", "h264", -1, "needs a file name ending in one of .avi"}));

TEST(VideoRecorder, AnExistingFileThatIsNoVideoIsKept) {
    if (!have_video_libraries()) GTEST_SKIP() << "built without FFmpeg's libraries";
    TempFolder dir;
    for (const char* name : {"notes.mp4", "notes.webm"}) {
        std::ofstream(dir.file(name)) << "my notes, not a video\n";
        RecordingHost host;
        VideoRecorder recorder;
        EXPECT_FALSE(recorder.open(&host, dir.file(name), 8, 8, 4));
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_NE(host.messages[0].text.find("exists and is not a video file"), std::string::npos);
        std::ifstream in(dir.file(name));
        std::string text;
        std::getline(in, text);
        EXPECT_EQ(text, "my notes, not a video");
    }
}

TEST(VideoRecorder, ReplacesAVideoOfAnotherKindAndLeavesNoTemporary) {
    if (!have_video_libraries()) GTEST_SKIP() << "built without FFmpeg's libraries";
    TempFolder dir;
    const std::string path = dir.file("out.mkv");
    RecordingHost host;
    Surface s(8, 8);
    {
        VideoRecorder gif;
        ASSERT_TRUE(gif.open(&host, dir.file("x.gif"), 8, 8, 4));
        gif.write_frame(s);
        gif.close();
        std::filesystem::rename(dir.file("x.gif"), path);
    }
    VideoRecorder recorder;
    ASSERT_TRUE(recorder.open(&host, path, 8, 8, 4));
    ASSERT_TRUE(recorder.write_frame(s));
    recorder.close();
    EXPECT_TRUE(host.messages.empty()) << host.messages[0].text;
    std::ifstream in(path, std::ios::binary);
    char head[4] = {};
    in.read(head, 4);
    EXPECT_EQ(std::string(head, 4), "\x1A\x45\xDF\xA3");
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        entries += e.path().filename().string()[0] == '.' ? 100 : 1;
    EXPECT_EQ(entries, 1u);
}

}  // namespace
