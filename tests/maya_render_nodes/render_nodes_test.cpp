// The render-node plug-ins qv_veilVRay and qv_shotWeaveVRay as Maya sees them:
// loading and unloading, every attribute, dirty propagation and compute.
#include "maya_host.h"

#define MNoVersionString
#include <maya/MFnAttribute.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnTypedAttribute.h>
#include <maya/MMatrix.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qv::maya {
namespace {

namespace fs = std::filesystem;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

const std::string kFailureText = "(kFailure): Unexpected Internal Failure\n";

struct Plugin {
  const char* path;
  const char* name;  // plug-in, node type and class name
  unsigned int id;
  const char* mainSource;
};

const Plugin kVeil{QV_VEIL_PLUGIN, "qv_veilVRay", 0x112215F0, "qv_veil_maya_v002.cpp"};
const Plugin kShotWeave{QV_SHOTWEAVE_PLUGIN, "qv_shotWeaveVRay", 0x215558F0,
                        "qv_shotWeave_Maya_v007.cpp"};

// ---- Entry points, for both plug-ins --------------------------------------

class RenderNodePluginTest : public testing::TestWithParam<Plugin> {
 protected:
  Host host;
};

TEST_P(RenderNodePluginTest, RegistersItsNodeTypeWithItsConstants) {
  const Plugin& plugin = GetParam();
  std::string error;
  ASSERT_TRUE(host.loadPlugin(plugin.path, &error)) << error;
  EXPECT_EQ(host.pluginApiVersion(plugin.name), "201500");
  EXPECT_EQ(host.pluginVendor(plugin.name),
            (std::pair<std::string, std::string>{"Qavel Works, LLC", "1.0"}));
  auto type = host.nodeType(plugin.name);
  ASSERT_TRUE(type);
  EXPECT_EQ(type->id, MTypeId(plugin.id));
  EXPECT_EQ(type->classification, "texture");
  EXPECT_EQ(type->vendor, "Qavel Works, LLC");
  EXPECT_EQ(type->version, "1.0");
  EXPECT_EQ(type->plugin, plugin.name);
}

TEST_P(RenderNodePluginTest, FailedAttachStillRegistersAndReturnsTheRegistrationStatus) {
  const Plugin& plugin = GetParam();
  host.failCall("MFnPlugin::MFnPlugin");
  CaptureStdout();
  CaptureStderr();
  EXPECT_TRUE(host.loadPlugin(plugin.path));
  EXPECT_EQ(GetCapturedStderr(), "failed to initialize plugin: " + kFailureText);
  EXPECT_EQ(GetCapturedStdout(), "Could not initialize MFnPlugin.\n\n");
  EXPECT_EQ(host.lastEntryStatus(), MS::kSuccess);
  EXPECT_TRUE(host.nodeType(plugin.name));
  ASSERT_TRUE(host.unloadPlugin(plugin.name));

  host.failCall("MFnPlugin::MFnPlugin");
  host.failCall("MFnPlugin::registerNode", 1, MS::kInsufficientMemory);
  CaptureStdout();
  CaptureStderr();
  EXPECT_FALSE(host.loadPlugin(plugin.path));
  EXPECT_EQ(GetCapturedStderr(),
            "failed to initialize plugin: " + kFailureText +
                "registerNode failed: (kInsufficientMemory): Insufficient memory\n");
  GetCapturedStdout();
  EXPECT_EQ(host.lastEntryStatus(), MS::kInsufficientMemory);
  EXPECT_FALSE(host.nodeType(plugin.name));
}

TEST_P(RenderNodePluginTest, SecondRegistrationFailsAndLeavesTheFirstWorking) {
  const Plugin& plugin = GetParam();
  ASSERT_TRUE(host.loadPlugin(plugin.path));
  const fs::path copy =
      fs::path(testing::TempDir()) / (std::string(plugin.name) + "Copy" QV_MAYA_PLUGIN_SUFFIX);
  fs::copy_file(plugin.path, copy, fs::copy_options::overwrite_existing);
  CaptureStderr();
  EXPECT_FALSE(host.loadPlugin(copy.string()));
  EXPECT_EQ(GetCapturedStderr(), "registerNode failed: " + kFailureText);
  EXPECT_EQ(host.lastEntryStatus(), MS::kFailure);
  EXPECT_EQ(host.plugins(), std::vector<std::string>{plugin.name});
  const std::string node = host.createNode(plugin.name);
  ASSERT_FALSE(node.empty());
  EXPECT_TRUE(host.getAttr(node + ".outColorR"));
  EXPECT_FALSE(host.isDirty(node + ".outColor"));
}

TEST_P(RenderNodePluginTest, UnloadAttachesAsUnknownAndDeregistersTheSameTypeId) {
  const Plugin& plugin = GetParam();
  ASSERT_TRUE(host.loadPlugin(plugin.path));
  host.createNode(plugin.name, "n");
  host.failCall("MFnPlugin::deregisterNode");
  CaptureStderr();
  EXPECT_FALSE(host.unloadPlugin(plugin.name, nullptr, /*force=*/true));
  EXPECT_EQ(GetCapturedStderr(), "deregisterNode failed: " + kFailureText);
  EXPECT_EQ(host.lastEntryStatus(), MS::kFailure);
  EXPECT_EQ(host.pluginVendor(plugin.name),
            (std::pair<std::string, std::string>{"Unknown", "Unknown"}));
  EXPECT_TRUE(host.nodeType(plugin.name));

  EXPECT_TRUE(host.unloadPlugin(plugin.name));
  EXPECT_FALSE(host.nodeType(plugin.name));
  EXPECT_TRUE(host.plugins().empty());
}

TEST_P(RenderNodePluginTest, AttributeFailuresAreReportedAndInitializeGoesOn) {
  const Plugin& plugin = GetParam();
  host.failCall("MFnAttribute::setHidden");
  CaptureStderr();
  EXPECT_TRUE(host.loadPlugin(plugin.path));
  const std::string report = GetCapturedStderr();
  EXPECT_EQ(report.rfind("\nAPI error detected in ", 0), 0u) << report;
  EXPECT_NE(report.find(std::string(plugin.mainSource) + " at line "), std::string::npos) << report;
  EXPECT_NE(report.find("\n" + kFailureText), std::string::npos) << report;
  const std::string node = host.createNode(plugin.name);
  MFnDependencyNode fn(host.node(node));
  EXPECT_FALSE(MFnAttribute(fn.attribute("outApiType")).isHidden());
  EXPECT_TRUE(MFnAttribute(fn.attribute("outApiClassification")).isHidden());
}

INSTANTIATE_TEST_SUITE_P(RenderNodes, RenderNodePluginTest, testing::Values(kVeil, kShotWeave),
                         [](const testing::TestParamInfo<Plugin>& info) {
                           return std::string(info.param.name);
                         });

// ---- Attributes as Maya sees them ----------------------------------------

enum class Kind { kColor, kFloat, kInt, kBool, kString, kMatrix };

struct Expected {
  const char* longName;
  const char* shortName;
  Kind kind;
  std::vector<double> defaults;  // numbers; the text for strings
  const char* text;
  std::optional<std::pair<double, double>> range;
  bool keyable, storable, readable, writable, hidden;
};

constexpr bool T = true;
constexpr bool F = false;
using Range = std::pair<double, double>;

class RenderNodeTest : public testing::Test {
 protected:
  void load(const Plugin& plugin) {
    std::string error;
    ASSERT_TRUE(host.loadPlugin(plugin.path, &error)) << error;
    ASSERT_EQ(host.createNode(plugin.name, "n"), "n");
  }

