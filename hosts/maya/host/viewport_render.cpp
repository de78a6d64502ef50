#include "viewport_render.h"

#include "fragment_reference.h"
#include "graph.h"
#include "obj_reader.h"
#include "scene_surfaces.h"
#include "shader_runner.h"
#include "text_file.h"
#include "tracer.h"
#include "viewport_network.h"

#include <maya/MFnCamera.h>
#include <maya/MMatrix.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <utility>

namespace qv::maya {
namespace {

namespace fs = std::filesystem;
using Matrix = std::array<double, 16>;  // an MMatrix row by row: row vectors, translation in row 3
using Uv = std::array<float, 2>;

// What part of a surface shows: a network, or its flat colour.
struct Look {
  int network = -1;
  std::array<float, 3> flat{0.5f, 0.5f, 0.5f};
};

struct Surface {
  std::string node;
  host::TriangleMesh mesh;  // object space
  std::vector<Uv> uvs;      // three per triangle, in its corners' order
  Matrix world{};
  std::vector<Look> looks;
  std::vector<int> lookOfTriangle;  // empty: every triangle shows looks[0]
  const Look& lookAt(std::uint32_t triangle) const {
    return looks[lookOfTriangle.empty() ? 0 : static_cast<size_t>(lookOfTriangle[triangle])];
  }
};

// The surface points one network shades, laid out as its wrapper reads
// them: kInputFloats per point, then the surfaces' world matrices.
struct Batch {
  std::vector<float> inputs;
  std::vector<std::size_t> pixels;
  std::size_t count() const { return pixels.size(); }
};

bool matrixOf(Host& host, const std::string& node, Matrix* matrix, std::string* error) {
  const auto values = host.getAttr(node + ".worldMatrix", error);
  if (!values || values->size() != 16) return false;
  std::copy(values->begin(), values->end(), matrix->begin());
  return true;
}

std::array<double, 3> transformPoint(const Matrix& m, const host::Vec3f& p) {
  std::array<double, 3> r{};
  for (int c = 0; c < 3; ++c) {
    r[c] = double{p[0]} * m[c] + double{p[1]} * m[4 + c] + double{p[2]} * m[8 + c] + m[12 + c];
  }
  return r;
}

std::vector<std::string> tokens(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// The texture coordinates of an OBJ file's triangles, three per triangle,
// fanned as parseObj fans its polygons; a corner without one gets (0, 0).
// parseObj has checked everything but the texture coordinates.
bool readUvs(const std::string& text, const std::string& path, std::vector<Uv>* uvs,
             std::string* error) {
  std::vector<Uv> defined;
  std::istringstream lines(text);
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    line = line.substr(0, line.find('#'));
    const std::vector<std::string> t = tokens(line);
    if (t.empty()) continue;
    const auto fail = [&](const std::string& what) {
      *error = path + ":" + std::to_string(number) + ": " + what;
      return false;
    };
    if (t[0] == "vt") {
      if (t.size() < 2 || t.size() > 4) return fail("a texture coordinate takes 1 to 3 numbers");
      Uv uv{0.0f, 0.0f};
      for (size_t i = 1; i < t.size() && i <= 2; ++i) {
        char* end = nullptr;
        const double value = std::strtod(t[i].c_str(), &end);
        if (end != t[i].c_str() + t[i].size() || !std::isfinite(value)) {
          return fail("malformed number '" + t[i] + "'");
        }
        uv[i - 1] = static_cast<float>(value);
      }
      defined.push_back(uv);
    } else if (t[0] == "f") {
      std::vector<Uv> corners;
      for (size_t i = 1; i < t.size(); ++i) {
        const size_t slash = t[i].find('/');
        const std::string index =
            slash == std::string::npos
                ? ""
                : t[i].substr(slash + 1, t[i].find('/', slash + 1) - slash - 1);
        if (index.empty()) {
          corners.push_back({0.0f, 0.0f});
          continue;
        }
        char* end = nullptr;
        const long long value = std::strtoll(index.c_str(), &end, 10);
        const auto count = static_cast<long long>(defined.size());
        const long long at = value < 0 ? count + value : value - 1;
        if (end != index.c_str() + index.size() || value == 0 || at < 0 || at >= count) {
          return fail("texture coordinate index " + index + " is out of range (" +
                      std::to_string(count) + " defined so far)");
        }
        corners.push_back(defined[static_cast<size_t>(at)]);
      }
      for (size_t i = 1; i + 1 < corners.size(); ++i) {
        uvs->insert(uvs->end(), {corners[0], corners[i], corners[i + 1]});
      }
    }
  }
  return true;
}

bool readSurface(const std::string& path, Surface* surface, std::string* error) {
  std::string text;
  return host::readTextFile(path, &text, error) &&
         host::parseObj(text, path, &surface->mesh, error) &&
         readUvs(text, path, &surface->uvs, error);
}

struct Camera {
  Matrix world{};
  double tanHalf = 0.0;
  double nearClip = 0.1, farClip = 10000.0;
  // An orthographic camera sees orthoWidth across, in its own units.
  bool orthographic = false;
  double orthoWidth = 30.0;
};

bool findCamera(Host& host, const std::string& wanted, Camera* camera, std::string* error) {
  std::string shape;
  const std::vector<std::string> cameras = host.listNodes("camera");
  if (wanted.empty()) {
    if (cameras.empty()) {
      *error = "the scene has no camera";
      return false;
    }
    // The scene's own camera before Maya's startup ones, which every scene
    // shares (`createNode -s`).
    shape = cameras.front();
    for (const std::string& candidate : cameras) {
      const NodeRecord* record = host.findRecord(candidate);
      if (!record || !record->shared) {
        shape = candidate;
        break;
      }
    }
  } else if (host.typeOf(wanted) == "camera") {
    shape = wanted;
  } else {
    for (const std::string& candidate : cameras) {
      if (host.parentOf(candidate) == wanted) {
        shape = candidate;
        break;
      }
    }
    if (shape.empty()) {
      *error = host.typeOf(wanted).empty() ? "no camera named " + wanted
                                           : wanted + " is no camera and has none below it";
      return false;
    }
  }
  MStatus status;
  const MFnCamera fn(host.node(shape));
  camera->orthographic = fn.isOrtho(&status);
  if (!status) {
    *error = "camera " + shape + " cannot be read";
    return false;
  }
  if (camera->orthographic) {
    // What the lens would see plays no part in a parallel view.
    camera->orthoWidth = fn.orthoWidth();
    if (!std::isfinite(camera->orthoWidth) || camera->orthoWidth <= 0.0) {
      *error = "camera " + shape + " has no usable orthographicWidth";
      return false;
    }
  } else {
    const double fov = fn.horizontalFieldOfView(&status);
    camera->tanHalf = std::tan(0.5 * fov);
    if (!status || !std::isfinite(camera->tanHalf) || camera->tanHalf <= 0.0) {
      *error = "camera " + shape + " has no usable field of view";
      return false;
    }
  }
  if (!matrixOf(host, shape, &camera->world, error)) {
    *error = "camera " + shape + ": " + *error;
    return false;
  }
  const auto nearClip = host.getAttr(shape + ".nearClipPlane", error);
  const auto farClip = host.getAttr(shape + ".farClipPlane", error);
  if (!nearClip || !farClip || nearClip->size() != 1 || farClip->size() != 1 ||
      !((*nearClip)[0] > 0.0) || !((*farClip)[0] > (*nearClip)[0])) {
    *error = "camera " + shape + " has no usable clip planes";
    return false;
  }
  camera->nearClip = (*nearClip)[0];
  camera->farClip = (*farClip)[0];
  return true;
}

// The view and projection Viewport 2.0 hands a shader for the camera, as
// Maya's row-vector matrices: the projection maps the view's depth range to
// 0..1 under DirectX 11 and to -1..1 under OpenGL, as each API clips.
void setCameraMatrices(const Camera& camera, Engine engine, int width, int height,
                       preview::Network* network) {
  double rows[4][4];
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) rows[r][c] = camera.world[r * 4 + c];
  }
  const MMatrix view = MMatrix(rows).inverse();
  network->view.assign(16, 0.0f);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) network->view[r * 4 + c] = static_cast<float>(view(r, c));
  }
  const double n = camera.nearClip, f = camera.farClip;
  const bool directX = engine == Engine::kDirectX11;
  network->projection.assign(16, 0.0f);
  if (camera.orthographic) {
    // The view's box, orthoWidth across and as tall as the image's
    // proportions make it, onto -1..1 across and up.
    const double xScale = 2.0 / camera.orthoWidth;
    network->projection[0] = static_cast<float>(xScale);
    network->projection[5] = static_cast<float>(xScale * width / height);
    network->projection[10] = static_cast<float>(directX ? 1.0 / (n - f) : -2.0 / (f - n));
    network->projection[14] = static_cast<float>(directX ? n / (n - f) : -(f + n) / (f - n));
    network->projection[15] = 1.0f;
    return;
  }
  const double xScale = 1.0 / camera.tanHalf;
  const double yScale = xScale * width / height;
  network->projection[0] = static_cast<float>(xScale);
  network->projection[5] = static_cast<float>(yScale);
  network->projection[10] = static_cast<float>(directX ? f / (n - f) : -(f + n) / (f - n));
  network->projection[11] = -1.0f;
  network->projection[14] = static_cast<float>(directX ? n * f / (n - f) : -2.0 * f * n / (f - n));
}

