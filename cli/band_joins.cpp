#include "cli/band_joins.h"

#include <algorithm>

namespace {

std::string rows_text(int first, int last) {
    return first == last ? "row " + std::to_string(first)
                         : "rows " + std::to_string(first) + "-" + std::to_string(last);
}

std::string size_text(const glimmark::PictureBand& r) {
    return std::to_string(r.width) + " x " + std::to_string(r.height);
}

std::string band_text(const NamedBand& b) {
    return "'" + b.name + "' (" + rows_text(b.record.first_row, b.record.last_row) + ")";
}

}  // namespace

std::string bands_problem(const std::vector<NamedBand>& bands) {
    if (bands.empty()) return "no band given";
    const glimmark::PictureBand& first = bands.front().record;
    for (const NamedBand& b : bands) {
        if (b.record.width != first.width || b.record.height != first.height)
            return "'" + b.name + "' is " + size_text(b.record) + ", the bands before it " +
                   size_text(first) + "; bands of one picture have its size";
        if (b.record.scene != first.scene)
            return band_text(b) + " is of another picture than " + band_text(bands.front()) +
                   ": another scene, frame or setting";
    }
    std::vector<const NamedBand*> order;
    for (const NamedBand& b : bands)
        order.push_back(&b);
    std::stable_sort(order.begin(), order.end(), [](const NamedBand* a, const NamedBand* b) {
        return a->record.first_row < b->record.first_row;
    });
    const std::string of = " of the " + size_text(first) + " picture";
    int next = 0;  // the first row no band before holds
    const NamedBand* before = nullptr;
    for (const NamedBand* b : order) {
        const glimmark::PictureBand& r = b->record;
        if (r.first_row < next)
            return band_text(*before) + " and " + band_text(*b) + " both hold " +
                   rows_text(r.first_row, std::min(next - 1, r.last_row));
        if (r.first_row > next)
            return "no band holds " + rows_text(next, r.first_row - 1) + of +
                   (before == nullptr
                        ? "; the first band, '" + b->name + "', starts at row " +
                              std::to_string(r.first_row)
                        : ", between " + band_text(*before) + " and " + band_text(*b));
        next = r.last_row + 1;
        before = b;
    }
    if (next < first.height)
        return "no band holds " + rows_text(next, first.height - 1) + of + "; the last band, '" +
               before->name + "', ends at row " + std::to_string(next - 1);
    return "";
}

glimmark::PictureBand whole_picture(const glimmark::PictureBand& band) {
    glimmark::PictureBand whole = band;
    whole.first_row = 0;
    whole.last_row = band.height - 1;
    return whole;
}
