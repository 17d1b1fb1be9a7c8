#include "record/video_recorder.h"

#include <algorithm>

#include "record/ffmpeg_writer.h"
#include "record/video_messages.h"
#include "scene/host.h"

VideoRecorder::VideoRecorder() = default;

VideoRecorder::~VideoRecorder() { close(); }

bool VideoRecorder::open(Host* owner, const std::string& file_name, int width, int height,
                         int rate) {
    close();
    active_ = nullptr;
    other_.reset();
    refused_ = false;
    file_ = file_name;
    // An AVI recording's codec may have been set on its writer.
    VideoChoice asked = choice;
    const VideoContainer named = container_of(file_name);
    if (asked.codec.empty() && (named == VideoContainer::Avi || named == VideoContainer::Unknown))
        asked.codec = avi.codec == AviCodec::Raw ? "raw" : "mjpeg";
    if (refuse(owner, file_name, refuse_video_choice(file_name, asked))) return false;

    VideoFormat format = format_for(file_name, asked);
    if (refuse(owner, file_name, refuse_video_rate(codec_of(format), rate))) return false;
    const bool to_avi = container_of(format) == VideoContainer::Avi;
    const int preset =
        to_avi ? avi.quality : (choice.quality > 0 ? choice.quality : kDefaultVideoQuality);
    int quality = preset;
    if (owner != nullptr && !owner->choose_compression(format, quality)) return false;
    quality = std::clamp(quality, 1, 100);
    file_ = with_extension_of(file_name, format);

    if (container_of(format) == VideoContainer::Avi) {
        avi.codec = format == VideoFormat::AviRaw ? AviCodec::Raw : AviCodec::Mjpeg;
        avi.quality = quality;
        avi.ask_codec = false;
        const bool ok = avi.open(owner, file_, width, height, rate);
        avi.ask_codec = true;
        if (ok) active_ = &avi;
        return ok;
    }
    // A format chosen in the dialog brings its own codec for this recording
    // only: the next one starts again from the file name and `choice`. One
    // from the file name keeps the codec asked for.
    VideoChoice used = choice;
    if (format != format_for(file_name, asked)) used.codec = codec_of(format);
    // The quality was shown on the AVI scale, or changed: it is the choice.
    if (to_avi || quality != preset) {
        choice.quality = used.quality = quality;
        choice.crf = used.crf = -1;
    }
    // refuse_video_choice has said why already, unless the owner chose the
    // format: a build or an installation without FFmpeg's libraries.
    if (refuse(owner, file_, refuse_video_choice(file_, used))) return false;
    // The dialog may have chosen GIF.
    if (refuse(owner, file_, refuse_video_rate(codec_of(format), rate))) return false;
    auto writer = std::make_unique<FfmpegWriter>();
    writer->choice = used;
    if (!writer->open(owner, file_, width, height, rate)) return false;
    other_ = std::move(writer);
    active_ = other_.get();
    return true;
}

bool VideoRecorder::refuse(Host* owner, const std::string& file, const std::string& why) {
    if (why.empty()) return false;
    refused_ = true;
    if (owner != nullptr)
        owner->message_box("Cannot record " + file + ": " + why + ".", video_messages::kCaption);
    return true;
}

bool VideoRecorder::write_frame(const Surface& source) {
    return active_ != nullptr && active_->write_frame(source);
}

void VideoRecorder::close() {
    if (active_ != nullptr) active_->close();
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
