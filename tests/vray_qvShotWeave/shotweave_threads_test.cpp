// qvShotWeave shaded from several render threads at once must give exactly
// what one thread gives, and its per-thread cache must still spare the
// inputs on repeated asks. Also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "plugin_manager.h"
#include "renderer.h"
#include "shading_driver.h"
#include "vrayhost/parameters.h"

namespace qv::shotweave {
namespace {

using vrayhost::ParamKind;
using vrayhost::PluginInstance;
using VUtils::AColor;
using VUtils::TextureFloatInterface;
using VUtils::TextureInterface;
using VUtils::VRayContext;

constexpr int kMaxThreads = 8;

// Input evaluations per render thread. A thread only ever touches its own
// slot, and slots sit on separate cache lines.
class Counters {
 public:
  void add(const VRayContext& rc) { ++slots_[rc.threadData->threadIndex].n; }
  std::uint64_t of(const VRayContext& rc) const { return slots_[rc.threadData->threadIndex].n; }

 private:
  struct alignas(64) Slot {
    std::uint64_t n = 0;
  };
  Slot slots_[kMaxThreads];
};

double frac(double x) {
  return x - std::floor(x);
}

// A colour that varies with the hit point: offset + scale * (three
// fractional patterns in [0, 1)), alpha fixed.
class PointTexture final : public TextureInterface {
 public:
  PointTexture(double kx, double ky, double kz, float offset, float scale, float alpha,
               Counters& counters)
      : kx_(kx),
        ky_(ky),
        kz_(kz),
        offset_(offset),
        scale_(scale),
        alpha_(alpha),
        counters_(counters) {}

  Plugin* getPlugin() override { return nullptr; }
  AColor texColor(const VRayContext& rc) override {
    counters_.add(rc);
    const VUtils::TracePoint& p = rc.rayresult.wpoint;
    return AColor(channel(p.x * kx_ + p.y * ky_), channel(p.y * ky_ + p.z * kz_),
                  channel(p.z * kz_ + p.x * kx_), alpha_);
  }
  void texColorBounds(AColor& cmin, AColor& cmax) override {
    cmin = AColor(offset_, offset_, offset_, alpha_);
    cmax = AColor(offset_ + scale_, offset_ + scale_, offset_ + scale_, alpha_);
  }

 private:
  float channel(double x) const { return offset_ + scale_ * static_cast<float>(frac(x)); }

  double kx_, ky_, kz_;
  float offset_, scale_, alpha_;
  Counters& counters_;
};

// What one ask of one shading point gave.
struct Shaded {
  AColor colour1, matte1, transparency1;
  AColor colour2, matte2, transparency2;
  float alpha1 = 0.0f, alpha2 = 0.0f;
  AColor uncached1, uncached2;    // the same context, shaded with caching off
  std::uint64_t colourCalls = 0;  // input evaluations while shading the two colours
  std::uint64_t outputCalls = 0;  // input evaluations while shading the six outputs
};

bool sameBits(float x, float y) {
  std::uint32_t a, b;
  std::memcpy(&a, &x, sizeof a);
  std::memcpy(&b, &y, sizeof b);
  return a == b;
}

bool sameBits(const AColor& x, const AColor& y) {
  return sameBits(x.r, y.r) && sameBits(x.g, y.g) && sameBits(x.b, y.b) && sameBits(x.a, y.a);
}

// Every shaded value, not the call counts.
bool sameResult(const Shaded& x, const Shaded& y) {
  return sameBits(x.colour1, y.colour1) && sameBits(x.matte1, y.matte1) &&
         sameBits(x.transparency1, y.transparency1) && sameBits(x.colour2, y.colour2) &&
         sameBits(x.matte2, y.matte2) && sameBits(x.transparency2, y.transparency2) &&
         sameBits(x.alpha1, y.alpha1) && sameBits(x.alpha2, y.alpha2) &&
         sameBits(x.uncached1, y.uncached1) && sameBits(x.uncached2, y.uncached2);
}

std::vector<vrayhost::ShadingPoint> makePoints(std::size_t n) {
  std::vector<vrayhost::ShadingPoint> points(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i);
    points[i].p =
        VUtils::TracePoint(std::sin(t * 0.37) * 40.0, std::cos(t * 0.11) * 25.0, t * 0.013 - 7.0);
    points[i].n = VUtils::ShadeVec(0.0f, 0.0f, 1.0f);
  }
  return points;
}

// Two qvShotWeave instances from the library on disk: the first weaves
// point-varying inputs, the second weaves the first's colour over another
// point-varying colour by the first's matte and transparency outputs.
class ShotWeaveThreads : public testing::Test {
 protected:
  struct Weave {
    std::unique_ptr<PluginInstance> instance;
    VUtils::VRayPluginInterface* vray = nullptr;
    TextureInterface* colour = nullptr;
    TextureInterface* matte = nullptr;
    TextureInterface* transparency = nullptr;
    TextureFloatInterface* alpha = nullptr;