host::Ray cameraRay(const Camera& camera, int x, int y, int width, int height) {
  const double w = width, h = height;
  const Matrix& m = camera.world;
  if (camera.orthographic) {
    // Parallel rays down the camera's -z, from the pixel's place on the
    // plane through the camera.
    const double half = 0.5 * camera.orthoWidth;
    const double ox = (2.0 * (x + 0.5) / w - 1.0) * half;
    const double oy = (1.0 - 2.0 * (y + 0.5) / h) * half * h / w;
    const double length = std::sqrt(m[8] * m[8] + m[9] * m[9] + m[10] * m[10]);
    host::Ray ray;
    for (int c = 0; c < 3; ++c) {
      ray.origin[c] = ox * m[c] + oy * m[4 + c] + m[12 + c];
      ray.direction[c] = static_cast<float>(-m[8 + c] / length);
    }
    return ray;
  }
  const double cx = (2.0 * (x + 0.5) / w - 1.0) * camera.tanHalf;
  const double cy = (1.0 - 2.0 * (y + 0.5) / h) * camera.tanHalf * h / w;
  double d[3];
  for (int c = 0; c < 3; ++c) d[c] = cx * m[c] + cy * m[4 + c] - m[8 + c];
  const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  host::Ray ray;
  for (int c = 0; c < 3; ++c) {
    ray.origin[c] = m[12 + c];
    ray.direction[c] = static_cast<float>(d[c] / length);
  }
  return ray;
}

