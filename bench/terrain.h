// The scene the ray-tracing benchmarks share: a rolling terrain of
// 2 * grid * grid triangles, whose hills hide parts of it from cameras above,
// and the frames of its triangles where shading points sit. Also what the
// render benchmarks keep of a frame's rays, and the memory they report.
#pragma once

#include <embree3/rtcore.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>

#include "mesh.h"

namespace qv::bench {

inline float terrainHeight(float x, float z) {
  return 3.0f * std::sin(x * 0.35f) * std::cos(z * 0.27f) + 1.5f * std::sin(x * 0.9f + z * 0.6f);
}

// A square of side 2 * extent centred on the origin, grid quads per side.
inline host::SceneObject terrain(int grid, float extent) {
  host::SceneObject object;
  object.name = "terrain";
  const float step = 2.0f * extent / static_cast<float>(grid);
  for (int j = 0; j <= grid; ++j) {
    for (int i = 0; i <= grid; ++i) {
      const float x = -extent + static_cast<float>(i) * step;
      const float z = -extent + static_cast<float>(j) * step;
      object.mesh.vertices.push_back({x, terrainHeight(x, z), z});
    }
  }
  const auto row = static_cast<std::uint32_t>(grid + 1);
  for (std::uint32_t j = 0; j < static_cast<std::uint32_t>(grid); ++j) {
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(grid); ++i) {
      const std::uint32_t a = j * row + i, b = a + 1, c = a + row, d = c + 1;
      object.mesh.triangles.push_back({a, c, b});
      object.mesh.triangles.push_back({b, c, d});
    }
  }
  return object;
}

// A triangle's centroid and unit normal (counter-clockwise winding faces it).
struct TriangleFrame {
  double centroid[3];
  double normal[3];
};

inline TriangleFrame triangleFrame(const host::TriangleMesh& mesh, std::size_t t) {
  const auto& tri = mesh.triangles[t];
  const auto &a = mesh.vertices[tri[0]], &b = mesh.vertices[tri[1]], &c = mesh.vertices[tri[2]];
  const double ux = b[0] - a[0], uy = b[1] - a[1], uz = b[2] - a[2];
  const double vx = c[0] - a[0], vy = c[1] - a[1], vz = c[2] - a[2];
  const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
  const double nl = std::sqrt(nx * nx + ny * ny + nz * nz);
  TriangleFrame f;
  for (int k = 0; k < 3; ++k) f.centroid[k] = (a[k] + b[k] + c[k]) / 3.0;
  f.normal[0] = nx / nl;
  f.normal[1] = ny / nl;
  f.normal[2] = nz / nl;
  return f;
}

// The same triangles built as the host's tracer builds them (robust
// intersection, medium quality), but with none of its filters: what Embree
// alone costs for a ray.
class BareEmbreeScene {
 public:
  explicit BareEmbreeScene(const host::TriangleMesh& mesh)
      : device_(rtcNewDevice("threads=1")), scene_(rtcNewScene(device_)) {
    rtcSetSceneBuildQuality(scene_, RTC_BUILD_QUALITY_MEDIUM);
    rtcSetSceneFlags(scene_, RTC_SCENE_FLAG_ROBUST);
    RTCGeometry geometry = rtcNewGeometry(device_, RTC_GEOMETRY_TYPE_TRIANGLE);
    rtcSetGeometryBuildQuality(geometry, RTC_BUILD_QUALITY_MEDIUM);
    auto* vertices = static_cast<float*>(
        rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                3 * sizeof(float), mesh.vertices.size()));
    for (std::size_t i = 0; i < mesh.vertices.size(); ++i) {
      for (int k = 0; k < 3; ++k) vertices[3 * i + k] = mesh.vertices[i][k];
    }
    auto* indices = static_cast<unsigned*>(
        rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                3 * sizeof(unsigned), mesh.triangles.size()));
    for (std::size_t i = 0; i < mesh.triangles.size(); ++i) {
      for (int k = 0; k < 3; ++k) indices[3 * i + k] = mesh.triangles[i][k];
    }
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(scene_, geometry);
    rtcReleaseGeometry(geometry);
    rtcCommitScene(scene_);
  }
  ~BareEmbreeScene() {
    rtcReleaseScene(scene_);
    rtcReleaseDevice(device_);
  }
  BareEmbreeScene(const BareEmbreeScene&) = delete;
  BareEmbreeScene& operator=(const BareEmbreeScene&) = delete;

  RTCScene scene() const { return scene_; }

 private:
  RTCDevice device_;
  RTCScene scene_;
};

