// Image files as the stand-in hosts read and write them: 8-bit PNG for what
// a viewer shows, 32-bit float OpenEXR for data a compositor works with.
#pragma once

#include <string>
#include <vector>

namespace qv::image {

// Four float channels per pixel, rows top-down (row 0 is the top of the
// picture, as image files store them).
struct Rgba {
  int width = 0;
  int height = 0;
  std::vector<float> pixels;

  Rgba() = default;
  Rgba(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 4, 0.0f) {}
  float* at(int x, int y) { return &pixels[(static_cast<size_t>(y) * width + x) * 4]; }
  const float* at(int x, int y) const { return &pixels[(static_cast<size_t>(y) * width + x) * 4]; }
};

// By the file name's extension: ".png" (each channel clamped to [0, 1] and
// scaled to 0..255 with rounding: no transfer curve, so a value read from an
// 8-bit file is written back unchanged) or ".exr" (float, uncompressed RGBA).
// False with a message naming the file on failure.
bool write(const std::string& path, const Rgba& image, std::string* error);

// PNG, JPEG, TGA, BMP (8-bit channels divided by 255) or OpenEXR.
bool read(const std::string& path, Rgba* image, std::string* error);

}  // namespace qv::image
