#include "maya_host.h"

#define MNoVersionString
#define MNoPluginEntry
#include <maya/MAngle.h>
#include <maya/MFnAttribute.h>
#include <maya/MFnCamera.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnPlugin.h>
#include <maya/MFnTypedAttribute.h>
#include <maya/MPlug.h>
#include <maya/MPlugArray.h>
#include <maya/MRenderUtil.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace qv::maya {
namespace {

namespace fs = std::filesystem;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

class MayaHostTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host.loadPlugin(QV_MAYA_TEST_PLUGIN, &error)) << error;
  }

  int computeCalls() const {
    auto count =
        reinterpret_cast<int (*)()>(host.pluginSymbol("qv_testNode", "qvTestComputeCalls"));
    return count ? count() : -1;
  }

  std::vector<double> get(const std::string& plug) {
    std::string error;
    auto values = host.getAttr(plug, &error);
    EXPECT_TRUE(values) << error;
    return values.value_or(std::vector<double>{});
  }

  MPlug plug(const std::string& node, const char* attribute) {
    return MFnDependencyNode(host.node(node)).findPlug(attribute);
  }

  Host host;
};

void* noNode() {
  return nullptr;
}

TEST_F(MayaHostTest, RegistrationRecordsThePluginAndRefusesDuplicates) {
  EXPECT_EQ(host.pluginApiVersion("qv_testNode"), "201500");
  auto type = host.nodeType("qvTestNode");
  ASSERT_TRUE(type);
  EXPECT_EQ(type->id, MTypeId(0x0013FF00));
  EXPECT_EQ(type->classification, "texture");
  EXPECT_EQ(type->vendor, "Qavel Works, LLC");
  EXPECT_EQ(type->version, "1.0");
  EXPECT_EQ(type->plugin, "qv_testNode");

  MFnPlugin plugin;
  EXPECT_EQ(plugin.registerNode("qvTestNode", MTypeId(0x0013FF01), noNode, nullptr), MS::kFailure);
  EXPECT_EQ(plugin.registerNode("qvOther", MTypeId(0x0013FF00), noNode, nullptr), MS::kFailure);
  EXPECT_EQ(plugin.deregisterNode(MTypeId(0x7777)), MS::kFailure);

  // A second copy of the library registers the same type: its load fails
  // and takes nothing of the first with it.
  const fs::path copy = fs::path(testing::TempDir()) / "qv_testNodeCopy" QV_MODULE_SUFFIX;
  fs::copy_file(QV_MAYA_TEST_PLUGIN, copy, fs::copy_options::overwrite_existing);
  CaptureStderr();
  EXPECT_FALSE(host.loadPlugin(copy.string()));
  EXPECT_EQ(GetCapturedStderr(), "registerNode failed: (kFailure): Unexpected Internal Failure\n");
  EXPECT_EQ(host.lastEntryStatus(), MS::kFailure);
  EXPECT_EQ(host.plugins(), std::vector<std::string>{"qv_testNode"});
  EXPECT_FALSE(host.createNode("qvTestNode").empty());

  EXPECT_TRUE(host.unloadPlugin("qv_testNode"));
  EXPECT_FALSE(host.nodeType("qvTestNode"));
  EXPECT_TRUE(host.listNodes().empty());
  EXPECT_FALSE(host.unloadPlugin("qv_testNode"));
}

// Maya finds the entry points by the names its platform's builds export (C++
// names on Linux, plain names on Windows); a library exporting them the other
// way is refused before any of its code runs.
TEST_F(MayaHostTest, EntryPointsAreFoundByThePlatformsNames) {
  std::string error;
  EXPECT_FALSE(host.loadPlugin(QV_MAYA_FOREIGN_ENTRY_PLUGIN, &error));
  EXPECT_EQ(error, "qv_testForeignEntry: no initializePlugin or uninitializePlugin");
  EXPECT_EQ(host.plugins(), std::vector<std::string>{"qv_testNode"});
}

