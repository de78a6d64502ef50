#include "image_file.h"

#if QV_HAVE_OPENEXR
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#endif

#include <algorithm>
#include <cmath>
#include <exception>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#include <stb/stb_image.h>

namespace qv::image {
namespace {

bool endsWith(const std::string& text, const char* suffix) {
  const std::string end(suffix);
  if (text.size() < end.size()) return false;
  return std::equal(end.rbegin(), end.rend(), text.rbegin(), [](char a, char b) {
    return a == std::tolower(static_cast<unsigned char>(b));
  });
}

unsigned char toByte(float value) {
  const float clamped = std::isnan(value) ? 0.0f : std::min(1.0f, std::max(0.0f, value));
  return static_cast<unsigned char>(std::lround(clamped * 255.0f));
}

bool writePng(const std::string& path, const Rgba& image, std::string* error) {
  std::vector<unsigned char> bytes(image.pixels.size());
  std::transform(image.pixels.begin(), image.pixels.end(), bytes.begin(), toByte);
  if (stbi_write_png(path.c_str(), image.width, image.height, 4, bytes.data(), image.width * 4))
    return true;
  *error = path + ": cannot write the PNG file";
  return false;
}

#if QV_HAVE_OPENEXR

// OpenEXR reports failures by exception; they stop here.
bool writeExr(const std::string& path, const Rgba& image, std::string* error) {
  try {
    Imf::Header header(image.width, image.height);
    header.compression() = Imf::NO_COMPRESSION;
    Imf::FrameBuffer frame;
    const size_t pixel = 4 * sizeof(float);
    const char* channels[] = {"R", "G", "B", "A"};
    char* base = reinterpret_cast<char*>(const_cast<float*>(image.pixels.data()));
    for (int c = 0; c < 4; ++c) {
      header.channels().insert(channels[c], Imf::Channel(Imf::FLOAT));
      frame.insert(channels[c], Imf::Slice(Imf::FLOAT, base + c * sizeof(float), pixel,
                                           pixel * static_cast<size_t>(image.width)));
    }
    Imf::OutputFile file(path.c_str(), header);
    file.setFrameBuffer(frame);
    file.writePixels(image.height);
    return true;
  } catch (const std::exception& e) {
    *error = path + ": cannot write the OpenEXR file: " + e.what();
    return false;
  }
}

bool readExr(const std::string& path, Rgba* image, std::string* error) {
  try {
    Imf::InputFile file(path.c_str());
    const Imath::Box2i window = file.header().dataWindow();
    const int width = window.max.x - window.min.x + 1;
    const int height = window.max.y - window.min.y + 1;
    Rgba result(width, height);
    Imf::FrameBuffer frame;
    const size_t pixel = 4 * sizeof(float);
    const size_t row = pixel * static_cast<size_t>(width);
    char* origin = reinterpret_cast<char*>(result.pixels.data()) -
                   static_cast<ptrdiff_t>(window.min.x) * pixel -
                   static_cast<ptrdiff_t>(window.min.y) * row;
    const char* channels[] = {"R", "G", "B", "A"};
    for (int c = 0; c < 4; ++c) {
      frame.insert(channels[c], Imf::Slice(Imf::FLOAT, origin + c * sizeof(float), pixel, row, 1, 1,
                                           c == 3 ? 1.0 : 0.0));
    }
    file.setFrameBuffer(frame);
    file.readPixels(window.min.y, window.max.y);
    *image = std::move(result);
    return true;
  } catch (const std::exception& e) {
    *error = path + ": cannot read the OpenEXR file: " + e.what();
    return false;
  }
}

#else

// Builds without the OpenEXR library (the Windows one: Debian has none for
// MinGW) still read and write PNG and the other 8-bit formats.
bool writeExr(const std::string& path, const Rgba&, std::string* error) {
  *error = path + ": OpenEXR files are not available in this build";
  return false;
}

bool readExr(const std::string& path, Rgba*, std::string* error) {
  *error = path + ": OpenEXR files are not available in this build";
  return false;
}

#endif

}  // namespace

bool write(const std::string& path, const Rgba& image, std::string* error) {
  if (image.width <= 0 || image.height <= 0 ||
      image.pixels.size() != static_cast<size_t>(image.width) * image.height * 4) {
    *error = path + ": the image is empty or its pixels do not match its size";
    return false;
  }
  if (endsWith(path, ".png")) return writePng(path, image, error);
  if (endsWith(path, ".exr")) return writeExr(path, image, error);
  *error = path + ": unknown image type (use .png or .exr)";
  return false;
}

bool read(const std::string& path, Rgba* image, std::string* error) {
  if (endsWith(path, ".exr")) return readExr(path, image, error);
  int width = 0, height = 0, channels = 0;
  unsigned char* bytes = stbi_load(path.c_str(), &width, &height, &channels, 4);
  if (!bytes) {
    *error = path + ": cannot read the image: " + stbi_failure_reason();
    return false;
  }
  Rgba result(width, height);
  for (size_t i = 0; i < result.pixels.size(); ++i) result.pixels[i] = bytes[i] / 255.0f;
  stbi_image_free(bytes);
  *image = std::move(result);
  return true;
}

}  // namespace qv::image
