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
#include <limits>
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
  const fs::path copy = fs::path(testing::TempDir()) / "qv_testNodeCopy" QV_MAYA_PLUGIN_SUFFIX;
  fs::copy_file(QV_MAYA_TEST_PLUGIN, copy, fs::copy_options::overwrite_existing);
  CaptureStderr();
  EXPECT_FALSE(host.loadPlugin(copy.string()));
  EXPECT_EQ(GetCapturedStderr(), "registerNode failed: (kFailure): Unexpected Internal Failure\n");
  EXPECT_EQ(host.lastEntryStatus(), MS::kFailure);
  EXPECT_EQ(host.plugins(), std::vector<std::string>{"qv_testNode"});
  EXPECT_FALSE(host.createNode("qvTestNode").empty());

  // Not while a node of the plug-in is there, as in Maya.
  EXPECT_FALSE(host.unloadPlugin("qv_testNode"));
  ASSERT_TRUE(host.deleteNode(host.listNodes().at(0)));
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
  EXPECT_EQ(fn.attributeCount(), 6u);

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

// Maya's handles return references into the data block: compute writes its
// results through them, and a reference outlives the handle it came from.
TEST_F(MayaHostTest, ComputeWritesThroughDataBlockReferences) {
  host.createNode("qvTestNode", "n");
  ASSERT_TRUE(host.setAttr("n.in", 3.0));
  EXPECT_EQ(get("n.output"), (std::vector<double>{1.5, 0.75, 3.0}));
  EXPECT_FALSE(host.isDirty("n.output"));

  ASSERT_TRUE(host.setAttr("n.label", std::string("abcde")));
  EXPECT_TRUE(host.isDirty("n.labelSize"));
  EXPECT_EQ(get("n.labelSize"), std::vector<double>{5.0});
  EXPECT_FALSE(host.isDirty("n.labelSize"));
  ASSERT_TRUE(host.setAttr("n.label", std::string("")));
  EXPECT_EQ(MFnDependencyNode(host.node("n")).findPlug("ls").asFloat(), 0.0f);
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

// Connections that run in a cycle, within one compound or through compute,
// read the value on the cycle as it stands instead of recursing for ever.
TEST_F(MayaHostTest, ConnectionCyclesReadTheValueTheyHave) {
  host.createNode("transform", "cam");
  ASSERT_TRUE(host.setAttr("cam.tx", 3.0));
  std::string error;
  ASSERT_TRUE(host.connectAttr("cam.tx", "cam.ty", &error)) << error;
  EXPECT_EQ(get("cam.t"), (std::vector<double>{3, 3, 0}));
  EXPECT_EQ(get("cam.ty"), std::vector<double>{3});
  ASSERT_TRUE(host.disconnectAttr("cam.tx", "cam.ty", &error)) << error;
  EXPECT_EQ(get("cam.ty"), std::vector<double>{3});

  // a.output feeds b's colour, b.outputX feeds a's input: a cycle through
  // both nodes' compute.
  host.createNode("qvTestNode", "a");
  host.createNode("qvTestNode", "b");
  ASSERT_TRUE(host.connectAttr("a.output", "b.color", &error)) << error;
  ASSERT_TRUE(host.connectAttr("b.outputX", "a.input", &error)) << error;
  const std::vector<double> output = get("a.output");
  ASSERT_EQ(output.size(), 3u);
  EXPECT_EQ(get("a.output"), output);
  ASSERT_TRUE(host.disconnectAttr("b.outputX", "a.input", &error)) << error;
  ASSERT_TRUE(host.setAttr("a.input", 2.0));
  EXPECT_EQ(get("b.color"), (std::vector<double>{1.0, 0.5, 2.0}));
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

  // By type, a set takes what its hierarchy takes; a camera set handed a
  // mesh lets go of its camera.
  EXPECT_TRUE(camera.hasObj(MFn::kCamera));
  EXPECT_FALSE(camera.hasObj(MFn::kMesh));
  EXPECT_TRUE(MFnDagNode().hasObj(MFn::kCamera));
  EXPECT_FALSE(MFnDagNode().hasObj(MFn::kPluginDependNode));
  EXPECT_TRUE(MFnDependencyNode().hasObj(MFn::kPluginDependNode));
  MObject ground = host.node("ground");
  EXPECT_EQ(camera.setObject(ground), MS::kInvalidParameter);
  EXPECT_TRUE(camera.object().isNull());
}

// Where a matrix of row vectors puts a point.
std::vector<double> transformed(const std::vector<double>& m, std::vector<double> p) {
  EXPECT_EQ(m.size(), 16u);
  if (m.size() != 16) return {};
  std::vector<double> r(3);
  for (int c = 0; c < 3; ++c) r[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c];
  return r;
}

void expectNear(const std::vector<double>& actual, const std::vector<double>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], 1e-12) << i;
}

