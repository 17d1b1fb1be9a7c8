#include "record/ffmpeg_writer.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "record/dib_format.h"
#include "record/output_file.h"
#include "record/target_file.h"
#include "record/video_messages.h"
#include "record/video_module.h"

namespace {

const char* muxer_of(VideoContainer c) {
    switch (c) {
        case VideoContainer::Mp4:
            return "mp4";
        case VideoContainer::Mkv:
            return "matroska";
        case VideoContainer::Webm:
            return "webm";
        case VideoContainer::Gif:
            return "gif";
        default:
            return nullptr;
    }
}

}  // namespace

struct FfmpegWriter::Impl {
    std::string path;
    OutputFile file;
    uint64_t position = 0;
    uint64_t size = 0;

    // What the encoder is opened with.
    std::string muxer, codec, preset;
    int crf = 0, rate = 1;
    int width = 0, height = 0;  // traced
    int coded_width = 0, coded_height = 0;

    // Set once by the encoding thread, which loads the module and opens the
    // encoder while the first frame is traced; read after `opened`.
    const GmkVideoEncoderApi* api = nullptr;
    GmkVideoEncoder* encoder = nullptr;
    std::string open_trouble;
    bool opened = false;

    // The frame being filled by the caller, the one waiting for the
    // encoding thread, and the one it encodes.
    std::vector<uint8_t> traced, rgb;
    std::vector<uint8_t> waiting, working;
    std::thread worker;
    std::mutex lock;
    std::condition_variable changed;
    bool frame_waiting = false;
    bool busy = false;
    bool stopping = false;
    // The first failure: its code, and the frame it struck (frames before
    // it are encoded).
    int failure = 0;
    bool out_of_memory = false;
    int frames_encoded = 0;
    int frames_handed = 0;

    ~Impl() {
        stop_worker();
        if (encoder != nullptr) api->release(encoder);
    }

    // The reason of a failed call: the file's own errno where the file
    // refused the bytes (a full disk), the library's text otherwise.
    std::string reason(int code) const {
        if (file.error() != 0) return file.error_text();
        char text[128] = {};
        api->error_text(code, text, sizeof text);
        return text;
    }

    static int write_bytes(void* opaque, const uint8_t* data, int n) {
        auto* m = static_cast<Impl*>(opaque);
        if (!m->file.write_at(m->position, data, static_cast<size_t>(n))) return -m->file.error();
        m->position += static_cast<uint64_t>(n);
        m->size = std::max(m->size, m->position);
        return n;
    }

    static int read_at(void* opaque, int64_t offset, uint8_t* data, int n) {
        auto* m = static_cast<Impl*>(opaque);
        if (offset < 0 || n < 0) return -EINVAL;
        const long got =
            m->file.read_at(static_cast<uint64_t>(offset), data, static_cast<size_t>(n));
        return got < 0 ? -m->file.error() : static_cast<int>(got);
    }

    static int64_t seek(void* opaque, int64_t offset, int whence) {
        constexpr int kSeekSize = 0x10000;   // AVSEEK_SIZE
        constexpr int kSeekForce = 0x20000;  // AVSEEK_FORCE
        auto* m = static_cast<Impl*>(opaque);
        if (whence & kSeekSize) return static_cast<int64_t>(m->size);
        switch (whence & ~kSeekForce) {
            case SEEK_SET:
                break;
            case SEEK_CUR:
                offset += static_cast<int64_t>(m->position);
                break;
            case SEEK_END:
                offset += static_cast<int64_t>(m->size);
                break;
            default:
                return -EINVAL;
        }
        if (offset < 0) return -EINVAL;
        m->position = static_cast<uint64_t>(offset);
        return offset;
    }

