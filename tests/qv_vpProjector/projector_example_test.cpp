// examples/projector.ma through qvmaya, as a pipeline script would run it.
#include "qvmaya.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace qv::vpProjector::test {
namespace {

std::string format(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

TEST(ProjectorExampleTest, LoadsTheImageTakesTheCameraAndDrawsInTheViewport) {
  unsetenv("MAYA_PLUG_IN_PATH");  // the plug-in of this build
  std::istringstream script(
      "getAttr projector.outColor; getAttr projector.texWidth; getAttr projector.texHeight;\n"
      "getAttr projector.fitType; getAttr projector.resRatio;\n"
      "ogs -refresh; ogs -dump projector;\n");
  std::ostringstream out, err;
  const int status =
      qv::qvmaya::run({QV_SOURCE_DIR "/examples/projector.ma", "-"}, script, out, err);
  EXPECT_EQ(status, 0) << err.str();
  EXPECT_EQ(err.str(), "");
  std::istringstream lines(out.str());
  std::string line;
  // uv (0, 0): the bottom-left pixel of projector.png.
  std::getline(lines, line);
  EXPECT_EQ(line, format(40 / 255.0f) + " " + format(210 / 255.0f) + " " + format(200 / 255.0f));
  std::getline(lines, line);
  EXPECT_EQ(line, "8");
  std::getline(lines, line);
  EXPECT_EQ(line, "4");
  std::getline(lines, line);
  EXPECT_EQ(line, "2");  // the camera's default horizontal film fit
  std::getline(lines, line);
  EXPECT_EQ(line, format(static_cast<float>(2.0 * std::atan(0.945 * 25.4 / 100.0))));
  const std::string dump(std::istreambuf_iterator<char>(lines), {});
  EXPECT_NE(dump.find("projector: fragment qv_vpProjectorGraph"), std::string::npos) << dump;
  EXPECT_NE(dump.find("examples/projector.png"), std::string::npos) << dump;
  EXPECT_NE(dump.find("kAnisotropic"), std::string::npos) << dump;
}

}  // namespace
}  // namespace qv::vpProjector::test