    VUtils::VRayParameterList::Impl& params() { return vray->getParameterList()->impl(); }
  };

  void SetUp() override {
    std::string error;
    ASSERT_TRUE(manager_.loadLibrary(QV_PLUGIN_DIR "/vray_qvShotWeave" QV_MODULE_SUFFIX, &error))
        << error;
    ASSERT_NO_FATAL_FAILURE(create("first", &first_));
    ASSERT_NO_FATAL_FAILURE(create("second", &second_));

    link(first_, "color_a", &colourA_);
    link(first_, "matte_a", &matteA_);
    ASSERT_TRUE(first_.params().setConstant("color_b", AColor(0.5f, 0.25f, 0.75f, 1.0f), &error))
        << error;
    link(first_, "matte_b", &matteB_);

    link(second_, "color_a", first_.colour);
    link(second_, "matte_a", first_.matte);
    link(second_, "color_b", &colourB2_);
    link(second_, "matte_b", first_.transparency);
  }

  void TearDown() override {
    // Instances go before the manager whose library holds their code.
    first_.instance.reset();
    second_.instance.reset();
  }

  void create(const char* name, Weave* weave) {
    weave->instance = manager_.create("qvShotWeave", name);
    ASSERT_NE(weave->instance, nullptr);
    Plugin* plugin = weave->instance->plugin();
    weave->vray = static_cast<VUtils::VRayPluginInterface*>(plugin->getInterface(0x7776FFFF));
    weave->colour = static_cast<TextureInterface*>(plugin->getInterface(0x77780002));
    ASSERT_NE(weave->vray, nullptr);
    ASSERT_NE(weave->colour, nullptr);
    const auto* matte = weave->params().findOutput("outMatte");
    const auto* transparency = weave->params().findOutput("outTransparency");
    const auto* alpha = weave->params().findOutput("outAlpha");
    ASSERT_TRUE(matte && transparency && alpha);
    weave->matte = static_cast<TextureInterface*>(matte->iface);
    weave->transparency = static_cast<TextureInterface*>(transparency->iface);
    weave->alpha = static_cast<TextureFloatInterface*>(alpha->iface);
  }

  static void link(Weave& weave, const char* name, TextureInterface* input) {
    std::string error;
    EXPECT_TRUE(weave.params().setLink(name, ParamKind::Color, input, &error)) << error;
  }

  void shade(const VRayContext& rc, Shaded* out) {
    const std::uint64_t start = counters_.of(rc);
    out->colour1 = first_.colour->texColor(rc);
    out->colour2 = second_.colour->texColor(rc);
    const std::uint64_t afterColours = counters_.of(rc);
    out->matte1 = first_.matte->texColor(rc);
    out->transparency1 = first_.transparency->texColor(rc);
    out->alpha1 = first_.alpha->texFloat(rc);
    out->matte2 = second_.matte->texColor(rc);
    out->transparency2 = second_.transparency->texColor(rc);
    out->alpha2 = second_.alpha->texFloat(rc);
    out->colourCalls = afterColours - start;
    out->outputCalls = counters_.of(rc) - afterColours;

    VRayContext uncached = rc;
    uncached.rayparams.rayFlags |= VUtils::RT_NO_CACHE;
    out->uncached1 = first_.colour->texColor(uncached);
    out->uncached2 = second_.colour->texColor(uncached);
  }

  // Renders `frames` frames; the result of frame f, point i, ask k sits at
  // ((f * points) + i) * asks + k.
  std::vector<Shaded> render(int threads, vrayhost::ShadingOptions options, int frames) {
    vrayhost::StandInRenderer renderer(threads);
    const vrayhost::ShadingDriver driver(renderer, options);
    const std::size_t asks = static_cast<std::size_t>(options.asksPerPoint);
    std::vector<Shaded> results(static_cast<std::size_t>(frames) * points_.size() * asks);
    Weave* weaves[] = {&first_, &second_};
    for (Weave* w : weaves) w->vray->renderBegin(&renderer);
    for (int f = 0; f < frames; ++f) {
      for (Weave* w : weaves) w->vray->frameBegin(&renderer);
      Shaded* frame = &results[static_cast<std::size_t>(f) * points_.size() * asks];
      driver.run(points_, [&](const VRayContext& rc, std::size_t index, int ask) {
        shade(rc, &frame[index * asks + static_cast<std::size_t>(ask)]);
      });
      for (Weave* w : weaves) w->vray->frameEnd(&renderer);
    }
    for (Weave* w : weaves) w->vray->renderEnd(&renderer);
    return results;
  }