    // The traced picture, padded to the coded size, into `rgb`.
    void take_picture(const Surface& source) {
        surface_to_rgb(source, width, height, traced);
        rgb.resize(static_cast<size_t>(coded_width) * coded_height * 3);
        const size_t row = static_cast<size_t>(width) * 3;
        const size_t coded_row = static_cast<size_t>(coded_width) * 3;
        for (int y = 0; y < coded_height; ++y) {
            uint8_t* to = rgb.data() + static_cast<size_t>(y) * coded_row;
            const uint8_t* from =
                traced.data() + static_cast<size_t>(std::min(y, height - 1)) * row;
            std::memcpy(to, from, row);
            if (coded_width > width) std::memcpy(to + row, from + row - 3, 3);
        }
    }

    int encode(const std::vector<uint8_t>& pixels) {
        return api->add_frame(encoder, pixels.data(), coded_width * 3);
    }

    // Loads the module and opens the muxer and the encoder (writing the
    // header); what went wrong goes to open_trouble.
    void open_encoder() {
        std::string why;
        const GmkVideoEncoderApi* loaded = video_encoder_api(&why);
        GmkVideoEncoder* made = nullptr;
        if (loaded != nullptr) {
            const GmkEncoderSettings settings{muxer.c_str(), codec.c_str(), path.c_str(),
                                              coded_width,   coded_height,  rate,
                                              crf,           preset.c_str()};
            const GmkEncoderOutput output{this, &Impl::write_bytes, &Impl::seek, &Impl::read_at};
            char trouble[512] = {};
            char name[64] = {};
            made = loaded->open(&settings, &output, trouble, sizeof trouble, name, sizeof name);
            if (made == nullptr) why = file.error() != 0 ? file.error_text() : trouble;
        }
        std::lock_guard<std::mutex> hold(lock);
        api = loaded;
        encoder = made;
        open_trouble = why;
        opened = true;
        changed.notify_all();
    }

    bool open_failed() const { return opened && encoder == nullptr; }

    void encode_frames() {
        open_encoder();
        std::unique_lock<std::mutex> hold(lock);
        if (encoder == nullptr) return;
        for (;;) {
            changed.wait(hold, [this] { return frame_waiting || stopping; });
            if (!frame_waiting) return;
            working.swap(waiting);
            frame_waiting = false;
            busy = true;
            const bool failed = failure != 0;
            changed.notify_all();
            hold.unlock();
            const int rc = failed ? 0 : encode(working);
            hold.lock();
            busy = false;
            if (rc < 0 && failure == 0) failure = rc;
            if (rc >= 0 && failure == 0) frames_encoded += 1;
            changed.notify_all();
        }
    }

    void start_worker() {
        try {
            worker = std::thread([this] { encode_frames(); });
        } catch (const std::system_error&) {
            // Without a thread of its own, each frame is encoded as it comes.
            open_encoder();
        }
    }

    // Waits until every frame handed over is encoded (or one failed, or
    // the encoder could not be opened).
    void wait_for_frames() {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [this] {
            return !worker.joinable() || open_failed() || (opened && !frame_waiting && !busy);
        });
    }

    void stop_worker() {
        if (!worker.joinable()) return;
        {
            std::lock_guard<std::mutex> hold(lock);
            stopping = true;
        }
        changed.notify_all();
        worker.join();
    }

    // Hands the picture in `rgb` over; false when a frame failed already.
    bool hand_over() {
        if (!worker.joinable()) {
            if (encoder == nullptr) return false;
            const int rc = encode(rgb);
            if (rc < 0) failure = rc;
            if (rc >= 0) frames_encoded += 1;
            return rc >= 0;
        }
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [this] { return !frame_waiting || failure != 0 || open_failed(); });
        if (failure != 0 || open_failed()) return false;
        waiting.swap(rgb);
        frame_waiting = true;
        changed.notify_all();
        return true;
    }
};

FfmpegWriter::FfmpegWriter() = default;

FfmpegWriter::~FfmpegWriter() { close(); }

