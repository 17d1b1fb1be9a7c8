#include "cli/frame_names.h"

#include <cctype>
#include <filesystem>

namespace {

std::string unescape_percent(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        out += s[i];
        if (s[i] == '%' && i + 1 < s.size() && s[i + 1] == '%') ++i;
    }
    return out;
}

std::string padded(int value, const FramePattern& p) {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) >= p.width) return digits;
    const size_t fill = static_cast<size_t>(p.width) - digits.size();
    if (p.left_align) return digits + std::string(fill, ' ');
    if (!p.zero_pad) return std::string(fill, ' ') + digits;
    const bool negative = digits[0] == '-';
    if (negative) digits.erase(0, 1);
    std::string out(negative ? "-" : "");
    out.append(fill, '0');
    out.append(digits);
    return out;
}

// Position of the extension's dot in the last path component, or npos.
size_t extension_dot(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos) return std::string::npos;
    if (slash != std::string::npos && dot < slash) return std::string::npos;
    // A leading dot names a hidden file, not an extension.
    if (dot == (slash == std::string::npos ? 0 : slash + 1)) return std::string::npos;
    return dot;
}

}  // namespace

bool parse_frame_pattern(const std::string& out, FramePattern& pattern, std::string& error) {
    pattern = FramePattern{};
    pattern.text = out;
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] != '%') continue;
        if (i + 1 < out.size() && out[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool zero = false, left = false;
        while (j < out.size() && (out[j] == '0' || out[j] == '-')) {
            if (out[j] == '0') zero = true;
            if (out[j] == '-') left = true;
            ++j;
        }
        int width = 0;
        while (j < out.size() && std::isdigit(static_cast<unsigned char>(out[j]))) {
            width = width * 10 + (out[j] - '0');
            if (width > 64) {
                error = "the frame number in '" + out + "' is too wide";
                return false;
            }
            ++j;
        }
        if (j >= out.size() || (out[j] != 'd' && out[j] != 'i' && out[j] != 'u')) {
            error = "'" + out + "' may only hold one integer conversion such as %04d";
            return false;
        }
        if (pattern.has_conversion) {
            error = "'" + out + "' holds more than one frame number";
            return false;
        }
        pattern.has_conversion = true;
        pattern.start = i;
        pattern.length = j + 1 - i;
        pattern.zero_pad = zero && !left;
        pattern.left_align = left;
        pattern.width = width;
        i = j;
    }
    return true;
}

std::string frame_file_name(const FramePattern& p, int index, int frames) {
    if (p.has_conversion) {
        const std::string before = unescape_percent(p.text.substr(0, p.start));
        const std::string after = unescape_percent(p.text.substr(p.start + p.length));
        return before + padded(index, p) + after;
    }
    const std::string name = unescape_percent(p.text);
    if (frames <= 1) return name;
    FramePattern four;
    four.zero_pad = true;
    four.width = 4;
    std::string number(1, '_');
    number.append(padded(index, four));
    const size_t dot = extension_dot(name);
    if (dot == std::string::npos) return name + number;
    return name.substr(0, dot) + number + name.substr(dot);
}

std::string default_picture_name(const std::string& scene_path) {
    std::filesystem::path p(scene_path);
    p.replace_extension(".png");
    // The name is read as a frame pattern: a percent sign of the scene's own
    // name stands for itself.
    std::string name;
    for (char c : p.string()) {
        name += c;
        if (c == '%') name += '%';
    }
    return name;
}
