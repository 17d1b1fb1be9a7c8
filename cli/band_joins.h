#pragma once

#include <string>
#include <vector>

#include "glimmark/picture_bands.h"

// A band of rows named on join-rows's command line, with its record.
struct NamedBand {
    std::string name;
    glimmark::PictureBand record;
};

// Why the bands, in the order given, are not one picture, for the line after
// "Glimmark Error: ": bands of another size or another picture (scene, frame
// or settings), rows two bands hold, or rows no band holds. Empty when every
// row of the picture is in exactly one band.
std::string bands_problem(const std::vector<NamedBand>& bands);

// The record of the joined picture: every row of the bands' picture.
glimmark::PictureBand whole_picture(const glimmark::PictureBand& band);