bool FfmpegWriter::open(const std::string& file_name, int width, int height, int rate) {
    close();
    frames_written_ = 0;
    const VideoContainer container = container_of(file_name);
    std::string refusal = refuse_video_choice(file_name, choice);
    if (refusal.empty() && muxer_of(container) == nullptr)
        refusal = "a " + std::string(extension_of(container)) + " file is not written here";
    if (refusal.empty() && (width <= 0 || height <= 0)) refusal = "the picture has no pixels";
    if (!refusal.empty()) {
        report(RecordingErrorKind::Refused, video_messages::kCaption,
               "Cannot record " + file_name + ": " + refusal + ".");
        return false;
    }
    switch (classify_target(file_name)) {
        case TargetKind::Folder:
            report(RecordingErrorKind::CannotCreate, video_messages::kCaption,
                   "Cannot record " + file_name + ": it is a folder.");
            return false;
        case TargetKind::NotAvi:
            if (is_video_file(file_name)) break;
            report(RecordingErrorKind::TargetTaken, video_messages::kCaption,
                   file_name +
                       " exists and is not a video file; it is left as it is and nothing "
                       "is recorded.");
            return false;
        case TargetKind::Missing:
        case TargetKind::Avi:
            break;
    }

    auto m = std::make_unique<Impl>();
    m->path = file_name;
    m->muxer = muxer_of(container);
    m->codec = choice.codec.empty() ? codecs_of(container).front() : choice.codec;
    m->preset = choice.preset.empty() ? default_preset(m->codec) : choice.preset;
    m->rate = std::max(1, rate);
    m->width = width;
    m->height = height;
    const bool yuv = m->codec != "gif";
    m->coded_width = yuv ? width + (width & 1) : width;
    m->coded_height = yuv ? height + (height & 1) : height;
    // Quality: --crf as it is, or --quality mapped onto the codec's scale.
    m->crf = choice.crf >= 0      ? choice.crf
             : choice.quality > 0 ? crf_for_quality(m->codec, choice.quality)
                                  : default_crf(m->codec);

    if (!m->file.create_temporary_for(file_name)) {
        report(RecordingErrorKind::CannotCreate, video_messages::kCaption,
               "Could not write " + file_name + ": " + m->file.error_text() +
                   ". Nothing is recorded.");
        return false;
    }
    if (yuv && (width != m->coded_width || height != m->coded_height))
        std::fprintf(stderr,
                     "glimmark: %s: yuv420p needs an even width and height, so the picture's "
                     "last %s repeated to make it %dx%d\n",
                     file_name.c_str(),
                     width != m->coded_width && height != m->coded_height
                         ? "column and row are"
                         : (width != m->coded_width ? "column is" : "row is"),
                     m->coded_width, m->coded_height);
    // GIF delays are whole hundredths of a second, and browsers hold a
    // frame shown for less than two of them for ten.
    if (m->codec == "gif" && m->rate > 50)
        report(RecordingErrorKind::Warning, video_messages::kWarningCaption,
               file_name + ": GIF cannot show " + std::to_string(m->rate) +
                   " frames a second (its delays are whole hundredths of a second, "
                   "and browsers hold a frame shown for less than 0.02 s for 0.1 s); "
                   "at 50 or fewer it plays as traced");
    // FFmpeg's libraries are loaded, and the encoder opened, on the encoding
    // thread while the first frame is traced; trouble there is told when
    // the first frame is handed over.
    m->start_worker();
    impl_ = m.release();
    return true;
}

bool FfmpegWriter::write_frame(const Surface& source) {
    if (impl_ == nullptr) return false;
    Impl& m = *impl_;
    bool handed = false;
    try {
        m.take_picture(source);
        handed = m.hand_over();
    } catch (const std::bad_alloc&) {
        m.out_of_memory = true;
        std::vector<uint8_t>().swap(m.traced);
        std::vector<uint8_t>().swap(m.rgb);
    }
    if (handed) {
        m.frames_handed += 1;
        frames_written_ = m.frames_handed;
        return true;
    }
    // The failure stays in the writer; finish reports it with the frames kept.
    if (m.failure == 0 && !m.out_of_memory && !m.open_failed()) return false;
    close();
    return false;
}