// What the surface hands its network at a hit.
void surfacePoint(const Surface& surface, std::uint32_t index, const host::SceneObject& placed,
                  const host::Ray& ray, const host::Hit& hit, float* inputs) {
  const auto& corners = placed.mesh.triangles[hit.surface.triangle];
  double p[3], e1[3], e2[3], q[3];
  for (int c = 0; c < 3; ++c) {
    p[c] = ray.origin[c] + hit.distance * ray.direction[c];
    const double a = placed.mesh.vertices[corners[0]][c];
    e1[c] = placed.mesh.vertices[corners[1]][c] - a;
    e2[c] = placed.mesh.vertices[corners[2]][c] - a;
    q[c] = p[c] - a;
  }
  const auto dot = [](const double* a, const double* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
  };
  const double d11 = dot(e1, e1), d12 = dot(e1, e2), d22 = dot(e2, e2);
  const double denominator = d11 * d22 - d12 * d12;
  double b1 = 0.0, b2 = 0.0;
  if (denominator != 0.0) {
    b1 = (d22 * dot(q, e1) - d12 * dot(q, e2)) / denominator;
    b2 = (d11 * dot(q, e2) - d12 * dot(q, e1)) / denominator;
  }
  const double weights[3] = {1.0 - b1 - b2, b1, b2};
  float* uv = inputs;
  float* pm = inputs + 2;
  float* pw = inputs + 5;
  for (int c = 0; c < 3; ++c) {
    double object = 0.0;
    for (int k = 0; k < 3; ++k) object += weights[k] * surface.mesh.vertices[corners[k]][c];
    pm[c] = static_cast<float>(object);
    pw[c] = static_cast<float>(p[c]);
  }
  for (int c = 0; c < 2; ++c) {
    double value = 0.0;
    if (!surface.uvs.empty()) {
      for (int k = 0; k < 3; ++k)
        value += weights[k] * surface.uvs[hit.surface.triangle * 3 + k][c];
    }
    uv[c] = static_cast<float>(value);
  }
  // The unit geometric normal turned to face the ray, as the renderer's
  // shading normal is, so that what faces the camera here faces it there.
  const float* n = hit.geometricNormal;
  const double facing = static_cast<double>(n[0]) * ray.direction[0] +
                        static_cast<double>(n[1]) * ray.direction[1] +
                        static_cast<double>(n[2]) * ray.direction[2];
  const float sign = facing > 0.0 ? -1.0f : 1.0f;
  for (int c = 0; c < 3; ++c) inputs[preview::kInputNw + c] = sign * n[c];
  inputs[preview::kInputSurface] = static_cast<float>(index);
}

