#include "record/video_formats.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "record/video_module.h"

namespace {

std::string lower_extension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

constexpr VideoContainer kAll[] = {VideoContainer::Avi, VideoContainer::Mp4, VideoContainer::Mkv,
                                   VideoContainer::Webm, VideoContainer::Gif};

}  // namespace

VideoContainer container_of(const std::string& path) {
    const std::string ext = lower_extension(path);
    for (VideoContainer c : kAll)
        if (ext == extension_of(c)) return c;
    return VideoContainer::Unknown;
}

const char* extension_of(VideoContainer container) {
    switch (container) {
        case VideoContainer::Avi:
            return ".avi";
        case VideoContainer::Mp4:
            return ".mp4";
        case VideoContainer::Mkv:
            return ".mkv";
        case VideoContainer::Webm:
            return ".webm";
        case VideoContainer::Gif:
            return ".gif";
        case VideoContainer::Unknown:
            break;
    }
    return "";
}

std::vector<std::string> codecs_of(VideoContainer container) {
    switch (container) {
        case VideoContainer::Avi:
            return {"mjpeg", "raw"};
        case VideoContainer::Mp4:
            return {"h264", "mpeg4"};
        case VideoContainer::Mkv:
            return {"h264", "mpeg4", "vp9"};
        case VideoContainer::Webm:
            return {"vp9"};
        case VideoContainer::Gif:
            return {"gif"};
        case VideoContainer::Unknown:
            break;
    }
    return {};
}

std::string codec_list(VideoContainer container) {
    std::string list;
    for (const std::string& c : codecs_of(container))
        list += (list.empty() ? "" : ", ") + c;
    return list;
}

bool have_video_libraries() { return video_encoder_api() != nullptr; }

std::string video_library_versions() {
    const GmkVideoEncoderApi* api = video_encoder_api();
    if (api == nullptr) return {};
    char text[256] = {};
    api->versions(text, sizeof text);
    return text;
}

std::vector<std::string> recordable_extensions() {
    std::vector<std::string> list;
    for (VideoContainer c : kAll)
        if (c == VideoContainer::Avi || video_encoder_present()) list.push_back(extension_of(c));
    return list;
}

int largest_crf(const std::string& codec) {
    if (codec == "h264") return 51;
    if (codec == "vp9") return 63;
    if (codec == "mpeg4") return 31;
    return 0;
}

int crf_for_quality(const std::string& codec, int quality) {
    const int top = largest_crf(codec);
    const int q = std::clamp(quality, 1, 100);
    // mpeg4's quantiser starts at 1; the others at 0 (lossless).
    const int low = codec == "mpeg4" ? 1 : 0;
    return low + static_cast<int>(std::lround((top - low) * (100 - q) / 100.0));
}

int default_crf(const std::string& codec) {
    if (codec == "h264") return 16;
    if (codec == "vp9") return 12;
    if (codec == "mpeg4") return 3;
    return 0;
}

std::vector<std::string> presets_of(const std::string& codec) {
    if (codec == "h264")
        return {"ultrafast", "superfast", "veryfast", "faster",  "fast",
                "medium",    "slow",      "slower",   "veryslow"};
    if (codec == "vp9") return {"realtime", "fast", "good", "best"};
    return {};
}

std::string default_preset(const std::string& codec) {
    if (codec == "h264") return "fast";
    if (codec == "vp9") return "good";
    return {};
}

namespace {

// Why `preset` cannot be given to `codec`; empty when it can (or is empty).
std::string refuse_preset(const std::string& codec, const std::string& preset) {
    if (preset.empty()) return {};
    const std::vector<std::string> names = presets_of(codec);
    if (names.empty()) return "--preset has no meaning for " + codec;
    if (std::find(names.begin(), names.end(), preset) != names.end()) return {};
    std::string list;
    for (const std::string& n : names)
        list += (list.empty() ? "" : ", ") + n;
    return "--preset for " + codec + " is one of " + list + ", not '" + preset + "'";
}

}  // namespace

