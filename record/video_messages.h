#pragma once

// The caption of the messages of recordings in the formats other than AVI.
namespace video_messages {

inline constexpr const char* kCaption = "Video Error";
// What is recorded all the same, but will not play as traced.
inline constexpr const char* kWarningCaption = "Video Warning";

}  // namespace video_messages