  // Checks what holds for any run: the first ask evaluates the inputs, a
  // repeat ask finds both colours cached, the outputs always evaluate, and
  // caching changes no value.
  void expectCachingWorked(const std::vector<Shaded>& results, int asks, const char* run) {
    int reported = 0;
    for (std::size_t r = 0; r < results.size() && reported < 5; ++r) {
      const Shaded& s = results[r];
      const bool firstAsk = r % static_cast<std::size_t>(asks) == 0;
      const bool callsOk = (firstAsk ? s.colourCalls > 0 : s.colourCalls == 0) && s.outputCalls > 0;
      const bool uncachedOk = sameBits(s.colour1, s.uncached1) && sameBits(s.colour2, s.uncached2);
      if (!callsOk || !uncachedOk) {
        ADD_FAILURE() << run << ": result " << r << " (ask " << r % static_cast<std::size_t>(asks)
                      << "): " << s.colourCalls << " colour-input calls, " << s.outputCalls
                      << " output-input calls, cached and uncached colours "
                      << (uncachedOk ? "agree" : "differ");
        ++reported;
      }
    }
  }

  // Every ask of every point in every frame of `results` against the one
  // value per point of `reference`.
  void expectSameAsReference(const std::vector<Shaded>& reference, int referenceAsks,
                             const std::vector<Shaded>& results, int asks, const char* run) {
    const std::size_t n = points_.size();
    ASSERT_EQ(results.size() % (n * static_cast<std::size_t>(asks)), 0u);
    int reported = 0;
    for (std::size_t r = 0; r < results.size() && reported < 5; ++r) {
      const std::size_t point = r / static_cast<std::size_t>(asks) % n;
      if (!sameResult(results[r], reference[point * static_cast<std::size_t>(referenceAsks)])) {
        ADD_FAILURE() << run << ": point " << point << " differs from the single-thread run";
        ++reported;
      }
    }
  }

  Counters counters_;
  PointTexture colourA_{0.37, 0.21, 0.05, 0.0f, 1.0f, 1.0f, counters_};
  PointTexture matteA_{0.13, 0.29, 0.41, -0.25f, 1.75f, 1.0f, counters_};
  PointTexture matteB_{0.07, 0.33, 0.19, -0.25f, 1.0f, 0.5f, counters_};
  PointTexture colourB2_{0.23, 0.17, 0.31, 0.0f, 2.0f, 0.75f, counters_};
  std::vector<vrayhost::ShadingPoint> points_ = makePoints(3000);

  vrayhost::PluginManager manager_;
  Weave first_;
  Weave second_;
};

TEST_F(ShotWeaveThreads, SeveralThreadsShadeExactlyLikeOne) {
  const int referenceAsks = 3;
  const std::vector<Shaded> reference = render(1, {referenceAsks, 4}, 1);
  expectCachingWorked(reference, referenceAsks, "1 thread");
  // Within the reference, every ask of a point agrees with its first.
  expectSameAsReference(reference, referenceAsks, reference, referenceAsks, "1 thread");

  // The values are not degenerate: they vary from point to point, and the
  // first weave's colour is its inputs woven as expected.
  std::set<std::tuple<float, float, float>> distinct;
  for (std::size_t i = 0; i < points_.size(); ++i) {
    const Shaded& s = reference[i * referenceAsks];
    distinct.insert({s.colour2.r, s.colour2.g, s.colour2.b});
  }
  EXPECT_GT(distinct.size(), points_.size() / 2);
  for (std::size_t i = 0; i < points_.size(); i += 97) {
    VRayContext rc;
    rc.rayresult.wpoint = points_[i].p;
    VUtils::VRayThreadData data;
    rc.threadData = &data;
    const AColor a = colourA_.texColor(rc);
    const AColor m = matteA_.texColor(rc);
    const float w = 1.0f - (m.r + m.g + m.b) / 3.0f;
    const AColor& c = reference[i * referenceAsks].colour1;
    EXPECT_NEAR(c.r, a.r + w * 0.5f, 1e-5f) << i;
    EXPECT_NEAR(c.g, a.g + w * 0.25f, 1e-5f) << i;
    EXPECT_NEAR(c.b, a.b + w * 0.75f, 1e-5f) << i;
    EXPECT_NEAR(c.a, a.a + w * 1.0f, 1e-5f) << i;
  }

  struct Run {
    int threads;
    vrayhost::ShadingOptions options;
    int frames;
    const char* name;
  };
  const Run runs[] = {
      {2, {2, 3}, 1, "2 threads"},
      // More slots than a thread has points: no entry is ever reused.
      {4, {3, 1000}, 2, "4 threads, 2 frames"},
      {4, {3, 7}, 1, "4 threads"},
      {4, {2, 1}, 1, "4 threads, one cache slot"},
  };
  for (const Run& run : runs) {
    const std::vector<Shaded> results = render(run.threads, run.options, run.frames);
    expectCachingWorked(results, run.options.asksPerPoint, run.name);
    expectSameAsReference(reference, referenceAsks, results, run.options.asksPerPoint, run.name);
  }
}

}  // namespace
}  // namespace qv::shotweave
