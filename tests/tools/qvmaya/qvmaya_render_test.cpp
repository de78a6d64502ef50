// qvmaya render: scenes written here, rendered through the command, read
// back from OpenEXR files and checked against what the projection and the
// stack must give. The paintings are linear in x and y, so a bilinear (or
// symmetric anisotropic) read at a texel centre gives back exactly that
// texel, and every texel differs from every other.
#include "command_test.h"
#include "image_file.h"
#include "qvmaya.h"
#include "shader_runner.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv::qvmaya {
namespace {

namespace fs = std::filesystem;
using qv::test::contains;
using qv::test::lines;

constexpr int kSize = 16;  // the image and the paintings are kSize x kSize
using Rgba = std::array<double, 4>;
// A painting's texel (x, y), row 0 at the top, as byte values of a line
// a + b x + c y per channel.
using Painting = std::array<std::array<int, 3>, 4>;
const Painting kFirst = {{{8, 15, 0}, {8, 0, 15}, {40, 6, 7}, {100, 4, 5}}};
const Painting kSecond = {{{200, -10, 0}, {30, 0, 12}, {90, 5, -3}, {60, 3, 6}}};

Rgba texel(const Painting& p, int x, int y) {
  Rgba value{};
  for (int c = 0; c < 4; ++c) value[c] = (p[c][0] + p[c][1] * x + p[c][2] * y) / 255.0;
  return value;
}

std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// A rigid camera to world matrix, row vectors, as the stand-in's transform
// makes it from rotate (degrees, x then y) and translate.
struct Placement {
  double rx, ry;
  double m[4][4] = {};
  Placement(double rotateX, double rotateY, std::array<double, 3> t) : rx(rotateX), ry(rotateY) {
    const double a = rx * M_PI / 180.0, b = ry * M_PI / 180.0;
    const double x[3][3] = {
        {1, 0, 0}, {0, std::cos(a), std::sin(a)}, {0, -std::sin(a), std::cos(a)}};
    const double y[3][3] = {
        {std::cos(b), 0, -std::sin(b)}, {0, 1, 0}, {std::sin(b), 0, std::cos(b)}};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        for (int k = 0; k < 3; ++k) m[i][j] += x[i][k] * y[k][j];
      }
      m[3][i] = t[i];
    }
    m[3][3] = 1;
  }
  // The world to camera matrix, for a projector's placementMatrix.
  std::string inverse() const {
    double r[4][4] = {};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        r[i][j] = m[j][i];
        r[3][j] -= m[3][i] * m[j][i];
      }
    }
    r[3][3] = 1;
    std::string text;
    for (const auto& row : r) {
      for (double v : row) text += " " + number(v);
    }
    return text;
  }
};

// The horizontal aperture (inches) that gives a 1-radian field of view at a
// 25.4 mm focal length: the projector's field of view with nothing
// connected into placementMatrix, so that a projector placed at the render
// camera covers the square image exactly.
const std::string kAperture = number(2.0 * std::tan(0.5));

class QvmayaRenderTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("MAYA_PLUG_IN_PATH");
    if (old) oldPath_ = std::make_unique<std::string>(old);
    setenv("MAYA_PLUG_IN_PATH", QV_PLUGIN_DIR, 1);
    writePainting("first.png", kFirst);
    writePainting("second.png", kSecond);
  }
  void TearDown() override {
    if (oldPath_) {
      setenv("MAYA_PLUG_IN_PATH", oldPath_->c_str(), 1);
    } else {
      unsetenv("MAYA_PLUG_IN_PATH");
    }
  }

  void writePainting(const std::string& name, const Painting& painting) {
    image::Rgba picture(kSize, kSize);
    for (int y = 0; y < kSize; ++y) {
      for (int x = 0; x < kSize; ++x) {
        const Rgba value = texel(painting, x, y);
        for (int c = 0; c < 4; ++c) picture.at(x, y)[c] = static_cast<float>(value[c]);
      }
    }
    std::string error;
    ASSERT_TRUE(image::write((scratch_.path() / name).string(), picture, &error)) << error;
  }

  // A quad in the plane z = 0 of its mesh, from (x0, y0) to (x1, y1), with
  // texture coordinates (u0, v0) .. (u1, v1) at those corners.
  std::string quad(const std::string& name, double x0, double y0, double x1, double y1,
                   double u0 = 0, double v0 = 0, double u1 = 1, double v1 = 1) {
    const std::string text = "v " + number(x0) + " " + number(y0) + " 0\nv " + number(x1) + " " +
                             number(y0) + " 0\nv " + number(x1) + " " + number(y1) + " 0\nv " +
                             number(x0) + " " + number(y1) + " 0\nvt " + number(u0) + " " +
                             number(v0) + "\nvt " + number(u1) + " " + number(v0) + "\nvt " +
                             number(u1) + " " + number(v1) + "\nvt " + number(u0) + " " +
                             number(v1) + "\nf 1/1 2/2 3/3 4/4\n";
    scratch_.write(name, text);
    return name;
  }

  static std::string camera(const Placement& at) {
    return "createNode transform -n cam;\n"
           "setAttr .t -type double3 " +
           number(at.m[3][0]) + " " + number(at.m[3][1]) + " " + number(at.m[3][2]) +
           ";\nsetAttr .r -type double3 " + number(at.rx) + " " + number(at.ry) +
           " 0;\ncreateNode camera -n camShape -p cam;\nsetAttr .fl 25.4;\nsetAttr .hfa " +
           kAperture + ";\n";
  }

  static std::string mesh(const std::string& name, const std::string& obj, double z) {
    return "createNode transform -n " + name + ";\nsetAttr .t -type double3 0 0 " + number(z) +
           ";\ncreateNode mesh -n " + name + "Shape -p " + name +
           ";\nsetAttr .objFile -type string \"" + obj + "\";\n";
  }

  static std::string projector(const std::string& name, const std::string& painting, int mapType,
                               const std::string& placement = "") {
    std::string text = "createNode qv_vpProjector -n " + name + ";\nsetAttr .f -type string \"" +
                       painting + "\";\nsetAttr .mt " + std::to_string(mapType) + ";\n";
    if (!placement.empty()) text += "setAttr .pm -type matrix" + placement + ";\n";
    return text;
  }

  // Renders the scene; the image read back, empty when the render failed.
  image::Rgba render(const std::string& scene, std::vector<std::string> options,
                     test::CommandResult* result = nullptr) {
    return renderFile(
        "requires \"qv_vpProjector\" \"3.0\";\nrequires \"qv_vpStack\" \"3.0\";\n" + scene, options,
        result);
  }

  // Renders the scene file's text as it stands.
  image::Rgba renderFile(const std::string& text, std::vector<std::string> options,
                         test::CommandResult* result = nullptr) {
    const std::string path = scratch_.write("scene.ma", text);
    const std::string output = (scratch_.path() / "out.exr").string();
    fs::remove(output);
    std::vector<std::string> args = {
        "render", path, "-o", output, "-w", std::to_string(kSize), "-h", std::to_string(kSize),
        "--quiet"};
    args.insert(args.end(), options.begin(), options.end());
    test::CommandResult ran = test::runCommand(run, args, "");
    image::Rgba picture;
    std::string error;
    if (ran.status == 0) {
      EXPECT_TRUE(image::read(output, &picture, &error)) << error;
    }
    if (result) *result = ran;
    return picture;
  }

  // The render on the device and on the CPU; the device's is empty where
  // this process finds no Vulkan device, and must come from one where it does.
  std::array<image::Rgba, 2> renderBoth(const std::string& scene) {
    test::CommandResult device;
    image::Rgba onDevice = render(scene, {}, &device);
    EXPECT_EQ(device.status, 0) << device.err;
    std::string why;
    const bool available = gpu::Device::create(&why) != nullptr;
    EXPECT_EQ(contains(device.err, "no Vulkan device"), !available) << device.err;
    if (!available) onDevice = image::Rgba();
    test::CommandResult cpu;
    const image::Rgba onCpu = render(scene, {"--cpu"}, &cpu);
    EXPECT_EQ(cpu.status, 0) << cpu.err;
    return {onDevice, onCpu};
  }

  // Checks every pixel for which `expected` gives a value.
  static void expectPixels(const image::Rgba& picture, const char* path, double tolerance,
                           const std::function<bool(int, int, Rgba*)>& expected) {
    ASSERT_EQ(picture.width, kSize) << path;
    ASSERT_EQ(picture.height, kSize) << path;
    for (int y = 0; y < kSize; ++y) {
      for (int x = 0; x < kSize; ++x) {
        Rgba want{};
        if (!expected(x, y, &want)) continue;
        for (int c = 0; c < 4; ++c) {
          EXPECT_NEAR(picture.at(x, y)[c], want[c], tolerance)
              << path << " pixel " << x << "," << y << " channel " << c;
        }
      }
    }
  }

  test::ScratchDir scratch_{"qvmaya_render"};

 private:
  std::unique_ptr<std::string> oldPath_;
};