// A surface's world matrix as the `world` semantic's HLSL float4x4, row by
// row: the MMatrix transposed.
void appendWorld(const Surface& surface, std::vector<float>* inputs) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) inputs->push_back(static_cast<float>(surface.world[c * 4 + r]));
  }
}

// Runs each network over its surface points: its wrapper compiled and drawn
// on the device, or its calls worked out by the CPU references.
class Shading {
 public:
  static constexpr int kPoint = -1;
  static constexpr int kWorld = -2;

  explicit Shading(const std::vector<preview::Network>& networks) : networks_(networks) {}

  bool loadTextures(std::string* error) {
    for (const preview::Network& network : networks_) {
      for (const preview::Slot& slot : network.slots) {
        if (slot.file.empty() || images_.count(keyOf(slot))) continue;
        image::Picture& image = images_[keyOf(slot)];
        if (slot.memory) {
          // The shader holds a reference, so only a volume or an empty
          // texture gets here without texels.
          if (!memoryTexturePicture(slot.file, &image)) {
            *error = network.root + ": memory texture \"" + slot.file +
                     "\" is no 2D texture the preview can read";
            return false;
          }
        } else if (!image::read(slot.file, &image, error)) {
          *error = network.root + ": cannot read texture " + slot.file + ": " + *error;
          return false;
        }
      }
    }
    return true;
  }

  // The device takes textures widened to four floats a texel, a memory
  // texture's R32_FLOAT ones too (a quarter of them is what it holds);
  // beyond this many pixels (an 8k painting) that would cost gigabytes, so
  // larger ones are drawn by the CPU references, which read the texels as
  // they are.
  static constexpr std::int64_t kMaxDeviceTexturePixels = std::int64_t{1} << 26;

  // The largest texture beyond what the device takes, as "FILE is N
  // pixels" (a memory texture: "memory texture \"NAME\" is N pixels"), or "".
  std::string tooLargeForDevice() const {
    for (const auto& [key, image] : images_) {
      const std::int64_t pixels = std::int64_t{image.width()} * image.height();
      if (pixels > kMaxDeviceTexturePixels) {
        return (key.first ? "memory texture \"" + key.second + "\"" : key.second) + " is " +
               std::to_string(pixels) + " pixels, more than the " +
               std::to_string(kMaxDeviceTexturePixels) + " the preview hands a device";
      }
    }
    return {};
  }

  bool onDevice(gpu::Device& device, size_t index, Batch& batch, std::vector<float>* colors,
                std::string* error) {
    const preview::Network& network = networks_[index];
    const gpu::ShaderCompile compiled = preview::compileWrapper(network);
    if (!compiled.ok) {
      *error = "the shader of " + network.root + "'s network does not compile:\n" + compiled.log;
      return false;
    }
    std::map<Key, gpu::Image> uploads;
    for (const auto& [key, image] : images_) {
      gpu::Image& upload = uploads[key];
      upload.width = static_cast<uint32_t>(image.width());
      upload.height = static_cast<uint32_t>(image.height());
      upload.rgba = image.toRgba().pixels;
    }
    gpu::Job job;
    job.spirv = compiled.spirv;
    job.invocations = static_cast<uint32_t>(batch.count());
    job.outputFloats = job.invocations * preview::kOutputFloats;
    job.inputs = std::move(batch.inputs);
    for (size_t k = 0; k < network.slots.size(); ++k) {
      gpu::TextureBinding binding;
      const preview::Slot& slot = network.slots[k];
      binding.image = slot.file.empty() ? nullptr : &uploads.at(keyOf(slot));
      binding.sampler = slot.sampler;
      // Without samplerAnisotropy the nearest the device has.
      if (binding.sampler.filter == gpu::Filter::kAnisotropic && !device.anisotropy()) {
        binding.sampler.filter = gpu::Filter::kLinear;
      }
      if (k == 0) {
        job.image = binding.image;
        job.sampler = binding.sampler;
      } else {
        job.moreTextures.push_back(binding);
      }
    }
    if (!device.run(job, colors, error)) {
      *error =
          "the shader of " + network.root + "'s network failed on " + device.name() + ": " + *error;
      return false;
    }
    return true;
  }

