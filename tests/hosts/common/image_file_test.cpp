#include "image_file.h"

#include <gtest/gtest.h>

#if QV_HAVE_OPENEXR
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#endif

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

std::string scratch(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string("qv_image_") + name)).string();
}

// Every pixel differs, so a flipped or shifted image cannot pass.
qv::image::Rgba ramp(int width, int height) {
  qv::image::Rgba image(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      float* p = image.at(x, y);
      p[0] = x / 255.0f;
      p[1] = y / 255.0f;
      p[2] = (x * 7 + y * 13) % 256 / 255.0f;
      p[3] = (255 - x) / 255.0f;
    }
  }
  return image;
}

TEST(ImageFile, PngKeepsEightBitValuesAndClampsTheRest) {
  qv::image::Rgba image = ramp(5, 3);
  image.at(0, 0)[0] = 1.7f;
  image.at(1, 0)[0] = -0.3f;
  const std::string path = scratch("ramp.png");
  std::string error;
  ASSERT_TRUE(qv::image::write(path, image, &error)) << error;
  qv::image::Rgba back;
  ASSERT_TRUE(qv::image::read(path, &back, &error)) << error;
  ASSERT_EQ(back.width, 5);
  ASSERT_EQ(back.height, 3);
  image.at(0, 0)[0] = 1.0f;
  image.at(1, 0)[0] = 0.0f;
  for (size_t i = 0; i < image.pixels.size(); ++i) EXPECT_EQ(back.pixels[i], image.pixels[i]) << i;
  std::remove(path.c_str());
}

TEST(ImageFile, ExrKeepsFloatsExactly) {
  qv::image::Rgba image = ramp(4, 6);
  image.at(3, 5)[1] = -2.5f;
  image.at(2, 1)[2] = 1e6f;
  const std::string path = scratch("ramp.exr");
  std::string error;
  ASSERT_TRUE(qv::image::write(path, image, &error)) << error;
  qv::image::Rgba back;
  ASSERT_TRUE(qv::image::read(path, &back, &error)) << error;
  ASSERT_EQ(back.width, 4);
  ASSERT_EQ(back.height, 6);
  EXPECT_EQ(back.pixels, image.pixels);
  std::remove(path.c_str());
}

#if QV_HAVE_OPENEXR
// A picture's data window may lie anywhere in OpenEXR's coordinates: away
// from the origin, at negative coordinates, or near the ends of the integer
// range OpenEXR takes (it refuses coordinates of INT_MAX / 2 or more in
// size). Whatever it is, the first pixel read is the window's corner and
// every pixel keeps its place.
TEST(ImageFile, ExrReadsTheDataWindowWhereverItLies) {
  constexpr int kFar = INT_MAX / 2 - 1;
  const Imath::Box2i windows[] = {
      {{0, 0}, {3, 2}},      // holds the origin
      {{5, 7}, {8, 9}},      // does not
      {{-4, -3}, {-1, -1}},  // negative
      {{-2, 3}, {1, 5}},     // around x = 0, away from y = 0
      {{kFar - 3, -kFar}, {kFar, -kFar + 2}},
      {{-kFar, kFar - 2}, {-kFar + 3, kFar}},
  };
  for (const Imath::Box2i& window : windows) {
    const int width = window.max.x - window.min.x + 1;
    const int height = window.max.y - window.min.y + 1;
    const qv::image::Rgba image = ramp(width, height);
    const std::string path = scratch("window.exr");
    {
      Imf::Header header(Imath::Box2i({0, 0}, {7, 7}), window);
      header.compression() = Imf::ZIP_COMPRESSION;
      Imf::FrameBuffer frame;
      const char* names[] = {"R", "G", "B", "A"};
      for (int c = 0; c < 4; ++c) {
        header.channels().insert(names[c], Imf::Channel(Imf::FLOAT));
        frame.insert(names[c], Imf::Slice::Make(Imf::FLOAT, image.pixels.data() + c, window,
                                                4 * sizeof(float), 4 * sizeof(float) * width));
      }
      Imf::OutputFile file(path.c_str(), header);
      file.setFrameBuffer(frame);
      file.writePixels(height);
    }
    qv::image::Rgba back;
    std::string error;
    ASSERT_TRUE(qv::image::read(path, &back, &error)) << error;
    ASSERT_EQ(back.width, width) << window.min.x << ", " << window.min.y;
    ASSERT_EQ(back.height, height) << window.min.x << ", " << window.min.y;
    EXPECT_EQ(back.pixels, image.pixels) << window.min.x << ", " << window.min.y;
    std::remove(path.c_str());
  }
}
#endif

TEST(ImageFile, FailuresNameTheFile) {
  std::string error;
  qv::image::Rgba image(2, 2);
  EXPECT_FALSE(qv::image::write(scratch("picture.tif"), image, &error));
  EXPECT_NE(error.find("picture.tif"), std::string::npos);
  EXPECT_FALSE(qv::image::write("/nonexistent-folder/a.exr", image, &error));
  EXPECT_NE(error.find("/nonexistent-folder/a.exr"), std::string::npos);
  qv::image::Rgba back;
  EXPECT_FALSE(qv::image::read("/nonexistent-folder/a.png", &back, &error));
  EXPECT_NE(error.find("a.png"), std::string::npos);
  qv::image::Rgba mismatched(2, 2);
  mismatched.pixels.pop_back();
  EXPECT_FALSE(qv::image::write(scratch("bad.png"), mismatched, &error));
}

}  // namespace
