// qvray render on a set the test builds itself: a ground, a box standing
// between part of the ground and the projection camera, and a wall that
// turns its visible side away from that camera. Every pixel is checked
// against the same set traced here in double precision.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "command_test.h"
#include "frame_renderer.h"
#include "image_file.h"
#include "qvray.h"
#include "render.h"
#include "test_vec3.h"

namespace qv::qvray {
namespace {

namespace fs = std::filesystem;
using qv::test::CommandResult;
using qv::test::contains;
using qv::test::lines;

using Vec = qv::test::Vec3;
using qv::test::cross;
using qv::test::dot;
using qv::test::unit;
// What the scene file can hold: every number rounded to float.
Vec asFloat(Vec a) {
  return {static_cast<float>(a.x), static_cast<float>(a.y), static_cast<float>(a.z)};
}

// A camera as the scene gives it: its axes in world space and its position.
struct Camera {
  Vec x, y, z, position;
  double fov;
};

Camera lookAt(Vec from, Vec to, double fov) {
  const Vec z = unit(from - to);
  const Vec x = unit(cross({0, 1, 0}, z));
  return {asFloat(x), asFloat(cross(z, x)), asFloat(z), asFloat(from), static_cast<float>(fov)};
}

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", v);
  return text;
}
std::string vector(Vec v) {
  return "Vector(" + number(v.x) + ", " + number(v.y) + ", " + number(v.z) + ")";
}
std::string transform(const Camera& c) {
  return "Transform(Matrix(" + vector(c.x) + ", " + vector(c.y) + ", " + vector(c.z) + "), " +
         vector(c.position) + ")";
}

struct Mesh {
  std::string name;
  std::vector<Vec> vertices;
  std::vector<std::array<int, 3>> faces;
};

Mesh quad(const std::string& name, Vec a, Vec b, Vec c, Vec d) {
  return {name, {a, b, c, d}, {{0, 1, 2}, {0, 2, 3}}};
}

Mesh box(const std::string& name, Vec lo, Vec hi) {
  Mesh m{name, {}, {}};
  for (int i = 0; i < 8; ++i) {
    m.vertices.push_back({i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z});
  }
  m.faces = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}, {0, 1, 5}, {0, 5, 4},
             {2, 6, 7}, {2, 7, 3}, {0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5}};
  return m;
}

constexpr int kPaintingWidth = 64, kPaintingHeight = 48;
constexpr int kWidth = 80, kHeight = 60;
constexpr double kAngleThreshold = 80.0;
const float kFill[4] = {0.1f, 0.2f, 0.8f, 1.0f};
const float kOffPainting[4] = {0.6f, 0.0f, 0.4f, 1.0f};

// Each painting pixel its own colour, exact in 8 bits.
std::array<float, 4> paintingTexel(int column, int row) {
  return {(4.0f * column + 1.0f) / 255.0f, (5.0f * row + 2.0f) / 255.0f, 0.5f, 1.0f};
}

struct Set {
  std::vector<Mesh> meshes = {
      quad("ground", {-10, 0, -10}, {-10, 0, 10}, {10, 0, 10}, {10, 0, -10}),
      box("occluder", {-1, 0, 2}, {1, 2, 4}),
      // Wound to face -x, away from the render camera: the side a camera
      // sees is what faces toward or away from the projection camera.
      quad("wall", {4, 0, -4}, {4, 0, 0}, {4, 3, 0}, {4, 3, -4}),
  };
  Camera projector = lookAt({0, 8, 14}, {0, 0, 0}, 1.0);
  Camera view = lookAt({12, 7, 6}, {0, 0, -1}, 1.0);

