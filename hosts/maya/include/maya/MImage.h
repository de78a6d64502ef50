#pragma once

#include <maya/MObject.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

// An image in memory: four channels per pixel, rows bottom-up as Maya stores
// images (row 0 is the bottom of the picture). A copy holds its own pixels.
class MImage {
 public:
  enum MPixelType { kUnknown, kByte, kFloat };

  MImage();
  ~MImage();
  MImage(const MImage& other);
  MImage& operator=(const MImage& other);

  MStatus create(unsigned int width, unsigned int height, unsigned int channels = 4,
                 MPixelType type = kByte);
  // PNG, JPEG, TGA, PSD, BMP and the other formats Maya reads, as kByte.
  MStatus readFromFile(MString pathname, MPixelType type = kByte);
  MStatus getSize(unsigned int& width, unsigned int& height) const;
  MPixelType pixelType() const;
  // Null while empty.
  unsigned char* pixels() const;
  unsigned int depth() const;
  MStatus release();

 private:
  unsigned char* pixels_;
  unsigned int width_;
  unsigned int height_;
};
