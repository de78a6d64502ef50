// Array attributes and mesh data: a plug-in node reading meshes connected
// into the elements of its array, as Maya hands worldMesh on.
#include "maya_host.h"
#include "test_mesh_array_log.h"

#define MNoVersionString
#define MNoPluginEntry
#include <maya/MFnDependencyNode.h>
#include <maya/MFnMesh.h>
#include <maya/MIntArray.h>
#include <maya/MMatrix.h>
#include <maya/MPlug.h>
#include <maya/MPlugArray.h>
#include <maya/MPoint.h>
#include <maya/MPointArray.h>
#include <maya/MString.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace qv::maya {
namespace {

namespace fs = std::filesystem;
using test::MeshLog;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// A unit cube about the origin, one quad a side.
constexpr const char* kCube =
    "v -0.5 -0.5 -0.5\nv 0.5 -0.5 -0.5\nv 0.5 0.5 -0.5\nv -0.5 0.5 -0.5\n"
    "v -0.5 -0.5 0.5\nv 0.5 -0.5 0.5\nv 0.5 0.5 0.5\nv -0.5 0.5 0.5\n"
    "f 1 2 3 4\nf 5 8 7 6\nf 1 5 6 2\nf 2 6 7 3\nf 3 7 8 4\nf 5 1 4 8\n";

class MeshArrayTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host.loadPlugin(QV_MAYA_MESH_ARRAY_PLUGIN, &error)) << error;
    auto logOf =
        reinterpret_cast<const void* (*)()>(host.pluginSymbol("qv_testMeshArray", "qvTestMeshLog"));
    ASSERT_NE(logOf, nullptr);
    log = static_cast<const MeshLog*>(logOf());
    folder = fs::path(testing::TempDir()) /
             testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(folder);
    ASSERT_EQ(host.createNode("qvTestMeshArray", "reader"), "reader");
  }
  void TearDown() override { fs::remove_all(folder); }

  std::string write(const std::string& name, const std::string& text) {
    const fs::path path = folder / name;
    std::ofstream(path) << text;
    return path.string();
  }
  int triangles() {
    const auto value = host.getAttr("reader.triangles");
    return value && value->size() == 1 ? static_cast<int>((*value)[0]) : -1;
  }
  // A polyPlane feeding planeShape under planeT, as a saved scene has it.
  void makePlane(int subdivisionsWidth, int subdivisionsHeight) {
    ASSERT_EQ(host.createNode("transform", "planeT"), "planeT");
    ASSERT_EQ(host.createNode("mesh", "planeShape", "planeT"), "planeShape");
    ASSERT_EQ(host.createUnknownNode("polyPlane", "polyPlane1", "", ""), "polyPlane1");
    auto& values = host.record("polyPlane1")->values;
    values.push_back({".w", "", {"4"}, "\tsetAttr \".w\" 4;"});
    values.push_back({".h", "", {"2"}, "\tsetAttr \".h\" 2;"});
    values.push_back({".sw", "", {std::to_string(subdivisionsWidth)}, ""});
    values.push_back({".sh", "", {std::to_string(subdivisionsHeight)}, ""});
    host.keepConnection({"polyPlane1", "out", "planeShape", "i", ""});
  }

  Host host;
  const MeshLog* log = nullptr;
  fs::path folder;
};

