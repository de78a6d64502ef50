// The qv_vpStack node in the stand-in Maya session, loaded from disk: its
// registration, attributes, dirty propagation and compute, and a scene read
// by qvmaya.
#include "maya_host.h"
#include "qvmaya.h"
#include "stack_reference.h"

#define MNoVersionString
#include <maya/MFnAttribute.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MPxNode.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace qv::vpstack::test {
namespace {

using maya::Host;

const char* const kOutputs[] = {"outColor", "outAlpha", "outTransparency"};

std::vector<double> wide(const Rgb& c) {
  return {c[0], c[1], c[2]};
}

class StackNodeTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host.loadPlugin(QV_VPSTACK_PLUGIN, &error)) << error;
    ASSERT_EQ(host.createNode("qv_vpStack", "n"), "n");
  }

  void set(const std::string& attribute, const std::vector<double>& values) {
    std::string error;
    ASSERT_TRUE(host.setAttr("n." + attribute, values, &error)) << error;
  }

  std::vector<double> get(const std::string& attribute) {
    std::string error;
    auto values = host.getAttr("n." + attribute, &error);
    EXPECT_TRUE(values) << error;
    return values.value_or(std::vector<double>{});
  }

  void set(const Layers& layers) {
    for (int n = 0; n < kLayers; ++n) {
      const std::string number = std::to_string(n);
      set("color" + number, wide(layers.color[n]));
      set("mask" + number, {layers.mask[n]});
      set("premultiply" + number, {layers.premultiply[n] ? 1.0 : 0.0});
      set("solo" + number, {layers.solo[n] ? 1.0 : 0.0});
    }
  }

  // The outputs as double, which holds every float exactly.
  void expectOutputs(const Rgb& color, float alpha, const Rgb& transparency) {
    EXPECT_EQ(get("outColor"), wide(color));
    EXPECT_EQ(get("outAlpha"), std::vector<double>{alpha});
    EXPECT_EQ(get("outTransparency"), wide(transparency));
  }

  Host host;
};

TEST_F(StackNodeTest, RegistersTheNodeTypeAndAlwaysUnloads) {
  EXPECT_EQ(host.pluginApiVersion("qv_vpStack"), "201500");
  EXPECT_EQ(host.pluginVendor("qv_vpStack"),
            (std::pair<std::string, std::string>{"Qavel Works, LLC", "3.0"}));
  auto type = host.nodeType("qv_vpStack");
  ASSERT_TRUE(type);
  EXPECT_EQ(type->id, MTypeId(0x22571469));
  EXPECT_EQ(type->classification, "utility/color:drawdb/shader/operation/qv_vpStack");
  MFnDependencyNode fn(host.node("n"));
  ASSERT_NE(fn.userNode(), nullptr);
  EXPECT_TRUE(host.isMPSafe("n"));

  // A viewport plug-in reports a failed deregistration and unloads all the same.
  ASSERT_TRUE(host.deleteNode("n"));
  host.failCall("MFnPlugin::deregisterNode");
  testing::internal::CaptureStderr();
  EXPECT_TRUE(host.unloadPlugin("qv_vpStack"));
  EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("\nAPI error detected in ", 0), 0u);
  EXPECT_EQ(host.lastEntryStatus(), MS::kSuccess);
  EXPECT_TRUE(host.plugins().empty());
}

TEST_F(StackNodeTest, AttributesInAddOrderWithNamesDefaultsAndFlags) {
  struct Row {
    std::string longName, shortName;
    MFnNumericData::Type unit;
    bool input;
  };
  std::vector<Row> rows;
  for (int n = 0; n < kLayers; ++n) {
    const std::string number = std::to_string(n);
    rows.push_back({"color" + number, "co" + number, MFnNumericData::k3Float, true});
    rows.push_back({"mask" + number, "m" + number, MFnNumericData::kFloat, true});
    rows.push_back({"premultiply" + number, "pr" + number, MFnNumericData::kBoolean, true});
    rows.push_back({"solo" + number, "s" + number, MFnNumericData::kBoolean, true});
  }
  rows.push_back({"outColor", "oc", MFnNumericData::k3Float, false});
  rows.push_back({"outTransparency", "ot", MFnNumericData::k3Float, false});
  rows.push_back({"outAlpha", "oa", MFnNumericData::kFloat, false});

  MFnDependencyNode fn(host.node("n"));
  ASSERT_EQ(fn.attributeCount(), rows.size());
  for (unsigned int i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.longName);
    MFnNumericAttribute attribute(fn.attribute(i));
    EXPECT_EQ(attribute.name(), row.longName.c_str());
    EXPECT_EQ(attribute.shortName(), row.shortName.c_str());
    EXPECT_EQ(attribute.unitType(), row.unit);
    EXPECT_EQ(attribute.isUsedAsColor(), row.unit == MFnNumericData::k3Float);
    EXPECT_EQ(attribute.isKeyable(), row.input);
    EXPECT_EQ(attribute.isStorable(), row.input);
    EXPECT_TRUE(attribute.isReadable());
    EXPECT_EQ(attribute.isWritable(), row.input);
    EXPECT_FALSE(attribute.hasMin());
    EXPECT_FALSE(attribute.hasMax());
    if (row.input) {
      EXPECT_EQ(get(row.longName),
                std::vector<double>(row.unit == MFnNumericData::k3Float ? 3 : 1));
    }
  }
}

TEST_F(StackNodeTest, EveryInputDirtiesAllThreeOutputs) {
  MFnDependencyNode fn(host.node("n"));
  for (unsigned int i = 0; i < 4 * kLayers; ++i) {
    const std::string input = MFnAttribute(fn.attribute(i)).name().asChar();
    SCOPED_TRACE(input);
    for (const char* output : kOutputs) get(output);
    set(input, std::vector<double>(input.rfind("color", 0) == 0 ? 3 : 1, 1.0));
    for (const char* output : kOutputs) EXPECT_TRUE(host.isDirty(std::string("n.") + output));
  }
}

