#include "glimmark/video_kinds.h"

#include "record/video_formats.h"

namespace glimmark {

static_assert(static_cast<int>(VideoKind::Gif) == static_cast<int>(VideoFormat::Gif));

bool can_record(VideoKind kind) {
    return ::container_of(static_cast<VideoFormat>(kind)) == ::VideoContainer::Avi ||
           have_video_libraries();
}

}  // namespace glimmark