TEST_F(MayaHostTest, AttributesAreAsCreated) {
  const std::string node = host.createNode("qvTestNode", "n");
  ASSERT_EQ(node, "n");
  MFnDependencyNode fn(host.node(node));
  EXPECT_EQ(fn.typeName(), "qvTestNode");
  EXPECT_EQ(fn.attributeCount(), 5u);

  MFnNumericAttribute input(fn.attribute("in"));
  EXPECT_EQ(input.name(), "input");
  EXPECT_EQ(input.shortName(), "in");
  EXPECT_EQ(input.unitType(), MFnNumericData::kFloat);
  double value = 0.0;
  EXPECT_TRUE(input.getDefault(value));
  EXPECT_EQ(value, 1.0);
  EXPECT_TRUE(input.getMin(value) && value == 0.0);
  EXPECT_TRUE(input.getMax(value) && value == 10.0);
  EXPECT_TRUE(input.isKeyable() && input.isStorable() && input.isReadable() && input.isWritable());

  MFnNumericAttribute color(fn.attribute("color"));
  EXPECT_TRUE(color.isUsedAsColor());
  EXPECT_FALSE(color.isKeyable());
  EXPECT_EQ(MFnAttribute(fn.attribute("cg")).name(), "colorG");
  EXPECT_EQ(MFnAttribute(fn.attribute("colorB")).shortName(), "cb");

  MFnNumericAttribute output(fn.attribute("out"));
  EXPECT_EQ(output.unitType(), MFnNumericData::k3Float);
  EXPECT_FALSE(output.isStorable() || output.isWritable());

  MFnTypedAttribute label(fn.attribute("lb"));
  EXPECT_EQ(label.attrType(), MFnData::kString);
  EXPECT_TRUE(label.isHidden());
  EXPECT_EQ(host.getStringAttr("n.label"), "qv");

  EXPECT_EQ(get("n.c"), (std::vector<double>{0.5, 0.25, 1.0}));
  EXPECT_EQ(get("n.colorG"), std::vector<double>{0.25});
  // Range limits clamp what is set.
  EXPECT_TRUE(host.setAttr("n.in", 12.0));
  EXPECT_EQ(get("n.input"), std::vector<double>{10.0});
  EXPECT_FALSE(host.getAttr("n.nothing"));
}

TEST_F(MayaHostTest, ChildPlugsKnowTheirParent) {
  host.createNode("qvTestNode", "n");
  MPlug outputY = plug("n", "oy");
  MPlug output = plug("n", "output");
  MObject outputAttribute = output.attribute();
  EXPECT_TRUE(outputY.isChild());
  EXPECT_EQ(outputY.parent(), output);
  EXPECT_TRUE(outputY.parent() == outputAttribute);
  EXPECT_FALSE(outputY == outputAttribute);
  EXPECT_TRUE(plug("n", "in").parent().isNull());
  EXPECT_EQ(output.numChildren(), 3u);
  EXPECT_EQ(output.child(1), outputY);
  EXPECT_EQ(outputY.name(), "n.outputY");
  EXPECT_EQ(outputY.partialName(), "oy");
}

TEST_F(MayaHostTest, PullingADirtyOutputComputesItOnce) {
  host.createNode("qvTestNode", "n");
  const int before = computeCalls();
  EXPECT_TRUE(host.isDirty("n.output"));
  EXPECT_EQ(get("n.output"), (std::vector<double>{0.5, 0.25, 1.0}));
  EXPECT_EQ(computeCalls(), before + 1);
  EXPECT_FALSE(host.isDirty("n.output"));
  EXPECT_EQ(get("n.outputZ"), std::vector<double>{1.0});
  EXPECT_EQ(computeCalls(), before + 1);

  ASSERT_TRUE(host.setAttr("n.in", 2.0));
  EXPECT_TRUE(host.isDirty("n.output"));
  // Asking for one child computes the whole output.
  EXPECT_EQ(get("n.ox"), std::vector<double>{1.0});
  EXPECT_EQ(get("n.output"), (std::vector<double>{1.0, 0.5, 2.0}));
  EXPECT_EQ(computeCalls(), before + 2);

  // A label change affects nothing.
  ASSERT_TRUE(host.setAttr("n.label", std::string("other")));
  EXPECT_FALSE(host.isDirty("n.output"));
  EXPECT_EQ(MFnDependencyNode(host.node("n")).findPlug("lb").asString(), "other");
}