// A projector placed at the render camera, covering the same square field
// of view, puts texel (x, y) on pixel (x, y): that takes the placement
// matrix applied to Pw as Maya applies an MMatrix, and the painting's top
// row at the top.
TEST_F(QvmayaRenderTest, ProjectsThroughTheRenderCameraPixelForPixel) {
  const Placement at(-12.0, 25.0, {3.0, 2.0, 8.0});
  const std::string scene = camera(at) +
                            mesh("ground", quad("ground.obj", -500, -500, 500, 500), -40.0) +
                            projector("paint", "first.png", 2, at.inverse()) +
                            "connectAttr paint.outColor groundShape.surfaceColor;\n";
  const auto [onDevice, onCpu] = renderBoth(scene);
  const auto painting = [](int x, int y, Rgba* want) {
    *want = texel(kFirst, x, y);
    return true;
  };
  expectPixels(onCpu, "cpu", 1e-4, painting);
  if (onDevice.pixels.empty()) GTEST_SKIP() << "no Vulkan device";
  // The anisotropic filter the projector asks for reads beyond the texel
  // (lavapipe's over about a texel), which the border darkens at the edge.
  expectPixels(onDevice, "device", 1e-4, [&](int x, int y, Rgba* want) {
    return x > 0 && y > 0 && x < kSize - 1 && y < kSize - 1 && painting(x, y, want);
  });
}

// Camera 2's negative z axis looks away from everything in view, so the
// projector shows its colorOffset with alpha 0; an unconnected mesh shows
// its grey, and pixels that hit nothing are (0, 0, 0, 0).
TEST_F(QvmayaRenderTest, BehindTheProjectionCameraShowsColorOffset) {
  const Placement at(0.0, 0.0, {0.0, 0.0, 0.0});
  const Placement away(0.0, 180.0, {0.5, 0.0, 1.0});
  // Left half of the view: the projected plane; top right: a grey one.
  const std::string scene = camera(at) + mesh("left", quad("left.obj", -500, -500, 0, 500), -10) +
                            mesh("grey", quad("grey.obj", 0, 0, 500, 500), -10) +
                            projector("paint", "first.png", 2, away.inverse()) +
                            "setAttr paint.colorOffset -type float3 0.25 0.5 0.75;\n"
                            "connectAttr paint.outColor leftShape.surfaceColor;\n";
  for (const image::Rgba& picture : renderBoth(scene)) {
    if (picture.pixels.empty()) continue;
    expectPixels(picture, "image", 1e-6, [](int x, int y, Rgba* want) {
      *want = x < kSize / 2   ? Rgba{0.25, 0.5, 0.75, 0}
              : y < kSize / 2 ? Rgba{0.5, 0.5, 0.5, 1}
                              : Rgba{0, 0, 0, 0};
      return true;
    });
  }
}