  // dilation: "dilate=...; samples=...; softEdge=...;" for the veil, or none.
  std::string scene(const std::string& dilation = "") const {
    std::string text;
    for (const Mesh& m : meshes) {
      text += "GeomStaticMesh " + m.name + "_mesh {\n  vertices=ListVector(";
      for (std::size_t i = 0; i < m.vertices.size(); ++i) {
        text += (i ? ", " : "") + vector(m.vertices[i]);
      }
      text += ");\n  faces=ListInt(";
      for (std::size_t i = 0; i < m.faces.size(); ++i) {
        for (int k = 0; k < 3; ++k) text += (i || k ? ", " : "") + std::to_string(m.faces[i][k]);
      }
      text += ");\n}\nNode " + m.name + " { geometry=" + m.name + "_mesh; texture=weave; }\n";
    }
    return text + "BitmapBuffer paint { file=\"painting.png\"; }\n" +
           "UVWGenProjection projection { type=8; fov=" + number(projector.fov) +
           "; camera_transform=" + transform(projector) + "; }\n" +
           "TexBitmap painting { bitmap=paint; uvwgen=projection; default_color=AColor(" +
           number(kOffPainting[0]) + ", " + number(kOffPainting[1]) + ", " +
           number(kOffPainting[2]) + ", 1); }\n" +
           "qvVeil seen {\n  color=painting; colorOffset=AColor(0, 0, 0, 0); mask=1;\n" +
           "  placementMatrix=" + transform(projector) + ";\n" +
           "  useShadowOcclusion=1; useFacingRatio=1; angleThreshold=" + number(kAngleThreshold) +
           ";\n  " + dilation + "\n}\n" +
           "qvShotWeave weave { color_a=seen; matte_a=seen::outMatte; color_b=AColor(" +
           number(kFill[0]) + ", " + number(kFill[1]) + ", " + number(kFill[2]) + ", 1); }\n" +
           "RenderView camera { transform=" + transform(view) + "; fov=" + number(view.fov) +
           "; }\n" + "SettingsOutput output { img_width=" + std::to_string(kWidth) +
           "; img_height=" + std::to_string(kHeight) + "; }\n";
  }

  struct Hit {
    double t;
    Vec normal;
    std::size_t mesh;
  };

  // The nearest surface along o + t d, t > tmin and below tmax.
  std::optional<Hit> trace(Vec o, Vec d, double tmin, double tmax) const {
    std::optional<Hit> best;
    for (std::size_t i = 0; i < meshes.size(); ++i) {
      const Mesh& m = meshes[i];
      for (const auto& f : m.faces) {
        const Vec a = m.vertices[f[0]], e1 = m.vertices[f[1]] - a, e2 = m.vertices[f[2]] - a;
        const Vec p = cross(d, e2);
        const double det = dot(e1, p);
        if (std::fabs(det) < 1e-12) continue;
        const Vec s = o - a;
        const double u = dot(s, p) / det;
        const Vec q = cross(s, e1);
        const double v = dot(d, q) / det;
        const double t = dot(e2, q) / det;
        if (u < 0 || v < 0 || u + v > 1 || t <= tmin || t >= tmax) continue;
        if (!best || t < best->t) best = Hit{t, unit(cross(e1, e2)), i};
      }
    }
    return best;
  }

  enum class Shows { Nothing, Painting, Occluded, FacingAway };
  struct Pixel {
    Shows shows = Shows::Nothing;
    std::size_t mesh = 0;
    int column = -1, row = -1;  // the painting texel, or -1 off the painting
    bool operator==(const Pixel& o) const {
      return shows == o.shows && mesh == o.mesh && column == o.column && row == o.row;
    }
  };

  // What image position (x, y) shows, by the conventions qvray documents.
  Pixel expected(double x, double y) const {
    const double t = std::tan(view.fov / 2);
    const Vec d = unit((2 * x / kWidth - 1) * t * view.x +
                       (1 - 2 * y / kHeight) * t * kHeight / kWidth * view.y - 1.0 * view.z);
    const auto hit = trace(view.position, d, 0.0, 1e30);
    Pixel pixel;
    if (!hit) return pixel;
    pixel.mesh = hit->mesh;
    const Vec p = view.position + hit->t * d;
    // The side the camera sees faces it, whichever way the triangle winds.
    const Vec n = dot(hit->normal, d) > 0 ? -1.0 * hit->normal : hit->normal;
    const Vec toCamera = projector.position - p;
    const double angle = std::acos(dot(n, unit(toCamera))) * 180.0 / M_PI;
    pixel.shows = angle > kAngleThreshold                ? Shows::FacingAway
                  : trace(p, toCamera, 1e-7, 1.0 - 1e-7) ? Shows::Occluded
                                                         : Shows::Painting;
    if (pixel.shows != Shows::Painting) return pixel;
    // Camera space by Cramer's rule: toCamera's opposite in the camera's axes.
    const Vec w = p - projector.position;
    const double det = dot(projector.x, cross(projector.y, projector.z));
    const Vec pc = {dot(w, cross(projector.y, projector.z)) / det,
                    dot(projector.x, cross(w, projector.z)) / det,
                    dot(projector.x, cross(projector.y, w)) / det};
    const double th = std::tan(projector.fov / 2);
    const double tv = std::tan(std::atan(th * kPaintingHeight / kPaintingWidth));
    const double u = 0.5 + 0.5 * pc.x / (-pc.z * th), v = 0.5 - 0.5 * pc.y / (-pc.z * tv);
    if (pc.z < 0 && u >= 0 && u <= 1 && v >= 0 && v <= 1) {
      pixel.column = std::min(static_cast<int>(u * kPaintingWidth), kPaintingWidth - 1);
      pixel.row = std::min(static_cast<int>(v * kPaintingHeight), kPaintingHeight - 1);
    }
    return pixel;
  }