TEST_F(MayaHostTest, DeclinedPlugIsTakenAsCleanWithItsValue) {
  host.createNode("qvTestNode", "n");
  const int before = computeCalls();
  EXPECT_EQ(get("n.other"), std::vector<double>{7.0});
  EXPECT_EQ(computeCalls(), before + 1);
  EXPECT_FALSE(host.isDirty("n.other"));
  EXPECT_EQ(get("n.oth"), std::vector<double>{7.0});
  EXPECT_EQ(computeCalls(), before + 1);
  ASSERT_TRUE(host.setAttr("n.input", 3.0));
  EXPECT_TRUE(host.isDirty("n.other"));
}

TEST_F(MayaHostTest, ConnectionsCarryValuesAndDirtiness) {
  host.createNode("qvTestNode", "a");
  host.createNode("qvTestNode", "b");
  std::string error;
  ASSERT_TRUE(host.connectAttr("a.output", "b.color", &error)) << error;
  ASSERT_TRUE(host.connectAttr("a.outputX", "b.input", &error)) << error;
  // One source per destination, children included; outputs take none.
  EXPECT_FALSE(host.connectAttr("a.color", "b.color"));
  EXPECT_FALSE(host.connectAttr("a.cr", "b.color"));
  EXPECT_FALSE(host.connectAttr("a.color", "b.output"));
  EXPECT_FALSE(host.connectAttr("a.input", "b.label"));
  EXPECT_FALSE(host.setAttr("b.in", 1.0));

  MPlugArray sources;
  EXPECT_TRUE(plug("b", "color").connectedTo(sources, true, false));
  ASSERT_EQ(sources.length(), 1u);
  EXPECT_EQ(sources[0], plug("a", "output"));
  EXPECT_EQ(MFnDependencyNode(sources[0].node()).name(), "a");

  // b.output = a.output * a.outputX = colour * input^2 of a.
  EXPECT_EQ(get("b.output"), (std::vector<double>{0.25, 0.125, 0.5}));
  ASSERT_TRUE(host.setAttr("a.input", 2.0));
  EXPECT_TRUE(host.isDirty("b.color"));
  EXPECT_TRUE(host.isDirty("b.output"));
  EXPECT_EQ(get("b.output"), (std::vector<double>{1.0, 0.5, 2.0}));
  EXPECT_FALSE(host.isDirty("b.color"));

  // A destination keeps its last value when cut loose.
  ASSERT_TRUE(host.disconnectAttr("a.output", "b.color"));
  EXPECT_FALSE(host.disconnectAttr("a.output", "b.color"));
  ASSERT_TRUE(host.setAttr("a.input", 4.0));
  EXPECT_EQ(get("b.color"), (std::vector<double>{1.0, 0.5, 2.0}));
  EXPECT_EQ(get("b.output"), (std::vector<double>{2.0, 1.0, 4.0}));
  EXPECT_TRUE(host.setAttr("b.color", std::vector<double>{1.0, 1.0, 1.0}));
}

