// The bundled example in examples/matte is what qvexample writes from its
// one description, so the scene files of the three hosts cannot drift apart.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "command_test.h"
#include "example_scene.h"
#include "image_file.h"
#include "scene_files.h"

namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(QvExample, BundledExampleIsWhatTheDescriptionWrites) {
  qv::test::ScratchDir scratch("qvexample");
  std::string error;
  ASSERT_TRUE(qv::example::writeExample(qv::example::scene(), scratch.path().string(), &error))
      << error;
  const fs::path bundled = fs::path(QV_SOURCE_DIR) / "examples" / "matte";
  int files = 0;
  for (const auto& entry : fs::directory_iterator(scratch.path())) {
    const std::string name = entry.path().filename().string();
    ++files;
    ASSERT_TRUE(fs::exists(bundled / name)) << name << " is missing from examples/matte";
    if (entry.path().extension() == ".png") {
      // Compared by pixels: the PNG encoder's bytes are not the point.
      qv::image::Rgba written, shipped;
      ASSERT_TRUE(qv::image::read(entry.path().string(), &written, &error)) << error;
      ASSERT_TRUE(qv::image::read((bundled / name).string(), &shipped, &error)) << error;
      EXPECT_EQ(written.width, shipped.width);
      EXPECT_EQ(written.pixels, shipped.pixels) << name << " differs; rerun qvexample";
    } else {
      EXPECT_EQ(contents(entry.path()), contents(bundled / name))
          << name << " differs; rerun qvexample examples/matte";
    }
  }
  EXPECT_GE(files, 8);
}

}  // namespace
