#include "obj_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace qv::host {
namespace {

using Triangle = std::array<std::uint32_t, 3>;

TriangleMesh parsed(const std::string& text) {
  TriangleMesh mesh;
  std::string error;
  EXPECT_TRUE(parseObj(text, "t.obj", &mesh, &error)) << error;
  return mesh;
}

std::string errorOf(const std::string& text) {
  TriangleMesh mesh;
  std::string error;
  EXPECT_FALSE(parseObj(text, "t.obj", &mesh, &error)) << text;
  return error;
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const char* const kFourVertices = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";

TEST(ObjVertices, CoordinatesAreReadAsWritten) {
  const TriangleMesh m = parsed("v 1.5 -2 3e2\nv +0.25 .5 -7.\n");
  ASSERT_EQ(m.vertices.size(), 2u);
  EXPECT_EQ(m.vertices[0], (Vec3f{1.5f, -2.0f, 300.0f}));
  EXPECT_EQ(m.vertices[1], (Vec3f{0.25f, 0.5f, -7.0f}));
  EXPECT_TRUE(m.triangles.empty());
}

TEST(ObjVertices, WeightAndColourAreIgnored) {
  const TriangleMesh m = parsed("v 1 2 3 0.5\nv 4 5 6 0.1 0.2 0.3\n");
  ASSERT_EQ(m.vertices.size(), 2u);
  EXPECT_EQ(m.vertices[0], (Vec3f{1.0f, 2.0f, 3.0f}));
  EXPECT_EQ(m.vertices[1], (Vec3f{4.0f, 5.0f, 6.0f}));
}

TEST(ObjFaces, EveryCornerFormNamesTheSameVertices) {
  const std::string v = kFourVertices;
  for (const char* face :
       {"f 1 2 3", "f 1/1 2/2 3/3", "f 1//1 2//2 3//3", "f 1/1/1 2/2/2 3/3/3", "f 1/4/2 2//9 3"}) {
    const TriangleMesh m = parsed(v + face + "\n");
    ASSERT_EQ(m.triangles.size(), 1u) << face;
    EXPECT_EQ(m.triangles[0], (Triangle{0, 1, 2})) << face;
  }
}

TEST(ObjFaces, NegativeIndicesCountBackFromTheLatestVertex) {
  const TriangleMesh m = parsed(
      "v 0 0 0\nv 1 0 0\nv 1 1 0\n"
      "f -3 -2 -1\n"
      "v 0 1 0\n"
      "f -1/-1 -4//-2 -2/-1/-1\n");
  ASSERT_EQ(m.triangles.size(), 2u);
  EXPECT_EQ(m.triangles[0], (Triangle{0, 1, 2}));
  EXPECT_EQ(m.triangles[1], (Triangle{3, 0, 2}));
}

TEST(ObjFaces, PolygonsBecomeFansAroundTheFirstCorner) {
  const TriangleMesh m = parsed(std::string(kFourVertices) + "v 0.5 2 0\nf 2 3 5 4 1\n");
  ASSERT_EQ(m.triangles.size(), 3u);
  EXPECT_EQ(m.triangles[0], (Triangle{1, 2, 4}));
  EXPECT_EQ(m.triangles[1], (Triangle{1, 4, 3}));
  EXPECT_EQ(m.triangles[2], (Triangle{1, 3, 0}));
}

TEST(ObjFile, OtherStatementsCommentsAndLayoutAreIgnored) {
  const TriangleMesh m = parsed(
      "# exported\r\n"
      "mtllib scene.mtl\r\n"
      "o box\r\n"
      "g side\r\n"
      "\r\n"
      "v\t0 0 0   # first\r\n"
      "  v 1 0 0\r\n"
      "v 1 1 0\r\n"
      "vt 0 0\r\n"
      "vn 0 0 1\r\n"
      "usemtl red\r\n"
      "s off\r\n"
      "l 1 2\r\n"
      "f 1 2 3 # last\r\n"
      "#f 3 2 1");
  ASSERT_EQ(m.vertices.size(), 3u);
  EXPECT_EQ(m.vertices[0], (Vec3f{0.0f, 0.0f, 0.0f}));
  EXPECT_EQ(m.vertices[2], (Vec3f{1.0f, 1.0f, 0.0f}));
  ASSERT_EQ(m.triangles.size(), 1u);
  EXPECT_EQ(m.triangles[0], (Triangle{0, 1, 2}));
}

TEST(ObjErrors, IndicesOutOfRangeNameTheLine) {
  const std::string v = kFourVertices;
  std::string e = errorOf(v + "\nf 1 0 2\n");
  EXPECT_TRUE(startsWith(e, "t.obj:6: ")) << e;
  EXPECT_TRUE(contains(e, "index 0")) << e;

  e = errorOf(v + "f 1 2 5\n");
  EXPECT_TRUE(startsWith(e, "t.obj:5: ")) << e;
  EXPECT_TRUE(contains(e, "index 5")) << e;

  e = errorOf(v + "f 1 2 -5\n");
  EXPECT_TRUE(startsWith(e, "t.obj:5: ")) << e;
  EXPECT_TRUE(contains(e, "index -5")) << e;

  // Only vertices above the face count.
  e = errorOf("v 0 0 0\nv 1 0 0\nf 1 2 3\nv 1 1 0\n");
  EXPECT_TRUE(startsWith(e, "t.obj:3: ")) << e;

  e = errorOf(v + "f 1 2 99999999999999999999\n");
  EXPECT_TRUE(startsWith(e, "t.obj:5: ")) << e;
}

TEST(ObjErrors, MalformedNumbersAndCornersNameTheLine) {
  const std::string v = kFourVertices;
  for (const char* line : {"v 1 x 3", "v 1 2 3x", "v 1e39 0 0", "v nan 0 0", "v inf 0 0",
                           "v 1 2 3 4 5", "v 1 2", "f 1 2 a", "f 1 2 3.0", "f 1/ 2 3", "f 1//",
                           "f 1/2/3/4 2 3", "f /1 2 3", "f 1/x 2 3", "f 1//y 2 3"}) {
    const std::string e = errorOf(v + line + "\nv 0 0 0\n");
    EXPECT_TRUE(startsWith(e, "t.obj:5: ")) << line << " -> " << e;
  }
  EXPECT_TRUE(contains(errorOf("v 1 x 3\n"), "'x'"));
}

TEST(ObjErrors, FacesNeedThreeVertices) {
  const std::string v = kFourVertices;
  for (const char* line : {"f", "f 1", "f 1 2"}) {
    const std::string e = errorOf(v + "# x\n" + line + "\n");
    EXPECT_TRUE(startsWith(e, "t.obj:6: ")) << line << " -> " << e;
    EXPECT_TRUE(contains(e, "3 vertices")) << e;
  }
}

TEST(ObjErrors, AFailedParseLeavesTheMeshAlone) {
  TriangleMesh mesh;
  mesh.vertices = {{9.0f, 9.0f, 9.0f}};
  std::string error;
  EXPECT_FALSE(parseObj("v 0 0 0\nf 1 1 7\n", "t.obj", &mesh, &error));
  ASSERT_EQ(mesh.vertices.size(), 1u);
  EXPECT_EQ(mesh.vertices[0], (Vec3f{9.0f, 9.0f, 9.0f}));
  EXPECT_TRUE(mesh.triangles.empty());
}

class ObjFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    dir_ = std::filesystem::temp_directory_path() /
           ("qv_obj_reader_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string write(const std::string& name, const std::string& text) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::filesystem::path dir_;
};

TEST_F(ObjFileTest, ReadsAFileAndNamesItInErrors) {
  const std::string good = write("good.obj", std::string(kFourVertices) + "f 1 2 3 4\n");
  TriangleMesh mesh;
  std::string error;
  ASSERT_TRUE(readObj(good, &mesh, &error)) << error;
  EXPECT_EQ(mesh.vertices.size(), 4u);
  EXPECT_EQ(mesh.triangles.size(), 2u);

  const std::string bad = write("bad.obj", "v 0 0 0\n\nf 1 2 3\n");
  EXPECT_FALSE(readObj(bad, &mesh, &error));
  EXPECT_TRUE(startsWith(error, bad + ":3: ")) << error;
}

TEST_F(ObjFileTest, AMissingFileCannotBeOpened) {
  const std::string missing = (dir_ / "missing.obj").string();
  TriangleMesh mesh;
  std::string error;
  EXPECT_FALSE(readObj(missing, &mesh, &error));
  EXPECT_EQ(error, missing + ": cannot open file");

  EXPECT_FALSE(readObj(dir_.string(), &mesh, &error));
  EXPECT_EQ(error, dir_.string() + ": is a folder, not a file");
}

}  // namespace
}  // namespace qv::host
