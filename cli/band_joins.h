#pragma once

#include <string>
#include <vector>

#include "record/band_record.h"

// A band of rows named on join-rows's command line, with its record.
struct NamedBand {
    std::string name;
    BandRecord record;
};

// Why the bands, in the order given, are not one picture, for the line after
// "Glimmark Error: ": bands of another size or another picture (scene, frame
// or settings), rows two bands hold, or rows no band holds. Empty when every
// row of the picture is in exactly one band.
std::string bands_problem(const std::vector<NamedBand>& bands);

// The record of the joined picture: every row of the bands' picture.
BandRecord whole_picture(const BandRecord& band);