  std::vector<double> get(const std::string& attribute) {
    std::string error;
    auto values = host.getAttr("n." + attribute, &error);
    EXPECT_TRUE(values) << error;
    return values.value_or(std::vector<double>{});
  }

  // In the order added; values of a fresh node are the defaults.
  void expectAttributes(const std::vector<Expected>& table) {
    MFnDependencyNode fn(host.node("n"));
    ASSERT_EQ(fn.attributeCount(), table.size());
    for (unsigned int i = 0; i < table.size(); ++i) {
      const Expected& row = table[i];
      SCOPED_TRACE(row.longName);
      const MObject object = fn.attribute(i);
      MFnAttribute attribute(object);
      EXPECT_EQ(attribute.name(), row.longName);
      EXPECT_EQ(attribute.shortName(), row.shortName);
      EXPECT_EQ(attribute.isKeyable(), row.keyable);
      EXPECT_EQ(attribute.isStorable(), row.storable);
      EXPECT_EQ(attribute.isReadable(), row.readable);
      EXPECT_EQ(attribute.isWritable(), row.writable);
      EXPECT_EQ(attribute.isHidden(), row.hidden);
      if (row.kind == Kind::kString) {
        EXPECT_EQ(MFnTypedAttribute(object).attrType(), MFnData::kString);
        EXPECT_EQ(host.getStringAttr(std::string("n.") + row.longName), row.text);
        continue;
      }
      if (row.kind == Kind::kMatrix) {
        EXPECT_TRUE(object.hasFn(MFn::kMatrixAttribute));
        EXPECT_EQ(get(row.longName).size(), 16u);
        continue;
      }
      MFnNumericAttribute numeric(object);
      std::vector<double> defaults(row.kind == Kind::kColor ? 3 : 1);
      if (row.kind == Kind::kColor) {
        EXPECT_EQ(numeric.unitType(), MFnNumericData::k3Float);
        EXPECT_TRUE(numeric.isUsedAsColor());
        EXPECT_TRUE(numeric.getDefault(defaults[0], defaults[1], defaults[2]));
      } else {
        const MFnNumericData::Type unit = row.kind == Kind::kFloat ? MFnNumericData::kFloat
                                          : row.kind == Kind::kInt ? MFnNumericData::kInt
                                                                   : MFnNumericData::kBoolean;
        EXPECT_EQ(numeric.unitType(), unit);
        EXPECT_TRUE(numeric.getDefault(defaults[0]));
      }
      EXPECT_EQ(defaults, row.defaults);
      if (row.writable) {
        EXPECT_EQ(get(row.longName), row.defaults);
      }
      EXPECT_EQ(numeric.hasMin(), row.range.has_value());
      EXPECT_EQ(numeric.hasMax(), row.range.has_value());
      if (row.range) {
        double min = 0.0, max = 0.0;
        EXPECT_TRUE(numeric.getMin(min) && numeric.getMax(max));
        EXPECT_EQ(Range(min, max), *row.range);
      }
    }
  }

