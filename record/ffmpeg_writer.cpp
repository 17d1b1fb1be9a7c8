#include "record/ffmpeg_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "record/dib_format.h"
#include "record/output_file.h"
#include "record/target_file.h"
#include "record/video_messages.h"
#include "scene/host.h"

namespace {

constexpr int kIoBufferSize = 1 << 16;
// The GIF gets a palette of its own for every frame, dithered the way the
// library does it.
constexpr const char* kGifFilters =
    "split[a][b];[a]palettegen=stats_mode=single:reserve_transparent=0[p];"
    "[b][p]paletteuse=new=1";

void tell(Host* owner, const std::string& text) {
    if (owner != nullptr) owner->message_box(text, video_messages::kCaption);
}

std::string av_text(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

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
    Host* owner = nullptr;
    std::string path;
    std::string codec;
    OutputFile file;
    uint64_t position = 0;
    uint64_t size = 0;

    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;
    AVCodecContext* encoder = nullptr;
    AVStream* stream = nullptr;
    SwsContext* scaler = nullptr;
    AVFrame* picture = nullptr;  // what the encoder takes
    AVFrame* rgb = nullptr;      // the traced picture, padded
    AVFrame* filtered = nullptr;
    AVPacket* packet = nullptr;
    AVFilterGraph* graph = nullptr;
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;

    int width = 0, height = 0;  // traced
    int coded_width = 0, coded_height = 0;
    int64_t next_pts = 0;
    int frames_muxed = 0;
    int frames_sent = 0;
    bool header_written = false;
    std::vector<uint8_t> pixels;

    ~Impl() {
        if (graph != nullptr) avfilter_graph_free(&graph);
        sws_freeContext(scaler);
        av_frame_free(&picture);
        av_frame_free(&rgb);
        av_frame_free(&filtered);
        av_packet_free(&packet);
        avcodec_free_context(&encoder);
        if (format != nullptr) avformat_free_context(format);
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }

    // The reason of a failed call: the file's own errno where the file
    // refused the bytes (a full disk), the library's text otherwise.
    std::string reason(int code) const {
        return file.error() != 0 ? file.error_text() : av_text(code);
    }

    static int write_bytes(void* opaque, uint8_t* data, int n) {
        auto* m = static_cast<Impl*>(opaque);
        if (!m->file.write_at(m->position, data, static_cast<size_t>(n)))
            return AVERROR(m->file.error());
        m->position += static_cast<uint64_t>(n);
        m->size = std::max(m->size, m->position);
        return n;
    }

    static int64_t seek(void* opaque, int64_t offset, int whence) {
        auto* m = static_cast<Impl*>(opaque);
        if (whence & AVSEEK_SIZE) return static_cast<int64_t>(m->size);
        switch (whence & ~AVSEEK_FORCE) {
            case SEEK_SET:
                break;
            case SEEK_CUR:
                offset += static_cast<int64_t>(m->position);
                break;
            case SEEK_END:
                offset += static_cast<int64_t>(m->size);
                break;
            default:
                return AVERROR(EINVAL);
        }
        if (offset < 0) return AVERROR(EINVAL);
        m->position = static_cast<uint64_t>(offset);
        return offset;
    }

    // Moves the packets the encoder has ready into the file.
    int drain() {
        for (;;) {
            int rc = avcodec_receive_packet(encoder, packet);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return 0;
            if (rc < 0) return rc;
            av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
            packet->stream_index = stream->index;
            rc = av_interleaved_write_frame(format, packet);
            if (rc < 0) return rc;
            frames_muxed += 1;
        }
    }

    int encode(AVFrame* frame) {
        const int rc = avcodec_send_frame(encoder, frame);
        if (rc < 0) return rc;
        return drain();
    }

    // A GIF frame goes through the palette filters first.
    int filter_and_encode(AVFrame* frame) {
        int rc = av_buffersrc_add_frame_flags(source, frame, AV_BUFFERSRC_FLAG_KEEP_REF);
        if (rc < 0) return rc;
        for (;;) {
            rc = av_buffersink_get_frame(sink, filtered);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return 0;
            if (rc < 0) return rc;
            filtered->pict_type = AV_PICTURE_TYPE_NONE;
            rc = encode(filtered);
            av_frame_unref(filtered);
            if (rc < 0) return rc;
        }
    }

    int add(AVFrame* frame) { return graph != nullptr ? filter_and_encode(frame) : encode(frame); }

    std::string open_encoder(int rate, const VideoChoice& choice, std::string& encoder_name);
    std::string open_filters(int rate);
};

std::string FfmpegWriter::Impl::open_filters(int rate) {
    graph = avfilter_graph_alloc();
    if (graph == nullptr) return "out of memory";
    char args[160];
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=1/1",
                  coded_width, coded_height, static_cast<int>(AV_PIX_FMT_RGB24), rate);
    int rc = avfilter_graph_create_filter(&source, avfilter_get_by_name("buffer"), "in", args,
                                          nullptr, graph);
    if (rc >= 0)
        rc = avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                          nullptr, graph);
    if (rc >= 0) {
        const enum AVPixelFormat formats[] = {AV_PIX_FMT_PAL8, AV_PIX_FMT_NONE};
        rc =
            av_opt_set_int_list(sink, "pix_fmts", formats, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN);
    }
    if (rc < 0) return "the palette filters: " + av_text(rc);
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    if (outputs == nullptr || inputs == nullptr) {
        avfilter_inout_free(&outputs);
        avfilter_inout_free(&inputs);
        return "out of memory";
    }
    outputs->name = av_strdup("in");
    outputs->filter_ctx = source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink;
    rc = avfilter_graph_parse_ptr(graph, kGifFilters, &inputs, &outputs, nullptr);
    avfilter_inout_free(&outputs);
    avfilter_inout_free(&inputs);
    if (rc >= 0) rc = avfilter_graph_config(graph, nullptr);
    if (rc < 0) return "the palette filters: " + av_text(rc);
    return {};
}

