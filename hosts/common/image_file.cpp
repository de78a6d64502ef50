#include "image_file.h"

#if QV_HAVE_OPENEXR
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#endif

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <exception>
#include <new>

#include "input_file.h"
#include "input_limits.h"
#include "png_chunks.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

// The formats the hosts read, and no more decoder than they need.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_TGA
#define STBI_ONLY_BMP
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
  // OpenEXR opens the file by name; it is looked at first so that a pipe or
  // a device is refused rather than read.
  {
    host::InputFile probe;
    if (!probe.open(path, host::kMaxImageFileBytes, "an image file", error)) return false;
  }
  try {
    Imf::InputFile file(path.c_str());
    const Imath::Box2i window = file.header().dataWindow();
    const std::int64_t wide = std::int64_t{window.max.x} - window.min.x + 1;
    const std::int64_t high = std::int64_t{window.max.y} - window.min.y + 1;
    if (wide < 1 || high < 1 || wide > INT_MAX || high > INT_MAX) {
      *error = path + ": the OpenEXR file's data window is empty or too wide";
      return false;
    }
    if (const std::string over =
            host::pixelLimitMessage(wide, high, host::kMaxImagePixels, "an image");
        !over.empty()) {
      *error = path + ": " + over;
      return false;
    }
    const int width = static_cast<int>(wide);
    const int height = static_cast<int>(high);
    Rgba result(width, height);
    // OpenEXR addresses a pixel by its coordinates in the data window,
    // which need not hold the origin; Slice::Make takes the buffer of the
    // window's own size and does that offsetting in its own wide integers,
    // so no pointer outside the pixels is formed here.
    Imf::FrameBuffer frame;
    const size_t pixel = 4 * sizeof(float);
    const size_t row = pixel * static_cast<size_t>(width);
    const char* channels[] = {"R", "G", "B", "A"};
    for (int c = 0; c < 4; ++c) {
      frame.insert(channels[c], Imf::Slice::Make(Imf::FLOAT, result.pixels.data() + c, window,
                                                 pixel, row, 1, 1, c == 3 ? 1.0 : 0.0));
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

namespace {

// stb reads through these, so that it never reads past the file's limit.
int stbRead(void* user, char* data, int size) {
  return static_cast<int>(
      static_cast<host::InputFile*>(user)->read(data, static_cast<std::size_t>(std::max(0, size))));
}
void stbSkip(void* user, int n) {
  static_cast<host::InputFile*>(user)->skip(n);
}
int stbEof(void* user) {
  return static_cast<host::InputFile*>(user)->atEnd() ? 1 : 0;
}
const stbi_io_callbacks kStbCallbacks = {stbRead, stbSkip, stbEof};

bool readEightBit(const std::string& path, Picture* picture, std::string* error) {
  host::InputFile file;
  if (!file.open(path, host::kMaxImageFileBytes, "an image file", error)) return false;
  std::string why;
  if (!host::pngChunksFit(file, &why) || !file.rewind()) {
    *error = path + ": " + (why.empty() ? "cannot read the image" : why);
    return false;
  }
  // The header first: a file that claims more pixels than an image may
  // have is refused before anything is allocated for them.
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_callbacks(&kStbCallbacks, &file, &width, &height, &channels)) {
    *error = path + ": cannot read the image: " + stbi_failure_reason();
    return false;
  }
  // stb takes a BMP of no rows or columns as read.
  if (const std::string why = host::imageSizeRefusal(width, height, file.size()); !why.empty()) {
    *error = path + ": " + why;
    return false;
  }
  if (!file.rewind()) {
    *error = path + ": cannot read the image";
    return false;
  }
  unsigned char* bytes =
      stbi_load_from_callbacks(&kStbCallbacks, &file, &width, &height, &channels, 4);
  if (!bytes) {
    const char* reason = stbi_failure_reason();
    if (reason != nullptr && std::string(reason) == "outofmem") {
      *error = path + ": not enough memory to read its " + std::to_string(width) + " x " +
               std::to_string(height) + " pixels";
    } else {
      *error = path + ": cannot read the image: " + (reason ? reason : "unknown error");
    }
    return false;
  }
  std::shared_ptr<const unsigned char> owned(
      bytes, [](const unsigned char* p) { stbi_image_free(const_cast<unsigned char*>(p)); });
  if (file.overLimit()) {
    *error = file.overLimitMessage();
    return false;
  }
  *picture = Picture::fromBytes(width, height, std::move(owned));
  return true;
}

}  // namespace

Picture Picture::fromBytes(int width, int height, std::shared_ptr<const unsigned char> bytes) {
  Picture picture;
  picture.width_ = width;
  picture.height_ = height;
  picture.bytes_ = bytes.get();
  picture.owner_ = std::move(bytes);
  return picture;
}

Picture Picture::fromFloats(Rgba image) {
  Picture picture;
  picture.width_ = image.width;
  picture.height_ = image.height;
  auto owned = std::make_shared<const std::vector<float>>(std::move(image.pixels));
  picture.floats_ = owned->data();
  picture.owner_ = std::move(owned);
  return picture;
}

Picture Picture::fromRed(int width, int height, std::shared_ptr<const float> values) {
  Picture picture;
  picture.width_ = width;
  picture.height_ = height;
  picture.red_ = values.get();
  picture.owner_ = std::move(values);
  return picture;
}

std::size_t Picture::byteSize() const {
  if (empty()) return 0;
  const std::size_t texels = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  if (red_) return texels * sizeof(float);
  return floats_ ? texels * 4 * sizeof(float) : texels * 4;
}

void Picture::channelRange(float lo[4], float hi[4]) const {
  if (empty()) return;
  const std::size_t values =
      static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4;
  if (red_) {
    // The order one pass over the widened texels meets the values in.
    for (std::size_t i = 0; i < values / 4; ++i) {
      lo[0] = std::min(lo[0], red_[i]);
      hi[0] = std::max(hi[0], red_[i]);
    }
    lo[1] = std::min(lo[1], 0.0f);
    hi[1] = std::max(hi[1], 0.0f);
    lo[2] = std::min(lo[2], 0.0f);
    hi[2] = std::max(hi[2], 0.0f);
    lo[3] = std::min(lo[3], 1.0f);
    hi[3] = std::max(hi[3], 1.0f);
    return;
  }
  if (floats_) {
    // NaNs make std::min and std::max depend on order: the same order as
    // one pass over the widened pixels.
    for (std::size_t i = 0; i < values; ++i) {
      lo[i % 4] = std::min(lo[i % 4], floats_[i]);
      hi[i % 4] = std::max(hi[i % 4], floats_[i]);
    }
    return;
  }
  // Widening bytes keeps their order and makes no NaN, so the extreme
  // bytes widen to the extreme values.
  unsigned char least[4] = {255, 255, 255, 255};
  unsigned char most[4] = {0, 0, 0, 0};
  for (std::size_t i = 0; i < values; ++i) {
    least[i % 4] = std::min(least[i % 4], bytes_[i]);
    most[i % 4] = std::max(most[i % 4], bytes_[i]);
  }
  for (int c = 0; c < 4; ++c) {
    lo[c] = std::min(lo[c], least[c] / 255.0f);
    hi[c] = std::max(hi[c], most[c] / 255.0f);
  }
}

Rgba Picture::toRgba() const {
  if (empty()) return Rgba();
  Rgba result(width_, height_);
  if (red_) {
    for (std::size_t i = 0; i < result.pixels.size() / 4; ++i) {
      result.pixels[i * 4] = red_[i];
      result.pixels[i * 4 + 3] = 1.0f;
    }
  } else if (floats_) {
    std::copy(floats_, floats_ + result.pixels.size(), result.pixels.begin());
  } else {
    for (std::size_t i = 0; i < result.pixels.size(); ++i) result.pixels[i] = bytes_[i] / 255.0f;
  }
  return result;
}

bool read(const std::string& path, Picture* picture, std::string* error) {
  try {
    if (endsWith(path, ".exr")) {
      Rgba image;
      if (!readExr(path, &image, error)) return false;
      *picture = Picture::fromFloats(std::move(image));
      return true;
    }
    return readEightBit(path, picture, error);
  } catch (const std::bad_alloc&) {
    *error = path + ": not enough memory to read the image";
    return false;
  }
}

bool read(const std::string& path, Rgba* image, std::string* error) {
  Picture picture;
  if (!read(path, &picture, error)) return false;
  try {
    *image = picture.toRgba();
  } catch (const std::bad_alloc&) {
    *error = path + ": not enough memory to widen its " + std::to_string(picture.width()) + " x " +
             std::to_string(picture.height()) + " pixels to float";
    return false;
  }
  return true;
}

}  // namespace qv::image