// A ray for bare Embree, as the benchmarks hand it the rays they recorded.
inline RTCRay embreeRay(const float org[3], const float dir[3], float tnear, float tfar) {
  RTCRay ray;
  ray.org_x = org[0];
  ray.org_y = org[1];
  ray.org_z = org[2];
  ray.dir_x = dir[0];
  ray.dir_y = dir[1];
  ray.dir_z = dir[2];
  ray.tnear = tnear;
  ray.tfar = tfar;
  ray.time = 0.0f;
  ray.mask = ~0u;
  ray.id = 0;
  ray.flags = 0;
  return ray;
}

// The rays of a frame, kept lean: consecutive rays that share their origin
// and span (the camera's, or the shadow rays a shading point sends) store
// that once, and each ray only its direction, 12 bytes instead of 32. Deques
// grow without copying what they hold, so a frame of hundreds of millions
// of rays never needs room for two copies of it.
class RecordedRays {
 public:
  void add(const float org[3], const float dir[3], float tnear, float tfar) {
    if (runs_.empty() || !sameStart(runs_.back(), org, tnear, tfar)) {
      runs_.push_back({{org[0], org[1], org[2]}, tnear, tfar, directions_.size()});
    }
    directions_.push_back({dir[0], dir[1], dir[2]});
  }

  std::size_t size() const { return directions_.size(); }

  // Calls f(org, dir, tnear, tfar) for rays [first, last), in order.
  template <typename F>
  void forEach(std::size_t first, std::size_t last, F f) const {
    if (first >= last) return;
    auto run = std::upper_bound(runs_.begin(), runs_.end(), first,
                                [](std::size_t i, const Run& r) { return i < r.first; });
    --run;
    for (std::size_t i = first; i < last; ++i) {
      if (run + 1 != runs_.end() && (run + 1)->first == i) ++run;
      f(run->org, directions_[i].data(), run->tnear, run->tfar);
    }
  }

  void release() {
    std::deque<Run>().swap(runs_);
    std::deque<std::array<float, 3>>().swap(directions_);
  }

 private:
  struct Run {
    float org[3];
    float tnear, tfar;
    std::size_t first;  // index of its first ray
  };

  // Bitwise, so that a ray is replayed exactly as it was recorded.
  static bool sameStart(const Run& r, const float org[3], float tnear, float tfar) {
    return std::memcmp(r.org, org, sizeof r.org) == 0 &&
           std::memcmp(&r.tnear, &tnear, sizeof tnear) == 0 &&
           std::memcmp(&r.tfar, &tfar, sizeof tfar) == 0;
  }

  std::deque<Run> runs_;
  std::deque<std::array<float, 3>> directions_;
};

// The most rays a benchmark holds in Embree's form at once: a 1280 x 720
// frame fits, so it is traced as one band, while a frame of 4096 x 2160 is
// traced band after band, each expanded from its RecordedRays untimed.
constexpr std::size_t kBandRays = std::size_t{1} << 25;

inline std::size_t bandCount(std::size_t rays) {
  return std::max<std::size_t>(1, (rays + kBandRays - 1) / kBandRays);
}

// A line of /proc/self/status ("VmHWM", "VmRSS") in MiB; 0 where the
// system has none.
inline double processMemoryMiB(const char* field) {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return 0.0;
  char line[256];
  double kib = 0.0;
  const std::size_t length = std::strlen(field);
  while (std::fgets(line, sizeof line, status)) {
    if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
      kib = std::strtod(line + length + 1, nullptr);
      break;
    }
  }
  std::fclose(status);
  return kib / 1024.0;
}

// The world of one size of a benchmark, built by make(size) on first use;
// any other size's world is freed first, as the largest would not fit side
// by side. What the first world loaded tears itself down at exit in the
// reverse order of loading, so the worlds are released from a handler
// registered after it.
template <typename World, int Count, typename Make>
World& worldOfSize(int size, const Make& make) {
  static std::unique_ptr<World> worlds[Count];
  if (size < 0 || size >= Count) {
    std::fprintf(stderr, "benchmark: no such size: %d\n", size);
    std::exit(1);
  }
  if (!worlds[size]) {
    for (auto& other : worlds) other.reset();
    worlds[size] = make(size);
    static const bool releasedAtExit = std::atexit([] {
                                         for (auto& w : worlds) w.reset();
                                       }) == 0;
    if (!releasedAtExit) {
      std::fprintf(stderr, "benchmark: cannot register the release of the worlds\n");
      std::exit(1);
    }
  }
  return *worlds[size];
}

}  // namespace qv::bench