  // Pixels near an edge, a shadow's border or a texel border are left out:
  // float rays may fall on either side there.
  std::optional<Pixel> clearly(int x, int y) const {
    const Pixel centre = expected(x + 0.5, y + 0.5);
    for (double dx : {-0.05, 0.05}) {
      for (double dy : {-0.05, 0.05}) {
        if (!(expected(x + 0.5 + dx, y + 0.5 + dy) == centre)) return std::nullopt;
      }
    }
    return centre;
  }
};

class QvrayRender : public ::testing::Test {
 protected:
  void SetUp() override {
    image::Rgba painting(kPaintingWidth, kPaintingHeight);
    for (int row = 0; row < kPaintingHeight; ++row) {
      for (int column = 0; column < kPaintingWidth; ++column) {
        const auto texel = paintingTexel(column, row);
        std::copy(texel.begin(), texel.end(), painting.at(column, row));
      }
    }
    std::string error;
    ASSERT_TRUE(image::write(path("painting.png"), painting, &error)) << error;
  }

  std::string path(const std::string& name) const { return (scratch_.path() / name).string(); }
  std::string write(const std::string& name, const std::string& text) const {
    return scratch_.write(name, text);
  }

  static CommandResult qvray(std::vector<std::string> args) {
    args.insert(args.end(), {"--plugins", QV_PLUGIN_DIR});
    return qv::test::runCommand(run, args, "");
  }

  static image::Rgba read(const std::string& file) {
    image::Rgba image;
    std::string error;
    EXPECT_TRUE(image::read(file, &image, &error)) << error;
    return image;
  }

  // Bad input: status 1, one message, and no image left behind.
  void expectFailure(const CommandResult& r, const std::string& fragment) const {
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
    EXPECT_TRUE(contains(r.err, fragment)) << "'" << fragment << "' in: " << r.err;
    for (const auto& entry : fs::directory_iterator(scratch_.path())) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name == "painting.png" || entry.path().extension() == ".vrscene") << name;
    }
  }

  Set set_;
  qv::test::ScratchDir scratch_{"qvray_render_test"};
};

void expectPixel(const image::Rgba& image, int x, int y, const float* expected, float tolerance) {
  for (int k = 0; k < 4; ++k) {
    EXPECT_NEAR(image.at(x, y)[k], expected[k], tolerance)
        << "pixel " << x << "," << y << " channel " << k;
  }
}

