// What the qv_vpProjector tests share: a session with the plug-in loaded
// from disk, and small PNG files whose every pixel differs.
#pragma once

#include "maya_host.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qv::vpProjector::test {

// RGBA bytes, rows as a PNG stores them: top row first.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;

  // The pixel at MImage's row `row` (counted from the bottom), column `column`.
  std::array<uint8_t, 4> atImageRow(int row, int column) const {
    const size_t at = (static_cast<size_t>(height - 1 - row) * width + column) * 4;
    return {rgba[at], rgba[at + 1], rgba[at + 2], rgba[at + 3]};
  }
};

// Every pixel distinct in all four bytes; `seed` tells pictures apart.
Picture distinctPicture(int width, int height, int seed);

// Writes the picture as a PNG under the test's temporary folder; its path.
std::string writePng(const Picture& picture, const std::string& name);

class ProjectorSession : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host.loadPlugin(QV_PROJECTOR_PLUGIN, &error)) << error;
  }

  qv::maya::Host host;
};

}  // namespace qv::vpProjector::test
