#pragma once

// The program's version, as the command line and the studio print it.
inline constexpr const char* GlimmarkVersion = "0.1";
