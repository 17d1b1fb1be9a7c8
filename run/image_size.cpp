#include "run/image_size.h"

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

#include "scene/render_job.h"

namespace {

// Bytes per pixel a frame may need at once: the trace surface, a copy of it
// for whoever saves or records the picture, the picture's own bytes and the
// encoder's (a 16384 x 16384 render to PNG peaks at 13.4).
constexpr double FrameBytesPerPixel = 14.0;

bool fits_in_memory(int width, int height) {
#if defined(__unix__) || defined(__APPLE__)
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGESIZE);
    if (pages > 0 && page_size > 0)
        return static_cast<double>(width) * height * FrameBytesPerPixel <=
               static_cast<double>(pages) * static_cast<double>(page_size);
#endif
    return true;
}

}  // namespace

std::string image_size_problem(int width, int height) {
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width < 1 || height < 1 || width > MaxImageSide || height > MaxImageSide)
        return "Image size " + size + " cannot be traced: WIDTH and HEIGHT must be 1 to " +
               std::to_string(MaxImageSide) + ".";
    if (!fits_in_memory(width, height))
        return "Image size " + size + " needs more memory than this machine has.";
    return {};
}