  // Where a reference puts the one value a function returns: a float as
  // outAlpha, a vector from outColor on.
  static void singleValue(const std::string& type, int* offset, int* size) {
    *offset = type == "float" || type == "int" || type == "bool" ? 6 : 0;
    *size = type == "float2" ? 2 : type == "float3" ? 3 : type == "float4" ? 4 : 1;
  }

  bool onCpu(size_t index, const Batch& batch, std::vector<float>* colors, std::string* error) {
    const preview::Network& network = networks_[index];
    std::vector<const reference::Reference*> functions;
    std::vector<std::vector<reference::Argument>> templates;
    for (const preview::Call& call : network.calls) {
      const reference::Reference* found = reference::find(call.function);
      std::vector<std::string> types;
      for (const preview::Argument& argument : call.arguments) types.push_back(argument.type);
      if (!found || found->parameterTypes != types) {
        *error = call.node + ": there is no CPU reference of " + call.function +
                 (found ? " with these parameters" : "");
        return false;
      }
      functions.push_back(found);
      std::vector<reference::Argument> arguments(call.arguments.size());
      for (size_t k = 0; k < call.arguments.size(); ++k) {
        const preview::Argument& argument = call.arguments[k];
        if (argument.kind == preview::ArgumentKind::kConstant) {
          std::copy(argument.values.begin(), argument.values.end(), arguments[k].v.begin());
        } else if (argument.kind == preview::ArgumentKind::kTexture) {
          const preview::Slot& slot = network.slots[argument.slot];
          arguments[k].image = slot.file.empty() ? nullptr : &images_.at(keyOf(slot));
        } else if (argument.kind == preview::ArgumentKind::kSampler) {
          arguments[k].sampler = network.slots[argument.slot].sampler;
        }
      }
      templates.push_back(std::move(arguments));
    }

    // Where each varying or linked argument comes from, worked out once.
    struct Patch {
      size_t call, argument;
      int from;  // kPoint, kWorld, or the call whose result it reads
      int offset, size;
    };
    std::vector<Patch> patches;
    for (size_t i = 0; i < network.calls.size(); ++i) {
      for (size_t k = 0; k < network.calls[i].arguments.size(); ++k) {
        const preview::Argument& argument = network.calls[i].arguments[k];
        if (argument.kind == preview::ArgumentKind::kVarying) {
          const std::string& name = argument.semantic;
          if (name == "world") {
            patches.push_back({i, k, kWorld, 0, 16});
          } else {
            patches.push_back({i, k, kPoint,
                               name == "uv"   ? 0
                               : name == "Pm" ? 2
                               : name == "Nw" ? preview::kInputNw
                                              : 5,
                               name == "uv" ? 2 : 3});
          }
        } else if (argument.kind == preview::ArgumentKind::kLink) {
          Patch patch{i, k, argument.call, 0, 0};
          const preview::Call& from = network.calls[static_cast<size_t>(argument.call)];
          if (from.single) {
            singleValue(from.resultType, &patch.offset, &patch.size);
          } else {
            reference::outputMember(argument.member, &patch.offset, &patch.size);
          }
          patches.push_back(patch);
        }
      }
    }
    int shown = 0, size = 0;
    if (network.calls.back().single) {
      singleValue(network.calls.back().resultType, &shown, &size);
    } else {
      reference::outputMember(network.shown, &shown, &size);
    }

    colors->resize(batch.count() * preview::kOutputFloats);
    std::vector<std::array<float, 7>> results(network.calls.size());
    const float* worlds = batch.inputs.data() + batch.count() * preview::kInputFloats;
    for (size_t p = 0; p < batch.count(); ++p) {
      const float* inputs = batch.inputs.data() + p * preview::kInputFloats;
      const float* world = worlds + static_cast<size_t>(inputs[preview::kInputSurface]) * 16;
      size_t next = 0;
      for (size_t i = 0; i < network.calls.size(); ++i) {
        for (; next < patches.size() && patches[next].call == i; ++next) {
          const Patch& patch = patches[next];
          const float* from = patch.from == kPoint ? inputs
                              : patch.from == kWorld
                                  ? world
                                  : results[static_cast<size_t>(patch.from)].data();
          std::copy(from + patch.offset, from + patch.offset + patch.size,
                    templates[i][patch.argument].v.begin());
        }
        reference::flatten(functions[i]->evaluate(templates[i].data()), results[i].data());
      }
      const auto& root = results.back();
      float* out = colors->data() + p * preview::kOutputFloats;
      std::copy(root.begin() + shown, root.begin() + shown + 3, out);
      out[3] = network.hasAlpha ? root[6] : 1.0f;
    }
    return true;
  }