TEST_F(MayaHostTest, TransformsPlaceTheirShapes) {
  const std::string transform = host.createNode("transform", "cam");
  const std::string shape = host.createNode("camera", "camShape", transform);
  ASSERT_EQ(shape, "camShape");
  EXPECT_EQ(host.createNode("camera", "", "camShape"), "");
  EXPECT_EQ(get("camShape.hfa"), std::vector<double>{1.41732});
  EXPECT_EQ(get("camShape.verticalFilmAperture"), std::vector<double>{0.94488});
  EXPECT_EQ(get("camShape.fl"), std::vector<double>{35.0});
  EXPECT_EQ(get("camShape.filmFit"), std::vector<double>{1.0});

  MFnDagNode dag(host.node(transform));
  ASSERT_EQ(dag.childCount(), 1u);
  EXPECT_TRUE(dag.child(0).hasFn(MFn::kCamera));
  EXPECT_TRUE(dag.child(0).hasFn(MFn::kDagNode));
  EXPECT_EQ(MFnDagNode(dag.child(0)).parent(0), host.node(transform));

  ASSERT_TRUE(host.setAttr("cam.t", std::vector<double>{1.0, 2.0, 3.0}));
  ASSERT_TRUE(host.setAttr("cam.ry", 90.0));
  const std::vector<double> world = get("camShape.wm");
  ASSERT_EQ(world.size(), 16u);
  EXPECT_NEAR(world[2], -1.0, 1e-12);  // x axis turned onto -z
  EXPECT_EQ(std::vector<double>(world.begin() + 12, world.end()),
            (std::vector<double>{1.0, 2.0, 3.0, 1.0}));

  ASSERT_TRUE(host.deleteNode(transform));
  EXPECT_TRUE(host.listNodes().empty());
}

TEST_F(MayaHostTest, CamerasGiveFieldsOfViewAndFilmFit) {
  host.createNode("transform", "cam");
  host.createNode("camera", "camShape", "cam");
  ASSERT_TRUE(host.setAttr("camShape.hfa", 1.5));
  ASSERT_TRUE(host.setAttr("camShape.vfa", 0.5));
  ASSERT_TRUE(host.setAttr("camShape.fl", 25.4));
  ASSERT_TRUE(host.setAttr("camShape.ff", 3.0));
  MStatus status;
  MFnCamera camera(MFnDagNode(host.node("cam")).child(0), &status);
  ASSERT_EQ(status, MS::kSuccess);
  // 2 atan(aperture * 25.4 / (2 * 25.4)) = 2 atan(aperture / 2)
  EXPECT_DOUBLE_EQ(camera.horizontalFieldOfView(&status), 2.0 * std::atan(0.75));
  EXPECT_EQ(status, MS::kSuccess);
  EXPECT_DOUBLE_EQ(camera.verticalFieldOfView(), 2.0 * std::atan(0.25));
  EXPECT_DOUBLE_EQ(camera.aspectRatio(), 3.0);
  EXPECT_EQ(camera.filmFit(), MFnCamera::kOverscanFilmFit);
  ASSERT_TRUE(host.setAttr("camShape.ff", 0.0));
  EXPECT_EQ(camera.filmFit(), MFnCamera::kFillFilmFit);
  EXPECT_NEAR(MAngle(camera.horizontalFieldOfView()).asDegrees(), 73.7397953, 1e-6);
  EXPECT_DOUBLE_EQ(MAngle(90.0, MAngle::kDegrees).asRadians(), std::acos(0.0));
  EXPECT_DOUBLE_EQ(MAngle(30.0, MAngle::kAngMinutes).asDegrees(), 0.5);

  host.createNode("mesh", "ground");
  MFnCamera notACamera(host.node("ground"), &status);
  EXPECT_EQ(status, MS::kInvalidParameter);
  EXPECT_EQ(notACamera.focalLength(&status), 0.0);
  EXPECT_EQ(status, MS::kInvalidParameter);
  EXPECT_EQ(MFnCamera().filmFit(&status), MFnCamera::kInvalid);
  EXPECT_EQ(status, MS::kInvalidParameter);
  host.failCall("MFnCamera::MFnCamera");
  MFnCamera failed(host.node("camShape"), &status);
  EXPECT_EQ(status, MS::kFailure);
  failed.aspectRatio(&status);
  EXPECT_EQ(status, MS::kInvalidParameter);
}

