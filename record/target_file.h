#pragma once

#include <cstddef>
#include <string>

// What stands at the name a recording is to be saved under. The name comes
// from the document, which may come from anyone: only an AVI file (or
// nothing) may be replaced.
enum class TargetKind { Missing, Avi, NotAvi, Folder };

TargetKind classify_target(const std::string& path);

// The longest part of a file's name its temporary's name keeps.
constexpr size_t TemporaryBaseLength = 200;

// A fresh name in the same folder (so that the final rename stays within one
// file system), hidden and distinct for every call in this process.
std::string temporary_name_for(const std::string& path);

// The folder a path names its file in: "." for a bare name.
std::string folder_of(const std::string& path);

// Whether the file is a video in one of the containers recordings are
// written in (AVI, MP4, Matroska or WebM, GIF), by its first bytes: the
// files a recording of another format may replace.
bool is_video_file(const std::string& path);
