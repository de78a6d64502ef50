// The bundled example renders in each host, and the hosts agree: where the
// projection camera sees a point, every host shows the same painting pixel;
// where it does not, the render hosts show the fill. The viewport shows the
// projection without occlusion, so it agrees with the renders where the
// projection camera sees the point.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "command_test.h"
#include "example_scene.h"
#include "image_file.h"
#include "qvmaya.h"
#include "qvmray.h"
#include "qvray.h"

namespace {

const std::string kExample = std::string(QV_SOURCE_DIR) + "/examples/matte/";

qv::image::Rgba load(const std::string& path) {
  qv::image::Rgba image;
  std::string error;
  EXPECT_TRUE(qv::image::read(path, &image, &error)) << error;
  return image;
}

// True when the matte has this value on the pixel and its eight neighbours,
// so that soft edges, whose samples each host draws its own way, stay out.
bool settled(const qv::image::Rgba& matte, int x, int y, float value) {
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      const int px = x + dx, py = y + dy;
      if (px < 0 || py < 0 || px >= matte.width || py >= matte.height) return false;
      if (matte.at(px, py)[0] != value) return false;
    }
  }
  return true;
}

bool close(const float* a, const float* b, float tolerance) {
  for (int c = 0; c < 4; ++c) {
    if (std::fabs(a[c] - b[c]) > tolerance) return false;
  }
  return true;
}

TEST(ExampleRender, VRayAndMentalRayShowThePaintingWhereItsCameraSees) {
  qv::test::ScratchDir scratch("example_render");
  const std::string vray = (scratch.path() / "vray.png").string();
  const std::string mray = (scratch.path() / "mray.png").string();
  const auto vrayRun = qv::test::runCommand(
      qv::qvray::run,
      {"render", kExample + "example.vrscene", "-o", vray, "--aov", "seen::outMatte", "--quiet"},
      "");
  ASSERT_EQ(vrayRun.status, 0) << vrayRun.err;
  const auto mrayRun = qv::test::runCommand(
      qv::qvmray::run,
      {"render", kExample + "example.mi", "-o", mray, "--aov", "outMask0", "--quiet"}, "");
  ASSERT_EQ(mrayRun.status, 0) << mrayRun.err;

  const qv::image::Rgba vrayImage = load(vray);
  const qv::image::Rgba mrayImage = load(mray);
  const qv::image::Rgba seen = load((scratch.path() / "vray.seen_outMatte.exr").string());
  const qv::image::Rgba mask = load((scratch.path() / "mray.outMask0.exr").string());
  const auto& scene = qv::example::scene();
  ASSERT_EQ(vrayImage.width, scene.render.width);
  ASSERT_EQ(mrayImage.height, scene.render.height);

  // The fill as an 8-bit image stores it.
  float fill[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  for (int c = 0; c < 3; ++c) fill[c] = std::round(scene.fill[c] * 255.0) / 255.0f;

  int painted = 0, filled = 0, disagreeing = 0, settledPixels = 0;
  const float tolerance = 1.0f / 255.0f + 1e-6f;
  for (int y = 0; y < seen.height; ++y) {
    for (int x = 0; x < seen.width; ++x) {
      // mental ray reports a layer's visible mask plus its mask: 2 where the
      // projection camera sees the point, 1 where it does not.
      const bool vraySees = settled(seen, x, y, 1.0f), vrayHidden = settled(seen, x, y, 0.0f);
      const bool mraySees = settled(mask, x, y, 2.0f), mrayHidden = settled(mask, x, y, 1.0f);
      if ((vraySees && mrayHidden) || (vrayHidden && mraySees)) ++disagreeing;
      if (vraySees && mraySees) {
        ++settledPixels;
        if (close(vrayImage.at(x, y), mrayImage.at(x, y), tolerance)) ++painted;
      } else if (vrayHidden && mrayHidden) {
        ++settledPixels;
        if (close(vrayImage.at(x, y), fill, tolerance) &&
            close(mrayImage.at(x, y), fill, tolerance))
          ++filled;
      }
    }
  }
  // Both kinds of region are large in this example, and every settled pixel
  // of either kind agrees.
  EXPECT_GT(painted, 10000);
  EXPECT_GT(filled, 10000);
  EXPECT_EQ(painted + filled, settledPixels);
  EXPECT_EQ(disagreeing, 0);
}

// Viewport 2.0 filters the painting bilinearly where the renderers take the
// nearest texel: the two agree where the painting is flat around the texel,
// which is most of the seen set, and never differ by much elsewhere.
TEST(ExampleRender, ViewportAgreesWithVRayWhereTheProjectionCameraSees) {
  qv::test::ScratchDir scratch("example_viewport");
  const std::string vray = (scratch.path() / "vray.png").string();
  const std::string viewport = (scratch.path() / "viewport.exr").string();
  const auto& scene = qv::example::scene();
  const auto vrayRun = qv::test::runCommand(
      qv::qvray::run,
      {"render", kExample + "example.vrscene", "-o", vray, "--aov", "seen::outMatte", "--quiet"},
      "");
  ASSERT_EQ(vrayRun.status, 0) << vrayRun.err;
  const auto mayaRun = qv::test::runCommand(
      qv::qvmaya::run,
      {"render", kExample + "example.ma", "-o", viewport, "-w", std::to_string(scene.render.width),
       "-h", std::to_string(scene.render.height), "--quiet"},
      "");
  ASSERT_EQ(mayaRun.status, 0) << mayaRun.err;

  const qv::image::Rgba vrayImage = load(vray);
  const qv::image::Rgba seen = load((scratch.path() / "vray.seen_outMatte.exr").string());
  const qv::image::Rgba shown = load(viewport);
  ASSERT_EQ(shown.width, vrayImage.width);
  ASSERT_EQ(shown.height, vrayImage.height);

  int compared = 0, equal = 0, far = 0;
  for (int y = 0; y < seen.height; ++y) {
    for (int x = 0; x < seen.width; ++x) {
      if (!settled(seen, x, y, 1.0f)) continue;
      ++compared;
      if (close(vrayImage.at(x, y), shown.at(x, y), 2.0f / 255.0f)) ++equal;
      if (!close(vrayImage.at(x, y), shown.at(x, y), 0.5f)) ++far;
    }
  }
  ASSERT_GT(compared, 10000);
  EXPECT_GT(equal, compared * 8 / 10) << equal << " of " << compared;
  EXPECT_LT(far, compared / 100) << far << " of " << compared;
}

}  // namespace

