#include "glimmark/exr_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <vector>

#ifdef GLIMMARK_OPENEXR
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#endif

namespace glimmark {

bool is_exr_name(const std::string& path) {
    if (path.size() < 4) return false;
    std::string end = path.substr(path.size() - 4);
    std::transform(end.begin(), end.end(), end.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return end == ".exr";
}

#ifdef GLIMMARK_OPENEXR

bool exr_supported() { return true; }

namespace {

// Writes the channels to `path`; throws what the library throws.
void write_channels(const std::string& path, const Picture& picture) {
    const int w = picture.width;
    const int h = picture.height;
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    Imf::Header header(w, h);
    Imf::FrameBuffer frame;
    // R G B: the linear colour, or the bytes brought back to 0..1.
    std::vector<float> rgb_bytes;
    const float* rgb = picture.linear.data();
    if (picture.linear.size() != 3 * count) {
        rgb_bytes.resize(3 * count);
        for (size_t i = 0; i < rgb_bytes.size() && i < picture.rgb.size(); ++i)
            rgb_bytes[i] = static_cast<float>(picture.rgb[i]) / 255.0f;
        rgb = rgb_bytes.data();
    }
    const size_t pixel3 = 3 * sizeof(float);
    const size_t row3 = pixel3 * static_cast<size_t>(w);
    const char* names[3] = {"R", "G", "B"};
    for (int c = 0; c < 3; ++c) {
        header.channels().insert(names[c], Imf::Channel(Imf::FLOAT));
        frame.insert(names[c], Imf::Slice(Imf::FLOAT, (char*)(rgb + c), pixel3, row3));
    }
    if (picture.depth.size() == count) {
        header.channels().insert("Z", Imf::Channel(Imf::FLOAT));
        frame.insert("Z", Imf::Slice(Imf::FLOAT, (char*)picture.depth.data(), sizeof(float),
                                     sizeof(float) * static_cast<size_t>(w)));
    }
    if (picture.normal.size() == 3 * count) {
        const char* normal[3] = {"N.X", "N.Y", "N.Z"};
        for (int c = 0; c < 3; ++c) {
            header.channels().insert(normal[c], Imf::Channel(Imf::FLOAT));
            frame.insert(normal[c],
                         Imf::Slice(Imf::FLOAT, (char*)(picture.normal.data() + c), pixel3, row3));
        }
    }
    std::vector<unsigned int> ids;
    if (picture.object.size() == count) {
        ids.resize(count);
        for (size_t i = 0; i < count; ++i)
            ids[i] = static_cast<unsigned int>(picture.object[i] + 1);
        header.channels().insert("object", Imf::Channel(Imf::UINT));
        frame.insert("object", Imf::Slice(Imf::UINT, (char*)ids.data(), sizeof(unsigned int),
                                          sizeof(unsigned int) * static_cast<size_t>(w)));
    }
    Imf::OutputFile file(path.c_str(), header);
    file.setFrameBuffer(frame);
    file.writePixels(h);
}

}  // namespace

bool write_exr(const std::string& path, const Picture& picture, std::string& error) {
    if (picture.width < 1 || picture.height < 1) {
        error = "Could not write image '" + path + "': the picture is empty";
        return false;
    }
    // Written beside the file and renamed over it once whole.
    const std::string part = path + ".part";
    try {
        write_channels(part, picture);
    } catch (const std::exception& e) {
        std::remove(part.c_str());
        error = "Could not write image '" + path + "': " + e.what();
        return false;
    }
    if (std::rename(part.c_str(), path.c_str()) != 0) {
        std::remove(part.c_str());
        error = "Could not write image '" + path + "': it could not be renamed into place";
        return false;
    }
    return true;
}

#else

bool exr_supported() { return false; }

bool write_exr(const std::string& path, const Picture&, std::string& error) {
    error = "Could not write image '" + path + "': this build writes no OpenEXR files";
    return false;
}

#endif

}  // namespace glimmark
