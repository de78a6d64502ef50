#include "scene_files.h"

#include <cmath>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <vector>

#include "image_file.h"
#include "painting.h"

namespace qv::example {
namespace {

bool writeText(const std::string& path, const std::string& text, std::string* error) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (out) return true;
  *error = path + ": cannot write the file";
  return false;
}

// Outward-facing triangles, counter-clockwise seen from outside.
std::string boxObj(const Box& box) {
  std::ostringstream obj;
  obj << "# " << box.name << ", written by qvexample\n" << std::setprecision(9);
  for (int i = 0; i < 8; ++i) {
    obj << "v " << (i & 1 ? box.max[0] : box.min[0]) << ' ' << (i & 2 ? box.max[1] : box.min[1])
        << ' ' << (i & 4 ? box.max[2] : box.min[2]) << '\n';
  }
  // Corners by bit: x = 1, y = 2, z = 4; OBJ counts from 1.
  static const int faces[6][4] = {{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4},
                                  {2, 6, 7, 3}, {0, 2, 3, 1}, {4, 5, 7, 6}};
  for (const auto& f : faces) {
    obj << "f " << f[0] + 1 << ' ' << f[1] + 1 << ' ' << f[2] + 1 << '\n';
    obj << "f " << f[0] + 1 << ' ' << f[2] + 1 << ' ' << f[3] + 1 << '\n';
  }
  return obj.str();
}

std::string groundObj(double half) {
  std::ostringstream obj;
  obj << "# ground, written by qvexample\n";
  obj << "v " << -half << " 0 " << -half << "\nv " << half << " 0 " << -half << "\nv " << half
      << " 0 " << half << "\nv " << -half << " 0 " << half << "\n";
  obj << "f 1 3 2\nf 1 4 3\n";
  return obj.str();
}

constexpr double kPi = 3.14159265358979323846;

std::string number(double value) {
  std::ostringstream out;
  out << std::setprecision(9) << value;
  return out.str();
}

std::vector<const Box*> objects(const Scene& scene) {
  std::vector<const Box*> all;
  for (const Box& box : scene.buildings) all.push_back(&box);
  all.push_back(&scene.occluder);
  return all;
}

// Focal length and horizontal aperture (mm) of a lens with this field of view.
constexpr double kFocal = 35.0;
double aperture(const Camera& camera) {
  return 2.0 * kFocal * std::tan(camera.horizontalFovDeg * kPi / 360.0);
}

std::string vrayTransform(const Camera& camera) {
  const auto m = cameraToWorld(camera);
  auto vector = [](const Vec3& v) {
    return "Vector(" + number(v[0]) + ", " + number(v[1]) + ", " + number(v[2]) + ")";
  };
  return "Transform(Matrix(" + vector(m[0]) + ", " + vector(m[1]) + ", " + vector(m[2]) + "), " +
         vector(m[3]) + ")";
}

// Sixteen numbers by row, row vectors: the layout of Maya and mental ray.
std::string rowMajor(const Camera& camera) {
  const auto m = cameraToWorld(camera);
  std::string text;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 3; ++c) text += number(m[r][c]) + " ";
    text += r == 3 ? "1" : "0 ";
  }
  return text;
}

std::string vrscene(const Scene& scene) {
  const Camera& projection = scene.projection;
  const Camera& render = scene.render;
  std::ostringstream out;
  out << "// The bundled example, written by qvexample from the same description as\n"
         "// example.mi and example.ma: the painting is projected through the\n"
         "// projection camera and kept where that camera really sees the set; the\n"
         "// fill shows elsewhere.\n\n";
  out << "RenderView camera { transform=" << vrayTransform(render)
      << "; fov=" << number(render.horizontalFovDeg * kPi / 180.0) << "; }\n";
  out << "SettingsOutput output { img_width=" << render.width << "; img_height=" << render.height
      << "; }\n\n";
  out << "GeomMeshFile ground_mesh { file=\"ground.obj\"; }\n";
  out << "Node ground { geometry=ground_mesh; texture=weave; }\n";
  for (const Box* box : objects(scene)) {
    out << "GeomMeshFile " << box->name << "_mesh { file=\"" << box->name << ".obj\"; }\n";
    out << "Node " << box->name << " { geometry=" << box->name << "_mesh; texture=weave; }\n";
  }
  out << "\n// The painting, through the projection camera.\n";
  out << "BitmapBuffer paint { file=\"" << scene.painting << "\"; }\n";
  out << "UVWGenProjection projection { type=8; camera_transform=" << vrayTransform(projection)
      << "; fov=" << number(projection.horizontalFovDeg * kPi / 180.0) << "; }\n";
  out << "TexBitmap painting { bitmap=paint; uvwgen=projection; default_color=AColor("
      << number(scene.fill[0]) << ", " << number(scene.fill[1]) << ", " << number(scene.fill[2])
      << ", 1); }\n\n";
  out << "// What the projection camera sees of each point: facing, occlusion, soft edges.\n";
  out << "qvVeil seen {\n  color=painting;\n  mask=1.0;\n  placementMatrix="
      << vrayTransform(projection)
      << ";\n  useShadowOcclusion=1;\n  dilate=" << number(scene.dilation)
      << ";\n  samples=" << scene.dilationSamples
      << ";\n  useFacingRatio=1;\n  angleThreshold=" << number(scene.angleThresholdDeg)
      << ";\n}\n\n";
  out << "// The painting where the camera sees the set, the fill elsewhere.\n";
  out << "qvShotWeave weave {\n  color_a=seen;\n  matte_a=seen::outMatte;\n  color_b=AColor("
      << number(scene.fill[0]) << ", " << number(scene.fill[1]) << ", " << number(scene.fill[2])
      << ", 1);\n}\n";
  return out.str();
}

