#pragma once

#include <string>

// The scene the stop tests trace over and over: two shapes, a light and the
// given antialiasing, a few milliseconds a frame at small sizes.
inline std::string stop_test_scene(int width, int height, int antialiasing) {
    return "TRACER WIDTH " + std::to_string(width) + " HEIGHT " + std::to_string(height) +
           " ANTIALIASING " + std::to_string(antialiasing) +
           " END_TRACER\n"
           "SCENE BACKGROUND_COLOR 0.2 0.3 0.4\n"
           "  CAMERA TRANSLATE 0 0 -4 END_CAMERA\n"
           "  LIGHT TRANSLATE -3 4 -3 STRENGTH 20 END_LIGHT\n"
           "  MATERIAL DIFFUSE 0.9 0.3 0.2 END_MATERIAL\n"
           "  SPHERE TRANSLATE 0.8 0 0 END_SPHERE\n"
           "  MATERIAL DIFFUSE 0.3 0.8 0.3 REFLECTION 0.3 END_MATERIAL\n"
           "  CUBE TRANSLATE -1.2 0.3 1 ROTATE 0.4 0.6 0 END_CUBE\n"
           "END_SCENE\n";
}
