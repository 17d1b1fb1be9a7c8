#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

// FFmpeg's functions that the writer calls. The libraries and their many
// dependencies are opened on the first recording that needs them, not when
// the program starts: loading and relocating them costs every run about a
// tenth of a second, and most runs write pictures.
#define GMK_FFMPEG_FUNCTIONS(X)        \
    X(av_buffersink_get_frame)         \
    X(av_buffersrc_add_frame_flags)    \
    X(av_dict_free)                    \
    X(av_dict_set)                     \
    X(av_dict_set_int)                 \
    X(av_frame_alloc)                  \
    X(av_frame_free)                   \
    X(av_frame_get_buffer)             \
    X(av_frame_make_writable)          \
    X(av_frame_unref)                  \
    X(av_free)                         \
    X(av_freep)                        \
    X(av_int_list_length_for_size)     \
    X(av_interleaved_write_frame)      \
    X(av_log_set_level)                \
    X(av_malloc)                       \
    X(av_opt_set_bin)                  \
    X(av_packet_alloc)                 \
    X(av_packet_free)                  \
    X(av_packet_rescale_ts)            \
    X(av_strdup)                       \
    X(av_strerror)                     \
    X(av_write_trailer)                \
    X(avcodec_alloc_context3)          \
    X(avcodec_find_encoder)            \
    X(avcodec_find_encoder_by_name)    \
    X(avcodec_free_context)            \
    X(avcodec_open2)                   \
    X(avcodec_parameters_from_context) \
    X(avcodec_receive_packet)          \
    X(avcodec_send_frame)              \
    X(avfilter_get_by_name)            \
    X(avfilter_graph_alloc)            \
    X(avfilter_graph_config)           \
    X(avfilter_graph_create_filter)    \
    X(avfilter_graph_free)             \
    X(avfilter_graph_parse_ptr)        \
    X(avfilter_inout_alloc)            \
    X(avfilter_inout_free)             \
    X(avformat_alloc_output_context2)  \
    X(avformat_free_context)           \
    X(avformat_new_stream)             \
    X(avformat_write_header)           \
    X(avio_alloc_context)              \
    X(avio_context_free)               \
    X(avio_flush)                      \
    X(sws_freeContext)                 \
    X(sws_getCoefficients)             \
    X(sws_getContext)                  \
    X(sws_scale)                       \
    X(sws_setColorspaceDetails)

struct FfmpegLibrary {
#define GMK_FFMPEG_POINTER(name) decltype(&::name) name = nullptr;
    GMK_FFMPEG_FUNCTIONS(GMK_FFMPEG_POINTER)
#undef GMK_FFMPEG_POINTER
};

// The functions, loaded once by the first caller (any thread); null when a
// library or one of the functions is missing. `trouble` then tells which.
const FfmpegLibrary* ffmpeg_library(const char** trouble = nullptr);
