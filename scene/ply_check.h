#pragma once

#include <functional>
#include <string_view>

// What is looked at in a PLY file before the Open Asset Import Library reads
// it. The library takes memory for the counts a file states before it reads
// what they count, so a damaged count costs gigabytes; these checks refuse
// such files first, reading the header and body as the library does.

// Why a PLY file of `size` bytes is refused, or null when it is not. `head`
// holds at least its header; where its lists could ask for much, they are
// checked in `whole_file()` (which may give nothing when the file cannot be
// read whole).
const char* ply_file_fault(std::string_view head, long long size,
                           const std::function<std::string_view()>& whole_file);

// The faces the header in `head` declares (its face element's count); 0 when
// it declares none or is no header.
long long ply_declared_faces(std::string_view head);
