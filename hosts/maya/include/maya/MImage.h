#pragma once

#include <maya/MStatus.h>
#include <maya/MString.h>

// An image in memory: four channels per pixel, rows bottom-up as Maya stores
// images (row 0 is the bottom of the picture).
class MImage {
 public:
  enum MPixelType { kUnknown = 0, kByte = 1, kFloat = 2 };

  MImage() = default;
  ~MImage();
  MImage(const MImage&) = delete;
  MImage& operator=(const MImage&) = delete;

  // PNG, JPEG, TGA, PSD, BMP and the other formats Maya reads, as kByte.
  MStatus readFromFile(MString pathname, MPixelType type = kByte);
  MStatus create(unsigned int width, unsigned int height, unsigned int channels = 4,
                 MPixelType type = kByte);
  MStatus getSize(unsigned int& width, unsigned int& height) const;
  // Null while empty.
  unsigned char* pixels() const;
  MPixelType pixelType() const;
  unsigned int depth() const;
  void release();

 private:
  unsigned char* pixels_ = nullptr;
  unsigned int width_ = 0;
  unsigned int height_ = 0;
};
