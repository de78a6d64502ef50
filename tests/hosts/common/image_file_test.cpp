#include "image_file.h"

#include <gtest/gtest.h>

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
