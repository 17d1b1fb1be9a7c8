#pragma once

// The kinds of video a recording can be written as: what the studio's Record
// dialog offers and what the extension of the file name selects.
enum class VideoFormat { AviRaw, AviMjpeg, Mp4H264, MkvH264, WebmVp9, Gif };