namespace {

// The mental ray render is the picture docs/ shows for it, pixel for pixel:
// the scene sets every field its look depends on, so neither the shaders'
// declared defaults nor the way the scene reaches its declarations (linked
// and included, or read beside the library) changes it.
TEST(ExampleRender, MentalRayImageIsTheOneTheDocumentationShows) {
  qv::test::ScratchDir scratch("example_render_docs");
  const std::string mray = (scratch.path() / "mray.png").string();
  const auto run = qv::test::runCommand(
      qv::qvmray::run, {"render", kExample + "example.mi", "-o", mray, "--quiet"}, "");
  ASSERT_EQ(run.status, 0) << run.err;
  const qv::image::Rgba shown = load(std::string(QV_SOURCE_DIR) + "/docs/example-mentalray.png");
  const qv::image::Rgba rendered = load(mray);
  ASSERT_EQ(rendered.width, shown.width);
  ASSERT_EQ(rendered.height, shown.height);
  EXPECT_TRUE(rendered.pixels == shown.pixels);
}

}  // namespace

namespace {

// FNV-1a over an image's size and the bits of its floats: two renders give
// the same digest only if every channel of every pixel is the same number.
std::uint64_t digest(const qv::image::Rgba& image) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  const auto mix = [&h](const void* data, std::size_t bytes) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < bytes; ++i) h = (h ^ p[i]) * 0x100000001b3ULL;
  };
  mix(&image.width, sizeof image.width);
  mix(&image.height, sizeof image.height);
  mix(image.pixels.data(), image.pixels.size() * sizeof(float));
  return h;
}

// The digests of every image the main job writes, in floats (OpenEXR) rather
// than the job's 8 bits, as the renderers made them before their shading and
// tracing paths were made faster: a change that is
// meant to leave every result as it was must leave these as they are. After a
// change that is meant to alter the pictures, the failure messages give the
// new digests.
std::map<std::string, std::uint64_t> recordedDigests() {
  std::map<std::string, std::uint64_t> digests;
  std::ifstream in(std::string(QV_SOURCE_DIR) + "/tests/tools/qvexample/example_digests.txt");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string name, hex;
    if (line.empty() || line[0] == '#' || !(fields >> name >> hex)) continue;
    digests[name] = std::stoull(hex, nullptr, 16);
  }
  return digests;
}

TEST(ExampleRender, EveryImageOfTheMainJobIsTheOneRecorded) {
  qv::test::ScratchDir scratch("example_digests");
  const auto path = [&](const char* name) { return (scratch.path() / name).string(); };
  const auto vray = qv::test::runCommand(qv::qvray::run,
                                         {"render", kExample + "example.vrscene", "-o",
                                          path("vray.exr"), "--aov", "seen::outMatte", "--quiet"},
                                         "");
  ASSERT_EQ(vray.status, 0) << vray.err;
  const auto mray = qv::test::runCommand(qv::qvmray::run,
                                         {"render", kExample + "example.mi", "-o",
                                          path("mentalray.exr"), "--aov", "outMask0", "--quiet"},
                                         "");
  ASSERT_EQ(mray.status, 0) << mray.err;
  const auto maya =
      qv::test::runCommand(qv::qvmaya::run,
                           {"render", kExample + "example.ma", "-o", path("viewport.exr"), "-w",
                            "640", "-h", "360", "--quiet"},
                           "");
  ASSERT_EQ(maya.status, 0) << maya.err;

  const std::map<std::string, std::uint64_t> recorded = recordedDigests();
  ASSERT_EQ(recorded.size(), 5u) << "example_digests.txt lists every image once";
  for (const char* name : {"vray.exr", "vray.seen_outMatte.exr", "mentalray.exr",
                           "mentalray.outMask0.exr", "viewport.exr"}) {
    const auto it = recorded.find(name);
    ASSERT_NE(it, recorded.end()) << name << " has no recorded digest";
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx",
                  static_cast<unsigned long long>(digest(load(path(name)))));
    EXPECT_EQ(digest(load(path(name))), it->second) << name << " now has digest " << hex;
  }
}

}  // namespace