void FfmpegWriter::close() {
    if (std::optional<RecordingError> trouble = finish()) errors_.push_back(std::move(*trouble));
}

std::optional<RecordingError> FfmpegWriter::finish() {
    if (impl_ == nullptr) return std::nullopt;
    std::unique_ptr<Impl> m(impl_);
    impl_ = nullptr;

    m->wait_for_frames();
    m->stop_worker();
    if (m->encoder == nullptr) {
        const std::string why = m->open_trouble;
        const RecordingErrorKind kind = m->file.error() != 0 ? write_error_kind(m->file.error())
                                                             : RecordingErrorKind::Compressor;
        m->file.discard_temporary();
        frames_written_ = 0;
        return RecordingError{
            kind, video_messages::kCaption,
            "Could not record " + m->path + ": " + why + ". Nothing is recorded."};
    }
    // A frame that failed is reported with the frames before it, kept; the
    // record is of the frame's kind then.
    std::string frame_trouble;
    RecordingErrorKind kind = RecordingErrorKind::SaveFailed;
    if (m->failure != 0 || m->out_of_memory) {
        const std::string why =
            m->failure != 0 ? m->reason(m->failure) : std::string("out of memory");
        kind = m->failure != 0 && m->file.error() != 0 ? write_error_kind(m->file.error())
                                                       : RecordingErrorKind::WriteFailed;
        frame_trouble = "Could not write frame " + std::to_string(m->frames_encoded) + " to " +
                        m->path + ": " + why + ".";
    }
    auto with_frame_trouble = [&frame_trouble, kind](const std::string& text) {
        return RecordingError{kind, video_messages::kCaption,
                              frame_trouble.empty() ? text : frame_trouble + " " + text};
    };

    // The frames still inside the encoder, then the trailer.
    int rc = m->file.error() != 0 ? -m->file.error() : m->api->finish(m->encoder);
    if (rc >= 0) {
        if (!m->file.sync()) rc = -m->file.error();
    }
    if (rc < 0) {
        const std::string why =
            rc == -ENODATA ? std::string("no frame was written") : m->reason(rc);
        // Releasing the encoder lets the muxer free what it holds.
        m->api->release(m->encoder);
        m->encoder = nullptr;
        m->file.discard_temporary();
        frames_written_ = 0;
        return with_frame_trouble("Could not finish " + m->path + ": " + why +
                                  ". Nothing was saved.");
    }
    frames_written_ = m->api->frames_muxed(m->encoder);
    if (!m->file.name_temporary() || !m->file.close()) {
        const std::string why = m->file.error_text();
        m->file.discard_temporary();
        frames_written_ = 0;
        return with_frame_trouble("Could not finish " + m->path + ": " + why +
                                  ". Nothing was saved.");
    }
    // Something else may have taken the name while the frames were traced.
    const std::string kept_as = m->file.temporary_path();
    const TargetKind now = classify_target(m->path);
    if (now == TargetKind::Folder || (now == TargetKind::NotAvi && !is_video_file(m->path))) {
        m->file.keep_temporary();
        return with_frame_trouble(m->path +
                                  " is now taken by something that is not a video file; the "
                                  "recording is kept as " +
                                  kept_as + ".");
    }
    if (!m->file.rename_temporary_over(m->path)) {
        m->file.keep_temporary();
        return with_frame_trouble("Could not save " + m->path + ": " + m->file.error_text() +
                                  ". The recording is kept as " + kept_as + ".");
    }
    if (frame_trouble.empty()) return std::nullopt;
    char tail[96];
    std::snprintf(tail, sizeof tail, " The file was closed with %d frame%s.", frames_written_,
                  frames_written_ == 1 ? "" : "s");
    return RecordingError{kind, video_messages::kCaption, frame_trouble + tail};
}
