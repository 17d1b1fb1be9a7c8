#include "glimmark/output_files.h"

#include "record/pending_files.h"
#include "record/stale_temporaries.h"
#include "record/target_file.h"

namespace glimmark {

std::string folder_of(const std::string& path) { return ::folder_of(path); }

void remove_pending_files() { ::remove_pending_files(); }

int remove_stale_temporaries(const std::vector<std::string>& targets) {
    return ::remove_stale_temporaries(targets);
}

}  // namespace glimmark