 private:
  // A file and a memory texture may go by the same name.
  using Key = std::pair<bool, std::string>;  // made from memory, the file or the name
  static Key keyOf(const preview::Slot& slot) { return {slot.memory, slot.file}; }

  const std::vector<preview::Network>& networks_;
  std::map<Key, image::Picture> images_;
};

}  // namespace

bool renderPreview(Host& host, Viewport& viewport, const PreviewOptions& options,
                   PreviewResult* result, std::string* error) {
  if (options.width <= 0 || options.height <= 0) {
    *error = "the image needs a width and a height above 0";
    return false;
  }
  const auto progress = [&](int percent) {
    if (options.progress) options.progress(percent);
  };
  Camera camera;
  if (!findCamera(host, options.camera, &camera, error)) return false;

  // The meshes, and what each one shows, pulled through the graph as Maya
  // evaluates what it is about to draw.
  std::vector<Surface> surfaces;
  std::vector<std::pair<std::string, std::string>> sources;  // per look: node, output
  for (const std::string& mesh : host.listNodes("mesh")) {
    const std::optional<std::string> file = host.getStringAttr(mesh + ".objFile");
    if (!file || file->empty()) continue;  // nothing to draw, or a mesh as Maya saves one
    Surface surface;
    surface.node = mesh;
    fs::path path(*file);
    if (path.is_relative() && !options.sceneFolder.empty()) path = options.sceneFolder / path;
    if (!readSurface(path.string(), &surface, error) ||
        !matrixOf(host, mesh, &surface.world, error)) {
      *error = "mesh " + mesh + ": " + *error;
      return false;
    }
    const auto color = host.getAttr(mesh + ".surfaceColor", error);
    if (!color || color->size() != 3) return false;
    Look look;
    for (int c = 0; c < 3; ++c) look.flat[c] = static_cast<float>((*color)[c]);
    surface.looks.push_back(look);
    detail::Node* node = detail::graph().nodeByName(mesh);
    const detail::Attribute* plug = node ? node->type->find("surfaceColor") : nullptr;
    const detail::Connection* connection = plug ? detail::graph().incoming({node, plug}) : nullptr;
    sources.emplace_back(connection ? connection->source.node->name : "",
                         connection ? connection->source.attribute->longName : "");
    surfaces.push_back(std::move(surface));
  }
  result->notes.clear();
  for (SceneSurface& saved : savedSurfaces(host, &result->notes)) {
    Surface surface;
    surface.node = saved.node;
    surface.mesh = std::move(saved.mesh);
    surface.uvs = std::move(saved.uvs);
    surface.lookOfTriangle = std::move(saved.lookOfTriangle);
    if (!matrixOf(host, saved.node, &surface.world, error)) {
      *error = "mesh " + saved.node + ": " + *error;
      return false;
    }
    for (const SurfaceLook& look : saved.looks) {
      surface.looks.push_back(Look{-1, look.flat});
      sources.emplace_back(look.node, look.attribute);
    }
    surfaces.push_back(std::move(surface));
  }
  viewport.refresh();

  // Each look of a node with a shader shows that node's network, linked once.
  std::vector<preview::Network> networks;
  std::map<std::pair<std::string, std::string>, int> linked;
  size_t next = 0;
  for (Surface& surface : surfaces) {
    for (Look& look : surface.looks) {
      const std::pair<std::string, std::string>& key = sources[next++];
      if (key.first.empty() || !viewport.shader(key.first)) continue;
      auto found = linked.find(key);
      if (found == linked.end()) {
        preview::Network network;
        if (!preview::linkNetwork(viewport, key.first, key.second, &network, error)) {
          *error = "mesh " + surface.node + ": " + *error;
          return false;
        }
        setCameraMatrices(camera, viewport.engine(), options.width, options.height, &network);
        networks.push_back(std::move(network));
        found = linked.emplace(key, static_cast<int>(networks.size()) - 1).first;
      }
      look.network = found->second;
    }
  }

  std::vector<host::SceneObject> objects;
  for (const Surface& surface : surfaces) {
    host::SceneObject object;
    object.name = surface.node;
    object.mesh.triangles = surface.mesh.triangles;
    for (const host::Vec3f& v : surface.mesh.vertices) {
      const auto p = transformPoint(surface.world, v);
      object.mesh.vertices.push_back(
          {static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])});
    }
    objects.push_back(std::move(object));
  }
  host::Tracer tracer;
  if (!tracer.build(std::move(objects), error)) return false;

  const int width = options.width, height = options.height;
  result->image = image::Rgba(width, height);
  result->cameraRays = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  result->shadingPoints = 0;
  std::vector<Batch> batches(networks.size());
  int shown = -1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const host::Ray ray = cameraRay(camera, x, y, width, height);
      const std::optional<host::Hit> hit = tracer.intersect(ray);
      if (!hit) continue;
      ++result->shadingPoints;
      const Surface& surface = surfaces[hit->surface.object];
      const Look& look = surface.lookAt(hit->surface.triangle);
      if (look.network < 0) {
        float* pixel = result->image.at(x, y);
        std::copy(look.flat.begin(), look.flat.end(), pixel);
        pixel[3] = 1.0f;
        continue;
      }
      Batch& batch = batches[static_cast<size_t>(look.network)];
      batch.pixels.push_back(static_cast<size_t>(y) * width + x);
      batch.inputs.resize(batch.inputs.size() + preview::kInputFloats);
      surfacePoint(surface, hit->surface.object, tracer.objects()[hit->surface.object], ray, *hit,
                   batch.inputs.data() + batch.inputs.size() - preview::kInputFloats);
    }
    // Tracing is most of the work on the CPU; the draw takes the last tenth.
    const int percent = static_cast<int>(90LL * (y + 1) / height);
    if (percent != shown) progress(shown = percent);
  }

  Shading shading(networks);
  if (!networks.empty() && !shading.loadTextures(error)) return false;
  std::unique_ptr<gpu::Device> device;
  result->device.clear();
  result->noDevice.clear();
  result->tooLargeForDevice.clear();
  if (!options.cpu && !networks.empty()) {
    result->tooLargeForDevice = shading.tooLargeForDevice();
    if (result->tooLargeForDevice.empty()) {
      device = gpu::Device::create(&result->noDevice);
      if (device) result->device = device->name();
    }
  }
  for (size_t n = 0; n < networks.size(); ++n) {
    Batch& batch = batches[n];
    if (batch.pixels.empty()) continue;
    for (const Surface& surface : surfaces) appendWorld(surface, &batch.inputs);
    std::vector<float> colors;
    const bool done = device ? shading.onDevice(*device, n, batch, &colors, error)
                             : shading.onCpu(n, batch, &colors, error);
    if (!done) return false;
    for (size_t i = 0; i < batch.pixels.size(); ++i) {
      const size_t pixel = batch.pixels[i];
      float* out =
          result->image.at(static_cast<int>(pixel % width), static_cast<int>(pixel / width));
      std::copy(colors.begin() + i * 4, colors.begin() + i * 4 + 4, out);
    }
  }
  progress(100);
  return true;
}

}  // namespace qv::maya
