// qvmray render on a scene whose every pixel is known in closed form: a
// ground plane, a box that hides part of it from the projection camera, a
// painting projected through that camera on top and a plain fill below it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "command_test.h"
#include "image_file.h"
#include "qvmray.h"
#include "test_vec3.h"

namespace qv::qvmray {
namespace {

namespace fs = std::filesystem;

using qv::test::contains;
using qv::test::lines;
using Result = qv::test::CommandResult;

using qv::test::at;
using qv::test::cross;
using qv::test::dot;
using qv::test::unit;
using qv::test::Vec3;

// A camera at `eye` looking at `target`, +y up, rounded to the floats the
// scene file hands the renderer.
struct Frame {
  Vec3 x, y, z, eye;
};
Frame lookAt(Vec3 eye, Vec3 target) {
  const Vec3 z = unit(eye - target);
  const Vec3 x = unit(cross({0, 1, 0}, z));
  const auto f = [](Vec3 v) {
    return Vec3{static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
  };
  return {f(x), f(cross(z, x)), f(z), f(eye)};
}
std::string matrix(const Frame& f) {
  std::string text;
  for (const Vec3& row : {f.x, f.y, f.z, f.eye}) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%.9g %.9g %.9g %d ", row.x, row.y, row.z,
                  &row == &f.eye ? 1 : 0);
    text += buffer;
  }
  return text;
}

// Where a ray enters the box [lo, hi], and through which face.
struct BoxHit {
  double t;
  int axis;
  double side;  // -1 through the face at lo, +1 at hi
};
std::optional<BoxHit> enterBox(Vec3 o, Vec3 d, Vec3 lo, Vec3 hi) {
  BoxHit hit{-1e30, -1, 0};
  double leave = 1e30;
  for (int a = 0; a < 3; ++a) {
    const double t0 = (at(lo, a) - at(o, a)) / at(d, a), t1 = (at(hi, a) - at(o, a)) / at(d, a);
    if (std::fmin(t0, t1) > hit.t) hit = {std::fmin(t0, t1), a, t0 < t1 ? -1.0 : 1.0};
    leave = std::fmin(leave, std::fmax(t0, t1));
  }
  if (hit.t > leave || leave < 0) return std::nullopt;
  return hit;
}

constexpr int kPaintingWidth = 64, kPaintingHeight = 48;
constexpr int kWidth = 96, kHeight = 72;
constexpr double kTanHalfFov = 36.0 / 70.0;  // aperture 36, focal 35
constexpr double kAngleThreshold = 80.0;
constexpr double kDegreesPerRadian = 57.29577951308232;
const Vec3 kBoxLo{-1, 0, -1}, kBoxHi{1, 2, 1};
const float kFill[3] = {0.1f, 0.2f, 0.8f};

class QvmrayRender : public ::testing::Test {
 protected:
  void SetUp() override {
    // Wound to face down: mental ray turns a normal toward the ray that hit.
    scratch_.write("ground.obj", "v -10 0 10\nv 10 0 10\nv 10 0 -10\nv -10 0 -10\nf 1 4 3 2\n");
    // The box has no bottom: it stands on the ground.
    scratch_.write("box.obj",
                   "v -1 0 -1\nv 1 0 -1\nv 1 2 -1\nv -1 2 -1\nv -1 0 1\nv 1 0 1\nv 1 2 1\n"
                   "v -1 2 1\nf 1 4 3 2\nf 5 6 7 8\nf 4 8 7 3\nf 1 5 8 4\nf 2 3 7 6\n");
    image::Rgba painting(kPaintingWidth, kPaintingHeight);
    for (int j = 0; j < kPaintingHeight; ++j) {
      for (int i = 0; i < kPaintingWidth; ++i) {
        float* p = painting.at(i, j);
        p[0] = 4.0f * i / 255.0f;
        p[1] = 5.0f * j / 255.0f;
        p[2] = static_cast<float>((7 * i + 3 * j) % 256) / 255.0f;
        p[3] = 1.0f;
      }
    }
    std::string error;
    ASSERT_TRUE(image::write(path("painting.png"), painting, &error)) << error;
    ASSERT_TRUE(image::read(path("painting.png"), &painting_, &error)) << error;
  }