// Two projectors stacked, layer 0 the camera projection of the first
// painting, layer 1 the second painting by UV (premultiplied): colour
// c0 + m1 c1 (1 - m0), alpha min(m0 + m1, 1).
TEST_F(QvmayaRenderTest, StacksTwoProjectorsByTheStackingFormula) {
  const Placement at(0.0, 0.0, {1.0, -2.0, 3.0});
  // At distance 10 the view spans 10 tan(0.5) to each side; the quad spans
  // twice that, its texture coordinates -0.5 .. 1.5, so that the UV map too
  // lands texel centres on pixel centres.
  const double half = 20.0 * std::tan(0.5);
  const std::string scene =
      camera(at) +
      mesh("ground",
           quad("ground.obj", 1 - half, -2 - half, 1 + half, -2 + half, -0.5, -0.5, 1.5, 1.5),
           -7.0) +
      projector("near", "first.png", 2, at.inverse()) + projector("back", "second.png", 0) +
      "createNode qv_vpStack -n stack;\nsetAttr .pr1 yes;\n"
      "connectAttr near.outColor stack.color0;\nconnectAttr near.outAlpha stack.mask0;\n"
      "connectAttr back.outColor stack.color1;\nconnectAttr back.outAlpha stack.mask1;\n"
      "connectAttr stack.outColor groundShape.surfaceColor;\n";
  const auto stacked = [](int x, int y, Rgba* want) {
    const Rgba front = texel(kFirst, x, y), back = texel(kSecond, x, y);
    for (int c = 0; c < 3; ++c) (*want)[c] = front[c] + back[c] * back[3] * (1 - front[3]);
    (*want)[3] = std::min(front[3] + back[3], 1.0);
    return true;
  };
  const auto [onDevice, onCpu] = renderBoth(scene);
  expectPixels(onCpu, "cpu", 1e-4, stacked);
  if (onDevice.pixels.empty()) GTEST_SKIP() << "no Vulkan device";
  expectPixels(onDevice, "device", 1e-4, [&](int x, int y, Rgba* want) {
    return x > 0 && y > 0 && x < kSize - 1 && y < kSize - 1 && stacked(x, y, want);
  });
}

// Where every read is bilinear (spherical and UV maps wrap), the fragments'
// own text on the device and their CPU references give the same image: here
// a spherical projection over a tilted plane whose UV map repeats three times.
TEST_F(QvmayaRenderTest, DeviceAndCpuAgree) {
  const Placement at(-30.0, 15.0, {2.0, 6.0, 9.0});
  const std::string scene =
      camera(at) + mesh("ground", quad("ground.obj", -20, -20, 20, 20, 0, 0, 3, 3), 0.0) +
      "setAttr ground.r -type double3 -80 10 0;\n" +
      projector("ball", "first.png", 1, " 1 0 0 0 0 1 0 0 0 0 1 0 -1 2 0.5 1") +
      projector("tiles", "second.png", 0) +
      "setAttr tiles.flipU yes;\n"
      "createNode qv_vpStack -n stack;\n"
      "connectAttr ball.outColor stack.color0;\nconnectAttr ball.outAlpha stack.mask0;\n"
      "connectAttr tiles.outColor stack.color1;\nsetAttr stack.mask1 1;\n"
      "connectAttr stack.outColor groundShape.surfaceColor;\n";
  const auto [onDevice, onCpu] = renderBoth(scene);
  if (onDevice.pixels.empty()) GTEST_SKIP() << "no Vulkan device";
  int covered = 0;
  expectPixels(onDevice, "device", 1e-4, [&](int x, int y, Rgba* want) {
    for (int c = 0; c < 4; ++c) (*want)[c] = onCpu.at(x, y)[c];
    covered += (*want)[3] > 0;
    return true;
  });
  EXPECT_GT(covered, kSize * kSize / 2);
}