std::string FfmpegWriter::Impl::open_encoder(int rate, const VideoChoice& choice,
                                             std::string& encoder_name) {
    const AVCodec* found = nullptr;
    if (codec == "h264") {
        found = avcodec_find_encoder_by_name("libx264");
        if (found == nullptr) {
            std::fprintf(stderr,
                         "glimmark: libx264 is not available; %s is encoded with MPEG-4 Part 2 "
                         "instead of H.264\n",
                         path.c_str());
            codec = "mpeg4";
        }
    }
    if (codec == "mpeg4") found = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (codec == "vp9") found = avcodec_find_encoder_by_name("libvpx-vp9");
    if (codec == "gif") found = avcodec_find_encoder(AV_CODEC_ID_GIF);
    if (found == nullptr)
        return "this FFmpeg has no encoder for " + codec + " (" +
               (codec == "vp9" ? "libvpx" : codec) + " is missing)";
    encoder_name = found->name;

    encoder = avcodec_alloc_context3(found);
    if (encoder == nullptr) return "out of memory";
    encoder->width = coded_width;
    encoder->height = coded_height;
    encoder->time_base = AVRational{1, rate};
    encoder->framerate = AVRational{rate, 1};
    encoder->sample_aspect_ratio = AVRational{1, 1};
    if (format->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    // Quality: --crf as it is, or --quality mapped onto the codec's scale.
    const int crf = choice.crf >= 0      ? choice.crf
                    : choice.quality > 0 ? crf_for_quality(codec, choice.quality)
                                         : default_crf(codec);
    AVDictionary* options = nullptr;
    if (codec == "gif") {
        encoder->pix_fmt = AV_PIX_FMT_PAL8;
    } else {
        encoder->pix_fmt = AV_PIX_FMT_YUV420P;
        encoder->color_range = AVCOL_RANGE_MPEG;
        encoder->colorspace = AVCOL_SPC_BT709;
        encoder->color_primaries = AVCOL_PRI_BT709;
        encoder->color_trc = AVCOL_TRC_BT709;
        // Frames in the order they were traced: each packet is one frame.
        encoder->max_b_frames = 0;
        if (codec == "h264") {
            av_dict_set_int(&options, "crf", crf, 0);
            // Far above the quality asked for already, at a fraction of the
            // time the slower presets take.
            av_dict_set(&options, "preset", "veryfast", 0);
        } else if (codec == "vp9") {
            encoder->bit_rate = 0;
            av_dict_set_int(&options, "crf", crf, 0);
            av_dict_set(&options, "deadline", "realtime", 0);
            av_dict_set(&options, "cpu-used", "8", 0);
            av_dict_set(&options, "row-mt", "1", 0);
        } else {
            encoder->flags |= AV_CODEC_FLAG_QSCALE;
            encoder->global_quality = FF_QP2LAMBDA * std::max(1, crf);
        }
    }
    const int rc = avcodec_open2(encoder, found, &options);
    av_dict_free(&options);
    if (rc < 0) return "the " + std::string(found->name) + " encoder: " + av_text(rc);
    return {};
}

FfmpegWriter::FfmpegWriter() = default;

FfmpegWriter::~FfmpegWriter() { close(); }

bool FfmpegWriter::open(Host* owner, const std::string& file_name, int width, int height,
                        int rate) {
    close();
    frames_written_ = 0;
    encoder_name_.clear();
    // The encoders' own statistics are not for the user; their errors are.
    av_log_set_level(AV_LOG_ERROR);
    const VideoContainer container = container_of(file_name);
    std::string refusal = refuse_video_choice(file_name, choice);
    if (refusal.empty() && muxer_of(container) == nullptr)
        refusal = "a " + std::string(extension_of(container)) + " file is not written here";
    if (refusal.empty() && (width <= 0 || height <= 0)) refusal = "the picture has no pixels";
    if (!refusal.empty()) {
        tell(owner, "Cannot record " + file_name + ": " + refusal + ".");
        return false;
    }
    switch (classify_target(file_name)) {
        case TargetKind::Folder:
            tell(owner, "Cannot record " + file_name + ": it is a folder.");
            return false;
        case TargetKind::NotAvi:
            if (is_video_file(file_name)) break;
            tell(owner, file_name +
                            " exists and is not a video file; it is left as it is and nothing "
                            "is recorded.");
            return false;
        case TargetKind::Missing:
        case TargetKind::Avi:
            break;
    }

    auto m = std::make_unique<Impl>();
    m->owner = owner;
    m->path = file_name;
    m->codec = choice.codec.empty() ? codecs_of(container).front() : choice.codec;
    m->width = width;
    m->height = height;
    rate = std::max(1, rate);
    const bool yuv = m->codec != "gif";
    m->coded_width = yuv ? width + (width & 1) : width;
    m->coded_height = yuv ? height + (height & 1) : height;

    if (!m->file.create_temporary_for(file_name)) {
        tell(owner, "Could not write " + file_name + ": " + m->file.error_text() +
                        ". Nothing is recorded.");
        return false;
    }
    std::string trouble;
    int rc = avformat_alloc_output_context2(&m->format, nullptr, muxer_of(container), nullptr);
    if (rc < 0 || m->format == nullptr)
        trouble = "the " + std::string(muxer_of(container)) + " writer: " + av_text(rc);
    if (trouble.empty()) trouble = m->open_encoder(rate, choice, encoder_name_);
    if (trouble.empty() && !yuv) trouble = m->open_filters(rate);
    if (trouble.empty()) {
        auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
        m->io = buffer == nullptr ? nullptr
                                  : avio_alloc_context(buffer, kIoBufferSize, 1, m.get(), nullptr,
                                                       &Impl::write_bytes, &Impl::seek);
        if (m->io == nullptr) {
            av_free(buffer);
            trouble = "out of memory";
        }
    }
    if (trouble.empty()) {
        m->format->pb = m->io;
        m->format->flags |= AVFMT_FLAG_CUSTOM_IO;
        m->stream = avformat_new_stream(m->format, nullptr);
        if (m->stream == nullptr) trouble = "out of memory";
    }
    if (trouble.empty()) {
        m->stream->time_base = m->encoder->time_base;
        m->stream->avg_frame_rate = AVRational{rate, 1};
        m->stream->r_frame_rate = AVRational{rate, 1};
        rc = avcodec_parameters_from_context(m->stream->codecpar, m->encoder);
        if (rc >= 0) rc = avformat_write_header(m->format, nullptr);
        if (rc < 0) trouble = m->reason(rc);
        m->header_written = rc >= 0;
    }
    if (trouble.empty()) {
        m->picture = av_frame_alloc();
        m->rgb = av_frame_alloc();
        m->filtered = av_frame_alloc();
        m->packet = av_packet_alloc();
        if (m->picture == nullptr || m->rgb == nullptr || m->filtered == nullptr ||
            m->packet == nullptr)
            trouble = "out of memory";
    }
    if (trouble.empty()) {
        m->rgb->format = AV_PIX_FMT_RGB24;
        m->rgb->width = m->coded_width;
        m->rgb->height = m->coded_height;
        m->picture->format = m->encoder->pix_fmt;
        m->picture->width = m->coded_width;
        m->picture->height = m->coded_height;
        m->picture->color_range = m->encoder->color_range;
        m->picture->colorspace = m->encoder->colorspace;
        m->picture->color_primaries = m->encoder->color_primaries;
        m->picture->color_trc = m->encoder->color_trc;
        rc = av_frame_get_buffer(m->rgb, 0);
        if (rc >= 0 && yuv) rc = av_frame_get_buffer(m->picture, 0);
        if (rc < 0) trouble = av_text(rc);
    }
    if (trouble.empty() && yuv) {
        m->scaler = sws_getContext(m->coded_width, m->coded_height, AV_PIX_FMT_RGB24,
                                   m->coded_width, m->coded_height, AV_PIX_FMT_YUV420P, SWS_BICUBIC,
                                   nullptr, nullptr, nullptr);
        if (m->scaler == nullptr) {
            trouble = "no conversion to yuv420p";
        } else {
            // BT.709 in limited range, as the stream is tagged.
            const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(m->scaler, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
        }
    }
    if (!trouble.empty()) {
        tell(owner, "Could not record " + file_name + ": " + trouble + ". Nothing is recorded.");
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
    impl_ = m.release();
    return true;
}

bool FfmpegWriter::write_frame(const Surface& source) {
    if (impl_ == nullptr) return false;
    Impl& m = *impl_;
    int rc = 0;
    bool out_of_memory = false;
    try {
        surface_to_rgb(source, m.width, m.height, m.pixels);
        rc = av_frame_make_writable(m.rgb);
        for (int y = 0; rc >= 0 && y < m.coded_height; ++y) {
            uint8_t* row = m.rgb->data[0] + static_cast<ptrdiff_t>(y) * m.rgb->linesize[0];
            const uint8_t* from = m.pixels.data() + static_cast<size_t>(std::min(y, m.height - 1)) *
                                                        static_cast<size_t>(m.width) * 3;
            std::memcpy(row, from, static_cast<size_t>(m.width) * 3);
            if (m.coded_width > m.width)
                std::memcpy(row + m.width * 3, from + (m.width - 1) * 3, 3);
        }
        m.rgb->pts = m.next_pts;
        AVFrame* frame = m.rgb;
        if (rc >= 0 && m.scaler != nullptr) {
            rc = av_frame_make_writable(m.picture);
            if (rc >= 0)
                sws_scale(m.scaler, m.rgb->data, m.rgb->linesize, 0, m.coded_height,
                          m.picture->data, m.picture->linesize);
            m.picture->pts = m.next_pts;
            // Every recording opens with a key frame; the encoder makes the
            // first one so whatever it is asked.
            m.picture->pict_type = AV_PICTURE_TYPE_NONE;
            frame = m.picture;
        }
        if (rc >= 0) rc = m.add(frame);
    } catch (const std::bad_alloc&) {
        out_of_memory = true;
        std::vector<uint8_t>().swap(m.pixels);
    }
    if (!out_of_memory && rc >= 0) {
        m.next_pts += 1;
        m.frames_sent += 1;
        frames_written_ = m.frames_sent;
        return true;
    }
    const std::string why = out_of_memory ? std::string("out of memory") : m.reason(rc);
    std::string text = "Could not write frame " + std::to_string(m.frames_sent) + " to " + m.path +
                       ": " + why + ".";
    Host* owner = m.owner;
    const std::string trouble = finish();
    if (trouble.empty()) {
        char tail[96];
        std::snprintf(tail, sizeof tail, " The file was closed with %d frame%s.", frames_written_,
                      frames_written_ == 1 ? "" : "s");
        text += tail;
    } else {
        text += " " + trouble;
    }
    tell(owner, text);
    return false;
}

void FfmpegWriter::close() {
    Host* owner = impl_ != nullptr ? impl_->owner : nullptr;
    const std::string trouble = finish();
    if (!trouble.empty()) tell(owner, trouble);
}

std::string FfmpegWriter::finish() {
    if (impl_ == nullptr) return {};
    std::unique_ptr<Impl> m(impl_);
    impl_ = nullptr;

    // The frames still inside the filters and the encoder, then the trailer.
    int rc = m->file.error() != 0 ? AVERROR(m->file.error()) : 0;
    if (rc >= 0 && m->graph != nullptr) rc = m->filter_and_encode(nullptr);
    if (rc >= 0) rc = m->encode(nullptr);
    if (rc >= 0 && m->frames_muxed == 0) rc = AVERROR(ENODATA);
    bool trailer_tried = false;
    if (rc >= 0) {
        trailer_tried = true;
        rc = av_write_trailer(m->format);
    }
    if (rc >= 0) {
        avio_flush(m->io);
        if (m->io->error < 0) rc = m->io->error;
    }
    if (rc >= 0 && !m->file.sync()) rc = AVERROR(m->file.error());
    if (rc < 0) {
        const std::string why =
            rc == AVERROR(ENODATA) ? std::string("no frame was written") : m->reason(rc);
        // Some muxers let go of what they hold (GIF its last packet) only in
        // the trailer; where the file failed, the bytes it writes go nowhere.
        if (m->header_written && !trailer_tried) av_write_trailer(m->format);
        m->file.discard_temporary();
        frames_written_ = 0;
        return "Could not finish " + m->path + ": " + why + ". Nothing was saved.";
    }
    frames_written_ = m->frames_muxed;
    if (!m->file.name_temporary() || !m->file.close()) {
        const std::string why = m->file.error_text();
        m->file.discard_temporary();
        frames_written_ = 0;
        return "Could not finish " + m->path + ": " + why + ". Nothing was saved.";
    }
    // Something else may have taken the name while the frames were traced.
    const std::string kept_as = m->file.temporary_path();
    const TargetKind now = classify_target(m->path);
    if (now == TargetKind::Folder || (now == TargetKind::NotAvi && !is_video_file(m->path))) {
        m->file.keep_temporary();
        return m->path +
               " is now taken by something that is not a video file; the recording "
               "is kept as " +
               kept_as + ".";
    }
    if (!m->file.rename_temporary_over(m->path)) {
        m->file.keep_temporary();
        return "Could not save " + m->path + ": " + m->file.error_text() +
               ". The recording is kept as " + kept_as + ".";
    }
    return {};
}
