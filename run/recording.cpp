#include "glimmark/recording.h"

#include "record/target_file.h"
#include "record/video_formats.h"

namespace glimmark {

static_assert(static_cast<int>(VideoContainer::Gif) == static_cast<int>(::VideoContainer::Gif));
static_assert(static_cast<int>(RecordTarget::Folder) == static_cast<int>(TargetKind::Folder));

VideoContainer container_of(const std::string& path) {
    return static_cast<VideoContainer>(::container_of(path));
}

std::vector<std::string> recordable_extensions() { return ::recordable_extensions(); }

std::string refuse_video_choice(const std::string& path, const VideoChoice& choice) {
    return ::refuse_video_choice(path, {choice.codec, choice.quality, choice.crf, choice.preset});
}

std::vector<std::string> presets_of(const std::string& codec) { return ::presets_of(codec); }

RecordTarget record_target(const std::string& path) {
    return static_cast<RecordTarget>(classify_target(path));
}

bool is_video_file(const std::string& path) { return ::is_video_file(path); }

}  // namespace glimmark
