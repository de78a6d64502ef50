#include "scene_files.h"

#include <algorithm>
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
  // As a mental ray scene names its shader library and the declarations of
  // its shaders; mental ray and the stand-in link "NAME.so" as NAME.dll on
  // Windows.
  out << "link \"qv_shotWeave.so\"\n$include \"qv_shotWeave.mi\"\n\n";
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
  // Every field the picture depends on is written out, as qvVeil takes it
  // in example.vrscene: the declaration's defaults are a painter's starting
  // point (soft edges, premultiplied colour) and need not be V-Ray's.
  out << "# The painting on top where its camera sees the set, the fill beneath.\n";
  out << "shader \"weave\" \"qv_shotWeave\" (\n  \"layers\" [\n    {\n"
      << "      \"color\" = \"paint\",\n      \"mask\" 1,\n"
      << "      \"colorOffset\" 0 0 0 0,\n      \"placementMatrix\" " << rowMajor(projection)
      << ",\n      \"passThrough\" off,\n      \"distanceThreshold\" 0,\n"
      << "      \"useShadowOcclusion\" on,\n      \"dilate\" " << number(scene.dilation)
      << ",\n      \"samples\" " << scene.dilationSamples
      << ",\n      \"softEdge\" 0,\n      \"power\" 1,\n      \"useFacingRatio\" on,\n"
      << "      \"angleThreshold\" " << number(scene.angleThresholdDeg)
      << ",\n      \"labelExclude\" -1,\n      \"premult\" off\n    },\n    {\n"
      << "      \"color\" = \"fill\",\n      \"mask\" 1,\n      \"colorOffset\" 0 0 0 0,\n"
      << "      \"placementMatrix\" " << rowMajor(projection)
      << ",\n      \"passThrough\" off,\n      \"distanceThreshold\" 0,\n"
      << "      \"useShadowOcclusion\" off,\n      \"useFacingRatio\" off,\n"
      << "      \"labelExclude\" -1,\n      \"premult\" off\n    }\n  ]\n)\n\n";
  out << "camera \"view\" transform " << rowMajor(render) << " focal " << number(kFocal)
      << " aperture " << number(aperture(render)) << " aspect "
      << number(static_cast<double>(render.width) / render.height) << " resolution " << render.width
      << ' ' << render.height << "\nend camera\n";
  return out.str();
}

// Maya's rotate (order xyz, row vectors: M = Rx * Ry * Rz) of a camera frame.
Vec3 eulerXyzDeg(const std::array<Vec3, 4>& m) {
  const double toDeg = 180.0 / kPi;
  const double y = std::asin(std::clamp(-m[0][2], -1.0, 1.0));
  return {std::atan2(m[1][2], m[2][2]) * toDeg, y * toDeg, std::atan2(m[0][1], m[0][0]) * toDeg};
}

// A camera as a transform and its camera shape, the film back set so that
// the fields of view are the camera's and the painting's proportions.
std::string mayaCamera(const Camera& camera) {
  const auto frame = cameraToWorld(camera);
  const Vec3 rotate = eulerXyzDeg(frame);
  const double horizontal = aperture(camera) / 25.4;
  const double vertical = horizontal * camera.height / camera.width;
  std::ostringstream out;
  out << "createNode transform -n \"" << camera.name << "\";\n";
  out << "\tsetAttr \".t\" -type \"double3\" " << number(camera.position[0]) << ' '
      << number(camera.position[1]) << ' ' << number(camera.position[2]) << ";\n";
  out << "\tsetAttr \".r\" -type \"double3\" " << number(rotate[0]) << ' ' << number(rotate[1])
      << ' ' << number(rotate[2]) << ";\n";
  out << "createNode camera -n \"" << camera.name << "Shape\" -p \"" << camera.name << "\";\n";
  out << "\tsetAttr \".fl\" " << number(kFocal) << ";\n";
  out << "\tsetAttr \".hfa\" " << number(horizontal) << ";\n";
  out << "\tsetAttr \".vfa\" " << number(vertical) << ";\n";
  return out.str();
}

// A mesh of the set, shown through the stack and hiding from the projection
// camera what lies behind it.
std::string mayaMesh(const std::string& name) {
  return "createNode transform -n \"" + name + "\";\ncreateNode mesh -n \"" + name +
         "Shape\" -p \"" + name + "\";\n\tsetAttr \".objFile\" -type \"string\" \"" + name +
         ".obj\";\nconnectAttr \"stack.outColor\" \"" + name + "Shape.surfaceColor\";\n" +
         "connectAttr \"" + name + "Shape.w\" \"painting.ocl\" -na;\n";
}

std::string ma(const Scene& scene) {
  std::ostringstream out;
  out << "//Maya ASCII 2015 scene\n//Name: example.ma\n"
         "// The bundled example, written by qvexample from the same description as\n"
         "// example.vrscene and example.mi, as Viewport 2.0 shows it: the painting\n"
         "// projected through the projection camera, stacked over the fill.\n";
  out << "requires maya \"2015\";\nrequires \"qv_vpProjector\" \"3.0\";\n"
         "requires \"qv_vpStack\" \"3.0\";\ncurrentUnit -l centimeter -a degree -t film;\n";
  out << mayaCamera(scene.render) << mayaCamera(scene.projection);
  out << "createNode qv_vpProjector -n \"painting\";\n";
  out << "\tsetAttr \".f\" -type \"string\" \"" << scene.painting << "\";\n";
  out << "\tsetAttr \".mt\" 2;\n";
  // The renders' visibility tests, so that the viewport shows what they do.
  out << "\tsetAttr \".ufr\" yes;\n\tsetAttr \".ang\" " << number(scene.angleThresholdDeg)
      << ";\n\tsetAttr \".occl\" yes;\n\tsetAttr \".dlt\" " << number(scene.dilation)
      << ";\n\tsetAttr \".se\" 0;\n";
  out << "createNode qv_vpStack -n \"stack\";\n";
  out << "\tsetAttr \".co1\" -type \"float3\" " << number(scene.fill[0]) << ' '
      << number(scene.fill[1]) << ' ' << number(scene.fill[2]) << ";\n";
  out << "\tsetAttr \".m1\" 1;\n";
  // The painting's colour comes straight; the stack weighs it by the alpha
  // in which the projector says how much of each point its camera sees.
  out << "\tsetAttr \".pr0\" yes;\n";
  out << "connectAttr \"" << scene.projection.name
      << "Shape.worldInverseMatrix\" \"painting.pm\";\n";
  out << "connectAttr \"painting.outColor\" \"stack.color0\";\n";
  out << "connectAttr \"painting.outAlpha\" \"stack.mask0\";\n";
  out << mayaMesh("ground");
  for (const Box* box : objects(scene)) out << mayaMesh(box->name);
  out << "// End of example.ma\n";
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
  if (!writeText(folder + "/example.mi", mi(scene), error)) return false;
  return writeText(folder + "/example.ma", ma(scene), error);
}

}  // namespace qv::example