  Host host;
};

TEST_F(RenderNodeTest, VeilAttributes) {
  load(kVeil);
  const std::vector<double> none;
  expectAttributes({
      {"outColor", "oc", Kind::kColor, {0, 0, 0}, "", {}, F, F, T, F, F},
      // Never computed (nothing affects it), so its white is its default.
      {"outMatte", "om", Kind::kColor, {1, 1, 1}, "", {}, F, F, T, F, F},
      {"outApiType", "oat", Kind::kString, none, "qv_veilVRay", {}, F, T, T, T, T},
      {"outApiClassification", "oac", Kind::kString, none, "texture", {}, F, T, T, T, T},
      {"color", "clr", Kind::kColor, {0.5, 0.5, 0.5}, "", {}, T, T, T, T, F},
      {"mask", "rlg", Kind::kFloat, {1}, "", Range{0, 1}, T, T, T, T, F},
      {"colorOffset", "off", Kind::kColor, {0, 0, 0}, "", {}, T, T, T, T, F},
      {"placementMatrix", "pm", Kind::kMatrix, none, "", {}, F, T, T, T, F},
      {"passThrough", "pass", Kind::kBool, {0}, "", {}, T, T, T, T, F},
      {"distanceThreshold", "dist", Kind::kFloat, {-1}, "", {}, T, T, T, T, F},
      {"useShadowOcclusion", "occl", Kind::kBool, {0}, "", {}, T, T, T, T, F},
      {"dilate", "dlt", Kind::kFloat, {0}, "", {}, T, T, T, T, F},
      {"samples", "smp", Kind::kInt, {24}, "", {}, T, T, T, T, F},
      {"softEdge", "se", Kind::kFloat, {0.5}, "", {}, T, T, T, T, F},
      {"power", "pwr", Kind::kFloat, {2}, "", {}, T, T, T, T, F},
      {"useFacingRatio", "ufr", Kind::kBool, {0}, "", {}, T, T, T, T, F},
      {"angleThreshold", "ang", Kind::kFloat, {90}, "", {}, T, T, T, T, F},
      {"labelExclude", "excl", Kind::kInt, {-1}, "", {}, T, T, T, T, F},
      {"premult", "pmlt", Kind::kBool, {1}, "", {}, T, T, T, T, F},
  });
}

TEST_F(RenderNodeTest, ShotWeaveAttributes) {
  load(kShotWeave);
  const std::vector<double> none;
  expectAttributes({
      {"outColor", "oc", Kind::kColor, {0, 0, 0}, "", {}, F, F, T, F, F},
      {"outAlpha", "oa", Kind::kFloat, {0}, "", {}, F, F, T, F, F},
      {"outMatte", "om", Kind::kColor, {0, 0, 0}, "", {}, F, F, T, F, F},
      {"outTransparency", "ot", Kind::kColor, {0, 0, 0}, "", {}, F, F, T, F, F},
      {"outApiType", "oat", Kind::kString, none, "qv_shotWeaveVRay", {}, F, T, T, T, T},
      {"outApiClassification", "oac", Kind::kString, none, "texture", {}, F, T, T, T, T},
      {"color_a", "ca", Kind::kColor, {0.5, 0.5, 0.5}, "", {}, T, T, T, T, F},
      {"matte_a", "ma", Kind::kColor, {1, 1, 1}, "", {}, T, T, T, T, F},
      {"color_b", "cb", Kind::kColor, {0.5, 0.5, 0.5}, "", {}, T, T, T, T, F},
      {"matte_b", "mb", Kind::kColor, {1, 1, 1}, "", {}, T, T, T, T, F},
  });
}

// ---- Dirty propagation -----------------------------------------------------

// Every input of qv_veilVRay dirties "outColor", none "outMatte".
TEST_F(RenderNodeTest, VeilInputsDirtyOutColorOnly) {
  load(kVeil);
  const std::vector<std::pair<const char*, std::vector<double>>> inputs = {
      {"color", {0.1, 0.2, 0.3}},
      {"mask", {0.5}},
      {"colorOffset", {0.1, 0.1, 0.1}},
      {"passThrough", {1}},
      {"distanceThreshold", {3}},
      {"useShadowOcclusion", {1}},
      {"dilate", {0.5}},
      {"samples", {8}},
      {"softEdge", {0.25}},
      {"power", {3}},
      {"useFacingRatio", {1}},
      {"angleThreshold", {45}},
      {"labelExclude", {2}},
      {"premult", {0}}};
  MMatrix scale;
  scale(0, 0) = 2.0;
  for (const auto& [input, values] : inputs) {
    SCOPED_TRACE(input);
    get("outColor");
    ASSERT_FALSE(host.isDirty("n.outColor"));
    ASSERT_TRUE(host.setAttr(std::string("n.") + input, values));
    EXPECT_TRUE(host.isDirty("n.outColor"));
    EXPECT_FALSE(host.isDirty("n.outMatte"));
  }
  get("outColor");
  ASSERT_TRUE(host.setAttr("n.placementMatrix", scale));
  EXPECT_TRUE(host.isDirty("n.outColor"));
  EXPECT_FALSE(host.isDirty("n.outMatte"));

  get("outColor");
  ASSERT_TRUE(host.setAttr("n.outApiType", std::string("other")));
  EXPECT_FALSE(host.isDirty("n.outColor"));
  EXPECT_EQ(get("outMatte"), (std::vector<double>{1, 1, 1}));
}

TEST_F(RenderNodeTest, ShotWeaveInputsDirtyAllOutputs) {
  load(kShotWeave);
  const char* outputs[] = {"outColor", "outAlpha", "outMatte", "outTransparency"};
  for (const char* input : {"color_a", "color_b", "matte_a", "matte_b"}) {
    SCOPED_TRACE(input);
    for (const char* output : outputs) get(output);
    ASSERT_TRUE(host.setAttr(std::string("n.") + input, std::vector<double>{0.25, 0.5, 0.75}));
    for (const char* output : outputs) EXPECT_TRUE(host.isDirty(std::string("n.") + output));
  }
  for (const char* output : outputs) get(output);
  ASSERT_TRUE(host.setAttr("n.outApiClassification", std::string("other")));
  for (const char* output : outputs) EXPECT_FALSE(host.isDirty(std::string("n.") + output));
}

// ---- compute -----------------------------------------------------------------

TEST_F(RenderNodeTest, VeilComputesOutColorFromAChildAndDeclinesForeignPlugs) {
  load(kVeil);
  ASSERT_TRUE(host.setAttr("n.color", std::vector<double>{0.25, 0.5, 0.75}));
  EXPECT_EQ(get("outColorG"), std::vector<double>{0.5});
  EXPECT_FALSE(host.isDirty("n.outColor"));
  EXPECT_EQ(get("outColor"), (std::vector<double>{0.25, 0.5, 0.75}));

  EXPECT_EQ(host.compute("n.omb"), MS::kSuccess);
  EXPECT_EQ(get("outMatte"), (std::vector<double>{1, 1, 1}));
  for (const char* foreign : {"n.color", "n.clrr", "n.mask", "n.outApiType", "n.pm"}) {
    EXPECT_EQ(host.compute(foreign), MS::kUnknownParameter) << foreign;
  }
}

TEST_F(RenderNodeTest, ShotWeaveCleansItsOutputsAndDeclinesForeignPlugs) {
  load(kShotWeave);
  ASSERT_TRUE(host.setAttr("n.color_a", std::vector<double>{0.25, 0.5, 0.75}));
  EXPECT_EQ(get("outColorR"), std::vector<double>{0.0});
  EXPECT_FALSE(host.isDirty("n.outColor"));
  EXPECT_EQ(get("outColor"), (std::vector<double>{0, 0, 0}));
  for (const char* output : {"n.oc", "n.ocg", "n.oa", "n.om", "n.otb"}) {
    EXPECT_EQ(host.compute(output), MS::kSuccess) << output;
  }
  for (const char* foreign : {"n.color_a", "n.mbr", "n.outApiType"}) {
    EXPECT_EQ(host.compute(foreign), MS::kUnknownParameter) << foreign;
  }
}

}  // namespace
}  // namespace qv::maya
