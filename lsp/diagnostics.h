#pragma once

// The parse's word on a document, as the protocol's diagnostics, and the
// worker that finds it off the message thread.

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "lsp/protocol.h"

namespace lsp {

// The engine parses one text at a time in a process; every parse of the
// server holds this.
std::mutex& parse_lock();

// Returns the memory a building parse freed to the system.
void release_freed_memory();

// The diagnostics of a text whose relative file names are opened in
// `folder` (empty: the current folder). `strict` builds the scene as a trace
// would, so that files which cannot be opened are found too.
Json diagnostics_for(const std::string& text, const std::string& folder, bool strict);

// One thread that parses the documents it is given, newest first come last:
// a document's newer text replaces the one still waiting, and a result for
// a text that has been replaced or closed meanwhile is dropped.
class Checker {
  public:
    using Publish =
        std::function<void(const std::string& uri, int version, const Json& diagnostics)>;
    Checker(Publish publish, bool strict);
    ~Checker();
    Checker(const Checker&) = delete;
    Checker& operator=(const Checker&) = delete;

    void schedule(const std::string& uri, int version, std::string text, std::string folder);
    // The document closed: nothing more is published for it.
    void forget(const std::string& uri);

  private:
    struct Job {
        int version = 0;
        long generation = 0;
        std::string text;
        std::string folder;
    };
    void work();

    Publish publish_;
    bool strict_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<std::string, Job> waiting_;
    std::map<std::string, long> latest_;
    long generation_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace lsp
