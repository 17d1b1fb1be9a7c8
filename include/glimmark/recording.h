#pragma once

// The video files a run can record: the kinds of file by their extension,
// the codecs, qualities and presets each takes, and what stands at a name a
// recording is to be saved under.

#include <string>
#include <vector>

namespace glimmark {

// What the front end asks a recording to be made with; empty codec, -1 and
// an empty preset mean the container's default.
struct VideoChoice {
    std::string codec;
    int quality = -1;    // 1 (smallest file) to 100 (best picture)
    int crf = -1;        // the encoder's own constant-quality scale
    std::string preset;  // the encoder's speed setting
};

// The containers, chosen by the extension of the file name.
enum class VideoContainer { Unknown, Avi, Mp4, Mkv, Webm, Gif };

// By the extension, case-insensitive; Unknown for any other name.
VideoContainer container_of(const std::string& path);
// The extensions this build records, ".avi" first.
std::vector<std::string> recordable_extensions();
// Why a recording to `path` with `choice` cannot be made (an extension this
// build cannot write, a codec the container cannot hold, a crf out of the
// codec's range, a preset the codec does not know); empty when it can.
std::string refuse_video_choice(const std::string& path, const VideoChoice& choice);
// The names a codec's preset takes, fastest first; none for codecs without.
std::vector<std::string> presets_of(const std::string& codec);

// What stands at a recording's name: only an AVI file (or nothing) is
// replaced by an AVI recording unless asked to replace any file.
enum class RecordTarget { Missing, Avi, NotAvi, Folder };

RecordTarget record_target(const std::string& path);
// Whether the file is a video in one of the containers recorded here, by its
// first bytes: the files a recording of another kind may replace.
bool is_video_file(const std::string& path);

}  // namespace glimmark