// Without a Vulkan device (here: no driver for the loader to find) the
// command says so and shows what the CPU references give.
TEST_F(QvmayaRenderTest, WithoutADeviceTheCpuReferencesRun) {
  const Placement at(0.0, 0.0, {0.0, 0.0, 0.0});
  const std::string scene = camera(at) + mesh("ground", quad("ground.obj", -5, -5, 5, 5), -10) +
                            projector("paint", "first.png", 0) +
                            "connectAttr paint.outColor groundShape.surfaceColor;\n";
  const image::Rgba onCpu = render(scene, {"--cpu"});
  test::CommandResult result;
  image::Rgba fallback;
  {
    const char* const variables[] = {"VK_ICD_FILENAMES", "VK_DRIVER_FILES"};
    std::unique_ptr<std::string> old[2];
    for (int i = 0; i < 2; ++i) {
      if (const char* value = std::getenv(variables[i]))
        old[i] = std::make_unique<std::string>(value);
      setenv(variables[i], (scratch_.path() / "no_driver.json").c_str(), 1);
    }
    fallback = render(scene, {}, &result);
    for (int i = 0; i < 2; ++i) {
      if (old[i]) {
        setenv(variables[i], old[i]->c_str(), 1);
      } else {
        unsetenv(variables[i]);
      }
    }
  }
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<std::string> said = lines(result.err);
  ASSERT_EQ(said.size(), 2u) << result.err;
  EXPECT_EQ(said[0].rfind("qvmaya: no Vulkan device (", 0), 0u) << said[0];
  EXPECT_TRUE(contains(said[0], "); using the CPU reference of the shaders")) << said[0];
  EXPECT_EQ(said[1].rfind("qvmaya: 16x16, ", 0), 0u) << said[1];
  EXPECT_EQ(fallback.pixels, onCpu.pixels);
}

// The stack of the test above as an artist sets it up in Maya 2016 and Maya
// saves it: a polyPlane feeding the mesh's inMesh through the history Maya
// adds (a polyTweak, whose one tweak pulls the last corner far back, out of
// view, and a groupParts), the stack into a lambert's colour, the lambert
// into the shading engine the mesh is a member of. The second layer is a
// flat colour over all of it.
TEST_F(QvmayaRenderTest, ProjectionSetUpAsInMayaShowsThroughTheMeshesMaterial) {
  const Placement at(0.0, 0.0, {1.0, -2.0, 3.0});
  const std::string size = number(40.0 * std::tan(0.5));
  const std::string scene =
      "//Maya ASCII 2016 scene\n"
      "requires maya \"2016\";\nrequires \"qv_vpProjector\" \"3.0\";\n"
      "requires \"qv_vpStack\" \"3.0\";\n" +
      camera(at) +
      "createNode transform -n \"ground\";\n"
      "\tsetAttr \".t\" -type \"double3\" 1 -2 -7 ;\n"
      "createNode mesh -n \"groundShape\" -p \"ground\";\n"
      "\tsetAttr -k off \".v\";\n"
      "\tsetAttr \".uvst[0].uvsn\" -type \"string\" \"map1\";\n"
      "\tsetAttr \".cuvs\" -type \"string\" \"map1\";\n"
      "createNode polyPlane -n \"polyPlane1\";\n"
      "\tsetAttr \".ax\" -type \"double3\" 0 0 1 ;\n"
      "\tsetAttr \".w\" " +
      size + ";\n\tsetAttr \".h\" " + size + ";\n" +
      projector("near", "first.png", 2, at.inverse()) +
      "createNode qv_vpStack -n \"stack\";\n"
      "\tsetAttr \".pr1\" yes;\n"
      "\tsetAttr \".color1\" -type \"float3\" 0.25 0.5 0.75;\n"
      "\tsetAttr \".mask1\" 1;\n"
      "createNode lambert -n \"painted\";\n"
      "createNode shadingEngine -n \"paintedSG\";\n"
      "\tsetAttr \".ihi\" 0;\n\tsetAttr \".ro\" yes;\n"
      "createNode polyTweak -n \"polyTweak1\";\n"
      "\tsetAttr \".uopa\" yes;\n"
      "\tsetAttr -s 1 \".tk[120]\" -type \"float3\" 0 0 -500 ;\n"
      "createNode groupParts -n \"groupParts1\";\n"
      "\tsetAttr \".ihi\" 0;\n"
      "\tsetAttr \".ic\" -type \"componentList\" 1 \"f[*]\";\n"
      "connectAttr \"polyPlane1.out\" \"polyTweak1.ip\";\n"
      "connectAttr \"polyTweak1.out\" \"groupParts1.ig\";\n"
      "connectAttr \"groupParts1.og\" \"groundShape.i\";\n"
      "connectAttr \"near.outColor\" \"stack.color0\";\n"
      "connectAttr \"near.outAlpha\" \"stack.mask0\";\n"
      "connectAttr \"stack.outColor\" \"painted.c\";\n"
      "connectAttr \"painted.oc\" \"paintedSG.ss\";\n"
      "connectAttr \"groundShape.iog\" \"paintedSG.dsm\" -na;\n";
  const auto stacked = [](int x, int y, Rgba* want) {
    const Rgba front = texel(kFirst, x, y);
    const Rgba flat = {0.25, 0.5, 0.75, 1.0};
    for (int c = 0; c < 3; ++c) (*want)[c] = front[c] + flat[c] * (1 - front[3]);
    (*want)[3] = 1.0;
    return true;
  };
  test::CommandResult cpu;
  expectPixels(renderFile(scene, {"--cpu", "--camera", "cam"}, &cpu), "cpu", 1e-4, stacked);
  EXPECT_EQ(cpu.status, 0) << cpu.err;
  EXPECT_EQ(lines(cpu.err).size(), 1u) << cpu.err;
}

