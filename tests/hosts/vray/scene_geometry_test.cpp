#include "scene_geometry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace qv::vrayhost {
namespace {

using host::SceneObject;
using host::Vec3f;
using Triangle = std::array<std::uint32_t, 3>;

vrscene::Scene sceneOf(const std::string& text) {
  vrscene::ParseResult r = vrscene::parse(text, "scene.vrscene");
  EXPECT_TRUE(r.scene) << r.error;
  return r.scene ? *r.scene : vrscene::Scene{};
}

std::vector<SceneObject> objectsOf(const std::string& text, const std::string& dir = "") {
  std::vector<SceneObject> objects;
  std::string error;
  EXPECT_TRUE(collectSceneObjects(sceneOf(text), dir, &objects, &error)) << error;
  return objects;
}

std::string errorOf(const std::string& text, const std::string& dir = "") {
  std::vector<SceneObject> objects;
  std::string error;
  EXPECT_FALSE(collectSceneObjects(sceneOf(text), dir, &objects, &error)) << text;
  return error;
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const char* const kTriangle =
    "GeomStaticMesh tri {\n"
    "  vertices=ListVector(Vector(1, 2, 3), Vector(0, 0, 0), Vector(-1, 0.5, 4));\n"
    "  faces=ListInt(0, 1, 2);\n"
    "}\n";

TEST(SceneGeometryTypes, AreTheOnesTheRendererReadsItself) {
  EXPECT_TRUE(isGeometryType("GeomStaticMesh"));
  EXPECT_TRUE(isGeometryType("GeomMeshFile"));
  EXPECT_TRUE(isGeometryType("Node"));
  EXPECT_FALSE(isGeometryType("TexChecker"));
  EXPECT_FALSE(isGeometryType("node"));
  EXPECT_FALSE(isGeometryType(""));
}

TEST(SceneGeometryStaticMesh, TheTransformPlacesEachVertex) {
  // Columns c0, c1, c2 and the offset: world = c0 x + c1 y + c2 z + offset.
  const std::vector<SceneObject> objects =
      objectsOf(std::string(kTriangle) +
                "Node moved {\n"
                "  geometry=tri;\n"
                "  transform=Transform(Matrix(Vector(0, 1, 0), Vector(-1, 0, 0), Vector(0, 0, 2)),"
                " Vector(10, 20, 30));\n"
                "}\n");
  ASSERT_EQ(objects.size(), 1u);
  const SceneObject& o = objects[0];
  EXPECT_EQ(o.name, "moved");
  ASSERT_EQ(o.mesh.vertices.size(), 3u);
  EXPECT_EQ(o.mesh.vertices[0], (Vec3f{8.0f, 21.0f, 36.0f}));
  EXPECT_EQ(o.mesh.vertices[1], (Vec3f{10.0f, 20.0f, 30.0f}));
  EXPECT_EQ(o.mesh.vertices[2], (Vec3f{9.5f, 19.0f, 38.0f}));
  ASSERT_EQ(o.mesh.triangles.size(), 1u);
  EXPECT_EQ(o.mesh.triangles[0], (Triangle{0, 1, 2}));
}

TEST(SceneGeometryStaticMesh, WithoutATransformTheMeshStaysPut) {
  const std::vector<SceneObject> objects = objectsOf(
      "GeomStaticMesh quad {\n"
      "  vertices=ListVector(Vector(0,0,0), Vector(1,0,0), Vector(1,1,0), Vector(0,1,0));\n"
      "  faces=ListInt(0, 1, 2, 0, 2, 3);\n"
      "}\n"
      "Node still { geometry=quad; }\n");
  ASSERT_EQ(objects.size(), 1u);
  const auto& m = objects[0].mesh;
  ASSERT_EQ(m.vertices.size(), 4u);
  EXPECT_EQ(m.vertices[2], (Vec3f{1.0f, 1.0f, 0.0f}));
  ASSERT_EQ(m.triangles.size(), 2u);
  EXPECT_EQ(m.triangles[1], (Triangle{0, 2, 3}));
}

TEST(SceneGeometryNodes, OneObjectPerNodeInSceneOrder) {
  const std::vector<SceneObject> objects = objectsOf(
      "Node second { geometry=later; opacity=0.25; }\n"
      "TexChecker unrelated { }\n" +
      std::string(kTriangle) +
      "Node first { geometry=tri; opacity=0; }\n"
      "Node third { geometry=tri; opacity=1; }\n"
      "GeomStaticMesh later { vertices=ListVector(); faces=ListInt(); }\n"
      "Node fourth { geometry=later; }\n");
  ASSERT_EQ(objects.size(), 4u);
  EXPECT_EQ(objects[0].name, "second");
  EXPECT_EQ(objects[1].name, "first");
  EXPECT_EQ(objects[2].name, "third");
  EXPECT_EQ(objects[3].name, "fourth");
  EXPECT_FLOAT_EQ(objects[0].opacity, 0.25f);
  EXPECT_EQ(objects[1].opacity, 0.0f);
  EXPECT_EQ(objects[2].opacity, 1.0f);
  EXPECT_EQ(objects[3].opacity, 1.0f) << "opaque unless said otherwise";
  EXPECT_TRUE(objects[0].mesh.vertices.empty());
  EXPECT_EQ(objects[1].mesh.vertices.size(), 3u);
}

TEST(SceneGeometryNodes, TexturesComeInObjectOrderWithTheirLines) {
  std::vector<SceneObject> objects;
  std::vector<NodeTexture> textures;
  std::string error;
  ASSERT_TRUE(collectSceneObjects(
      sceneOf(std::string(kTriangle) + "Node plain { geometry=tri; }\n"
                                       "Node shown {\n geometry=tri;\n texture=w::outMatte;\n}\n"),
      "", &objects, &error, &textures))
      << error;
  ASSERT_EQ(textures.size(), 2u);
  EXPECT_FALSE(textures[0].texture);
  EXPECT_EQ(textures[0].line, 5);
  ASSERT_TRUE(textures[1].texture);
  EXPECT_EQ(textures[1].texture->plugin, "w");
  EXPECT_EQ(textures[1].texture->output, "outMatte");
  EXPECT_EQ(textures[1].line, 8);
}

class SceneGeometryMeshFile : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    dir_ =
        std::filesystem::temp_directory_path() /
        ("qv_scene_geometry_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(dir_ / "meshes");
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
  std::string dir() const { return dir_.string(); }

  std::filesystem::path dir_;
};

TEST_F(SceneGeometryMeshFile, RelativePathsAreTakenFromTheSceneFolder) {
  write("meshes/square.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n");
  const std::vector<SceneObject> objects = objectsOf(
      "GeomMeshFile square { file=\"meshes/square.obj\"; }\n"
      "Node lifted {\n"
      "  geometry=square;\n"
      "  transform=Transform(Matrix(Vector(1,0,0), Vector(0,1,0), Vector(0,0,1)), Vector(0,0,5));\n"
      "}\n",
      dir());
  ASSERT_EQ(objects.size(), 1u);
  const auto& m = objects[0].mesh;
  ASSERT_EQ(m.vertices.size(), 4u);
  EXPECT_EQ(m.vertices[2], (Vec3f{1.0f, 1.0f, 5.0f}));
  ASSERT_EQ(m.triangles.size(), 2u);
  EXPECT_EQ(m.triangles[1], (Triangle{0, 2, 3}));
}

TEST_F(SceneGeometryMeshFile, AbsolutePathsAreKept) {
  const std::string path = write("meshes/tri.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  // With '/' for a separator, which needs no escape in a .vrscene string.
  const std::string name = std::filesystem::path(path).generic_string();
  const std::vector<SceneObject> objects =
      objectsOf("GeomMeshFile t { file=\"" + name + "\"; }\nNode n { geometry=t; }\n", "/nowhere");
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0].mesh.triangles.size(), 1u);
}

TEST_F(SceneGeometryMeshFile, FileProblemsNameBothFiles) {
  write("meshes/broken.obj", "v 0 0 0\nf 1 2 3\n");
  std::string e = errorOf(
      "Node n { geometry=m; }\n"
      "GeomMeshFile m {\n"
      "  file=\"meshes/broken.obj\";\n"
      "}\n",
      dir());
  EXPECT_TRUE(startsWith(e, "scene.vrscene:3: ")) << e;
  EXPECT_TRUE(contains(e, (dir_ / "meshes/broken.obj").string() + ":2: ")) << e;

  e = errorOf("GeomMeshFile m {\n file=\"meshes/absent.obj\"; }\n", dir());
  EXPECT_TRUE(startsWith(e, "scene.vrscene:2: ")) << e;
  EXPECT_TRUE(contains(e, (dir_ / "meshes/absent.obj").string() + ": cannot open file")) << e;
}

TEST(SceneGeometryErrors, MeshProblemsNameTheirLine) {
  struct Case {
    const char* text;
    int line;
    const char* says;
  };
  const Case cases[] = {
      {"GeomStaticMesh m {\n vertices=ListVector();\n faces=ListInt();\n normals=ListVector();\n}",
       4, "normals"},
      {"GeomStaticMesh m {\n faces=ListInt();\n}", 1, "vertices"},
      {"GeomStaticMesh m {\n vertices=ListVector();\n}", 1, "faces"},
      {"GeomStaticMesh m {\n vertices=ListInt(1);\n faces=ListInt();\n}", 2, "ListVector"},
      {"GeomStaticMesh m {\n vertices=ListVector();\n faces=3;\n}", 3, "ListInt"},
      {"GeomStaticMesh m {\n vertices=ListVector(Vector(0,0,0), Vector(1,0,0), Vector(0,1,0));\n"
       " faces=ListInt(0, 1, 2, 0);\n}",
       3, "4 indices"},
      {"GeomStaticMesh m {\n vertices=ListVector(Vector(0,0,0), Vector(1,0,0), Vector(0,1,0));\n"
       " faces=ListInt(0, 1, 3);\n}",
       3, "uses vertex 3"},
      {"GeomStaticMesh m {\n vertices=ListVector(Vector(0,0,0), Vector(1,0,0), Vector(0,1,0));\n"
       " faces=ListInt(0, -1, 2);\n}",
       3, "uses vertex -1"},
      {"GeomMeshFile f {\n}", 1, "file"},
      {"GeomMeshFile f {\n file=\"a.obj\";\n scale=2;\n}", 3, "scale"},
      {"GeomMeshFile f {\n file=4;\n}", 2, "string"},
      {"GeomMeshFile f {\n file=\"\";\n}", 2, "empty"},
  };
  for (const Case& c : cases) {
    const std::string e = errorOf(c.text);
    EXPECT_TRUE(startsWith(e, "scene.vrscene:" + std::to_string(c.line) + ": "))
        << c.text << "\n-> " << e;
    EXPECT_TRUE(contains(e, c.says)) << c.text << "\n-> " << e;
  }
}

TEST(SceneGeometryErrors, NodeProblemsNameTheirLine) {
  struct Case {
    const char* text;
    int line;
    const char* says;
  };
  const std::string mesh = kTriangle;  // four lines
  const Case cases[] = {
      {"Node n {\n opacity=0.5;\n}", 5, "geometry"},
      {"Node n {\n geometry=tri;\n visible=1;\n}", 7, "visible"},
      {"Node n {\n geometry=nothing;\n}", 6, "nothing"},
      {"TexChecker c { }\nNode n {\n geometry=c;\n}", 7, "TexChecker"},
      {"Node n {\n geometry=tri::out;\n}", 6, "tri::out"},
      {"Node n {\n geometry=\"tri\";\n}", 6, "string"},
      {"Node n {\n geometry=tri;\n transform=1;\n}", 7, "Transform"},
      {"Node n {\n geometry=tri;\n opacity=1.5;\n}", 7, "got 1.5"},
      {"Node n {\n geometry=tri;\n opacity=-0.25;\n}", 7, "got -0.25"},
      {"Node n {\n geometry=tri;\n opacity=2;\n}", 7, "got 2"},
      {"Node n {\n geometry=tri;\n opacity=\"half\";\n}", 7, "number"},
      {"Node n {\n geometry=tri;\n texture=AColor(1, 0, 0, 1);\n}", 7, "PLUGIN::OUTPUT"},
      {"Node n {\n geometry=tri;\n"
       " transform=Transform(Matrix(Vector(3e38,0,0), Vector(0,1,0), Vector(0,0,1)),"
       " Vector(3e38,0,0));\n}",
       7, "transform"},
  };
  for (const Case& c : cases) {
    const std::string e = errorOf(mesh + c.text);
    EXPECT_TRUE(startsWith(e, "scene.vrscene:" + std::to_string(c.line) + ": "))
        << c.text << "\n-> " << e;
    EXPECT_TRUE(contains(e, c.says)) << c.text << "\n-> " << e;
  }
}

}  // namespace
}  // namespace qv::vrayhost
