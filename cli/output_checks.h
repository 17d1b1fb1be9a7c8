#pragma once

#include <string>
#include <vector>

// Checks of an output name made before anything is traced, so that a run
// that cannot save its work ends at once.

// Why no file can be made at `path` (its folder is missing, is no folder or
// is not writable, or the name is a folder); empty when one can.
std::string output_path_problem(const std::string& path);

// What stands at the name of a picture about to be written.
enum class ExistingPicture {
    None,
    // A PNG or binary PPM file: a picture of an earlier run, replaced freely.
    Picture,
    // Anything else (a document, a device): replaced only when forced.
    Other,
};

ExistingPicture existing_picture(const std::string& path);

// Whether the file at `path` is a whole picture of width x height: a PNG
// that decodes to its end (IEND), or a binary PPM holding every sample. A
// missing, empty, cut-short or other-sized file is not (what -n traces again).
bool picture_is_complete(const std::string& path, int width, int height);
// The same for the bytes of a file already read.
bool picture_bytes_complete(const std::vector<unsigned char>& file, int width, int height);