  std::string path(const std::string& name) const { return (scratch_.path() / name).string(); }

  // The painting (colour and mask) on top, seen only where its projector
  // sees the point; the fill below.
  std::string scene(const std::string& paintingLayerExtra = "") const {
    const std::string placement = matrix(projector_);
    return "color texture \"painting\" \"painting.png\"\n"
           "camera \"view\" transform " +
           matrix(view_) + "focal 35 aperture 36 resolution " + std::to_string(kWidth) + " " +
           std::to_string(kHeight) +
           " end camera\n"
           "shader \"paint\" \"mib_texture_projection\" ( \"tex\" \"painting\",\n"
           "  \"placementMatrix\" " +
           placement +
           ", \"focal\" 35, \"aperture\" 36 )\n"
           "shader \"fill\" \"qv_const\" ( \"color\" 0.1 0.2 0.8, \"opacity\" 1 )\n"
           "shader \"weave\" \"qv_shotWeave\" ( \"layers\" [\n"
           "  { \"color\" = \"paint\", \"mask\" = \"paint\", \"placementMatrix\" " +
           placement + ",\n    \"useShadowOcclusion\" on, \"angleThreshold\" 80, \"premult\" off" +
           (paintingLayerExtra.empty() ? ", \"softEdge\" 0" : paintingLayerExtra) +
           " },\n"
           "  { \"color\" = \"fill\", \"mask\" 1, \"premult\" off } ] )\n"
           "object \"ground\" file \"ground.obj\" label 1 material \"weave\" end object\n"
           "object \"box\" file \"box.obj\" label 2 material \"weave\" end object\n";
  }