// The oracles below follow Maya's documented transformation matrix,
// SP^-1 S SH SP ST RP^-1 RA R RP RT T for row vectors, worked by hand.
TEST_F(MayaHostTest, TransformsComposeAsMayaDocumentsTheirMatrix) {
  host.createNode("transform", "t");
  EXPECT_EQ(get("t.v"), std::vector<double>{1.0});
  EXPECT_EQ(get("t.ro"), std::vector<double>{0.0});
  EXPECT_EQ(get("t.it"), std::vector<double>{1.0});

  // A quarter turn about z around the pivot (2, 0, 0): the pivot stays,
  // (3, 0, 0) swings to (2, 1, 0); rpt then moves everything by (0, 0, 1).
  ASSERT_TRUE(host.setAttr("t.rp", std::vector<double>{2.0, 0.0, 0.0}));
  ASSERT_TRUE(host.setAttr("t.rz", 90.0));
  expectNear(transformed(get("t.wm"), {2, 0, 0}), {2, 0, 0});
  expectNear(transformed(get("t.wm"), {3, 0, 0}), {2, 1, 0});
  ASSERT_TRUE(host.setAttr("t.rpt", std::vector<double>{0.0, 0.0, 1.0}));
  expectNear(transformed(get("t.m"), {3, 0, 0}), {2, 1, 1});
  expectNear(transformed(get("t.wim"), {2, 1, 1}), {3, 0, 0});
  ASSERT_TRUE(host.setAttr("t.rp", std::vector<double>{0.0, 0.0, 0.0}));
  ASSERT_TRUE(host.setAttr("t.rpt", std::vector<double>{0.0, 0.0, 0.0}));
  ASSERT_TRUE(host.setAttr("t.rz", 0.0));

  // rx = ry = 90. Under xyz, x first: (0, 1, 0) goes to (0, 0, 1), then y
  // takes that to (1, 0, 0). Under zyx, y first leaves it, then x takes it
  // to (0, 0, 1).
  ASSERT_TRUE(host.setAttr("t.r", std::vector<double>{90.0, 90.0, 0.0}));
  expectNear(transformed(get("t.wm"), {0, 1, 0}), {1, 0, 0});
  ASSERT_TRUE(host.setAttr("t.rotateOrder", 5.0));
  expectNear(transformed(get("t.wm"), {0, 1, 0}), {0, 0, 1});
  // yzx with all three at 90: (1, 0, 0) -> y -> (0, 0, -1) -> z keeps it
  // -> x -> (0, 1, 0); xyz would give (0, 0, -1).
  ASSERT_TRUE(host.setAttr("t.rz", 90.0));
  ASSERT_TRUE(host.setAttr("t.ro", 1.0));
  expectNear(transformed(get("t.wm"), {1, 0, 0}), {0, 1, 0});
  ASSERT_TRUE(host.setAttr("t.ro", 0.0));
  expectNear(transformed(get("t.wm"), {1, 0, 0}), {0, 0, -1});

  // The rotate axis turns before the rotation: raz = 90 takes (1, 0, 0) to
  // (0, 1, 0), rx = 90 then to (0, 0, 1); the other way round would give
  // (0, 1, 0).
  ASSERT_TRUE(host.setAttr("t.r", std::vector<double>{90.0, 0.0, 0.0}));
  ASSERT_TRUE(host.setAttr("t.ra", std::vector<double>{0.0, 0.0, 90.0}));
  expectNear(transformed(get("t.wm"), {1, 0, 0}), {0, 0, 1});
  ASSERT_TRUE(host.setAttr("t.ra", std::vector<double>{0.0, 0.0, 0.0}));
  ASSERT_TRUE(host.setAttr("t.r", std::vector<double>{0.0, 0.0, 0.0}));

  // Scale 2 about the pivot (1, 0, 0): the pivot stays, (2, 1, 0) goes to
  // (3, 2, 0); spt moves it on by (0, 0, 3).
  ASSERT_TRUE(host.setAttr("t.s", std::vector<double>{2.0, 2.0, 2.0}));
  ASSERT_TRUE(host.setAttr("t.sp", std::vector<double>{1.0, 0.0, 0.0}));
  EXPECT_EQ(transformed(get("t.wm"), {1, 0, 0}), (std::vector<double>{1, 0, 0}));
  EXPECT_EQ(transformed(get("t.wm"), {2, 1, 0}), (std::vector<double>{3, 2, 0}));
  ASSERT_TRUE(host.setAttr("t.spt", std::vector<double>{0.0, 0.0, 3.0}));
  EXPECT_EQ(transformed(get("t.wm"), {2, 1, 0}), (std::vector<double>{3, 2, 3}));
  ASSERT_TRUE(host.setAttr("t.sp", std::vector<double>{0.0, 0.0, 0.0}));
  ASSERT_TRUE(host.setAttr("t.spt", std::vector<double>{0.0, 0.0, 0.0}));

  // Shear after scale: s = (2, 1, 1) takes (1, 2, 4) to (2, 2, 4); the
  // shear rows (1 0 0), (xy 1 0), (xz yz 1) with xy = 0.5, yz = 0.25 give
  // (2 + 1, 2 + 1, 4). Shear before scale would give (4, 3, 4).
  ASSERT_TRUE(host.setAttr("t.s", std::vector<double>{2.0, 1.0, 1.0}));
  ASSERT_TRUE(host.setAttr("t.sh", std::vector<double>{0.5, 0.0, 0.25}));
  EXPECT_EQ(get("t.shearYZ"), std::vector<double>{0.25});
  EXPECT_EQ(transformed(get("t.wm"), {1, 2, 4}), (std::vector<double>{3, 3, 4}));

  // Without inheritance the child's world matrix is its own matrix; the
  // shape below follows it.
  host.createNode("transform", "parent");
  host.createNode("transform", "child", "parent");
  host.createNode("camera", "childShape", "child");
  ASSERT_TRUE(host.setAttr("parent.t", std::vector<double>{10.0, 0.0, 0.0}));
  ASSERT_TRUE(host.setAttr("child.t", std::vector<double>{1.0, 2.0, 3.0}));
  EXPECT_EQ(transformed(get("childShape.wm"), {0, 0, 0}), (std::vector<double>{11, 2, 3}));
  ASSERT_TRUE(host.setAttr("child.inheritsTransform", 0.0));
  EXPECT_EQ(transformed(get("childShape.wm"), {0, 0, 0}), (std::vector<double>{1, 2, 3}));
  expectNear(transformed(get("child.wim"), {1, 2, 3}), {0, 0, 0});
  EXPECT_EQ(transformed(get("child.m"), {0, 0, 0}), (std::vector<double>{1, 2, 3}));
  ASSERT_TRUE(host.setAttr("child.it", 1.0));
  EXPECT_EQ(transformed(get("childShape.wm"), {0, 0, 0}), (std::vector<double>{11, 2, 3}));

  // Maya's rotate order has six values; what lies beyond is clamped.
  ASSERT_TRUE(host.setAttr("t.ro", 9.0));
  EXPECT_EQ(get("t.ro"), std::vector<double>{5.0});
}