std::string mi(const Scene& scene) {
  const Camera& projection = scene.projection;
  const Camera& render = scene.render;
  std::ostringstream out;
  out << "# The bundled example, written by qvexample from the same description as\n"
         "# example.vrscene and example.ma: the painting is projected through the\n"
         "# projection camera and kept where that camera really sees the set; the\n"
         "# fill shows elsewhere.\n\n";
  out << "object \"ground\" file \"ground.obj\" label 1 material \"weave\" end object\n";
  int label = 2;
  for (const Box* box : objects(scene)) {
    out << "object \"" << box->name << "\" file \"" << box->name << ".obj\" label " << label++
        << " material \"weave\" end object\n";
  }
  out << "\ncolor texture \"painting\" \"" << scene.painting << "\"\n";
  out << "shader \"paint\" \"mib_texture_projection\" (\n  \"tex\" \"painting\",\n"
      << "  \"placementMatrix\" " << rowMajor(projection) << ",\n  \"focal\" " << number(kFocal)
      << ",\n  \"aperture\" " << number(aperture(projection)) << ",\n  \"default\" "
      << number(scene.fill[0]) << ' ' << number(scene.fill[1]) << ' ' << number(scene.fill[2])
      << " 1\n)\n";
  out << "shader \"fill\" \"qv_const\" ( \"color\" " << number(scene.fill[0]) << ' '
      << number(scene.fill[1]) << ' ' << number(scene.fill[2]) << " 1, \"opacity\" 1 )\n\n";
  out << "# The painting on top where its camera sees the set, the fill beneath.\n";
  out << "shader \"weave\" \"qv_shotWeave\" (\n  \"layers\" [\n    {\n"
      << "      \"color\" = \"paint\",\n      \"mask\" 1,\n      \"placementMatrix\" "
      << rowMajor(projection) << ",\n      \"useShadowOcclusion\" on,\n      \"dilate\" "
      << number(scene.dilation) << ",\n      \"samples\" " << scene.dilationSamples
      << ",\n      \"useFacingRatio\" on,\n      \"angleThreshold\" "
      << number(scene.angleThresholdDeg) << "\n    },\n    {\n      \"color\" = \"fill\",\n"
      << "      \"mask\" 1,\n      \"placementMatrix\" " << rowMajor(projection)
      << "\n    }\n  ]\n)\n\n";
  out << "camera \"view\" transform " << rowMajor(render) << " focal " << number(kFocal)
      << " aperture " << number(aperture(render)) << " aspect "
      << number(static_cast<double>(render.width) / render.height) << " resolution " << render.width
      << ' ' << render.height << "\nend camera\n";
  return out.str();
}

}  // namespace

bool writeExample(const Scene& scene, const std::string& folder, std::string* error) {
  if (!image::write(folder + "/" + scene.painting, paint(scene), error)) return false;
  if (!writeText(folder + "/ground.obj", groundObj(scene.groundHalfSize), error)) return false;
  for (const Box& box : scene.buildings) {
    if (!writeText(folder + "/" + box.name + ".obj", boxObj(box), error)) return false;
  }
  if (!writeText(folder + "/" + scene.occluder.name + ".obj", boxObj(scene.occluder), error))
    return false;
  if (!writeText(folder + "/example.vrscene", vrscene(scene), error)) return false;
  return writeText(folder + "/example.mi", mi(scene), error);
}

}  // namespace qv::example