TEST_F(QvrayRender, ShowsThePaintingWhereTheProjectionCameraSeesAndTheFillElsewhere) {
  const std::string scene = write("set.vrscene", set_.scene());
  const CommandResult r =
      qvray({"render", scene, "-o", path("set.png"), "--aov", "seen::outMatte", "--quiet"});
  ASSERT_EQ(r.status, 0) << r.err;
  const image::Rgba beauty = read(path("set.png"));
  const image::Rgba matte = read(path("set.seen_outMatte.exr"));
  ASSERT_EQ(beauty.width, kWidth);
  ASSERT_EQ(beauty.height, kHeight);
  ASSERT_EQ(matte.width, kWidth);

  const float tolerance = 1.0f / 255.0f;
  int count[4] = {};
  int wallFacingAway = 0;
  const float nothing[4] = {0, 0, 0, 0}, one[4] = {1, 1, 1, 1};
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const std::optional<Set::Pixel> pixel = set_.clearly(x, y);
      if (!pixel) continue;
      SCOPED_TRACE("pixel " + std::to_string(x) + "," + std::to_string(y));
      ++count[static_cast<int>(pixel->shows)];
      switch (pixel->shows) {
        case Set::Shows::Nothing:
          expectPixel(beauty, x, y, nothing, 0.0f);
          expectPixel(matte, x, y, nothing, 0.0f);
          break;
        case Set::Shows::Painting:
          // Seen: the texel exactly, which also shows the matte covers B.
          expectPixel(
              beauty, x, y,
              pixel->column >= 0 ? paintingTexel(pixel->column, pixel->row).data() : kOffPainting,
              tolerance);
          expectPixel(matte, x, y, one, 0.0f);
          break;
        case Set::Shows::Occluded:
        case Set::Shows::FacingAway:
          wallFacingAway += pixel->shows == Set::Shows::FacingAway && pixel->mesh == 2;
          expectPixel(beauty, x, y, kFill, tolerance);
          expectPixel(matte, x, y, nothing, 0.0f);
          break;
      }
    }
  }
  // The set is built so that each case covers a good many pixels.
  EXPECT_GT(count[static_cast<int>(Set::Shows::Nothing)], 100);
  EXPECT_GT(count[static_cast<int>(Set::Shows::Painting)], 500);
  EXPECT_GT(count[static_cast<int>(Set::Shows::Occluded)], 50);
  EXPECT_GT(count[static_cast<int>(Set::Shows::FacingAway)], 50);
  EXPECT_GT(wallFacingAway, 50);
}

TEST_F(QvrayRender, ThreadsAndSamplesLeaveTheImageAsItIs) {
  // Dilation traces jittered rays and softens the shadow's edge: the most
  // that could come out differently on another thread.
  const std::string scene =
      write("soft.vrscene", set_.scene("dilate=0.5; samples=8; softEdge=1; power=2;"));
  std::vector<image::Rgba> images;
  for (const char* threads : {"1", "2", "3"}) {
    const std::string file = path(std::string("soft") + threads + ".exr");
    const CommandResult r = qvray({"render", scene, "-o", file, "--samples", "4", "--threads",
                                   threads, "--quiet", "--aov", "seen::outMatte"});
    ASSERT_EQ(r.status, 0) << r.err;
    images.push_back(read(file));
    images.push_back(read(path(std::string("soft") + threads + ".seen_outMatte.exr")));
  }
  for (std::size_t i = 2; i < images.size(); ++i) {
    EXPECT_EQ(images[i].pixels, images[i % 2].pixels) << "image " << i;
  }
  // Four rays per pixel average to in-between values along every edge.
  int between = 0;
  for (std::size_t i = 3; i < images[1].pixels.size(); i += 4) {
    between += images[1].pixels[i] > 0.0f && images[1].pixels[i] < 1.0f;
  }
  EXPECT_GT(between, 20);
}

// "qvray: WxH, T s, P M shading points/s, R M rays/s" and a line end,
// every number with two decimals.
bool isSummary(const std::string& text) {
  int width = 0, height = 0;
  double numbers[3] = {};
  if (std::sscanf(text.c_str(), "qvray: %dx%d, %lf s, %lf M shading points/s, %lf M rays/s", &width,
                  &height, &numbers[0], &numbers[1], &numbers[2]) != 5) {
    return false;
  }
  char line[200];
  std::snprintf(line, sizeof line, "qvray: %dx%d, %.2f s, %.2f M shading points/s, %.2f M rays/s\n",
                width, height, numbers[0], numbers[1], numbers[2]);
  return text == line && width == kWidth && height == kHeight && numbers[2] > 0.0;
}

TEST_F(QvrayRender, ReportsProgressUnlessQuietAndAlwaysASummary) {
  const std::string scene = write("set.vrscene", set_.scene());
  const CommandResult quiet = qvray({"render", scene, "-o", path("q.png"), "--quiet"});
  ASSERT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_TRUE(isSummary(quiet.err)) << quiet.err;
  EXPECT_EQ(quiet.out, "");

  const CommandResult loud = qvray({"render", scene, "-o", path("l.png"), "--threads", "2"});
  ASSERT_EQ(loud.status, 0) << loud.err;
  const std::size_t end = loud.err.find("\rrendering 100%\n");
  ASSERT_EQ(loud.err.rfind("\rrendering   0%", 0), 0u) << loud.err;
  ASSERT_NE(end, std::string::npos) << loud.err;
  EXPECT_TRUE(isSummary(loud.err.substr(end + 16))) << loud.err;
}

