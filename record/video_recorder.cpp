#include "record/video_recorder.h"

#include <algorithm>

#include "record/ffmpeg_writer.h"
#include "record/video_messages.h"

VideoRecorder::VideoRecorder() = default;

VideoRecorder::~VideoRecorder() { close(); }

void VideoRecorder::start_over(const std::string& file_name) {
    close();
    active_ = nullptr;
    other_.reset();
    refused_ = false;
    file_ = file_name;
}

VideoChoice VideoRecorder::asked_for(const std::string& file_name) const {
    // An AVI recording's codec may have been set on its writer.
    VideoChoice asked = choice;
    const VideoContainer named = container_of(file_name);
    if (asked.codec.empty() && (named == VideoContainer::Avi || named == VideoContainer::Unknown))
        asked.codec = avi.codec == AviCodec::Raw ? "raw" : "mjpeg";
    return asked;
}

int VideoRecorder::preset_quality(VideoFormat format) const {
    if (container_of(format) == VideoContainer::Avi) return avi.quality;
    return choice.quality > 0 ? choice.quality : kDefaultVideoQuality;
}

std::optional<CompressionChoice> VideoRecorder::offer(const std::string& file_name, int rate) {
    start_over(file_name);
    const VideoChoice asked = asked_for(file_name);
    if (refuse(file_name, refuse_video_choice(file_name, asked))) return std::nullopt;
    const VideoFormat format = format_for(file_name, asked);
    if (refuse(file_name, refuse_video_rate(codec_of(format), rate))) return std::nullopt;
    return CompressionChoice{format, preset_quality(format)};
}

bool VideoRecorder::open(const std::string& file_name, int width, int height, int rate) {
    const std::optional<CompressionChoice> offered = offer(file_name, rate);
    return offered && open_as(file_name, width, height, rate, *offered);
}

bool VideoRecorder::open_as(const std::string& file_name, int width, int height, int rate,
                            CompressionChoice chosen) {
    start_over(file_name);
    const VideoFormat offered = format_for(file_name, asked_for(file_name));
    const bool to_avi = container_of(offered) == VideoContainer::Avi;
    const int preset = preset_quality(offered);
    const VideoFormat format = chosen.format;
    const int quality = std::clamp(chosen.quality, 1, 100);
    file_ = with_extension_of(file_name, format);

    if (container_of(format) == VideoContainer::Avi) {
        avi.codec = format == VideoFormat::AviRaw ? AviCodec::Raw : AviCodec::Mjpeg;
        avi.quality = quality;
        const bool ok = avi.open(file_, width, height, rate);
        keep_errors_of(avi);
        if (ok) active_ = &avi;
        return ok;
    }
    // A format chosen in the dialog brings its own codec for this recording
    // only: the next one starts again from the file name and `choice`. One
    // from the file name keeps the codec asked for.
    VideoChoice used = choice;
    if (format != offered) used.codec = codec_of(format);
    // The quality was shown on the AVI scale, or changed: it is the choice.
    if (to_avi || quality != preset) {
        choice.quality = used.quality = quality;
        choice.crf = used.crf = -1;
    }
    // refuse_video_choice has said why already, unless another format was
    // chosen: a build or an installation without FFmpeg's libraries.
    if (refuse(file_, refuse_video_choice(file_, used))) return false;
    // The dialog may have chosen GIF.
    if (refuse(file_, refuse_video_rate(codec_of(format), rate))) return false;
    auto writer = std::make_unique<FfmpegWriter>();
    writer->choice = used;
    const bool ok = writer->open(file_, width, height, rate);
    keep_errors_of(*writer);
    if (!ok) return false;
    other_ = std::move(writer);
    active_ = other_.get();
    return true;
}

bool VideoRecorder::refuse(const std::string& file, const std::string& why) {
    if (why.empty()) return false;
    report(RecordingErrorKind::Refused, video_messages::kCaption,
           "Cannot record " + file + ": " + why + ".");
    refused_ = true;
    return true;
}

void VideoRecorder::keep_errors_of(VideoWriter& writer) {
    for (RecordingError& error : writer.take_errors()) {
        // A writer's own refusal, too, comes before anything was created.
        if (error.kind == RecordingErrorKind::Refused) refused_ = true;
        errors_.push_back(std::move(error));
    }
}

bool VideoRecorder::write_frame(const Surface& source) {
    if (active_ == nullptr) return false;
    const bool ok = active_->write_frame(source);
    keep_errors_of(*active_);
    return ok;
}

void VideoRecorder::close() {
    if (active_ == nullptr) return;
    active_->close();
    keep_errors_of(*active_);
}

void VideoRecorder::forget_last() {
    close();
    active_ = nullptr;
    other_.reset();
    file_.clear();
    refused_ = false;
    avi.frames_written = 0;
}

bool VideoRecorder::is_open() const { return active_ != nullptr && active_->is_open(); }

int VideoRecorder::frame_count() const { return active_ != nullptr ? active_->frame_count() : 0; }
