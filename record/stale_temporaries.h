#pragma once

#include <string>
#include <vector>

// The hidden temporaries (temporary_name_for) a process leaves when it is
// killed before their last rename, on a file system without nameless files.
// While a process writes one it holds a lock on it (flock, which NFS passes
// to the server); the lock goes with the process however it ends, so a
// temporary nobody holds is one nobody will finish.

// Takes the writer's lock on an open temporary. False where the file system
// keeps no locks; the file is then written unmarked (and never removed as
// stale).
bool lock_temporary(int fd);

// Whether `name` (without a folder) is a hidden temporary of the file named
// `target` (its folder is not looked at).
bool is_temporary_of(const std::string& name, const std::string& target);

// Removes, from the folder of each target, the hidden temporaries of that
// target that are regular files of this user and that no process holds. A
// file that cannot be opened or locked, or that changes under the check, is
// left alone. Returns how many were removed. Where flock becomes a POSIX lock
// (NFS) a process does not conflict with its own locks, and closing the
// tested file would drop them: call this before this process makes
// temporaries of its own for these targets (render does, before its first
// frame).
int remove_stale_temporaries(const std::vector<std::string>& targets);