TEST_F(StackNodeTest, ComputeEdgeCases) {
  struct Case {
    const char* name;
    std::function<void(Layers&)> setUp;
    Rgb color;
    float alpha;
  };
  const Rgb red{1, 0, 0}, green{0, 1, 0}, blue{0, 0, 1};
  const std::vector<Case> cases = {
      {"defaults", [](Layers&) {}, {0, 0, 0}, 0},
      {"all masks 0: a plain, unclamped sum",
       [](Layers& l) {
         for (int n = 0; n < kLayers; ++n) l.color[n] = {n / 8.0f, 0.25f, -n / 16.0f};
       },
       {15, 4, -7.5f},
       0},
      {"red at half over blue, premultiplied",
       [&](Layers& l) {
         l.color[0] = red, l.mask[0] = 0.5f, l.premultiply[0] = true;
         l.color[1] = blue, l.mask[1] = 1, l.premultiply[1] = true;
       },
       {0.5f, 0, 0.5f},
       1},
      {"only layer 0 covered hides the rest",
       [](Layers& l) {
         l.color[0] = {0.25f, 0.5f, 0.75f}, l.mask[0] = 1;
         l.color[3] = {1, 1, 1};
       },
       {0.25f, 0.5f, 0.75f},
       1},
      {"mask15 alone scales nothing",
       [](Layers& l) {
         for (Rgb& c : l.color) c = {0.125f, 0.25f, 0.5f};
         l.mask[15] = 1;
       },
       {2, 4, 8},
       1},
      {"mask0 = 2 subtracts what lies beneath",
       [&](Layers& l) {
         l.color[0] = red, l.mask[0] = 2;
         l.color[1] = green;
       },
       {1, -1, 0},
       1},
      {"solo3 and solo9: layer 9 alone",
       [&](Layers& l) {
         l.color[3] = red, l.mask[3] = 0.25f, l.solo[3] = true;
         l.color[9] = {0, 0.5f, 1}, l.mask[9] = 0.75f, l.premultiply[9] = true, l.solo[9] = true;
         l.color[0] = green, l.mask[0] = 1;
       },
       {0, 0.375f, 0.75f},
       0.75f},
      {"a soloed mask of 1.5 is not clamped, nor its colour scaled",
       [](Layers& l) {
         l.color[4] = {0.2f, 0.4f, 0.6f}, l.mask[4] = 1.5f, l.solo[4] = true;
       },
       {0.2f, 0.4f, 0.6f},
       1.5f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Layers layers;
    c.setUp(layers);
    set(layers);
    expectOutputs(c.color, c.alpha, {1 - c.alpha, 1 - c.alpha, 1 - c.alpha});
  }
}

TEST_F(StackNodeTest, AnAcceptedPlugComputesAllOutputsAndOthersAreDeclined) {
  set("color1", {0, 0, 1});
  set("mask1", {1});
  set("premultiply1", {1});
  for (const char* foreign : {"n.color0", "n.co0r", "n.mask0", "n.pr3", "n.solo15"}) {
    EXPECT_EQ(host.compute(foreign), MS::kUnknownParameter) << foreign;
  }
  for (const char* output : kOutputs) EXPECT_TRUE(host.isDirty(std::string("n.") + output));

  EXPECT_EQ(host.compute("n.outColorG"), MS::kSuccess);
  for (const char* output : kOutputs) EXPECT_FALSE(host.isDirty(std::string("n.") + output));
  expectOutputs({0, 0, 1}, 1, {0, 0, 0});
  for (const char* accepted : {"n.oc", "n.ocr", "n.oa", "n.ot", "n.otb"}) {
    EXPECT_EQ(host.compute(accepted), MS::kSuccess) << accepted;
  }
}

TEST_F(StackNodeTest, RandomStacksMatchTheRecipeBitForBit) {
  std::mt19937 random(20150611);
  for (int i = 0; i < 300; ++i) {
    // Masks on both sides of [0, 1]; in every third stack some layers soloed.
    const Layers layers = randomLayers(random, -0.5f, 2.0f, i % 3 == 0 ? 8 : 1000);
    set(layers);
    const Stacked expected = nodeStack(layers);
    SCOPED_TRACE(i);
    expectOutputs(expected.color, expected.alpha, expected.transparency);
    if (HasFailure()) break;
  }
}

// ---- The example scene, read by qvmaya ----------------------------------------

TEST(StackSceneTest, QvmayaReadsTheExampleAndSolosTheHiddenLayer) {
  const std::string scene = std::string(QV_SOURCE_DIR) + "/examples/stack.ma";
  std::istringstream in(
      "getAttr stack.outColor; getAttr stack.outAlpha; getAttr stack.outTransparency;\n"
      "setAttr stack.solo2 1;\n"
      "getAttr stack.outColor; getAttr stack.outAlpha; getAttr stack.outTransparency;\n");
  std::ostringstream out, err;
  ASSERT_EQ(setenv("MAYA_PLUG_IN_PATH", QV_PLUGIN_DIR, 1), 0);
  const int status = qvmaya::run({scene, "-"}, in, out, err);
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(status, 0);
  // Blue covers green fully: red at half over blue. Soloed, green shows with
  // its own unclamped mask.
  EXPECT_EQ(out.str(), "0.5 0 0.5\n1\n0 0 0\n0 1 0\n1.5\n-0.5 -0.5 -0.5\n");
}

}  // namespace
}  // namespace qv::vpstack::test
