#pragma once

// Exit status of every glimmark command.
constexpr int ExitOk = 0;
// The scene has an error: a parse error, or a size that cannot be traced.
constexpr int ExitSceneError = 1;
// The command line is wrong, or a file could not be read or written.
constexpr int ExitUsageOrFile = 2;
