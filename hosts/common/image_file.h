// Image files as the stand-in hosts read and write them: 8-bit PNG for what
// a viewer shows, 32-bit float OpenEXR for data a compositor works with.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
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

// An image as read from a file, at the file's own depth: the 8-bit formats
// keep their bytes (4 per pixel), OpenEXR its floats (16 per pixel). A 16k
// painting is 1 GiB as bytes, 4 GiB widened, so the hosts keep it as read
// and widen one pixel per lookup, exactly as read() widens an Rgba. Copies
// share the pixels, which never change once read.
class Picture {
 public:
  Picture() = default;
  // Takes width * height * 4 channel bytes, rows top-down.
  static Picture fromBytes(int width, int height, std::shared_ptr<const unsigned char> bytes);
  static Picture fromFloats(Rgba image);
  // Takes width * height floats, rows top-down: one channel, each texel
  // reading (d, 0, 0, 1) as Direct3D and Vulkan return an R32_FLOAT texel,
  // kept at a quarter of what widening it would take.
  static Picture fromRed(int width, int height, std::shared_ptr<const float> values);

  int width() const { return width_; }
  int height() const { return height_; }
  bool empty() const { return width_ <= 0 || height_ <= 0; }
  bool isFloat() const { return floats_ != nullptr || red_ != nullptr; }
  // What the pixels take in memory.
  std::size_t byteSize() const;

  // Pixel (x, y), 0 <= x < width, 0 <= y < height: 8-bit channels divided
  // by 255, as read(Rgba) gives them.
  std::array<float, 4> texel(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                           static_cast<std::size_t>(x)) *
                          4;
    if (red_) return {red_[i / 4], 0.0f, 0.0f, 1.0f};
    if (floats_) return {floats_[i], floats_[i + 1], floats_[i + 2], floats_[i + 3]};
    return {bytes_[i] / 255.0f, bytes_[i + 1] / 255.0f, bytes_[i + 2] / 255.0f,
            bytes_[i + 3] / 255.0f};
  }

  // Widens each channel's range by the picture's: lo[c] = min(lo[c], every
  // value of channel c), hi[c] likewise, in the order std::min and
  // std::max meet them pixel by pixel.
  void channelRange(float lo[4], float hi[4]) const;

  // The whole picture widened to float.
  Rgba toRgba() const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::shared_ptr<const void> owner_;
  const unsigned char* bytes_ = nullptr;
  const float* floats_ = nullptr;
  const float* red_ = nullptr;
};

// By the file name's extension: ".png" (each channel clamped to [0, 1] and
// scaled to 0..255 with rounding: no transfer curve, so a value read from an
// 8-bit file is written back unchanged) or ".exr" (float, uncompressed RGBA).
// False with a message naming the file on failure.
bool write(const std::string& path, const Rgba& image, std::string* error);

// PNG, JPEG, TGA, BMP (8-bit channels divided by 255) or OpenEXR, from a
// regular file of at most host::kMaxImageFileBytes holding at most
// host::kMaxImagePixels pixels; anything else is refused with a message
// naming the file, before its pixels are decoded.
bool read(const std::string& path, Picture* picture, std::string* error);
// read(Picture) widened to float: 16 bytes a pixel.
bool read(const std::string& path, Rgba* image, std::string* error);

}  // namespace qv::image
