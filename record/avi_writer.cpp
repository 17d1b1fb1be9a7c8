#include "record/avi_writer.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "record/avi_messages.h"
#include "record/avi_recording.h"
#include "record/dib_format.h"
#include "record/mjpeg_encoder.h"
#include "record/target_file.h"

namespace {

// rcFrame holds 16-bit coordinates.
constexpr int kLargestSide = 32767;
// A raw frame must fit one RIFF part with room to spare, and its size must
// fit the 31 bits a standard index entry has for it.
constexpr uint32_t kLargestRawFrame = (1u << 30) - (1u << 20);

}  // namespace

struct AviWriter::Impl {
    std::string path;
    AviCodec codec = AviCodec::Mjpeg;
    int quality = 90;
    DibFormat format;
    AviRecording recording;
    std::unique_ptr<MjpegEncoder> jpeg;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> encoded;
};

AviWriter::AviWriter() = default;

AviWriter::~AviWriter() { close(); }

bool AviWriter::is_open() const { return impl_ != nullptr; }

bool AviWriter::open(const std::string& file_name, int width_, int height_, int rate_,
                     const char* fourcc) {
    // fourcc presets the platform's compressor dialog; here the preset is the
    // codec and quality already chosen on this writer.
    (void)fourcc;
    close();
    width = width_;
    height = height_;
    rate = rate_;
    frames_written = 0;

    switch (classify_target(file_name)) {
        case TargetKind::NotAvi:
            if (replace_any_file) break;
            report(RecordingErrorKind::TargetTaken, avi_messages::kFileCaption,
                   file_name +
                       " exists and is not an AVI file; it is left as it is and nothing is "
                       "recorded.");
            return false;
        case TargetKind::Folder:
            report(RecordingErrorKind::CannotCreate, avi_messages::kOpenFailedCaption,
                   avi_messages::kOpenFailed);
            return false;
        case TargetKind::Missing:
        case TargetKind::Avi:
            break;
    }
    auto impl = std::make_unique<Impl>();
    impl->path = file_name;
    if (file_name.empty() || !impl->recording.create(file_name)) {
        report(RecordingErrorKind::CannotCreate, avi_messages::kOpenFailedCaption,
               avi_messages::kOpenFailed);
        return false;
    }

    if (width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide) {
        impl->recording.discard();
        report(RecordingErrorKind::Stream, avi_messages::kStreamFailedCaption,
               avi_messages::kStreamFailed);
        return false;
    }

    const bool mjpeg = codec == AviCodec::Mjpeg;
    quality = std::clamp(quality, 1, 100);
    impl->codec = codec;
    impl->quality = quality;

    if (mjpeg) {
        impl->jpeg = std::make_unique<MjpegEncoder>();
        if (!impl->jpeg->ready()) {
            impl->recording.discard();
            report(RecordingErrorKind::Compressor, avi_messages::kCompressorFailedCaption,
                   avi_messages::kCompressorFailed);
            return false;
        }
    }

    impl->format = dib_format(width, height, 1, 24);
    if (!mjpeg && impl->format.size_image > kLargestRawFrame) {
        impl->recording.discard();
        report(RecordingErrorKind::Format, avi_messages::kFormatFailedCaption,
               avi_messages::kFormatFailed);
        return false;
    }
    impl->format.compression = mjpeg ? fourcc_value("MJPG") : 0;

    AviStreamSettings settings;
    settings.width = width;
    settings.height = height;
    // A rate below one frame a second cannot be played; one frame a second
    // is the nearest the header can say.
    settings.rate = std::max(1, rate);
    settings.handler = fourcc_value(mjpeg ? "MJPG" : "DIB ");
    settings.format = impl->format;
    settings.suggested_buffer = impl->format.size_image;
    if (!impl->recording.begin(settings, riff_size_limit)) {
        report(write_error_kind(impl->recording.error()), avi_messages::kFileCaption,
               "Could not write " + file_name + ": " + impl->recording.error_text() +
                   ". Nothing is recorded.");
        impl->recording.discard();
        return false;
    }
    impl_ = impl.release();
    return true;
}

