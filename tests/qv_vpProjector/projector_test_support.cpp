#include "projector_test_support.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace qv::vpProjector::test {

Picture distinctPicture(int width, int height, int seed) {
  Picture picture{width, height, {}};
  for (int i = 0; i < width * height; ++i) {
    const int n = i + seed * 64;
    picture.rgba.push_back(static_cast<uint8_t>(10 + n * 3));
    picture.rgba.push_back(static_cast<uint8_t>(200 - n * 5));
    picture.rgba.push_back(static_cast<uint8_t>(7 + n * 11));
    picture.rgba.push_back(static_cast<uint8_t>(255 - n * 2));
  }
  return picture;
}

std::string writePng(const Picture& picture, const std::string& name) {
  const std::filesystem::path path = std::filesystem::path(testing::TempDir()) / name;
  const int ok = stbi_write_png(path.string().c_str(), picture.width, picture.height, 4,
                                picture.rgba.data(), picture.width * 4);
  EXPECT_NE(ok, 0) << path;
  return path.string();
}

}  // namespace qv::vpProjector::test
