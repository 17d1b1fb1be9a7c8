#pragma once

// The recorder's messages and their captions, as the user sees them.
namespace avi_messages {

inline constexpr const char* kOpenFailed =
    "Error opening AVI file for write. Check path and permissions.";
inline constexpr const char* kOpenFailedCaption = "AVI Error";
inline constexpr const char* kStreamFailed =
    "Could not create uncompressed AVI stream for selected window. Switch desktop to high color?";
inline constexpr const char* kStreamFailedCaption = "AVI Error.";
inline constexpr const char* kCompressorFailed =
    "Could not create compressed AVI stream. Select a different codec.";
inline constexpr const char* kCompressorFailedCaption = "Error AVI.";
inline constexpr const char* kFormatFailed =
    "Could not set compressed format on AVI stream. Select another codec.";
inline constexpr const char* kFormatFailedCaption = "Error AVI.";
// Failures of the file itself (a full disk, a name that must not be replaced).
inline constexpr const char* kFileCaption = "AVI Error";

}  // namespace avi_messages