std::string refuse_video_choice(const std::string& path, const VideoChoice& choice) {
    const VideoContainer c = container_of(path);
    if (c == VideoContainer::Unknown) {
        // Any other name stays an AVI file, as recordings have always been,
        // unless a codec of another container is asked for.
        if (choice.codec.empty() || choice.codec == "raw" || choice.codec == "mjpeg")
            return refuse_preset(choice.codec.empty() ? "mjpeg" : choice.codec, choice.preset);
        std::string list;
        for (const std::string& e : recordable_extensions())
            list += (list.empty() ? "" : ", ") + e;
        return "--codec " + choice.codec + " needs a file name ending in one of " + list +
               " that holds it, not '" + path + "'";
    }
    const std::vector<std::string> codecs = codecs_of(c);
    if (!choice.codec.empty() &&
        std::find(codecs.begin(), codecs.end(), choice.codec) == codecs.end())
        return std::string("a ") + extension_of(c) + " file cannot hold --codec " + choice.codec +
               "; it holds " + codec_list(c);
    const std::string codec = choice.codec.empty() ? codecs.front() : choice.codec;
    if (choice.crf >= 0) {
        const int top = largest_crf(codec);
        if (top == 0) return "--crf has no meaning for " + codec;
        if (choice.crf > top)
            return "--crf for " + codec + " is a whole number from 0 to " + std::to_string(top) +
                   ", not " + std::to_string(choice.crf);
    }
    const std::string preset_refused = refuse_preset(codec, choice.preset);
    if (!preset_refused.empty()) return preset_refused;
    // A codec or crf a container cannot take is said first, in every build.
    std::string missing;
    if (c != VideoContainer::Avi && !video_encoder_present(&missing)) {
#ifdef GLIMMARK_VIDEO_MODULE
        return std::string(extension_of(c)) + " files need " + missing +
               "; only .avi can be recorded";
#else
        return std::string(extension_of(c)) +
               " files need FFmpeg's libraries (libavformat, libavcodec, libavfilter, "
               "libswscale), which this build of glimmark was made without; only .avi can be "
               "recorded";
#endif
    }
    return {};
}

std::string refuse_video_rate(const std::string& codec, int rate) {
    if (codec != "gif" || rate <= 100) return {};
    return "a GIF frame lasts a whole number of hundredths of a second, so GIF cannot show " +
           std::to_string(rate) + " frames a second (100 at most)";
}

VideoContainer container_of(VideoFormat format) {
    switch (format) {
        case VideoFormat::AviRaw:
        case VideoFormat::AviMjpeg:
            return VideoContainer::Avi;
        case VideoFormat::Mp4H264:
            return VideoContainer::Mp4;
        case VideoFormat::MkvH264:
            return VideoContainer::Mkv;
        case VideoFormat::WebmVp9:
            return VideoContainer::Webm;
        case VideoFormat::Gif:
            return VideoContainer::Gif;
    }
    return VideoContainer::Avi;
}

std::string codec_of(VideoFormat format) {
    switch (format) {
        case VideoFormat::AviRaw:
            return "raw";
        case VideoFormat::AviMjpeg:
            return "mjpeg";
        case VideoFormat::Mp4H264:
        case VideoFormat::MkvH264:
            return "h264";
        case VideoFormat::WebmVp9:
            return "vp9";
        case VideoFormat::Gif:
            return "gif";
    }
    return "mjpeg";
}

VideoFormat format_for(const std::string& path, const VideoChoice& choice) {
    switch (container_of(path)) {
        case VideoContainer::Mp4:
            return VideoFormat::Mp4H264;
        case VideoContainer::Mkv:
            return VideoFormat::MkvH264;
        case VideoContainer::Webm:
            return VideoFormat::WebmVp9;
        case VideoContainer::Gif:
            return VideoFormat::Gif;
        case VideoContainer::Avi:
        case VideoContainer::Unknown:
            break;
    }
    return choice.codec == "raw" ? VideoFormat::AviRaw : VideoFormat::AviMjpeg;
}

std::string with_extension_of(const std::string& path, VideoFormat format) {
    const VideoContainer wanted = container_of(format);
    const VideoContainer now = container_of(path);
    if (now == wanted || (now == VideoContainer::Unknown && wanted == VideoContainer::Avi))
        return path;
    std::string stem = path;
    if (now != VideoContainer::Unknown)
        stem.resize(path.size() - std::string(extension_of(now)).size());
    return stem + extension_of(wanted);
}
