#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Baseline JPEG pictures for Motion-JPEG frames (libjpeg-turbo). One encoder
// serves a whole recording.
class MjpegEncoder {
  public:
    MjpegEncoder();
    ~MjpegEncoder();
    MjpegEncoder(const MjpegEncoder&) = delete;
    MjpegEncoder& operator=(const MjpegEncoder&) = delete;

    // False when the library could not be set up (error() says why).
    bool ready() const;
    // rgb: width x height R, G, B bytes, top row first. quality 1 to 100.
    bool encode(const uint8_t* rgb, int width, int height, int quality, std::vector<uint8_t>& out);
    const std::string& error() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};