  Result render(const std::string& sceneText, std::vector<std::string> extra) const {
    std::vector<std::string> args = {"render", scratch_.write("s.mi", sceneText), "--plugins",
                                     fs::path(QV_SHADER_LIBRARY).parent_path().string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return qv::test::runCommand(run, args, "");
  }

  image::Rgba read(const std::string& name) const {
    image::Rgba picture;
    std::string error;
    EXPECT_TRUE(image::read(path(name), &picture, &error)) << error;
    return picture;
  }

  // What the pixel shows by the scene's geometry: the painting texel, the
  // fill (with outMask0 1 where the painting covers the point, 0 where it
  // does not), or nothing sure enough to check, near an edge of anything.
  struct Expected {
    enum { Unsure, Painting, Fill } kind = Unsure;
    const float* texel = nullptr;
    float mask0 = 0.0f;
    bool facesAway = false;
  };
  Expected expected(int px, int py) const {
    constexpr double kMargin = 0.02;
    const Vec3 margin{kMargin, kMargin, kMargin};
    const double cx = (2.0 * (px + 0.5) / kWidth - 1.0) * kTanHalfFov;
    const double cy = (1.0 - 2.0 * (py + 0.5) / kHeight) * kTanHalfFov * kHeight / kWidth;
    const Vec3 d = unit(cx * view_.x + cy * view_.y - view_.z);
    const auto inner = enterBox(view_.eye, d, kBoxLo + margin, kBoxHi - margin);
    const auto outer = enterBox(view_.eye, d, kBoxLo - margin, kBoxHi + margin);
    Expected e;
    Vec3 p, n{0, 1, 0};
    if (inner) {
      const auto hit = enterBox(view_.eye, d, kBoxLo, kBoxHi);
      p = view_.eye + hit->t * d;
      n = Vec3{};
      (hit->axis == 0 ? n.x : hit->axis == 1 ? n.y : n.z) = hit->side;
    } else if (!outer && d.y < 0) {
      p = view_.eye + (-view_.eye.y / d.y) * d;
      if (std::fabs(p.x) > 10 - kMargin || std::fabs(p.z) > 10 - kMargin) return e;
    } else {
      return e;
    }
    const Vec3 toProjector = projector_.eye - p;
    const double angle = std::acos(dot(unit(toProjector), n)) * kDegreesPerRadian;
    if (std::fabs(angle - kAngleThreshold) < 1.0) return e;
    // Only the box stands between the ground and the projector.
    const auto crossed = [&](Vec3 grow) {
      const auto hit = enterBox(p, toProjector, kBoxLo - grow, kBoxHi + grow);
      return !inner && hit && hit->t > 0 && hit->t < 1;
    };
    const bool occluded = crossed(-1.0 * margin);
    if (!occluded && crossed(margin)) return e;

    // Where the painting lands, by the projection camera's convention.
    const Vec3 pc{dot(p - projector_.eye, projector_.x), dot(p - projector_.eye, projector_.y),
                  dot(p - projector_.eye, projector_.z)};
    const double u = 0.5 + 0.5 * pc.x / (-pc.z * kTanHalfFov);
    const double v = 0.5 - 0.5 * pc.y / (-pc.z * kTanHalfFov * kPaintingHeight / kPaintingWidth);
    const double column = u * kPaintingWidth, row = v * kPaintingHeight;
    const auto nearEdge = [](double x) { return std::fabs(x - std::round(x)) < 0.05; };
    if (nearEdge(column) || nearEdge(row)) return e;
    const bool framed = u > 0 && u < 1 && v > 0 && v < 1;
    e.facesAway = angle > kAngleThreshold;
    if (occluded || e.facesAway || !framed) {
      e.kind = Expected::Fill;
      e.mask0 = framed ? 1.0f : 0.0f;
    } else {
      e.kind = Expected::Painting;
      e.texel = painting_.at(static_cast<int>(column), static_cast<int>(row));
    }
    return e;
  }

  qv::test::ScratchDir scratch_{"qvmray_render_test"};
  const Frame projector_ = lookAt({0, 6, 8}, {0, 0, 0});
  const Frame view_ = lookAt({6, 5, -8}, {0, 0.5, -2});
  image::Rgba painting_;
};

// "qvmray: 96x72, T s, P M shading points/s, R M rays/s", rates positive.
bool isSummary(const std::string& line) {
  int width = 0, height = 0, end = 0;
  double seconds = 0, points = 0, rays = 0;
  return std::sscanf(line.c_str(), "qvmray: %dx%d, %lf s, %lf M shading points/s, %lf M rays/s%n",
                     &width, &height, &seconds, &points, &rays, &end) == 5 &&
         static_cast<std::size_t>(end) == line.size() && width == kWidth && height == kHeight &&
         points > 0 && rays > points;
}

TEST_F(QvmrayRender, PaintingLandsWhereTheProjectorSeesAndTheFillElsewhere) {
  const Result r = render(scene(), {"-o", path("out.exr"), "--aov", "outMask0", "--quiet"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(lines(r.err).size(), 1u) << r.err;
  EXPECT_TRUE(isSummary(lines(r.err)[0])) << r.err;
  const image::Rgba picture = read("out.exr");
  const image::Rgba mask0 = read("out.outMask0.exr");
  ASSERT_EQ(picture.width, kWidth);
  ASSERT_EQ(picture.height, kHeight);
  ASSERT_EQ(mask0.width, kWidth);

  int painted = 0, occluded = 0, facingAway = 0, wrong = 0;
  std::string firstWrong;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const Expected e = expected(x, y);
      if (e.kind == Expected::Unsure) continue;
      const float* pixel = picture.at(x, y);
      const float* want = e.kind == Expected::Painting ? e.texel : kFill;
      const float wantMask = e.kind == Expected::Painting ? 2.0f : e.mask0;
      bool ok = pixel[3] == 1.0f && mask0.at(x, y)[0] == wantMask && mask0.at(x, y)[3] == 1.0f;
      for (int c = 0; c < 3; ++c) ok = ok && std::fabs(pixel[c] - want[c]) <= 1.0f / 255.0f;
      if (!ok && wrong++ == 0) {
        firstWrong = "pixel " + std::to_string(x) + "," + std::to_string(y) + " shows no " +
                     (e.kind == Expected::Painting ? "painting" : "fill");
      }
      painted += e.kind == Expected::Painting;
      occluded += e.kind == Expected::Fill && !e.facesAway && e.mask0 == 1.0f;
      facingAway += e.kind == Expected::Fill && e.facesAway;
    }
  }
  EXPECT_EQ(wrong, 0) << firstWrong;
  // Each case covers a good part of the picture.
  EXPECT_GT(painted, 1000);
  EXPECT_GT(occluded, 100);
  EXPECT_GT(facingAway, 100);
}

TEST_F(QvmrayRender, ThreadCountDoesNotChangeTheImage) {
  // Soft samples and several rays per pixel: every host function on every
  // thread.
  const std::string soft = scene(", \"dilate\" 0.5, \"samples\" 8, \"softEdge\" 1");
  const Result one = render(soft, {"-o", path("one.exr"), "--samples", "4", "--threads", "1",
                                   "--aov", "outColor=" + path("one_color.exr")});
  ASSERT_EQ(one.status, 0) << one.err;
  // Progress counts up in place, and the summary follows it.
  EXPECT_TRUE(contains(one.err, "rendering   1%\rrendering   2%")) << one.err;
  const std::vector<std::string> printed = lines(one.err);
  ASSERT_EQ(printed.size(), 2u) << one.err;
  EXPECT_EQ(printed[0].substr(printed[0].size() - 15), "\rrendering 100%");
  EXPECT_TRUE(isSummary(printed[1])) << one.err;
  const Result two =
      render(soft, {"-o", path("two.exr"), "--samples", "4", "--threads", "2", "--quiet"});
  ASSERT_EQ(two.status, 0) << two.err;
  const image::Rgba a = read("one.exr"), b = read("two.exr");
  EXPECT_EQ(a.pixels, b.pixels);
  EXPECT_EQ(read("one_color.exr").pixels, a.pixels);
  // Soft edges and painting texels: many distinct values, so equal images
  // mean equal work.
  std::vector<float> reds;
  for (int i = 0; i < kWidth * kHeight; ++i) reds.push_back(a.pixels[4 * i]);
  std::sort(reds.begin(), reds.end());
  EXPECT_GT(std::unique(reds.begin(), reds.end()) - reds.begin(), 200);
}

TEST_F(QvmrayRender, FailuresGiveOneMessageAndLeaveNoImage) {
  const std::string good = scene();
  const std::string out = path("out.png");
  struct Case {
    std::string scene;
    std::vector<std::string> extra;
    std::string detail;
  };
  std::string noCamera = good;
  noCamera.erase(noCamera.find("camera"),
                 noCamera.find("end camera") + 10 - noCamera.find("camera"));
  std::string noTexture = good;
  noTexture.replace(noTexture.find("painting.png"), 12, "missing.png");
  const std::vector<Case> cases = {
      {noCamera, {}, "has no camera"},
      {noTexture, {}, "color texture 'painting'"},
      {good, {"--plugins", path("nowhere")}, "cannot load shader library"},
      {good, {"--aov", "outMask0=" + path("nowhere/mask.exr")}, "nowhere"},
      // The image can be written, the output not: neither is left.
      {good, {"--aov", "outMask0=" + path("taken.exr")}, "taken.exr"},
  };
  fs::create_directory(path("taken.exr"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.detail);
    std::vector<std::string> args = {"-o", out, "--quiet"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const Result r = render(c.scene, args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
    EXPECT_EQ(r.err.rfind("qvmray: ", 0), 0u) << r.err;
    EXPECT_TRUE(contains(r.err, c.detail)) << r.err;
    EXPECT_FALSE(fs::exists(out));
  }

  const std::vector<std::vector<std::string>> usage = {
      {},
      {"-o", path("out.tif")},
      {"-o", out, "--aov", "outMask20"},
      {"-o", out, "--aov", "outColor=color.png"},
      {"-o", out, "--samples", "0"},
  };
  for (const std::vector<std::string>& args : usage) {
    const Result r = render(good, args);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(contains(r.err, "usage: qvmray")) << r.err;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch_.path()), fs::directory_iterator()), 5)
      << "only the scene, its files and the folder in the way";
}

}  // namespace
}  // namespace qv::qvmray
