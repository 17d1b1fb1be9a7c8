#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

// What is looked at in a PLY file before the Open Asset Import Library reads
// it. The library takes memory for the counts a file states before it reads
// what they count, so a damaged count costs gigabytes; these checks refuse
// such files first, reading the header and body as the library does.

// Reads up to `n` bytes at `offset` into `out`; how many it read.
using PlyReadAt = std::function<size_t(long long offset, char* out, size_t n)>;

// Why a PLY file of `size` bytes is refused, or null when it is not. `head`
// holds at least its header. A text body's lists are checked in
// `whole_file()` (which may give nothing when the file cannot be mapped), a
// binary body's through `read_at`, a piece at a time.
const char* ply_file_fault(std::string_view head, long long size,
                           const std::function<std::string_view()>& whole_file,
                           const PlyReadAt& read_at);

// The faces the header in `head` declares (its face element's count); 0 when
// it declares none or is no header.
long long ply_declared_faces(std::string_view head);
