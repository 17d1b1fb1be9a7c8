// The encoder module: muxer, encoder, conversion and palette filters from
// FFmpeg's libraries behind the plain calls of video_encoder_api.h.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "record/video_encoder_api.h"

namespace {

constexpr int kIoBufferSize = 1 << 16;
// The GIF gets a palette of its own for every frame, dithered the way the
// library does it.
constexpr const char* kGifFilters =
    "split[a][b];[a]palettegen=stats_mode=single:reserve_transparent=0[p];"
    "[b][p]paletteuse=new=1";

std::string av_text(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// VP9's speed settings by --preset's names.
struct Vp9Speed {
    const char* deadline;
    int cpu_used;
};

Vp9Speed vp9_speed(const std::string& preset) {
    if (preset == "realtime") return {"realtime", 8};
    if (preset == "fast") return {"good", 4};
    if (preset == "best") return {"good", 0};
    return {"good", 2};
}

void put_text(const std::string& text, char* out, size_t size) {
    if (out == nullptr || size == 0) return;
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

}  // namespace

struct GmkVideoEncoder {
    GmkEncoderOutput output{};
    std::string codec;
    std::string preset;
    std::string path;

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

    int width = 0, height = 0;
    int64_t next_pts = 0;
    int frames_muxed = 0;
    bool header_written = false;
    bool trailer_tried = false;

    ~GmkVideoEncoder() {
        // Some muxers let go of what they hold (GIF its last packet) only in
        // the trailer; where the file failed, the bytes it writes go nowhere.
        if (header_written && !trailer_tried) av_write_trailer(format);
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

    static int write_bytes(void* opaque, uint8_t* data, int n) {
        auto* m = static_cast<GmkVideoEncoder*>(opaque);
        return m->output.write(m->output.opaque, data, n);
    }

    static int64_t seek(void* opaque, int64_t offset, int whence) {
        auto* m = static_cast<GmkVideoEncoder*>(opaque);
        return m->output.seek(m->output.opaque, offset, whence);
    }

    // The file read back from its start, beside the writing: the MP4 muxer
    // opens it so once the frames are in, to move them behind the index.
    struct ReadBack {
        GmkVideoEncoder* owner;
        int64_t position;
    };

    static int read_back(void* opaque, uint8_t* data, int n) {
        auto* r = static_cast<ReadBack*>(opaque);
        const int got = r->owner->output.read_at(r->owner->output.opaque, r->position, data, n);
        if (got == 0) return AVERROR_EOF;
        if (got > 0) r->position += got;
        return got;
    }

    static int64_t seek_back(void* opaque, int64_t offset, int whence) {
        constexpr int kSeekSize = 0x10000;  // AVSEEK_SIZE
        auto* r = static_cast<ReadBack*>(opaque);
        const GmkEncoderOutput& o = r->owner->output;
        if (whence & kSeekSize) return o.seek(o.opaque, 0, kSeekSize);
        switch (whence & ~0x20000) {  // AVSEEK_FORCE
            case SEEK_SET:
                break;
            case SEEK_CUR:
                offset += r->position;
                break;
            case SEEK_END: {
                const int64_t size = o.seek(o.opaque, 0, kSeekSize);
                if (size < 0) return size;
                offset += size;
                break;
            }
            default:
                return AVERROR(EINVAL);
        }
        if (offset < 0) return AVERROR(EINVAL);
        r->position = offset;
        return offset;
    }

    // Only reading is opened this way: the muxer writes through `io`.
    static int open_read_back(AVFormatContext* s, AVIOContext** pb, const char*, int flags,
                              AVDictionary**) {
        auto* m = static_cast<GmkVideoEncoder*>(s->opaque);
        if (m == nullptr || (flags & AVIO_FLAG_WRITE)) return AVERROR(ENOSYS);
        auto* r = static_cast<ReadBack*>(av_mallocz(sizeof(ReadBack)));
        auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
        AVIOContext* made =
            r == nullptr || buffer == nullptr
                ? nullptr
                : avio_alloc_context(buffer, kIoBufferSize, 0, r, &read_back, nullptr, &seek_back);
        if (made == nullptr) {
            av_free(buffer);
            av_free(r);
            return AVERROR(ENOMEM);
        }
        r->owner = m;
        *pb = made;
        return 0;
    }

    static int close_read_back(AVFormatContext*, AVIOContext* pb) {
        if (pb == nullptr) return 0;
        av_free(pb->opaque);
        av_freep(&pb->buffer);
        avio_context_free(&pb);
        return 0;
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

    std::string open_encoder(int rate, int crf);
    std::string open_filters(int rate);
    std::string open(const GmkEncoderSettings& settings);
};

std::string GmkVideoEncoder::open_filters(int rate) {
    graph = avfilter_graph_alloc();
    if (graph == nullptr) return "out of memory";
    // The palette filters run in the encoding thread: no threads of their own.
    graph->nb_threads = 1;
    char args[160];
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=1/1",
                  width, height, static_cast<int>(AV_PIX_FMT_RGB24), rate);
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

std::string GmkVideoEncoder::open_encoder(int rate, int crf) {
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

    encoder = avcodec_alloc_context3(found);
    if (encoder == nullptr) return "out of memory";
    encoder->width = width;
    encoder->height = height;
    encoder->time_base = AVRational{1, rate};
    encoder->framerate = AVRational{rate, 1};
    encoder->sample_aspect_ratio = AVRational{1, 1};
    // One thread: the encoder works beside the render threads, which keep
    // every core busy already.
    encoder->thread_count = 1;
    if (format->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

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
            // x264's own preset names; the writer passes its default.
            av_dict_set(&options, "preset", preset.empty() ? "medium" : preset.c_str(), 0);
        } else if (codec == "vp9") {
            encoder->bit_rate = 0;
            av_dict_set_int(&options, "crf", crf, 0);
            const Vp9Speed speed = vp9_speed(preset);
            av_dict_set(&options, "deadline", speed.deadline, 0);
            av_dict_set_int(&options, "cpu-used", speed.cpu_used, 0);
            // No look-ahead: it holds frames back and costs a tenth of a
            // second to set up.
            av_dict_set(&options, "lag-in-frames", "0", 0);
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

std::string GmkVideoEncoder::open(const GmkEncoderSettings& s) {
    // The encoders' own statistics are not for the user; their errors are.
    av_log_set_level(AV_LOG_ERROR);
    const bool yuv = codec != "gif";
    int rc = avformat_alloc_output_context2(&format, nullptr, s.muxer, nullptr);
    if (rc < 0 || format == nullptr)
        return "the " + std::string(s.muxer) + " writer: " + av_text(rc);
    // A muxer that reads its file back (MP4 moving its index to the front)
    // opens it through these.
    format->opaque = this;
    format->io_open = &GmkVideoEncoder::open_read_back;
    format->io_close2 = &GmkVideoEncoder::close_read_back;
    std::string trouble = open_encoder(std::max(1, s.rate), s.crf);
    if (trouble.empty() && !yuv) trouble = open_filters(std::max(1, s.rate));
    if (!trouble.empty()) return trouble;

    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
    io = buffer == nullptr
             ? nullptr
             : avio_alloc_context(buffer, kIoBufferSize, 1, this, nullptr,
                                  &GmkVideoEncoder::write_bytes, &GmkVideoEncoder::seek);
    if (io == nullptr) {
        av_free(buffer);
        return "out of memory";
    }
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    stream = avformat_new_stream(format, nullptr);
    if (stream == nullptr) return "out of memory";
    stream->time_base = encoder->time_base;
    stream->avg_frame_rate = AVRational{std::max(1, s.rate), 1};
    stream->r_frame_rate = stream->avg_frame_rate;
    rc = avcodec_parameters_from_context(stream->codecpar, encoder);
    // MP4 and QuickTime: the index (moov) before the frames, so that a
    // player can start before the whole file has arrived.
    AVDictionary* muxer_options = nullptr;
    if (std::strcmp(s.muxer, "mp4") == 0 || std::strcmp(s.muxer, "mov") == 0)
        av_dict_set(&muxer_options, "movflags", "+faststart", 0);
    if (rc >= 0) rc = avformat_write_header(format, &muxer_options);
    av_dict_free(&muxer_options);
    if (rc < 0) return av_text(rc);
    header_written = true;

    picture = av_frame_alloc();
    rgb = av_frame_alloc();
    filtered = av_frame_alloc();
    packet = av_packet_alloc();
    if (picture == nullptr || rgb == nullptr || filtered == nullptr || packet == nullptr)
        return "out of memory";
    rgb->format = AV_PIX_FMT_RGB24;
    rgb->width = width;
    rgb->height = height;
    picture->format = encoder->pix_fmt;
    picture->width = width;
    picture->height = height;
    picture->color_range = encoder->color_range;
    picture->colorspace = encoder->colorspace;
    picture->color_primaries = encoder->color_primaries;
    picture->color_trc = encoder->color_trc;
    rc = av_frame_get_buffer(rgb, 0);
    if (rc >= 0 && yuv) rc = av_frame_get_buffer(picture, 0);
    if (rc < 0) return av_text(rc);
    if (yuv) {
        scaler = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, AV_PIX_FMT_YUV420P,
                                SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (scaler == nullptr) return "no conversion to yuv420p";
        // BT.709 in limited range, as the stream is tagged.
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(scaler, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    }
    return {};
}

namespace {

GmkVideoEncoder* open_encoder(const GmkEncoderSettings* settings, const GmkEncoderOutput* output,
                              char* trouble, size_t trouble_size, char* encoder_name,
                              size_t encoder_size) {
    GmkVideoEncoder* m = new (std::nothrow) GmkVideoEncoder;
    if (m == nullptr) {
        put_text("out of memory", trouble, trouble_size);
        return nullptr;
    }
    std::string why;
    try {
        m->output = *output;
        m->codec = settings->codec;
        m->preset = settings->preset != nullptr ? settings->preset : "";
        m->path = settings->path;
        m->width = settings->width;
        m->height = settings->height;
        why = m->open(*settings);
        put_text(
            m->encoder != nullptr && m->encoder->codec != nullptr ? m->encoder->codec->name : "",
            encoder_name, encoder_size);
    } catch (const std::bad_alloc&) {
        why = "out of memory";
    }
    if (why.empty()) return m;
    put_text(why, trouble, trouble_size);
    delete m;
    return nullptr;
}

int add_frame(GmkVideoEncoder* m, const uint8_t* pixels, int stride) {
    int rc = av_frame_make_writable(m->rgb);
    if (rc < 0) return rc;
    for (int y = 0; y < m->height; ++y)
        std::memcpy(m->rgb->data[0] + static_cast<ptrdiff_t>(y) * m->rgb->linesize[0],
                    pixels + static_cast<ptrdiff_t>(y) * stride, static_cast<size_t>(m->width) * 3);
    m->rgb->pts = m->next_pts;
    AVFrame* frame = m->rgb;
    if (m->scaler != nullptr) {
        rc = av_frame_make_writable(m->picture);
        if (rc < 0) return rc;
        sws_scale(m->scaler, m->rgb->data, m->rgb->linesize, 0, m->height, m->picture->data,
                  m->picture->linesize);
        m->picture->pts = m->next_pts;
        // Every recording opens with a key frame; the encoder makes the
        // first one so whatever it is asked.
        m->picture->pict_type = AV_PICTURE_TYPE_NONE;
        frame = m->picture;
    }
    rc = m->add(frame);
    if (rc >= 0) m->next_pts += 1;
    return rc;
}

int finish(GmkVideoEncoder* m) {
    // The frames still inside the filters and the encoder, then the trailer.
    int rc = 0;
    if (m->graph != nullptr) rc = m->filter_and_encode(nullptr);
    if (rc >= 0) rc = m->encode(nullptr);
    if (rc >= 0 && m->frames_muxed == 0) rc = AVERROR(ENODATA);
    if (rc >= 0 && m->codec == "gif") {
        // Each frame's time is rounded to whole hundredths of a second and
        // its delay is the gap to the next frame's, so the delays add up to
        // the animation's length; the last frame has no next one and is
        // given what is left of that length (the muxer would repeat the
        // delay before it).
        const AVRational hundredths{1, 100};
        const int64_t end = av_rescale_q(m->next_pts, m->encoder->time_base, hundredths);
        const int64_t last = av_rescale_q(m->next_pts - 1, m->encoder->time_base, hundredths);
        av_opt_set_int(m->format->priv_data, "final_delay", end - last, 0);
    }
    if (rc >= 0) {
        m->trailer_tried = true;
        rc = av_write_trailer(m->format);
    }
    if (rc >= 0) {
        avio_flush(m->io);
        if (m->io->error < 0) rc = m->io->error;
    }
    return rc;
}

int frames_muxed(const GmkVideoEncoder* m) { return m->frames_muxed; }

void release(GmkVideoEncoder* m) { delete m; }

void error_text(int code, char* text, size_t size) { put_text(av_text(code), text, size); }

void versions(char* text, size_t size) {
    auto version = [](const char* name, unsigned v) {
        return std::string(name) + " " + std::to_string(AV_VERSION_MAJOR(v)) + "." +
               std::to_string(AV_VERSION_MINOR(v)) + "." + std::to_string(AV_VERSION_MICRO(v));
    };
    put_text(version("libavformat", avformat_version()) + ", " +
                 version("libavcodec", avcodec_version()) + ", " +
                 version("libavfilter", avfilter_version()) + ", " +
                 version("libswscale", swscale_version()),
             text, size);
}

const GmkVideoEncoderApi kApi = {GMK_VIDEO_ENCODER_ABI, open_encoder, add_frame,  finish,
                                 frames_muxed,          release,      error_text, versions};

}  // namespace

extern "C" __attribute__((visibility("default"))) const GmkVideoEncoderApi*
glimmark_video_encoder_api() {
    return &kApi;
}
