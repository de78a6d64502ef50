// MImage and MRenderUtil: image files and texture file names.
#include "graph.h"

#include <maya/MImage.h>
#include <maya/MRenderUtil.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

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

MImage::~MImage() {
  release();
}

void MImage::release() {
  delete[] pixels_;
  pixels_ = nullptr;
  width_ = height_ = 0;
}

MStatus MImage::readFromFile(MString pathname, MPixelType type) {
  release();
  if (type != kByte) return MS::kInvalidParameter;
  int width = 0;
  int height = 0;
  int channels = 0;
  stbi_uc* data = stbi_load(pathname.asChar(), &width, &height, &channels, 4);
  if (!data) return MS::kFailure;
  const size_t row = static_cast<size_t>(width) * 4;
  pixels_ = new unsigned char[row * static_cast<size_t>(height)];
  for (int y = 0; y < height; ++y) {
    std::memcpy(pixels_ + row * static_cast<size_t>(height - 1 - y),
                data + row * static_cast<size_t>(y), row);
  }
  stbi_image_free(data);
  width_ = static_cast<unsigned int>(width);
  height_ = static_cast<unsigned int>(height);
  return MS::kSuccess;
}

MStatus MImage::create(unsigned int width, unsigned int height, unsigned int channels,
                       MPixelType type) {
  release();
  if (width == 0 || height == 0 || channels != 4 || type != kByte) return MS::kInvalidParameter;
  pixels_ = new unsigned char[size_t{width} * height * 4]();
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

bool MRenderUtil::exactFileTextureName(const MString& fileName, bool, const MString&,
                                       MString& exactName, MStatus* ReturnStatus) {
  namespace fs = std::filesystem;
  if (ReturnStatus) *ReturnStatus = MS::kSuccess;
  exactName = "";
  const std::string name = fileName.asChar();
  if (name.empty()) return false;
  std::vector<fs::path> candidates = {name};
  if (fs::path(name).is_relative()) {
    for (const std::string& folder : qv::maya::detail::graph().textureSearchPath) {
      candidates.push_back(fs::path(folder) / name);
    }
  }
  for (const fs::path& candidate : candidates) {
    std::error_code error;
    if (fs::is_regular_file(candidate, error)) {
      exactName = candidate.string().c_str();
      return true;
    }
  }
  return false;
}