// Faces show the materials of the engines their object groups are members
// of; a mesh whose data does not add up draws nothing, and says so, and so
// do intermediate objects and hidden ones: the two cards behind them show.
TEST_F(QvmayaRenderTest, FacesShowTheirGroupsMaterialsAndBrokenMeshesDrawNothing) {
  const std::string cover =
      "\tsetAttr -s 4 \".vt[0:3]\"  -9 -9 0 9 -9 0 -9 9 0 9 9 0;\n"
      "\tsetAttr -s 4 \".ed[0:3]\"  0 1 0 0 2 0 1 3 0 2 3 0;\n"
      "\tsetAttr -ch 4 \".fc[0]\" -type \"polyFaces\" \n\t\tf 4 0 2 -4 -2;\n";
  const std::string scene =
      "//Maya ASCII 2016 scene\nrequires maya \"2016\";\n"
      "createNode transform -n \"view\";\n\tsetAttr \".t\" -type \"double3\" 0 0 10 ;\n"
      "createNode camera -n \"viewShape\" -p \"view\";\n"
      "\tsetAttr \".o\" yes;\n\tsetAttr \".ow\" 4;\n"
      "createNode transform -n \"cards\";\n"
      "createNode mesh -n \"cardsShape\" -p \"cards\";\n"
      "\tsetAttr -s 2 \".iog[0].og\";\n"
      "\tsetAttr \".iog[0].og[0].gcl\" -type \"componentList\" 1 \"f[0]\";\n"
      "\tsetAttr \".iog[0].og[1].gcl\" -type \"componentList\" 1 \"f[1]\";\n"
      "\tsetAttr -s 6 \".vt[0:5]\"  -2 -1 0 0 -1 0 2 -1 0 -2 1 0 0 1 0 2 1 0;\n"
      "\tsetAttr -s 7 \".ed[0:6]\"  0 1 0 1 2 0 3 4 0 4 5 0 0 3 0 1 4 0 2 5 0;\n"
      "\tsetAttr -s 2 -ch 8 \".fc[0:1]\" -type \"polyFaces\" \n"
      "\t\tf 4 0 5 -3 -5\n\t\tf 4 1 6 -4 -6;\n"
      "createNode transform -n \"broken\";\n\tsetAttr \".t\" -type \"double3\" 0 0 1 ;\n"
      "createNode mesh -n \"brokenShape\" -p \"broken\";\n"
      "\tsetAttr -s 3 \".vt[0:2]\"  -9 -9 0 9 -9 0 0 9 0;\n"
      "\tsetAttr -s 3 \".ed[0:2]\"  0 1 0 1 9 0 2 0 0;\n"
      "\tsetAttr -ch 3 \".fc[0]\" -type \"polyFaces\" \n\t\tf 3 0 1 2;\n"
      "createNode transform -n \"history\";\n\tsetAttr \".t\" -type \"double3\" 0 0 2 ;\n"
      "createNode mesh -n \"historyShape\" -p \"history\";\n\tsetAttr \".io\" yes;\n" +
      cover +
      "createNode transform -n \"hidden\";\n\tsetAttr \".v\" no;\n"
      "\tsetAttr \".t\" -type \"double3\" 0 0 3 ;\n"
      "createNode mesh -n \"hiddenShape\" -p \"hidden\";\n" +
      cover +
      "createNode lambert -n \"red\";\n\tsetAttr \".c\" -type \"float3\" 1 0 0 ;\n"
      "createNode shadingEngine -n \"redSG\";\n"
      "createNode groupId -n \"groupId1\";\ncreateNode groupId -n \"groupId2\";\n"
      "connectAttr \"red.oc\" \"redSG.ss\";\n"
      "connectAttr \"groupId1.id\" \"cardsShape.iog.og[0].gid\";\n"
      "connectAttr \"groupId2.id\" \"cardsShape.iog.og[1].gid\";\n"
      "connectAttr \"cardsShape.iog.og[0]\" \"redSG.dsm\" -na;\n"
      "connectAttr \"cardsShape.iog.og[1]\" \":initialShadingGroup.dsm\" -na;\n";
  test::CommandResult result;
  const std::string output = (scratch_.path() / "cards.exr").string();
  const std::string path = scratch_.write("cards.ma", scene);
  result = test::runCommand(
      run, {"render", path, "-o", output, "-w", "16", "-h", "8", "--quiet", "--cpu"}, "");
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<std::string> said = lines(result.err);
  ASSERT_EQ(said.size(), 2u) << result.err;
  EXPECT_EQ(said[0],
            "qvmaya: mesh brokenShape is not drawn: brokenShape.ed[1]: names vertex 9 of 3")
      << said[0];
  image::Rgba picture;
  std::string error;
  ASSERT_TRUE(image::read(output, &picture, &error)) << error;
  ASSERT_EQ(picture.width, 16);
  ASSERT_EQ(picture.height, 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      const Rgba want = x < 8 ? Rgba{1, 0, 0, 1} : Rgba{0.5, 0.5, 0.5, 1};
      for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(picture.at(x, y)[c], want[c]) << x << "," << y << " channel " << c;
      }
    }
  }
}

