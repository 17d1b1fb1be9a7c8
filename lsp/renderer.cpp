#include "lsp/renderer.h"

#include <cstdio>
#include <vector>

#include "glimmark/engine.h"
#include "glimmark/picture_file.h"
#include "lsp/diagnostics.h"

namespace lsp {

namespace {

Json cancelled(const Json& id) {
    return error_response(id, RequestCancelled, "A newer render request replaced this one.");
}

// The PNG file's bytes, through a temporary file the picture writer fills.
bool png_bytes(int width, int height, const std::vector<uint32_t>& pixels, std::string& bytes,
               std::string& error) {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) {
        error = "No temporary file for the picture.";
        return false;
    }
    bool ok = glimmark::write_picture_to(file, "the picture", glimmark::PictureFormat::Png, width,
                                         height, pixels, error);
    if (ok) {
        std::rewind(file);
        char piece[65536];
        std::size_t got = 0;
        while ((got = std::fread(piece, 1, sizeof piece, file)) > 0)
            bytes.append(piece, got);
        ok = !std::ferror(file);
        if (!ok) error = "The picture could not be read back.";
    }
    std::fclose(file);
    return ok;
}

}  // namespace

std::string base64(const std::string& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                           static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += digits[v >> 18];
        out += digits[(v >> 12) & 63];
        out += digits[(v >> 6) & 63];
        out += digits[v & 63];
    }
    if (i < bytes.size()) {
        uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size())
            v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        out += digits[v >> 18];
        out += digits[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

Renderer::Renderer(Send send) : send_(std::move(send)), thread_([this] { work(); }) {}

Renderer::~Renderer() {
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
        if (running_stop_) *running_stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void Renderer::start(const Json& id, std::string text, std::string folder, std::string path) {
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        if (running_stop_) *running_stop_ = true;
        if (waiting_) send_(cancelled(waiting_->id));
        waiting_ = Job{id, std::move(text), std::move(folder), std::move(path),
                       std::make_shared<std::atomic<bool>>(false)};
    }
    wake_.notify_all();
}

void Renderer::work() {
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
        wake_.wait(hold, [this] { return stopping_ || waiting_; });
        if (stopping_) return;
        Job job = std::move(*waiting_);
        waiting_.reset();
        running_stop_ = job.stop;
        hold.unlock();
        const Json answer = traced(job);
        release_freed_memory();
        hold.lock();
        running_stop_.reset();
        send_(answer);
    }
}

Json Renderer::traced(const Job& job) {
    glimmark::Settings settings;
    settings.folder = job.folder;
    glimmark::Parsed parsed;
    {
        const std::lock_guard<std::mutex> hold(parse_lock());
        if (*job.stop) return cancelled(job.id);
        parsed = glimmark::parse(job.text, settings);
    }
    if (parsed.error)
        return error_response(job.id, RequestFailed, "Parse Error: " + parsed.error->text);
    if (!parsed.frame) return error_response(job.id, RequestFailed, parsed.refusal);
    glimmark::TraceControl control;
    control.stop = job.stop.get();
    const glimmark::Picture picture = parsed.frame->trace(control);
    if (picture.stopped || *job.stop) return cancelled(job.id);
    std::vector<uint32_t> pixels(static_cast<std::size_t>(picture.width) *
                                 static_cast<std::size_t>(picture.height));
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint32_t>(picture.rgb[3 * i]) |
                    static_cast<uint32_t>(picture.rgb[3 * i + 1]) << 8 |
                    static_cast<uint32_t>(picture.rgb[3 * i + 2]) << 16;
    std::string error;
    Json result{{"width", picture.width}, {"height", picture.height}};
    if (!job.path.empty()) {
        if (!glimmark::write_picture(job.path, glimmark::PictureFormat::Png, picture.width,
                                     picture.height, pixels, error))
            return error_response(job.id, RequestFailed, error);
        result["path"] = job.path;
    } else {
        std::string bytes;
        if (!png_bytes(picture.width, picture.height, pixels, bytes, error))
            return error_response(job.id, RequestFailed, error);
        result["data"] = base64(bytes);
    }
    return response(job.id, result);
}

}  // namespace lsp
