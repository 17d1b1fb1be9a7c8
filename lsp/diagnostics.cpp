#include "lsp/diagnostics.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <filesystem>
#include <optional>
#include <utility>

#include "glimmark/engine.h"
#include "lsp/text_positions.h"

namespace lsp {

namespace {

Json range_json(Position start, Position end) {
    return Json{{"start", {{"line", start.line}, {"character", start.character}}},
                {"end", {{"line", end.line}, {"character", end.character}}}};
}

// Where an INCLUDE FILE name leads, from the document's folder.
std::string included_path(const std::string& name, const std::string& folder) {
    std::error_code ec;
    std::filesystem::path path(name);
    if (path.is_relative())
        path =
            (folder.empty() ? std::filesystem::current_path(ec) : std::filesystem::path(folder)) /
            path;
    return path.lexically_normal().string();
}

}  // namespace

void release_freed_memory() {
#if defined(__GLIBC__)
    // A mesh's triangles come in 2 MB slabs; once glibc has seen one freed,
    // it serves the next from the heap, where the freed slabs of each parse
    // stay mapped: the server grew by some 13 MB with every change of a
    // 100,352-triangle scene. Handing them back keeps it at one parse's
    // size.
    malloc_trim(0);
#endif
}

std::mutex& parse_lock() {
    static std::mutex lock;
    return lock;
}

Json diagnostics_for(const std::string& text, const std::string& folder, bool strict) {
    glimmark::Settings settings;
    settings.folder = folder;
    std::optional<glimmark::Diagnostic> error;
    {
        const std::lock_guard<std::mutex> hold(parse_lock());
        if (strict) {
            // The smallest picture: the scene is built, no canvas of the
            // text's own size is made.
            settings.width = 1;
            settings.height = 1;
            settings.threads = 1;
            {
                glimmark::Parsed parsed = glimmark::parse(text, settings);
                error = std::move(parsed.error);
            }
            release_freed_memory();
        } else {
            std::vector<glimmark::Diagnostic> found = glimmark::check(text, settings);
            if (!found.empty()) error = std::move(found.front());
        }
    }
    Json list = Json::array();
    if (!error) return list;
    const LineIndex lines(text);
    const auto start = static_cast<std::size_t>(std::max(0, error->start));
    const auto end = std::max(start, static_cast<std::size_t>(std::max(0, error->end)));
    Json diagnostic{{"range", range_json(lines.position_of(start), lines.position_of(end))},
                    {"severity", 1},
                    {"source", "glimmark"},
                    {"message", error->message}};
    if (!error->include_file.empty()) {
        const Position there{std::max(0, error->include_line - 1), 0};
        diagnostic["relatedInformation"] =
            Json::array({{{"location",
                           {{"uri", uri_of_path(included_path(error->include_file, folder))},
                            {"range", range_json(there, there)}}},
                          {"message", "The word \"" + error->word +
                                          "\" stands here, in the INCLUDE FILE text."}}});
    }
    list.push_back(std::move(diagnostic));
    return list;
}

Checker::Checker(Publish publish, bool strict)
    : publish_(std::move(publish)), strict_(strict), thread_([this] { work(); }) {}

Checker::~Checker() {
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void Checker::schedule(const std::string& uri, int version, std::string text, std::string folder) {
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        const long generation = ++generation_;
        latest_[uri] = generation;
        waiting_[uri] = Job{version, generation, std::move(text), std::move(folder)};
    }
    wake_.notify_all();
}

void Checker::forget(const std::string& uri) {
    const std::lock_guard<std::mutex> hold(mutex_);
    waiting_.erase(uri);
    latest_.erase(uri);
}

void Checker::work() {
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
        wake_.wait(hold, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_) return;
        auto next = waiting_.begin();
        const std::string uri = next->first;
        Job job = std::move(next->second);
        waiting_.erase(next);
        hold.unlock();
        Json found = diagnostics_for(job.text, job.folder, strict_);
        hold.lock();
        const auto latest = latest_.find(uri);
        // A newer text or a close came in while this one was parsed.
        if (latest == latest_.end() || latest->second != job.generation) continue;
        // Published under the lock: a close that comes in now waits, and
        // what it publishes comes after.
        publish_(uri, job.version, found);
    }
}

}  // namespace lsp
