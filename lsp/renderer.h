#pragma once

// `glimmark/render`: the document traced to a PNG on a thread of its own.
// A newer request stops the trace of the one before, which is answered as
// cancelled.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "lsp/protocol.h"

namespace lsp {

// LSP 3.17: a request that was valid and still failed.
inline constexpr int RequestFailed = -32803;

class Renderer {
  public:
    using Send = std::function<void(const Json& message)>;
    explicit Renderer(Send send);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Traces `text` for request `id`; the answer is {width, height, path}
    // with the PNG written to `path`, or {width, height, data} with the PNG
    // in base64 when `path` is empty.
    void start(const Json& id, std::string text, std::string folder, std::string path);

  private:
    struct Job {
        Json id;
        std::string text;
        std::string folder;
        std::string path;
        std::shared_ptr<std::atomic<bool>> stop;
    };
    void work();
    Json traced(const Job& job);

    Send send_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Job> waiting_;
    std::shared_ptr<std::atomic<bool>> running_stop_;
    bool stopping_ = false;
    std::thread thread_;
};

// The bytes in base64, as a data: URI or a JSON string carries them.
std::string base64(const std::string& bytes);

}  // namespace lsp
