#pragma once

#include <string>
#include <vector>

#include "scene/video_format.h"

// The containers a recording can be written in, chosen by the extension of
// the file name, and the codecs each of them can hold.
enum class VideoContainer { Unknown, Avi, Mp4, Mkv, Webm, Gif };

// Where the quality of the formats other than AVI is shown on the 1 to 100
// scale before any is chosen; unchanged, each codec keeps its default_crf.
inline constexpr int kDefaultVideoQuality = 65;

// What --codec and --quality (or --crf) ask for; empty codec and -1 mean the
// container's default.
struct VideoChoice {
    std::string codec;
    int quality = -1;    // 1 (smallest file) to 100 (best picture)
    int crf = -1;        // the encoder's own constant-quality scale
    std::string preset;  // the encoder's speed setting; empty: default_preset
};

// By the extension, case-insensitive; Unknown for any other name.
VideoContainer container_of(const std::string& path);
// ".mp4" and so on.
const char* extension_of(VideoContainer container);
// The codec names --codec accepts for the container, the default first.
std::vector<std::string> codecs_of(VideoContainer container);
// "h264, mpeg4": for messages.
std::string codec_list(VideoContainer container);
// The extensions `record` can write with this build, ".avi" first.
std::vector<std::string> recordable_extensions();

// Whether this build has FFmpeg's libraries, and which one a container needs
// when it has not ("libavformat").
bool have_video_libraries();
// "libavformat 59.27.100, libavcodec ..." for --version; empty without them.
std::string video_library_versions();

// Why a recording to `path` with `choice` cannot be made, before anything is
// traced: an extension this build cannot write (naming the missing library),
// a codec the container cannot hold (with the list of those it can), a crf
// out of the codec's range, a preset the codec does not know. Empty when it
// can be made.
std::string refuse_video_choice(const std::string& path, const VideoChoice& choice);

// Why frames at `rate` a second cannot be recorded with `codec` (GIF: more
// than 100, as its delays are whole hundredths of a second); empty when they
// can.
std::string refuse_video_rate(const std::string& codec, int rate);

// The format the studio's dialog preselects for a file name, and the
// container and codec a format stands for.
VideoFormat format_for(const std::string& path, const VideoChoice& choice);
VideoContainer container_of(VideoFormat format);
std::string codec_of(VideoFormat format);
// The name with its extension replaced by the format's own ("out.avi" for
// out.mp4 recorded as AVI).
std::string with_extension_of(const std::string& path, VideoFormat format);

// The largest crf of a codec (51 for h264, 63 for vp9, 31 for mpeg4's
// quantiser), 0 when it has none; and the quality scale mapped onto it.
int largest_crf(const std::string& codec);
int crf_for_quality(const std::string& codec, int quality);
// The crf when neither is asked for: what keeps the traced frames at 45 dB
// PSNR or more in their own pixel format (h264 16, vp9 12; mpeg4's
// quantiser 3).
int default_crf(const std::string& codec);

// The names --preset takes for a codec, fastest first (x264's own for
// h264; realtime, fast, good and best for vp9, which are libvpx's realtime
// at cpu-used 8 and good at 4, 2 and 0); none for the other codecs.
std::vector<std::string> presets_of(const std::string& codec);
// The preset when none is asked for: the fastest whose files stay within
// 15 % of the size of the slower settings at the same quality (h264 fast,
// vp9 good); empty for a codec without presets.
std::string default_preset(const std::string& codec);
