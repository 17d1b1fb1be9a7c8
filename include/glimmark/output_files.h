#pragma once

// The files the program writes go through hidden temporaries in their own
// folder and take their names only when they are complete. A front end that
// ends early removes those it holds; one that starts over removes what a
// killed run left behind.

#include <string>
#include <vector>

namespace glimmark {

// The folder a path names its file in: "." for a bare name.
std::string folder_of(const std::string& path);

// Unlinks the hidden temporaries this process holds and has not finished;
// async-signal-safe, for the handlers of SIGINT, SIGTERM and SIGHUP.
void remove_pending_files();

// Removes, from the folder of each target, the hidden temporaries of that
// target that no process holds (what a run killed before its last rename
// left). Call it before this process makes temporaries of its own for these
// targets. Returns how many were removed.
int remove_stale_temporaries(const std::vector<std::string>& targets);

}  // namespace glimmark
