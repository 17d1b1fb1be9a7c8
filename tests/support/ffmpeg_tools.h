#pragma once

// FFmpeg's command-line tools as the independent reader of recordings:
// ffprobe for what a file holds, ffmpeg for the pictures it decodes to.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

inline bool have_ffmpeg_tools() {
    return std::system("ffprobe -version >/dev/null 2>&1") == 0 &&
           std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

// Where CI runs (CI set) a missing ffmpeg is a broken setup, not a reason to
// check less: the test fails. Elsewhere it is skipped.
#define REQUIRE_FFMPEG_TOOLS()                                                           \
    do {                                                                                 \
        if (!have_ffmpeg_tools()) {                                                      \
            if (std::getenv("CI") != nullptr) FAIL() << "ffprobe and ffmpeg are needed"; \
            GTEST_SKIP() << "ffprobe or ffmpeg is not installed";                        \
        }                                                                                \
    } while (0)

inline std::string tool_output(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

inline std::string quoted_for_shell(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// codec_name=..., width=..., height=..., r_frame_rate=..., nb_read_frames=...
// of the first video stream, one per line.
inline std::string probe_video(const std::string& path) {
    return tool_output(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=codec_name,width,height,r_frame_rate,nb_read_frames,pix_fmt,"
        "color_range,color_space -of default=noprint_wrappers=1 " +
        quoted_for_shell(path) + " 2>&1");
}

// The average PSNR of the video's frames against pictures named by a
// printf-style pattern (f_%04d.png), both passed through their filters
// first; -1 when ffmpeg gives no figure.
inline double psnr_against(const std::string& video, const std::string& pictures, int rate,
                           const std::string& video_filter, const std::string& picture_filter) {
    const std::string out =
        tool_output("ffmpeg -nostdin -v info -i " + quoted_for_shell(video) + " -framerate " +
                    std::to_string(rate) + " -i " + quoted_for_shell(pictures) + " -lavfi '[0:v]" +
                    video_filter + "[a];[1:v]" + picture_filter + "[b];[a][b]psnr' -f null - 2>&1");
    const size_t at = out.rfind("average:");
    if (at == std::string::npos) return -1;
    // "inf" for identical pictures.
    const std::string figure = out.substr(at + 8, 3);
    return figure == "inf" ? 1000 : std::atof(out.c_str() + at + 8);
}

// The pictures as the yuv420p encoders see them: BT.709, limited range.
inline const char* kToVideoYuv =
    "scale=out_color_matrix=bt709:out_range=tv:flags=bicubic,format=yuv420p";