// Bad input: one line, exit status 1, and no image, partial or whole.
// Bad usage: exit status 2 with the usage.
TEST_F(QvmayaRenderTest, ErrorsGiveOneMessageAndNoImage) {
  const Placement at(0.0, 0.0, {0.0, 0.0, 0.0});
  const std::string ground = mesh("ground", quad("ground.obj", -5, -5, 5, 5), -10);
  const struct {
    std::string scene;
    std::vector<std::string> options;
    std::string message;
  } cases[] = {
      {camera(at) + ground, {"--camera", "nowhere"}, "qvmaya: no camera named nowhere"},
      {camera(at) + mesh("lost", "missing.obj", 0), {}, "qvmaya: mesh lostShape: "},
      {camera(at) + "setAttr nothing.tx 1;\n", {}, "scene.ma line 9: No object matches name"},
      {camera(at) + ground +
           "createNode qv_vpStack -n a;\ncreateNode qv_vpStack -n b;\n"
           "connectAttr a.outColor b.color0;\nconnectAttr b.outColor a.color0;\n"
           "connectAttr a.outColor groundShape.surfaceColor;\n",
       {},
       "is a cycle"}};
  for (const auto& c : cases) {
    test::CommandResult result;
    const image::Rgba picture = render(c.scene, c.options, &result);
    EXPECT_EQ(result.status, 1) << c.message;
    EXPECT_EQ(lines(result.err).size(), 1u) << result.err;
    EXPECT_TRUE(contains(result.err, c.message)) << result.err;
    for (const auto& entry : fs::directory_iterator(scratch_.path())) {
      EXPECT_NE(entry.path().extension(), ".exr") << entry.path();
    }
  }
  const test::CommandResult noImage =
      test::runCommand(run, {"render", (scratch_.path() / "scene.ma").string()}, "");
  EXPECT_EQ(noImage.status, 2);
  EXPECT_TRUE(contains(noImage.err, "qvmaya: render needs -o IMAGE")) << noImage.err;
  const test::CommandResult badSize =
      test::runCommand(run, {"render", "a.ma", "-o", "a.png", "-w", "0"}, "");
  EXPECT_EQ(badSize.status, 2);
  EXPECT_TRUE(contains(badSize.err, "-w takes a whole number")) << badSize.err;
}

}  // namespace
}  // namespace qv::qvmaya
