#pragma once

#include <string>

// Hidden temporaries this process has created under a name and not yet
// renamed, kept or removed: what an interrupt handler removes before the
// process ends. A handler may only make async-signal-safe calls, so the names
// sit in a fixed table of slots and removing them takes no lock.

// Holds `path` until release_pending_file; -1 (and the file is not removed on
// interrupt) when every slot is taken or the name is too long for one.
int hold_pending_file(const std::string& path);
// The file was renamed, kept or removed: an interrupt leaves it alone.
void release_pending_file(int slot);
// Unlinks every held file; async-signal-safe, for the handlers of SIGINT,
// SIGTERM and SIGHUP. Slots stay held, so that a later call may try again.
void remove_pending_files();
