#include "poly_mesh.h"
#include "poly_primitives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace qv::maya {
namespace {

using Vec = std::array<double, 3>;

Vec sub(const Vec& a, const Vec& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
Vec cross(const Vec& a, const Vec& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(const Vec& a, const Vec& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
double length(const Vec& a) {
  return std::sqrt(dot(a, a));
}

std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    if (end > at) out.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

// A unit cube as Maya saves one inline. Vertices: 0..3 the front (+Z) face's
// corners (-x-y, +x-y, -x+y, +x+y), 4, 5 the back top, 6, 7 the back bottom.
// Edges: 0 (0,1) 1 (2,3) 2 (4,5) 3 (6,7) 4 (0,2) 5 (1,3) 6 (2,4) 7 (3,5)
// 8 (4,6) 9 (5,7) 10 (6,0) 11 (7,1). UVs: Maya's cross.
struct CubeFile {
  std::string vt0 = "-0.5 -0.5 0.5 0.5 -0.5 0.5 -0.5 0.5 0.5 0.5 0.5 0.5";
  std::string vt1 = "-0.5 0.5 -0.5 0.5 0.5 -0.5 -0.5 -0.5 -0.5 0.5 -0.5 -0.5";
  std::string vtPlug1 = ".vt[4:7]";
  std::string ed = "0 1 0 2 3 0 4 5 0 6 7 0 0 2 0 1 3 0 2 4 0 3 5 0 4 6 0 5 7 0 6 0 0 7 1 0";
  std::string fc0 =
      "f 4 0 5 -2 -5 mu 0 4 0 1 3 2 f 4 1 7 -3 -7 mu 0 4 2 3 5 4 mc 0 4 0 1 2 3 "
      "f 4 2 9 -4 -9 mu 0 4 4 5 7 6";
  std::string fc1 =
      "f 4 3 11 -1 -11 mu 0 4 6 7 9 8 f 4 -12 -10 -8 -6 mu 0 4 1 10 11 3 "
      "f 4 10 4 6 8 mu 0 4 12 0 2 13";
  std::string uvsp =
      "0.375 0 0.625 0 0.375 0.25 0.625 0.25 0.375 0.5 0.625 0.5 0.375 0.75 0.625 0.75 "
      "0.375 1 0.625 1 0.875 0 0.875 0.25 0.125 0 0.125 0.25";
  std::vector<SavedValue> extra;

  std::vector<SavedValue> values() const {
    std::vector<SavedValue> out = {{".vir", "", {"yes"}},
                                   {".uvSet[0].uvSetName", "string", {"map1"}},
                                   {".uvst[0].uvsp[0:13]", "float2", words(uvsp)},
                                   {".cuvs", "string", {"map1"}},
                                   {".dcc", "string", {"Ambient+Diffuse"}},
                                   {".covm[0]", "", words("0 1 1")},
                                   {".vt[0:3]", "", words(vt0)},
                                   {vtPlug1, "", words(vt1)},
                                   {".ed[0:11]", "", words(ed)},
                                   {".fc[0:2]", "polyFaces", words(fc0)},
                                   {".face[3:5]", "polyFaces", words(fc1)}};
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
  }
};

// Every triangle faces away from the centre of a shape built about the
// origin, and its UVs run anticlockwise too, so a texture reads unmirrored
// from outside.
void expectOutwardAndUnmirrored(const PolyMesh& mesh) {
  PolyTriangles triangles = triangulate(mesh);
  ASSERT_FALSE(triangles.corners.empty());
  for (size_t t = 0; t < triangles.corners.size(); ++t) {
    const auto& c = triangles.corners[t];
    const Vec& a = mesh.points[c[0]];
    const Vec& b = mesh.points[c[1]];
    const Vec& d = mesh.points[c[2]];
    Vec normal = cross(sub(b, a), sub(d, a));
    if (length(normal) < 1e-9) continue;
    Vec centre = {(a[0] + b[0] + d[0]) / 3, (a[1] + b[1] + d[1]) / 3, (a[2] + b[2] + d[2]) / 3};
    EXPECT_GT(dot(normal, centre), 0.0) << "triangle " << t << " of face " << triangles.faces[t];
    const auto& uv = triangles.uvs[t];
    double area = (uv[1][0] - uv[0][0]) * (uv[2][1] - uv[0][1]) -
                  (uv[1][1] - uv[0][1]) * (uv[2][0] - uv[0][0]);
    if (std::fabs(area) > 1e-9) {
      EXPECT_GT(area, 0.0) << "UVs of face " << triangles.faces[t];
    }
  }
}

TEST(PolyMeshTest, InlineCubeResolvesLoopsUvsAndTweaks) {
  CubeFile file;
  file.extra = {{".pt[3]", "float3", words("0 0.1 0")}, {".pnts[5].pnty", "", {"0.25"}}};
  PolyMesh mesh;
  std::string error;
  ASSERT_TRUE(meshFromSavedValues("cube", file.values(), nullptr, &mesh, &error)) << error;
  ASSERT_EQ(mesh.points.size(), 8u);
  ASSERT_EQ(mesh.faces.size(), 6u);
  ASSERT_EQ(mesh.uvs.size(), 14u);
  // Each loop is its edges' start vertices; the right side uses only
  // reversed edges.
  const std::vector<std::vector<int>> loops = {{0, 1, 3, 2}, {2, 3, 5, 4}, {4, 5, 7, 6},
                                               {6, 7, 1, 0}, {1, 7, 5, 3}, {6, 0, 2, 4}};
  for (size_t f = 0; f < 6; ++f) EXPECT_EQ(mesh.faces[f].vertices, loops[f]) << "face " << f;
  EXPECT_EQ(mesh.faces[4].uvs, (std::vector<int>{1, 10, 11, 3}));
  EXPECT_EQ(mesh.uvs[10], (std::array<float, 2>{0.875f, 0.0f}));
  EXPECT_EQ(mesh.uvs[13], (std::array<float, 2>{0.125f, 0.25f}));
  EXPECT_DOUBLE_EQ(mesh.points[3][1], 0.6);
  EXPECT_DOUBLE_EQ(mesh.points[5][1], 0.75);
  EXPECT_DOUBLE_EQ(mesh.points[5][0], 0.5);
  // The front face's winding points along +Z.
  Vec normal = cross(sub(mesh.points[1], mesh.points[0]), sub(mesh.points[2], mesh.points[0]));
  EXPECT_GT(normal[2], 0.0);
  EXPECT_DOUBLE_EQ(normal[0], 0.0);
  // Untweaked, the whole cube faces out and its cross reads unmirrored.
  CubeFile plain;
  ASSERT_TRUE(meshFromSavedValues("cube", plain.values(), nullptr, &mesh, &error)) << error;
  expectOutwardAndUnmirrored(mesh);
}

TEST(PolyMeshTest, DataThatDoesNotAddUpNamesTheAttribute) {
  struct Case {
    const char* what;
    CubeFile file;
    const char* message;
  };
  std::vector<Case> cases;
  auto add = [&](const char* what, const char* message) -> CubeFile& {
    cases.push_back({what, CubeFile(), message});
    return cases.back().file;
  };
  add("edge to vertex 8", "cube.ed[11]: names vertex 8 of 8").ed =
      "0 1 0 2 3 0 4 5 0 6 7 0 0 2 0 1 3 0 2 4 0 3 5 0 4 6 0 5 7 0 6 0 0 7 8 0";
  add("face to edge 12", "cube.fc[5]: names edge 12 of 12").fc1 =
      "f 4 3 11 -1 -11 mu 0 4 6 7 9 8 f 4 -12 -10 -8 -6 mu 0 4 1 10 11 3 "
      "f 4 10 4 6 12 mu 0 4 12 0 2 13";
  add("UV 14", "cube.fc[0]: UV 14 of 14").fc0 =
      "f 4 0 5 -2 -5 mu 0 4 0 1 3 14 f 4 1 7 -3 -7 mu 0 4 2 3 5 4 f 4 2 9 -4 -9 mu 0 4 4 5 7 6";
  add("huge range", "cube.vt[4:999999999]: 999999996 elements need").vtPlug1 = ".vt[4:999999999]";
  add("index past any array", "cube.vt[4:9223372036854775807]: malformed plug").vtPlug1 =
      ".vt[4:9223372036854775807]";
  add("hole in vt", "cube.vt[4]: missing").vtPlug1 = ".vt[5:8]";
  add("malformed number", "cube.vt[0:3]: \"0.5x\" is not a number").vt0 =
      "-0.5 -0.5 0.5x 0.5 -0.5 0.5 -0.5 0.5 0.5 0.5 0.5 0.5";
  add("too few faces", "cube.face[3:5]: 3 faces named, the file gives 2").fc1 =
      "f 4 3 11 -1 -11 f 4 -12 -10 -8 -6";
  add("mu count", "cube.fc[0:2]: \"mu\" gives 3 UVs to a loop of 4 vertices").fc0 =
      "f 4 0 5 -2 -5 mu 0 3 0 1 3 f 4 1 7 -3 -7 f 4 2 9 -4 -9";
  add("open loop", "cube.fc[0]: its edges do not join into a loop").fc0 =
      "f 4 0 5 -2 5 f 4 1 7 -3 -7 f 4 2 9 -4 -9";
  add("count past the end", "cube.fc[0:2]: a count of 4000000 with").fc0 = "f 4000000 0 5 -2 -5";
  add("tweak of a missing vertex", "cube.pt[8]: tweaks vertex 8 of 8").extra = {
      {".pt[8]", "float3", words("0 1 0")}};
  for (const auto& c : cases) {
    PolyMesh mesh;
    std::string error;
    EXPECT_FALSE(meshFromSavedValues("cube", c.file.values(), nullptr, &mesh, &error)) << c.what;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
  }
}

TEST(PolyMeshTest, UpstreamMeshTakesTheNodesTweaks) {
  PolyMesh plane;
  std::string error;
  ASSERT_TRUE(polyPrimitive("polyPlane", "polyPlane1", {{".sw", "", {"1"}}, {".sh", "", {"1"}}},
                            &plane, &error))
      << error;
  ASSERT_EQ(plane.points.size(), 4u);
  PolyMesh mesh;
  ASSERT_TRUE(meshFromSavedValues("pPlaneShape1", {{".pt[2]", "float3", words("0 0.5 0")}}, &plane,
                                  &mesh, &error))
      << error;
  ASSERT_EQ(mesh.faces.size(), 1u);
  EXPECT_DOUBLE_EQ(mesh.points[2][1], plane.points[2][1] + 0.5);
  EXPECT_EQ(mesh.points[1], plane.points[1]);
  EXPECT_FALSE(meshFromSavedValues("pPlaneShape1", {{".pt[4]", "float3", words("0 1 0")}}, &plane,
                                   &mesh, &error));
  EXPECT_NE(error.find("pPlaneShape1.pt[4]"), std::string::npos) << error;
}

TEST(PolyMeshTest, PlaneFollowsItsAxis) {
  PolyMesh mesh;
  std::string error;
  ASSERT_TRUE(polyPrimitive("polyPlane", "p",
                            {{".w", "", {"2"}},
                             {".height", "", {"3"}},
                             {".sw", "", {"2"}},
                             {".subdivisionsHeight", "", {"1"}},
                             {".ax", "double3", words("0 0 1")}},
                            &mesh, &error))
      << error;
  ASSERT_EQ(mesh.points.size(), 6u);
  ASSERT_EQ(mesh.faces.size(), 2u);
  for (const auto& p : mesh.points) {
    EXPECT_NEAR(std::fabs(p[0]) * (1 - std::fabs(p[0])), 0.0, 1e-12);  // x in {-1, 0, 1}
    EXPECT_NEAR(std::fabs(p[1]), 1.5, 1e-12);
    EXPECT_NEAR(p[2], 0.0, 1e-12);
  }
  // Facing +Z, the image reads upright from the front: u with x, v with y,
  // spanning 0..1.
  for (const auto& face : mesh.faces) {
    ASSERT_EQ(face.uvs.size(), face.vertices.size());
    Vec normal = cross(sub(mesh.points[face.vertices[1]], mesh.points[face.vertices[0]]),
                       sub(mesh.points[face.vertices[2]], mesh.points[face.vertices[0]]));
    EXPECT_GT(normal[2], 0.0);
    for (size_t k = 0; k < face.vertices.size(); ++k) {
      const auto& p = mesh.points[face.vertices[k]];
      const auto& uv = mesh.uvs[face.uvs[k]];
      EXPECT_NEAR(uv[0], (p[0] + 1) / 2, 1e-6);
      EXPECT_NEAR(uv[1], (p[1] + 1.5) / 3, 1e-6);
    }
  }
  // Maya's defaults: 1 by 1, ten by ten, facing +Y.
  ASSERT_TRUE(polyPrimitive("polyPlane", "p", {}, &mesh, &error)) << error;
  EXPECT_EQ(mesh.points.size(), 121u);
  EXPECT_EQ(mesh.faces.size(), 100u);
  // Maya's order, which a polyTweak's indices follow: row by row along +X,
  // rows from +Z to -Z.
  for (size_t k = 0; k < mesh.points.size(); ++k) {
    EXPECT_NEAR(mesh.points[k][0], -0.5 + 0.1 * static_cast<double>(k % 11), 1e-12) << k;
    EXPECT_NEAR(mesh.points[k][2], 0.5 - 0.1 * static_cast<double>(k / 11), 1e-12) << k;
  }
  for (const auto& p : mesh.points) EXPECT_EQ(p[1], 0.0);
  // As Maya saves a default plane: (-0.5, 0, 0.5) at UV (0, 0), u along +X
  // and v along -Z up to (0.5, 0, -0.5) at (1, 1).
  for (const auto& face : mesh.faces)
    for (size_t k = 0; k < face.vertices.size(); ++k) {
      const auto& p = mesh.points[face.vertices[k]];
      const auto& uv = mesh.uvs[face.uvs[k]];
      EXPECT_NEAR(uv[0], p[0] + 0.5, 1e-6);
      EXPECT_NEAR(uv[1], 0.5 - p[2], 1e-6);
    }
  EXPECT_FALSE(polyPrimitive("polyPlane", "p", {{".sw", "", {"0"}}}, &mesh, &error));
  EXPECT_NE(error.find("p.sw"), std::string::npos) << error;
  EXPECT_FALSE(
      polyPrimitive("polyPlane", "p", {{".ax", "double3", words("0 0 0")}}, &mesh, &error));
  EXPECT_NE(error.find("p.ax"), std::string::npos) << error;
}

TEST(PolyMeshTest, CubeIsABoxWithMayasCross) {
  PolyMesh mesh;
  std::string error;
  ASSERT_TRUE(polyPrimitive("polyCube", "c", {}, &mesh, &error)) << error;
  ASSERT_EQ(mesh.points.size(), 8u);
  ASSERT_EQ(mesh.faces.size(), 6u);
  ASSERT_EQ(mesh.uvs.size(), 14u);
  for (const auto& p : mesh.points)
    for (double x : p) EXPECT_EQ(std::fabs(x), 0.5);
  // The same 14 UVs as the cross a saved cube carries.
  CubeFile file;
  std::vector<std::string> cross = words(file.uvsp);
  for (size_t i = 0; i < 14; ++i) {
    std::array<float, 2> uv = {std::stof(cross[2 * i]), std::stof(cross[2 * i + 1])};
    EXPECT_NE(std::find(mesh.uvs.begin(), mesh.uvs.end(), uv), mesh.uvs.end()) << i;
  }
  // The front face's UVs are the column's first quarter.
  for (const auto& face : mesh.faces) {
    bool front = true;
    for (int v : face.vertices) front = front && mesh.points[v][2] == 0.5;
    if (!front) continue;
    for (size_t k = 0; k < 4; ++k) {
      const auto& p = mesh.points[face.vertices[k]];
      const auto& uv = mesh.uvs[face.uvs[k]];
      EXPECT_FLOAT_EQ(uv[0], p[0] < 0 ? 0.375f : 0.625f);
      EXPECT_FLOAT_EQ(uv[1], p[1] < 0 ? 0.0f : 0.25f);
    }
  }
  expectOutwardAndUnmirrored(mesh);

  ASSERT_TRUE(polyPrimitive("polyCube", "c",
                            {{".w", "", {"2"}},
                             {".h", "", {"3"}},
                             {".depth", "", {"4"}},
                             {".sw", "", {"2"}},
                             {".sh", "", {"3"}},
                             {".sd", "", {"4"}}},
                            &mesh, &error))
      << error;
  // The lattice's surface points: 3*4*5 less the 1*2*3 inside.
  EXPECT_EQ(mesh.points.size(), 54u);
  EXPECT_EQ(mesh.faces.size(), 52u);
  for (const auto& p : mesh.points) {
    bool onSurface = std::fabs(p[0]) == 1 || std::fabs(p[1]) == 1.5 || std::fabs(p[2]) == 2;
    EXPECT_TRUE(onSurface);
    EXPECT_LE(std::fabs(p[0]), 1.0);
    EXPECT_LE(std::fabs(p[1]), 1.5);
    EXPECT_LE(std::fabs(p[2]), 2.0);
  }
  expectOutwardAndUnmirrored(mesh);
  EXPECT_FALSE(polyPrimitive("polyCube", "c", {{".cuv", "", {"5"}}}, &mesh, &error));
  EXPECT_NE(error.find("c.cuv"), std::string::npos) << error;
}

TEST(PolyMeshTest, SpherePointsLieAtTheRadius) {
  PolyMesh mesh;
  std::string error;
  ASSERT_TRUE(polyPrimitive("polySphere", "s",
                            {{".radius", "", {"2"}}, {".sa", "", {"8"}}, {".sh", "", {"6"}}}, &mesh,
                            &error))
      << error;
  // Five rings of eight and two poles; eight triangles at each pole.
  EXPECT_EQ(mesh.points.size(), 42u);
  EXPECT_EQ(mesh.faces.size(), 48u);
  for (const auto& p : mesh.points) EXPECT_NEAR(length(p), 2.0, 1e-12);
  for (const auto& uv : mesh.uvs) {
    EXPECT_GE(uv[0], 0.0f);
    EXPECT_LE(uv[0], 1.0f);
    EXPECT_GE(uv[1], 0.0f);
    EXPECT_LE(uv[1], 1.0f);
  }
  // v runs from the lower pole to the upper: a vertex's v is its latitude.
  for (const auto& face : mesh.faces)
    for (size_t k = 0; k < face.vertices.size(); ++k) {
      double latitude = std::acos(-mesh.points[face.vertices[k]][1] / 2) / 3.14159265358979323846;
      EXPECT_NEAR(mesh.uvs[face.uvs[k]][1], latitude, 1e-6);
    }
  expectOutwardAndUnmirrored(mesh);

  // Maya's default sphere: 19 rings of 20 and the poles, 21 by 19 UVs with
  // 20 more at each pole. Its first point is (0.14877813, -0.98768836,
  // -0.048340943): one step (18 degrees) past +X towards -Z on the lowest
  // ring, and the seam (u 0 and 1) runs through it.
  ASSERT_TRUE(polyPrimitive("polySphere", "s", {}, &mesh, &error)) << error;
  EXPECT_EQ(mesh.points.size(), 382u);
  EXPECT_EQ(mesh.faces.size(), 400u);
  EXPECT_EQ(mesh.uvs.size(), 439u);
  const double step = 2 * 3.14159265358979323846 / 20;
  for (const auto& face : mesh.faces) {
    std::vector<long long> columns;
    for (int v : face.vertices) {
      const Vec& p = mesh.points[v];
      if (std::hypot(p[0], p[2]) < 1e-9) continue;
      double angle = std::atan2(-p[2], p[0]);
      if (angle < 0) angle += 2 * 3.14159265358979323846;
      columns.push_back((std::llround(angle / step) + 19) % 20);
    }
    bool seam = std::count(columns.begin(), columns.end(), 0) > 0 &&
                std::count(columns.begin(), columns.end(), 19) > 0;
    long long first = 20;
    for (long long& c : columns) {
      if (seam && c == 0) c = 20;
      first = std::min(first, c);
    }
    size_t at = 0;
    for (size_t k = 0; k < face.vertices.size(); ++k) {
      const Vec& p = mesh.points[face.vertices[k]];
      const auto& uv = mesh.uvs[face.uvs[k]];
      if (std::hypot(p[0], p[2]) < 1e-9) {
        // A pole's UV for each triangle, in the middle of its column.
        EXPECT_NEAR(uv[0], (first + 0.5) / 20, 1e-6);
        EXPECT_EQ(uv[1], p[1] < 0 ? 0.0f : 1.0f);
        continue;
      }
      EXPECT_NEAR(uv[0], columns[at++] / 20.0, 1e-6);
    }
  }
  const Vec first = {0.14877813, -0.98768836, -0.048340943};
  int found = 0;
  for (const auto& face : mesh.faces)
    for (size_t k = 0; k < face.vertices.size(); ++k)
      // Maya computes in single precision: its figures are good to 1e-7.
      if (length(sub(mesh.points[face.vertices[k]], first)) < 1e-6) {
        ++found;
        const auto& uv = mesh.uvs[face.uvs[k]];
        EXPECT_TRUE(uv[0] == 0.0f || uv[0] == 1.0f) << uv[0];
        EXPECT_NEAR(uv[1], 0.05, 1e-6);
      }
  EXPECT_EQ(found, 4);  // two pole triangles, two quads
  EXPECT_FALSE(polyPrimitive("polySphere", "s", {{".r", "", {"-1"}}}, &mesh, &error));
  EXPECT_NE(error.find("s.r"), std::string::npos) << error;
  EXPECT_FALSE(polyPrimitive("polySphere", "s", {{".sa", "", {"100000"}}, {".sh", "", {"100000"}}},
                             &mesh, &error));
}

TEST(PolyMeshTest, CylinderCapsSitAtHalfTheHeight) {
  PolyMesh mesh;
  std::string error;
  ASSERT_TRUE(polyPrimitive(
      "polyCylinder", "y",
      {{".r", "", {"0.5"}}, {".h", "", {"3"}}, {".sa", "", {"10"}}, {".sh", "", {"2"}}}, &mesh,
      &error))
      << error;
  // Three rings of ten; without cap subdivisions each cap is one ten-sided
  // face.
  EXPECT_EQ(mesh.points.size(), 30u);
  ASSERT_EQ(mesh.faces.size(), 22u);
  int caps = 0;
  for (const auto& face : mesh.faces) {
    if (face.vertices.size() != 10) continue;
    ++caps;
    double y = mesh.points[face.vertices[0]][1];
    EXPECT_EQ(std::fabs(y), 1.5);
    for (size_t k = 0; k < face.vertices.size(); ++k) {
      EXPECT_EQ(mesh.points[face.vertices[k]][1], y);
      // Caps are circles of radius 0.15625 about (0.5, 0.15625) below the
      // side and (0.5, 0.84375) above it.
      const auto& uv = mesh.uvs[face.uvs[k]];
      EXPECT_NEAR(std::hypot(uv[0] - 0.5, uv[1] - (y < 0 ? 0.15625 : 0.84375)), 0.15625, 1e-6);
    }
  }
  EXPECT_EQ(caps, 2);
  for (const auto& p : mesh.points) EXPECT_NEAR(std::hypot(p[0], p[2]), 0.5, 1e-12);
  expectOutwardAndUnmirrored(mesh);

  // Along +X with two cap rings: caps at x = +-1.5, each an inner ring and
  // a centre.
  ASSERT_TRUE(polyPrimitive("polyCylinder", "y",
                            {{".r", "", {"0.5"}},
                             {".h", "", {"3"}},
                             {".sa", "", {"10"}},
                             {".sh", "", {"2"}},
                             {".sc", "", {"2"}},
                             {".ax", "double3", words("1 0 0")}},
                            &mesh, &error))
      << error;
  EXPECT_EQ(mesh.points.size(), 52u);
  EXPECT_EQ(mesh.faces.size(), 60u);
  double lowest = 0;
  double highest = 0;
  for (const auto& p : mesh.points) {
    lowest = std::min(lowest, p[0]);
    highest = std::max(highest, p[0]);
    EXPECT_LE(std::hypot(p[1], p[2]), 0.5 + 1e-12);
  }
  EXPECT_NEAR(lowest, -1.5, 1e-12);
  EXPECT_NEAR(highest, 1.5, 1e-12);
  expectOutwardAndUnmirrored(mesh);
}

// The numbers Maya 2016 saved for a cylinder of radius 1 and height 2 with
// 20 sides, 5 rows and one cap ring (createUVs 3).
TEST(PolyMeshTest, CylinderUvsAreMaya2016s) {
  PolyMesh mesh;
  std::string error;
  ASSERT_TRUE(polyPrimitive("polyCylinder", "y",
                            {{".sh", "", {"5"}}, {".sc", "", {"1"}}, {".cuv", "", {"3"}}}, &mesh,
                            &error))
      << error;
  EXPECT_EQ(mesh.points.size(), 122u);
  EXPECT_EQ(mesh.faces.size(), 140u);
  // A 20-UV ring per cap, 6 rows of 21 on the side, two cap centres.
  EXPECT_EQ(mesh.uvs.size(), 168u);
  const double pi = 3.14159265358979323846;
  const double step = 2 * pi / 20;
  // Side rows as saved: v 0.3125 up to 0.68843991 in steps of 0.07518798.
  const double rows[6] = {0.3125, 0.38768798, 0.46287596, 0.53806394, 0.61325192, 0.68843991};
  auto column = [&](const Vec& p) {
    double angle = std::atan2(-p[2], p[0]);
    if (angle < 0) angle += 2 * pi;
    return (std::llround(angle / step) + 19) % 20;
  };
  int sides = 0;
  int triangles = 0;
  for (const auto& face : mesh.faces) {
    ASSERT_EQ(face.uvs.size(), face.vertices.size());
    if (face.vertices.size() == 3) {
      ++triangles;
      for (size_t k = 0; k < 3; ++k) {
        const Vec& p = mesh.points[face.vertices[k]];
        const auto& uv = mesh.uvs[face.uvs[k]];
        bool top = p[1] > 0;
        EXPECT_EQ(std::fabs(p[1]), 1.0);
        if (std::hypot(p[0], p[2]) < 1e-9) {
          // Maya 2016 puts the centres' UVs below their circles' centres.
          EXPECT_FLOAT_EQ(uv[0], 0.5f);
          EXPECT_NEAR(uv[1], top ? 0.83749998 : 0.15000001, 1e-6);
          continue;
        }
        EXPECT_NEAR(uv[0], 0.5 + 0.15625 * p[0], 1e-6);
        EXPECT_NEAR(uv[1], top ? 0.84375 - 0.15625 * p[2] : 0.15625 + 0.15625 * p[2], 1e-6);
      }
      continue;
    }
    ASSERT_EQ(face.vertices.size(), 4u);
    ++sides;
    std::vector<long long> columns;
    for (int v : face.vertices) columns.push_back(column(mesh.points[v]));
    bool seam = std::count(columns.begin(), columns.end(), 0) > 0 &&
                std::count(columns.begin(), columns.end(), 19) > 0;
    for (size_t k = 0; k < 4; ++k) {
      const Vec& p = mesh.points[face.vertices[k]];
      const auto& uv = mesh.uvs[face.uvs[k]];
      long long c = seam && columns[k] == 0 ? 20 : columns[k];
      EXPECT_NEAR(uv[0], 0.375 + 0.0125 * c, 1e-6);
      EXPECT_NEAR(uv[1], rows[std::llround((p[1] + 1) / 0.4)], 1e-6);
    }
  }
  EXPECT_EQ(sides, 100);
  EXPECT_EQ(triangles, 40);
  // Maya's point 0, (0.95105714, -1, -0.30901718), as its faces see it:
  // (0.375, 0.3125) and (0.625, 0.3125) either side of the seam,
  // (0.64860266, 0.10796607) on the bottom cap; on the top ring the same
  // angle reads (0.6486026, 0.89203393).
  const Vec lower = {0.95105714, -1, -0.30901718};
  const Vec upper = {0.95105714, 1, -0.30901718};
  std::vector<std::array<float, 2>> lowerUvs;
  std::vector<std::array<float, 2>> upperUvs;
  for (const auto& face : mesh.faces)
    for (size_t k = 0; k < face.vertices.size(); ++k) {
      const Vec& p = mesh.points[face.vertices[k]];
      if (length(sub(p, lower)) < 1e-6) lowerUvs.push_back(mesh.uvs[face.uvs[k]]);
      if (length(sub(p, upper)) < 1e-6 && face.vertices.size() == 3)
        upperUvs.push_back(mesh.uvs[face.uvs[k]]);
    }
  auto has = [](const std::vector<std::array<float, 2>>& uvs, double u, double v) {
    return std::any_of(uvs.begin(), uvs.end(), [&](const std::array<float, 2>& uv) {
      return std::fabs(uv[0] - u) < 1e-6 && std::fabs(uv[1] - v) < 1e-6;
    });
  };
  EXPECT_EQ(lowerUvs.size(), 4u);  // two side quads, two cap triangles
  EXPECT_TRUE(has(lowerUvs, 0.375, 0.3125));
  EXPECT_TRUE(has(lowerUvs, 0.62499976, 0.3125));
  EXPECT_TRUE(has(lowerUvs, 0.64860266, 0.10796607));
  ASSERT_EQ(upperUvs.size(), 2u);
  EXPECT_TRUE(has(upperUvs, 0.6486026, 0.89203393));
  expectOutwardAndUnmirrored(mesh);
}

TEST(PolyMeshTest, TriangulateFansEachFace) {
  PolyMesh mesh;
  mesh.points = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}, {3, 0, 0}};
  mesh.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  mesh.faces = {{{0, 1, 2, 3}, {0, 1, 2, 3}}, {{1, 4, 2}, {}}};
  PolyTriangles triangles = triangulate(mesh);
  ASSERT_EQ(triangles.corners.size(), 3u);
  EXPECT_EQ(triangles.corners[0], (std::array<int, 3>{0, 1, 2}));
  EXPECT_EQ(triangles.corners[1], (std::array<int, 3>{0, 2, 3}));
  EXPECT_EQ(triangles.faces, (std::vector<int>{0, 0, 1}));
  // The quad's two triangles cover its 2 x 1 area.
  double area = 0;
  for (int t = 0; t < 2; ++t) {
    const auto& c = triangles.corners[t];
    area += length(cross(sub(mesh.points[c[1]], mesh.points[c[0]]),
                         sub(mesh.points[c[2]], mesh.points[c[0]]))) /
            2;
  }
  EXPECT_DOUBLE_EQ(area, 2.0);
  EXPECT_EQ(triangles.uvs[1][1], (std::array<float, 2>{1, 1}));
  EXPECT_EQ(triangles.uvs[2][0], (std::array<float, 2>{0, 0}));
}

}  // namespace
}  // namespace qv::maya