TEST_F(MayaHostTest, TextureNamesResolveAsGivenOrInTheSearchPath) {
  const fs::path folder = fs::path(testing::TempDir()) / "qv_textures";
  fs::create_directories(folder / "sub");
  std::ofstream(folder / "sub" / "paint.png") << "x";
  MString exact = "stale";
  EXPECT_FALSE(MRenderUtil::exactFileTextureName("", false, "", exact));
  EXPECT_EQ(exact, "");
  const std::string absolute = (folder / "sub" / "paint.png").string();
  EXPECT_TRUE(MRenderUtil::exactFileTextureName(absolute.c_str(), false, "", exact));
  EXPECT_EQ(exact, absolute.c_str());
  EXPECT_FALSE(MRenderUtil::exactFileTextureName("sub/paint.png", false, "", exact));
  EXPECT_FALSE(MRenderUtil::exactFileTextureName("sub", false, "", exact));
  host.setTextureSearchPath({"/no/such/folder", folder.string()});
  EXPECT_TRUE(MRenderUtil::exactFileTextureName("sub/paint.png", false, "", exact));
  // The same file, its name joined by the platform's rules ('\\' on Windows).
  EXPECT_EQ(fs::path(exact.asChar()), fs::path(absolute));
  EXPECT_FALSE(MRenderUtil::exactFileTextureName("sub", false, "", exact));
  EXPECT_EQ(exact, "");
}

TEST(MStatusTest, PerrorWritesTextAndDescription) {
  CaptureStderr();
  MStatus(MS::kInvalidParameter).perror("oops");
  MStatus(MS::kFailure).perror("");
  EXPECT_EQ(GetCapturedStderr(),
            "oops: (kInvalidParameter): Object is incompatible with this method\n"
            "(kFailure): Unexpected Internal Failure\n");
  EXPECT_TRUE(MStatus() == MS::kSuccess && !MStatus().error());
  EXPECT_FALSE(static_cast<bool>(MStatus(MStatus::kUnknownParameter)));
}

TEST(MayaFailureTest, InjectedFailuresReachThePluginsFailurePaths) {
  Host host;
  host.failCall("MFnPlugin::MFnPlugin");
  CaptureStdout();
  CaptureStderr();
  EXPECT_TRUE(host.loadPlugin(QV_MAYA_TEST_PLUGIN));
  EXPECT_EQ(GetCapturedStderr(),
            "failed to initialize plugin: (kFailure): Unexpected Internal Failure\n");
  EXPECT_EQ(GetCapturedStdout(), "Could not initialize MFnPlugin.\n\n");
  EXPECT_TRUE(host.nodeType("qvTestNode"));
  ASSERT_TRUE(host.unloadPlugin("qv_testNode"));

  // The second attribute added (the colour) goes missing; initialize goes on.
  host.failCall("MPxNode::addAttribute", 2);
  host.failCall("MFnAttribute::setKeyable", 1, MS::kInvalidParameter);
  CaptureStderr();
  EXPECT_TRUE(host.loadPlugin(QV_MAYA_TEST_PLUGIN));
  const std::string report = GetCapturedStderr();
  EXPECT_NE(report.find("\nAPI error detected in "), std::string::npos) << report;
  EXPECT_NE(report.find("test_node_plugin.cpp at line "), std::string::npos) << report;
  EXPECT_NE(report.find("(kInvalidParameter)"), std::string::npos) << report;
  EXPECT_NE(report.find("(kFailure)"), std::string::npos) << report;
  host.createNode("qvTestNode", "n");
  EXPECT_FALSE(host.getAttr("n.color"));
  EXPECT_TRUE(host.getAttr("n.input"));
  ASSERT_TRUE(host.unloadPlugin("qv_testNode"));

  host.failCall("MFnPlugin::registerNode");
  CaptureStderr();
  EXPECT_FALSE(host.loadPlugin(QV_MAYA_TEST_PLUGIN));
  GetCapturedStderr();
  EXPECT_EQ(host.lastEntryStatus(), MS::kFailure);
  EXPECT_TRUE(host.plugins().empty());

  ASSERT_TRUE(host.loadPlugin(QV_MAYA_TEST_PLUGIN));
  host.failCall("MFnPlugin::deregisterNode");
  CaptureStderr();
  EXPECT_FALSE(host.unloadPlugin("qv_testNode"));
  EXPECT_EQ(GetCapturedStderr(),
            "deregisterNode failed: (kFailure): Unexpected Internal Failure\n");
  EXPECT_EQ(host.plugins(), std::vector<std::string>{"qv_testNode"});
}

}  // namespace
}  // namespace qv::maya