bool AviWriter::write_frame(const Surface& source) {
    if (impl_ == nullptr) return false;
    Impl& m = *impl_;
    bool out_of_memory = false;
    try {
        const uint8_t* data = nullptr;
        size_t size = 0;
        if (m.codec == AviCodec::Mjpeg) {
            surface_to_rgb(source, width, height, m.pixels);
            // A picture the encoder refuses is a frame that cannot be written.
            if (!m.jpeg->encode(m.pixels.data(), width, height, m.quality, m.encoded)) return false;
            if (m.encoded.size() > 0x7FFFFFF0u) return false;
            data = m.encoded.data();
            size = m.encoded.size();
        } else {
            surface_to_dib24(source, width, height, m.pixels);
            data = m.pixels.data();
            size = m.pixels.size();
        }
        if (m.recording.add_frame(data, size)) {
            frames_written += 1;
            return true;
        }
    } catch (const std::bad_alloc&) {
        // A frame that finds no memory ends the recording like a full disk;
        // the frame buffers go first, so that the file can still be closed.
        out_of_memory = true;
        std::vector<uint8_t>().swap(m.pixels);
        std::vector<uint8_t>().swap(m.encoded);
    }

    // The file refused the frame (a full disk, a file too large): keep what
    // is written, with its indexes, and let the run go on without recording.
    const int frame = frames_written;
    RecordingErrorKind kind = RecordingErrorKind::WriteFailed;
    std::string text;
    if (out_of_memory) {
        text =
            "Could not write frame " + std::to_string(frame) + " to " + m.path + ": out of memory.";
    } else if (m.recording.index_full()) {
        kind = RecordingErrorKind::IndexFull;
        text = m.path + " has reached the largest size its index can describe; frame " +
               std::to_string(frame) + " and later frames are not recorded.";
    } else {
        kind = write_error_kind(m.recording.error());
        text = "Could not write frame " + std::to_string(frame) + " to " + m.path + ": " +
               m.recording.error_text() + ".";
    }
    const std::optional<RecordingError> trouble = finish();
    if (!trouble) {
        char tail[96];
        std::snprintf(tail, sizeof tail, " The file was closed with %d frame%s.", frames_written,
                      frames_written == 1 ? "" : "s");
        text += tail;
    } else {
        text += " " + trouble->text;
    }
    report(kind, avi_messages::kFileCaption, std::move(text));
    return false;
}

void AviWriter::close() {
    if (std::optional<RecordingError> trouble = finish()) errors_.push_back(std::move(*trouble));
}

std::optional<RecordingError> AviWriter::finish() {
    if (impl_ == nullptr) return std::nullopt;
    std::unique_ptr<Impl> m(impl_);
    impl_ = nullptr;

    AviRecording::Result done = m->recording.finish();
    frames_written = static_cast<int>(done.frames);
    const auto saving = [](std::string text) {
        return RecordingError{RecordingErrorKind::SaveFailed, avi_messages::kFileCaption,
                              std::move(text)};
    };
    if (!done.ok) {
        m->recording.discard();
        frames_written = 0;
        return saving("Could not finish " + m->path + ": " + done.error + ". Nothing was saved.");
    }
    std::string trouble;
    if (done.dropped > 0)
        trouble = m->path + " was closed with " + std::to_string(done.frames) + " frame" +
                  (done.frames == 1 ? "" : "s") + "; the last " + std::to_string(done.dropped) +
                  " written had to give way to its index (" + done.error + ").";

    // Something else may have taken the name while the frames were traced
    // (a file that is not an AVI is replaced when the writer was told so).
    const std::string kept_as = m->recording.temporary_path();
    const TargetKind now = classify_target(m->path);
    if ((now == TargetKind::NotAvi && !replace_any_file) || now == TargetKind::Folder) {
        m->recording.keep();
        if (!trouble.empty()) trouble += " ";
        return saving(trouble + m->path +
                      " is now taken by something that is not an AVI file; the recording is "
                      "kept as " +
                      kept_as + ".");
    }
    if (!m->recording.rename_over(m->path)) {
        m->recording.keep();
        if (!trouble.empty()) trouble += " ";
        return saving(trouble + "Could not save " + m->path + ": " + m->recording.error_text() +
                      ". The recording is kept as " + kept_as + ".");
    }
    if (trouble.empty()) return std::nullopt;
    return saving(trouble);
}
