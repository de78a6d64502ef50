// qvVeil loaded from disk and shaded from several render threads at once:
// with occlusion and dilation on, every thread count must give the same
// colour and matte, bit for bit, as one thread does.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dynamic_library.h"
#include "plugin_manager.h"
#include "shading_driver.h"
#include "vrayhost/parameters.h"

namespace qv::veil {
namespace {

using VUtils::AColor;
using VUtils::TextureInterface;
using VUtils::TracePoint;
using VUtils::VRayContext;

struct Sphere {
  double cx, cy, cz, radius;
  float light;  // what passes through it
};

// Blocks a ray by the spheres its segment crosses: a pure function of the
// ray, so any thread gets the same answer for the same ray.
class SphereRenderer final : public VUtils::VRayRenderer {
 public:
  SphereRenderer(int numThreads, std::vector<Sphere> spheres)
      : numThreads_(numThreads), spheres_(std::move(spheres)) {}

  int getNumThreads() const override { return numThreads_; }

  void traceRay(VRayContext& rc) override {
    const VUtils::VRayRayParams& p = rc.rayparams;
    const double dx = p.viewDir.x, dy = p.viewDir.y, dz = p.viewDir.z;
    float light = 1.0f;
    for (const Sphere& s : spheres_) {
      const double ox = p.rayOrigin.x - s.cx, oy = p.rayOrigin.y - s.cy, oz = p.rayOrigin.z - s.cz;
      const double a = dx * dx + dy * dy + dz * dz;
      const double b = 2.0 * (dx * ox + dy * oy + dz * oz);
      const double c = ox * ox + oy * oy + oz * oz - s.radius * s.radius;
      const double disc = b * b - 4.0 * a * c;
      if (a == 0.0 || disc < 0.0) continue;
      const double t0 = (-b - std::sqrt(disc)) / (2.0 * a);
      const double t1 = (-b + std::sqrt(disc)) / (2.0 * a);
      if (t1 >= p.mint && t0 <= p.maxt) light *= s.light;
    }
    rc.mtlresult.color = VUtils::Color(light, light, light);
  }

 private:
  int numThreads_;
  std::vector<Sphere> spheres_;
};

struct Shaded {
  std::vector<AColor> colour;
  std::vector<AColor> matte;
  // Set where a later ask of the same point disagreed with the first.
  std::vector<char> unstable;
};

class VeilThreadsTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    const std::string path = std::string(QV_PLUGIN_DIR "/vray_qvVeil") + host::libraryFileSuffix();
    ASSERT_TRUE(manager_.loadLibrary(path, &error)) << error;
    instance_ = manager_.create("qvVeil", "veil");
    ASSERT_NE(instance_, nullptr);
    Plugin* plugin = instance_->plugin();
    PluginInterface* vray = plugin->getInterface(VUtils::EXT_VRAY_PLUGIN);
    PluginInterface* texture = plugin->getInterface(VUtils::EXT_TEXTURE);
    ASSERT_NE(vray, nullptr);
    ASSERT_NE(texture, nullptr);
    hooks_ = static_cast<VUtils::VRayPluginInterface*>(vray);
    texture_ = static_cast<TextureInterface*>(texture);
    const auto* out = hooks_->getParameterList()->impl().findOutput("outMatte");
    ASSERT_NE(out, nullptr);
    matte_ = static_cast<TextureInterface*>(out->iface);

    set("color", AColor(0.9f, 0.6f, 0.3f, 1.0f));
    set("colorOffset", AColor(0.1f, 0.1f, 0.1f, 0.0f));
    set("mask", 0.8f);
    VUtils::Transform camera;
    camera.offs = VUtils::Vector(0.2f, -0.1f, 5.0f);
    set("placementMatrix", camera);
    set("distanceThreshold", 5.5f);
    set("useShadowOcclusion", 1);
    set("dilate", 0.5f);
    set("samples", 12);
    set("softEdge", 0.5f);
    set("power", 2);
    set("useFacingRatio", 1);
    set("angleThreshold", 80.0f);
    set("premult", 1);

