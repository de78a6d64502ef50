// Image files, read with stb_image.
#include <maya/MImage.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "input_file.h"
#include "input_limits.h"
#include "png_chunks.h"

// The only copy of stb_image in the stand-in, kept out of the library's
// exports. Its global flip-on-load flag is left alone: it is shared by every
// thread, so MImage turns rows over itself.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_TGA
#define STBI_ONLY_PSD
#define STBI_ONLY_BMP
#include <stb/stb_image.h>

MImage::MImage() : pixels_(nullptr), width_(0), height_(0) {}

MImage::~MImage() {
  release();
}

MImage::MImage(const MImage& other) : MImage() {
  *this = other;
}

MImage& MImage::operator=(const MImage& other) {
  if (this == &other) return *this;
  release();
  if (other.pixels_ && create(other.width_, other.height_) == MS::kSuccess) {
    std::memcpy(pixels_, other.pixels_, size_t{width_} * height_ * 4);
  }
  return *this;
}

MStatus MImage::release() {
  std::free(pixels_);
  pixels_ = nullptr;
  width_ = height_ = 0;
  return MS::kSuccess;
}

namespace {

// stb reads the file through these, so that it never reads past its limit.
int stbRead(void* user, char* data, int size) {
  return static_cast<int>(static_cast<qv::host::InputFile*>(user)->read(
      data, static_cast<std::size_t>(std::max(0, size))));
}
void stbSkip(void* user, int n) {
  static_cast<qv::host::InputFile*>(user)->skip(n);
}
int stbEof(void* user) {
  return static_cast<qv::host::InputFile*>(user)->atEnd() ? 1 : 0;
}
const stbi_io_callbacks kStbCallbacks = {stbRead, stbSkip, stbEof};

}  // namespace

MStatus MImage::readFromFile(MString pathname, MPixelType type) {
  release();
  if (type != kByte) return MS::kInvalidParameter;
  // A regular file of bounded size whose header claims no more pixels than
  // an image may have: a pipe, a device or a forged header would otherwise
  // hang the session or exhaust its memory.
  qv::host::InputFile file;
  std::string error;
  if (!file.open(pathname.asChar(), qv::host::kMaxImageFileBytes, "an image file", &error)) {
    return MS::kFailure;
  }
  if (!qv::host::pngChunksFit(file, &error) || !file.rewind()) return MS::kFailure;
  int width = 0;
  int height = 0;
  int channels = 0;
  if (!stbi_info_from_callbacks(&kStbCallbacks, &file, &width, &height, &channels) ||
      !qv::host::imageSizeRefusal(width, height, file.size()).empty() || !file.rewind()) {
    return MS::kFailure;
  }
  stbi_uc* data = stbi_load_from_callbacks(&kStbCallbacks, &file, &width, &height, &channels, 4);
  if (!data || file.overLimit()) {
    stbi_image_free(data);
    return MS::kFailure;
  }
  // Maya's rows run bottom-up; stb's top-down. Turned over in place, so that
  // a 16k painting takes its 1 GiB once.
  const size_t row = static_cast<size_t>(width) * 4;
  unsigned char* swap = static_cast<unsigned char*>(std::malloc(row));
  if (!swap) {
    stbi_image_free(data);
    return MS::kInsufficientMemory;
  }
  for (int y = 0; y < height / 2; ++y) {
    unsigned char* top = data + row * static_cast<size_t>(y);
    unsigned char* bottom = data + row * static_cast<size_t>(height - 1 - y);
    std::memcpy(swap, top, row);
    std::memcpy(top, bottom, row);
    std::memcpy(bottom, swap, row);
  }
  std::free(swap);
  pixels_ = data;  // stb allocates with malloc
  width_ = static_cast<unsigned int>(width);
  height_ = static_cast<unsigned int>(height);
  return MS::kSuccess;
}

MStatus MImage::create(unsigned int width, unsigned int height, unsigned int channels,
                       MPixelType type) {
  release();
  if (width == 0 || height == 0 || channels != 4 || type != kByte) return MS::kInvalidParameter;
  pixels_ = static_cast<unsigned char*>(std::calloc(size_t{width} * height, 4));
  if (!pixels_) return MS::kInsufficientMemory;
  width_ = width;
  height_ = height;
  return MS::kSuccess;
}

MStatus MImage::getSize(unsigned int& width, unsigned int& height) const {
  width = width_;
  height = height_;
  return pixels_ ? MS::kSuccess : MS::kFailure;
}

unsigned char* MImage::pixels() const {
  return pixels_;
}

MImage::MPixelType MImage::pixelType() const {
  return pixels_ ? kByte : kUnknown;
}

unsigned int MImage::depth() const {
  return pixels_ ? 4 : 0;
}