TEST_F(MayaHostTest, CameraApertureIsOneDouble2OverTheFilmBack) {
  host.createNode("transform", "cam");
  host.createNode("camera", "camShape", "cam");
  EXPECT_EQ(get("camShape.cap"), (std::vector<double>{1.41732, 0.94488}));
  EXPECT_EQ(get("camShape.o"), std::vector<double>{0.0});
  EXPECT_EQ(get("camShape.ow"), std::vector<double>{30.0});
  EXPECT_EQ(get("camShape.coi"), std::vector<double>{5.0});
  ASSERT_TRUE(host.setAttr("camShape.cameraAperture", std::vector<double>{2.0, 0.5}));
  ASSERT_TRUE(host.setAttr("camShape.fl", 25.4));
  EXPECT_EQ(get("camShape.hfa"), std::vector<double>{2.0});
  EXPECT_EQ(get("camShape.verticalFilmAperture"), std::vector<double>{0.5});
  MFnCamera camera(host.node("camShape"));
  // 2 atan(aperture * 25.4 / (2 * 25.4)) = 2 atan(aperture / 2)
  EXPECT_DOUBLE_EQ(camera.horizontalFieldOfView(), 2.0 * std::atan(1.0));
  EXPECT_DOUBLE_EQ(camera.verticalFieldOfView(), 2.0 * std::atan(0.25));
  EXPECT_DOUBLE_EQ(camera.aspectRatio(), 4.0);
  ASSERT_TRUE(host.setAttr("camShape.vfa", 1.0));
  EXPECT_EQ(get("camShape.cap"), (std::vector<double>{2.0, 1.0}));
  std::string error;
  EXPECT_FALSE(host.setAttr("camShape.cap", std::vector<double>{1.0, 2.0, 3.0}, &error));
  EXPECT_NE(error.find("camShape.cap"), std::string::npos) << error;

  MStatus status;
  EXPECT_FALSE(camera.isOrtho(&status));
  EXPECT_EQ(status, MS::kSuccess);
  ASSERT_TRUE(host.setAttr("camShape.orthographic", 1.0));
  ASSERT_TRUE(host.setAttr("camShape.ow", 12.5));
  EXPECT_TRUE(camera.isOrtho());
  EXPECT_EQ(camera.orthoWidth(), 12.5);
  EXPECT_FALSE(MFnCamera().isOrtho(&status));
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
  ASSERT_TRUE(host.deleteNode("n"));
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

// Values that an attribute's type cannot hold: refused by setAttr with a
// message naming the attribute, the value and the range, and converted
// defined-ly wherever else they reach the graph (connections, plug reads).
class AttributeTypeTest : public MayaHostTest {
 protected:
  void SetUp() override {
    MayaHostTest::SetUp();
    std::string error;
    ASSERT_TRUE(host.loadPlugin(QV_MAYA_TYPES_PLUGIN, &error)) << error;
    ASSERT_EQ(host.createNode("qvTestTypes", "t"), "t");
    ASSERT_EQ(host.createNode("qvTestNode", "n"), "n");
  }

  // setAttr's message, or "" when it took the value.
  std::string refusal(const std::string& plug, std::vector<double> values) {
    std::string error;
    return host.setAttr(plug, values, &error) ? "" : error;
  }
};

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInfinity = std::numeric_limits<double>::infinity();

TEST_F(AttributeTypeTest, SetAttrRefusesWhatAnIntegerTypeCannotHold) {
  ASSERT_EQ(refusal("t.count", {41}), "");
  EXPECT_EQ(refusal("t.count", {kNaN}),
            "cannot set t.count to nan: a long attribute takes whole numbers from -2147483648 to "
            "2147483647");
  EXPECT_EQ(refusal("t.cn", {1e30}),
            "cannot set t.count to 1e+30: a long attribute takes whole numbers from -2147483648 "
            "to 2147483647");
  EXPECT_EQ(refusal("t.count", {2147483648.0}),
            "cannot set t.count to 2147483648: a long attribute takes whole numbers from "
            "-2147483648 to 2147483647");
  EXPECT_EQ(refusal("t.count", {-kInfinity}),
            "cannot set t.count to -inf: a long attribute takes whole numbers from -2147483648 "
            "to 2147483647");
  EXPECT_EQ(refusal("t.level", {32768}),
            "cannot set t.level to 32768: a short attribute takes whole numbers from -32768 to "
            "32767");
  EXPECT_EQ(refusal("t.tiny", {-1}),
            "cannot set t.tiny to -1: a byte attribute takes whole numbers from 0 to 255");
  EXPECT_EQ(refusal("t.letter", {128}),
            "cannot set t.letter to 128: a char attribute takes whole numbers from -128 to 127");
  EXPECT_EQ(refusal("t.flag", {kNaN}),
            "cannot set t.flag to nan: a bool attribute takes finite numbers (0 is off, any "
            "other on)");
  // A compound names the child that does not fit, and keeps every child.
  ASSERT_EQ(refusal("t.pair", {1, 2}), "");
  EXPECT_EQ(refusal("t.pair", {3, 40000}),
            "cannot set t.pair1 to 40000: a short attribute takes whole numbers from -32768 to "
            "32767");
  EXPECT_EQ(refusal("t.triple", {0, 0, kNaN}),
            "cannot set t.triple2 to nan: a long attribute takes whole numbers from -2147483648 "
            "to 2147483647");
  EXPECT_EQ(get("t.pair"), (std::vector<double>{1, 2}));
  EXPECT_EQ(get("t.triple"), (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(get("t.count"), std::vector<double>{41});
  // A plug-in's own write is refused the same way, without a message.
  EXPECT_EQ(plug("t", "count").setValue(1e30), MS::kInvalidParameter);
  EXPECT_EQ(get("t.count"), std::vector<double>{41});
  // The built-in camera's filmFit is a short too.
  host.createNode("camera", "camShape");
  EXPECT_NE(refusal("camShape.ff", {1e9}), "");
  EXPECT_EQ(get("camShape.ff"), std::vector<double>{1});
}

TEST_F(AttributeTypeTest, SetAttrTakesEveryValueAnIntegerTypeHolds) {
  EXPECT_EQ(refusal("t.count", {2147483647}), "");
  EXPECT_EQ(get("t.count"), std::vector<double>{2147483647});
  EXPECT_EQ(refusal("t.count", {-2147483648.0}), "");
  EXPECT_EQ(get("t.count"), std::vector<double>{-2147483648.0});
  // Fractions are cut toward zero, so one just past the top still fits.
  EXPECT_EQ(refusal("t.count", {2147483647.75}), "");
  EXPECT_EQ(get("t.count"), std::vector<double>{2147483647});
  EXPECT_EQ(refusal("t.level", {-32768.5}), "");
  EXPECT_EQ(get("t.level"), std::vector<double>{-32768});
  EXPECT_EQ(refusal("t.tiny", {255}), "");
  EXPECT_EQ(refusal("t.letter", {-128}), "");
  EXPECT_EQ(refusal("t.flag", {-5}), "");
  EXPECT_EQ(get("t.flag"), std::vector<double>{1});
  EXPECT_EQ(get("t.tiny"), std::vector<double>{255});
  EXPECT_EQ(get("t.letter"), std::vector<double>{-128});
}

TEST_F(AttributeTypeTest, FloatsHoldInfinityAndNaNButNothingBeyondFloatsRange) {
  EXPECT_EQ(refusal("t.ratio", {kInfinity}), "");
  EXPECT_EQ(get("t.ratio"), std::vector<double>{kInfinity});
  EXPECT_EQ(refusal("t.ratio", {kNaN}), "");
  EXPECT_TRUE(std::isnan(get("t.ratio").at(0)));
  EXPECT_EQ(refusal("t.ratio", {-1e300}),
            "cannot set t.ratio to -1e+300: a float attribute takes numbers from -3.40282e+38 to "
            "3.40282e+38 (or infinity, or NaN)");
  EXPECT_EQ(refusal("t.ratio", {0.1}), "");
  EXPECT_EQ(get("t.ratio"), std::vector<double>{static_cast<float>(0.1)});
  // A colour's children are floats too; doubles hold anything.
  EXPECT_EQ(refusal("n.c", {1e300, 0, 0}),
            "cannot set n.colorR to 1e+300: a float attribute takes numbers from -3.40282e+38 to "
            "3.40282e+38 (or infinity, or NaN)");
  host.createNode("transform", "x");
  EXPECT_EQ(refusal("x.t", {1e300, -kInfinity, 2}), "");
  EXPECT_EQ(get("x.t"), (std::vector<double>{1e300, -kInfinity, 2}));
}

TEST_F(AttributeTypeTest, ValuesReachingAnIntegerOtherwiseAreConvertedDefinedly) {
  // A float output connected into a long input.
  std::string error;
  ASSERT_TRUE(host.connectAttr("n.other", "t.count", &error)) << error;
  ASSERT_TRUE(host.setAttr("n.other", 1e30));
  EXPECT_EQ(get("t.count"), std::vector<double>{2147483647});
  ASSERT_TRUE(host.setAttr("n.other", -kInfinity));
  EXPECT_EQ(get("t.count"), std::vector<double>{-2147483648.0});
  ASSERT_TRUE(host.setAttr("n.other", kNaN));
  EXPECT_EQ(get("t.count"), std::vector<double>{0});
  ASSERT_TRUE(host.setAttr("n.other", -12.9));
  EXPECT_EQ(get("t.count"), std::vector<double>{-12});
  ASSERT_TRUE(host.disconnectAttr("n.other", "t.count", &error)) << error;

  // A plug read as an integer, of a float that no integer holds.
  ASSERT_TRUE(host.setAttr("n.other", 1e30));
  EXPECT_EQ(plug("n", "other").asInt(), std::numeric_limits<int>::max());
  EXPECT_EQ(plug("n", "other").asShort(), std::numeric_limits<short>::max());
  int whole = 1;
  EXPECT_EQ(plug("n", "other").getValue(whole), MS::kSuccess);
  EXPECT_EQ(whole, std::numeric_limits<int>::max());
  ASSERT_TRUE(host.setAttr("n.other", kNaN));
  EXPECT_EQ(plug("n", "other").asInt(), 0);
  EXPECT_TRUE(plug("n", "other").asBool());
  ASSERT_TRUE(host.setAttr("n.other", -kInfinity));
  EXPECT_EQ(plug("n", "other").asShort(), std::numeric_limits<short>::min());

  // And through the data block in compute: seen = asInt(count) + asShort(ratio).
  ASSERT_TRUE(host.setAttr("t.count", 5.0));
  ASSERT_TRUE(host.setAttr("t.ratio", 1e30));
  EXPECT_EQ(get("t.seen"), std::vector<double>{5 + 32767});
  ASSERT_TRUE(host.setAttr("t.ratio", kNaN));
  EXPECT_EQ(get("t.seen"), std::vector<double>{5});
  ASSERT_TRUE(host.setAttr("t.ratio", -40000.5));
  EXPECT_EQ(get("t.seen"), std::vector<double>{5 - 32768});
}

}  // namespace
}  // namespace qv::maya