TEST_F(MeshArrayTest, ElementsReadTheirMeshesInLogicalOrderAndFollowTheirShapes) {
  ASSERT_EQ(host.createNode("transform", "cubeT"), "cubeT");
  ASSERT_EQ(host.createNode("mesh", "cubeShape", "cubeT"), "cubeShape");
  ASSERT_TRUE(host.setAttr("cubeShape.objFile", write("cube.obj", kCube)));
  makePlane(3, 2);
  ASSERT_EQ(host.createNode("transform", "elsewhere"), "elsewhere");
  std::string error;
  // The plane goes in first, at the higher index, and by the array's name.
  ASSERT_TRUE(host.connectAttr("planeShape.w", "reader.ocl[3]", &error)) << error;
  ASSERT_TRUE(host.connectAttr("cubeShape.worldMesh[0]", "reader.occluders[0]", &error)) << error;

  // 6 quads of the cube and 3x2 quads of the plane, two triangles each.
  EXPECT_EQ(triangles(), 12 + 12);
  EXPECT_EQ(log->computes, 1);
  ASSERT_EQ(log->elementCount, 2u);
  ASSERT_EQ(log->readings.size(), 2u);
  const auto& cube = log->readings[0];
  const auto& plane = log->readings[1];
  EXPECT_EQ(cube.logicalIndex, 0u);
  EXPECT_EQ(plane.logicalIndex, 3u);
  ASSERT_TRUE(cube.attached);
  ASSERT_TRUE(plane.attached);
  EXPECT_EQ(cube.polygons, 6);
  EXPECT_EQ(cube.triangleCounts, std::vector<int>(6, 2));
  ASSERT_EQ(cube.triangleVertices.size(), 36u);
  // Face "f 5 8 7 6" fans from its first corner: (4 7 6) (4 6 5).
  EXPECT_EQ(std::vector<int>(cube.triangleVertices.begin() + 6, cube.triangleVertices.begin() + 12),
            (std::vector<int>{4, 7, 6, 4, 6, 5}));
  ASSERT_EQ(cube.points.size(), 8u);
  EXPECT_EQ(cube.points[6], (std::array<double, 3>{0.5, 0.5, 0.5}));
  EXPECT_EQ(plane.polygons, 6);
  EXPECT_EQ(plane.triangleCounts, std::vector<int>(6, 2));
  ASSERT_EQ(plane.points.size(), 12u);
  // Row by row from the corner at -X +Z, 4 wide and 2 deep.
  EXPECT_EQ(plane.points.front(), (std::array<double, 3>{-2.0, 0.0, 1.0}));
  EXPECT_EQ(plane.points.back(), (std::array<double, 3>{2.0, 0.0, -1.0}));
  EXPECT_EQ(cube.transformed, cube.points);  // the shape sits at the origin
  // The shape node itself reads as its outMesh does.
  MStatus status;
  const MFnMesh shape(host.node("cubeShape"), &status);
  ASSERT_TRUE(status);
  EXPECT_EQ(shape.numPolygons(), 6);
  EXPECT_EQ(shape.numVertices(), 8);
  EXPECT_EQ(shape.polygonVertexCount(1), 4);
  MIntArray corners;
  ASSERT_TRUE(shape.getPolygonVertices(1, corners));
  EXPECT_EQ((std::vector<int>{corners[0], corners[1], corners[2], corners[3]}),
            (std::vector<int>{4, 7, 6, 5}));
  MPointArray points;
  EXPECT_EQ(shape.getPoints(points, MSpace::kWorld), MS::kInvalidParameter);

  // Moving the cube's transform dirties the reader through worldMesh.
  ASSERT_TRUE(host.setAttr("cubeT.translate", std::vector<double>{1.0, 2.0, 3.0}));
  EXPECT_TRUE(host.isDirty("reader.triangles"));
  EXPECT_EQ(triangles(), 24);
  EXPECT_EQ(log->computes, 2);
  const auto& moved = log->readings[0];
  EXPECT_EQ(moved.toWorld[3], (std::array<double, 4>{1.0, 2.0, 3.0, 1.0}));
  ASSERT_EQ(moved.transformed.size(), 8u);
  MMatrix toWorld;
  for (unsigned int r = 0; r < 4; ++r) {
    for (unsigned int c = 0; c < 4; ++c) toWorld(r, c) = moved.toWorld[r][c];
  }
  for (size_t p = 0; p < 8; ++p) {
    const auto& o = moved.points[p];
    EXPECT_EQ(moved.transformed[p], (std::array<double, 3>{o[0] + 1.0, o[1] + 2.0, o[2] + 3.0}));
    const MPoint world = MPoint(o[0], o[1], o[2]) * toWorld;
    EXPECT_EQ((std::array<double, 3>{world.x, world.y, world.z}), moved.transformed[p]);
  }

  // A transform nothing reads changes nothing downstream.
  ASSERT_TRUE(host.setAttr("elsewhere.tx", 7.0));
  EXPECT_FALSE(host.isDirty("reader.triangles"));
  EXPECT_EQ(triangles(), 24);
  EXPECT_EQ(log->computes, 2);

  // The plane's creator making more faces is new input geometry.
  for (KeptValue& value : host.record("polyPlane1")->values) {
    if (value.plug == ".sw") value.words = {"5"};
  }
  host.historyChanged("polyPlane1");
  EXPECT_TRUE(host.isDirty("reader.triangles"));
  EXPECT_EQ(triangles(), 12 + 5 * 2 * 2);

  // The array as plugs see it.
  MFnDependencyNode reader(host.node("reader"));
  const MPlug array = reader.findPlug("ocl");
  EXPECT_TRUE(array.isArray());
  EXPECT_FALSE(array.isElement());
  EXPECT_EQ(array.numElements(), 2u);
  EXPECT_EQ(array.numConnectedElements(), 2u);
  const MPlug third = array.elementByLogicalIndex(3);
  EXPECT_TRUE(third.isElement());
  EXPECT_EQ(third.logicalIndex(), 3u);
  EXPECT_EQ(third.name(), MString("reader.occluders[3]"));
  EXPECT_TRUE(third.array() == array);
  EXPECT_TRUE(third == reader.attribute("occluders"));
  MPlugArray sources;
  ASSERT_TRUE(third.connectedTo(sources, true, false));
  ASSERT_EQ(sources.length(), 1u);
  EXPECT_EQ(sources[0].name(), MString("planeShape.worldMesh[0]"));

  // Disconnected, the element stays but nothing of the plane reaches it.
  ASSERT_TRUE(host.disconnectAttr("planeShape.w", "reader.ocl[3]", &error)) << error;
  EXPECT_FALSE(host.isConnected("planeShape.w", "reader.ocl[3]"));
  EXPECT_EQ(array.numConnectedElements(), 1u);
  EXPECT_EQ(host.connections(),
            (std::vector<std::pair<std::string, std::string>>{{"cubeShape.w", "reader.ocl[0]"}}));
  EXPECT_EQ(triangles(), 12 + 20);  // what the element last held
  const int computes = log->computes;
  ASSERT_TRUE(host.setAttr("planeT.ty", 5.0));
  EXPECT_FALSE(host.isDirty("reader.triangles"));
  EXPECT_EQ(log->computes, computes);

  // The shape has one instance: its worldMesh has element 0 alone.
  EXPECT_FALSE(host.connectAttr("cubeShape.w[1]", "reader.ocl[5]", &error));
  EXPECT_NE(error.find("cubeShape has one instance here"), std::string::npos) << error;
  EXPECT_FALSE(host.isConnected("cubeShape.w[1]", "reader.ocl[5]"));

  // An array destination needs an element, or the next one after the last.
  EXPECT_FALSE(host.connectAttr("planeShape.w", "reader.ocl", &error));
  EXPECT_NE(error.find("reader.ocl is an array"), std::string::npos) << error;
  ASSERT_TRUE(host.connectAttr("planeShape.w", "reader.ocl", true, &error)) << error;
  EXPECT_TRUE(host.isConnected("planeShape.w", "reader.ocl[4]"));
  EXPECT_EQ(host.numElements("reader.ocl"), 3u);
}

