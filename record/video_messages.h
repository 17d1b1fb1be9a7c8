#pragma once

// The caption of the messages of recordings in the formats other than AVI.
namespace video_messages {

inline constexpr const char* kCaption = "Video Error";

}  // namespace video_messages