    // A grid on the ground whose normals tilt from one side to the other,
    // so that facing, distance, hard shadow, half shadow and soft edges all
    // occur.
    constexpr int kColumns = 64, kRows = 48;
    for (int row = 0; row < kRows; ++row) {
      for (int col = 0; col < kColumns; ++col) {
        vrayhost::ShadingPoint point;
        point.p = TracePoint(-2.0 + 4.0 * col / (kColumns - 1), -1.5 + 3.0 * row / (kRows - 1),
                             0.01 * ((row * 7 + col * 3) % 5));
        const double tilt = -1.6 + 3.2 * col / (kColumns - 1);
        point.n = VUtils::ShadeVec(static_cast<float>(std::sin(tilt)), 0.0f,
                                   static_cast<float>(std::cos(tilt)));
        points_.push_back(point);
      }
    }
    frameData_.frameOffset = TracePoint(0.05, -0.02, 0.0);
  }

  void set(const char* name, const vrayhost::ConstantValue& value) {
    std::string error;
    ASSERT_TRUE(hooks_->getParameterList()->impl().setConstant(name, value, &error)) << error;
  }

  Shaded shade(int numThreads, int asksPerPoint) {
    SphereRenderer renderer(numThreads, {{0.0, 0.0, 2.5, 0.6, 0.0f}, {1.2, 0.8, 1.5, 0.4, 0.5f}});
    vrayhost::ShadingOptions options;
    options.asksPerPoint = asksPerPoint;
    const vrayhost::ShadingDriver driver(renderer, &frameData_, options);
    Shaded out;
    out.colour.resize(points_.size());
    out.matte.resize(points_.size());
    out.unstable.assign(points_.size(), 0);
    hooks_->renderBegin(&renderer);
    hooks_->frameBegin(&renderer);
    // Each point belongs to one thread, which alone writes its slots.
    driver.run(points_, [&](const VRayContext& rc, std::size_t i, int ask) {
      const AColor c = texture_->texColor(rc);
      const AColor m = matte_->texColor(rc);
      if (ask == 0) {
        out.colour[i] = c;
        out.matte[i] = m;
      } else if (c != out.colour[i] || m != out.matte[i]) {
        out.unstable[i] = 1;
      }
    });
    hooks_->frameEnd(&renderer);
    hooks_->renderEnd(&renderer);
    return out;
  }

  vrayhost::PluginManager manager_;
  std::unique_ptr<vrayhost::PluginInstance> instance_;
  VUtils::VRayPluginInterface* hooks_ = nullptr;
  TextureInterface* texture_ = nullptr;
  TextureInterface* matte_ = nullptr;
  VUtils::VRayFrameData frameData_;
  std::vector<vrayhost::ShadingPoint> points_;
};

bool sameBits(const AColor& x, const AColor& y) {
  return x.r == y.r && x.g == y.g && x.b == y.b && x.a == y.a;
}

TEST_F(VeilThreadsTest, EveryThreadCountMatchesOneThreadBitForBit) {
  const Shaded reference = shade(1, 2);

  // The scene must exercise every way of seeing a point, or agreement
  // between thread counts would prove little.
  int hidden = 0, seen = 0, partial = 0;
  for (std::size_t i = 0; i < points_.size(); ++i) {
    const AColor& m = reference.matte[i];
    ASSERT_TRUE(std::isfinite(m.r) && std::isfinite(reference.colour[i].r)) << i;
    EXPECT_EQ(m.r, m.a) << i;
    EXPECT_FALSE(reference.unstable[i]) << i;
    if (m.r == 0.0f) {
      ++hidden;
    } else if (m.r == 0.8f) {
      ++seen;
    } else {
      ++partial;
    }
  }
  EXPECT_GT(hidden, 100);
  EXPECT_GT(seen, 100);
  EXPECT_GT(partial, 50);

  for (const int threads : {2, 4, 2}) {
    for (const int asks : {1, 3}) {
      const Shaded run = shade(threads, asks);
      int mismatches = 0;
      for (std::size_t i = 0; i < points_.size(); ++i) {
        const bool same = sameBits(run.colour[i], reference.colour[i]) &&
                          sameBits(run.matte[i], reference.matte[i]);
        if (!same && ++mismatches <= 5) {
          ADD_FAILURE() << threads << " threads, " << asks << " asks: point " << i << " colour r "
                        << run.colour[i].r << " vs " << reference.colour[i].r << ", matte "
                        << run.matte[i].r << " vs " << reference.matte[i].r;
        }
        EXPECT_FALSE(run.unstable[i]) << threads << " threads, point " << i;
      }
      EXPECT_EQ(mismatches, 0) << threads << " threads, " << asks << " asks";
    }
  }
}

}  // namespace
}  // namespace qv::veil