TEST_F(MeshArrayTest, UnreadableMeshGivesNoMeshAndSaysWhichAndWhy) {
  ASSERT_EQ(host.createNode("transform", "brokenT"), "brokenT");
  ASSERT_EQ(host.createNode("mesh", "brokenShape", "brokenT"), "brokenShape");
  // A face naming a vertex the file does not have.
  ASSERT_TRUE(host.setAttr("brokenShape.objFile",
                           write("broken.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n")));
  std::string error;
  ASSERT_TRUE(host.connectAttr("brokenShape.w", "reader.ocl[1]", &error)) << error;
  CaptureStderr();
  const int total = triangles();
  const std::string warning = GetCapturedStderr();
  EXPECT_EQ(total, 0);
  ASSERT_EQ(log->readings.size(), 1u);
  EXPECT_EQ(log->readings[0].logicalIndex, 1u);
  EXPECT_FALSE(log->readings[0].attached);
  EXPECT_NE(warning.find("brokenShape.worldMesh"), std::string::npos) << warning;
  EXPECT_NE(warning.find("broken.obj:4"), std::string::npos) << warning;

  // A new objFile is new geometry: one triangle now.
  ASSERT_TRUE(host.setAttr("brokenShape.objFile",
                           write("fixed.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n")));
  EXPECT_TRUE(host.isDirty("reader.triangles"));
  EXPECT_EQ(triangles(), 1);
  ASSERT_EQ(log->readings.size(), 1u);
  EXPECT_TRUE(log->readings[0].attached);
  EXPECT_EQ(log->readings[0].triangleVertices, (std::vector<int>{0, 1, 2}));

  // A file that is not there.
  ASSERT_TRUE(host.setAttr("brokenShape.objFile", (folder / "nowhere.obj").string()));
  CaptureStderr();
  EXPECT_EQ(triangles(), 0);
  const std::string missing = GetCapturedStderr();
  EXPECT_FALSE(log->readings[0].attached);
  EXPECT_NE(missing.find("brokenShape.worldMesh"), std::string::npos) << missing;
  EXPECT_NE(missing.find("nowhere.obj"), std::string::npos) << missing;
}

}  // namespace
}  // namespace qv::maya