TEST_F(QvrayRender, BadInputGetsOneMessageAndLeavesNoImage) {
  const std::string good = set_.scene();
  const std::string out = path("out.png");
  std::string scene = write("nocamera.vrscene", good.substr(0, good.find("RenderView")));
  expectFailure(qvray({"render", scene, "-o", out}), "no RenderView");

  std::string text = good;
  const std::size_t at = text.find("texture=weave");
  text.replace(at, 13, "texture=ghost");
  const auto line = std::to_string(std::count(text.begin(), text.begin() + at, '\n') + 1);
  scene = write("ghost.vrscene", text);
  expectFailure(qvray({"render", scene, "-o", out}),
                scene + ":" + line + ": Node 'ground' shows 'ghost': there is no plug-in 'ghost'");

  text = good;
  text.replace(text.find("painting.png"), 12, "missing.png");
  scene = write("nopainting.vrscene", text);
  expectFailure(qvray({"render", scene, "-o", out}), "BitmapBuffer 'paint': ");

  text = good;
  text.replace(text.find("type=8"), 6, "type=3");
  scene = write("planar.vrscene", text);
  expectFailure(qvray({"render", scene, "-o", out}), "'type' 3 is not supported");

  scene = write("set.vrscene", good);
  expectFailure(qvray({"render", scene, "-o", path("no/such/folder/out.png")}),
                "cannot write " + path("no/such/folder/out.png"));
  // The image could be written, its matte not: neither is left behind.
  expectFailure(qvray({"render", scene, "-o", out, "--aov", "seen::outMatte=" + path("no/m.exr")}),
                "cannot write " + path("no/m.exr"));
  expectFailure(qvray({"render", scene, "-o", out, "--aov", "seen::outNothing"}),
                "--aov seen::outNothing: ");
}

TEST(QvrayRenderUsage, BadUsageShowsUsage) {
  const std::vector<std::vector<std::string>> cases = {
      {"render"},
      {"render", "s.vrscene"},
      {"render", "s.vrscene", "-o", "out.jpg"},
      {"render", "s.vrscene", "-o", "out.png", "--samples", "0"},
      {"render", "s.vrscene", "-o", "out.png", "--aov", "seen=matte.png"},
      {"render", "s.vrscene", "-o", "out.png", "--aov", "=m.exr"},
      {"render", "s.vrscene", "-o", "out.exr", "--aov", "a=./out.exr"},
      {"render", "s.vrscene", "t.vrscene", "-o", "out.png"},
  };
  for (const std::vector<std::string>& args : cases) {
    SCOPED_TRACE(args.back());
    // The scene is never read: usage is checked first.
    const CommandResult r = qv::test::runCommand(run, args, "");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "usage: qvray probe")) << r.err;
  }
}

TEST(QvrayRenderNaming, OutputsWithoutAFileAreNamedAfterTheImage) {
  EXPECT_EQ(defaultOutputFile("/a/b.c/shot.png", "seen::outMatte"),
            "/a/b.c/shot.seen_outMatte.exr");
  EXPECT_EQ(defaultOutputFile("shot.exr", "weave"), "shot.weave.exr");
}

TEST(QvrayRenderSamples, FillThePixelEvenly) {
  using Samples = std::vector<std::array<double, 2>>;
  EXPECT_EQ(vrayhost::pixelSamples(1), (Samples{{0.5, 0.5}}));
  const Samples three = vrayhost::pixelSamples(3);
  ASSERT_EQ(three.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    EXPECT_DOUBLE_EQ(three[k][0], (k + 0.5) / 3);
    EXPECT_NEAR(three[k][1], std::fmod(0.5 + k * (std::sqrt(5.0) - 1) / 2, 1.0), 1e-12);
  }
  for (int n = 1; n <= 40; ++n) {
    for (const auto& s : vrayhost::pixelSamples(n)) {
      EXPECT_TRUE(s[0] > 0 && s[0] < 1 && s[1] >= 0 && s[1] < 1) << n;
    }
  }
}

}  // namespace
}  // namespace qv::qvray
