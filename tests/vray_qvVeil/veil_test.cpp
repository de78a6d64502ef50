#include "qvVeil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <ios>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "plugin_manager.h"
#include "vrayhost/parameters.h"

// The library descriptor of the copy of qvVeil linked into this test.
VRAY_PLUGIN_EXPORT PluginLibDesc* getLibDesc();

namespace qv::veil {
namespace {

using vrayhost::ConstantValue;
using vrayhost::ParamKind;
using VUtils::AColor;
using VUtils::Color;
using VUtils::ShadeVec;
using VUtils::TextureFloatInterface;
using VUtils::TextureInterface;
using VUtils::TextureIntInterface;
using VUtils::TextureTransformInterface;
using VUtils::TracePoint;
using VUtils::Transform;
using VUtils::Vector;
using VUtils::VRayContext;

constexpr uint32 kShadowFlags = 0x10000;
constexpr int kShadowRayType = 0x10000;
constexpr int kOcclusionNotice = 0x77915061;

// ---------------------------------------------------------------------------
// Host side of the tests

// A ray as the renderer was asked to trace it.
struct TracedRay {
  const VRayContext* context;
  ShadeVec viewDir;
  TracePoint rayOrigin;
  TracePoint tracedP;
  ShadeVec tracedDir;
  double mint;
  double maxt;
  uint32 rayFlags;
  int rayType;
  const void* surface;
};

struct SampleRequest {
  const VRayContext* context;
  int index;
};

struct SpawnLedger {
  struct Spawn {
    int kind;
    Color weight;
    int rayType;
    ShadeVec dir;
    const VRayContext* child;
  };
  std::vector<Spawn> spawns;
  int releases = 0;
};

const int kStaleSurface = 0;

// A spawned context whose members start out holding what the texture would
// never write, so that a member it forgets to set shows in the traced ray.
class LedgerChild final : public VRayContext {
 public:
  LedgerChild(const VRayContext& parent, int rayType, const ShadeVec& dir, SpawnLedger& ledger)
      : ledger_(&ledger) {
    initSpawned(parent, rayType, dir);
    rayparams.viewDir = ShadeVec(-9.0f, -9.0f, -9.0f);
    rayparams.rayOrigin = TracePoint(-9.0, -9.0, -9.0);
    rayparams.tracedRay.p = TracePoint(-9.0, -9.0, -9.0);
    rayparams.tracedRay.dir = ShadeVec(-9.0f, -9.0f, -9.0f);
    rayparams.mint = -9.0;
    rayparams.maxt = -9.0;
    rayparams.rayFlags = 0;
    rayresult.surface = &kStaleSurface;
  }
  void releaseContext() override {
    ++ledger_->releases;
    delete this;
  }

  int traces = 0;

 private:
  SpawnLedger* ledger_;
};

class LedgerContext final : public VRayContext {
 public:
  explicit LedgerContext(SpawnLedger& ledger) : ledger_(&ledger) {}

  VRayContext* newSpawnContext(int kind, const Color& weight, int rayType,
                               const ShadeVec& dir) const override {
    LedgerChild* child = new LedgerChild(*this, rayType, dir, *ledger_);
    ledger_->spawns.push_back({kind, weight, rayType, dir, child});
    return child;
  }

 private:
  SpawnLedger* ledger_;
};

// Answers sample values from a table keyed by index; unlisted indices get
// 0.5 so that every ray of a loop still has a radius.
class ScriptedSampler final : public VUtils::VRayRenderSampler {
 public:
  float getSample(const VRayContext& rc, int index) override {
    requests.push_back({&rc, index});
    const auto it = values.find(index);
    return it == values.end() ? 0.5f : it->second;
  }

  std::map<int, float> values;
  std::vector<SampleRequest> requests;
};

class RecordingRenderer final : public VUtils::VRayRenderer {
 public:
  // Light that passes along the n-th ray traced (0 is the first).
  using LightFn = std::function<Color(const TracedRay& ray, std::size_t n)>;

  int getNumThreads() const override { return 2; }

  void traceRay(VRayContext& rc) override {
    const VUtils::VRayRayParams& p = rc.rayparams;
    rays.push_back({&rc, p.viewDir, p.rayOrigin, p.tracedRay.p, p.tracedRay.dir, p.mint, p.maxt,
                    p.rayFlags, rc.rayType, rc.rayresult.surface});
    rc.mtlresult.color = light ? light(rays.back(), rays.size() - 1) : Color(1.0f, 1.0f, 1.0f);
    // A renderer may advance the segment's start while it walks a ray; the
    // jittered rays that follow the first one must not inherit that.
    if (auto* child = dynamic_cast<LedgerChild*>(&rc); child && child->traces++ == 0) {
      rc.rayparams.mint = 0.25;
    }
  }

  VUtils::VRayRenderSampler* getSampler() override { return &sampler; }

  LightFn light;
  std::vector<TracedRay> rays;
  ScriptedSampler sampler;
};

// Light by the ray's position in the sequence; rays past the list pass all.
RecordingRenderer::LightFn lightSequence(std::vector<float> lights) {
  return [lights](const TracedRay&, std::size_t n) {
    const float l = n < lights.size() ? lights[n] : 1.0f;
    return Color(l, l, l);
  };
}

class CountingExtension final : public VUtils::VRayContextExtension {
 public:
  PluginID getExtensionID() override { return 0x51A7E; }
  int notify(int value) override {
    values.push_back(value);
    return -1;
  }
  std::vector<int> values;
};

// ---------------------------------------------------------------------------
// Inputs that log every read by parameter name into one shared list

using ReadLog = std::vector<std::string>;

class LogColour final : public TextureInterface {
 public:
  LogColour(std::string n, ReadLog* l, const AColor& v) : name(std::move(n)), log(l), value(v) {}
  Plugin* getPlugin() override { return nullptr; }
  AColor texColor(const VRayContext&) override {
    log->push_back(name);
    return value;
  }
  // The first and the second request may answer different ranges.
  void texColorBounds(AColor& cmin, AColor& cmax) override {
    const bool first = boundsCalls++ == 0;
    cmin = first ? min1 : min2;
    cmax = first ? max1 : max2;
  }
  Vector colorBumpGradient(const VRayContext& rc) override {
    gradientContexts.push_back(&rc);
    return gradient;
  }

  std::string name;
  ReadLog* log;
  AColor value;
  AColor min1, max1, min2, max2;
  int boundsCalls = 0;
  Vector gradient;
  std::vector<const VRayContext*> gradientContexts;
};

class LogFloat final : public TextureFloatInterface {
 public:
  LogFloat(std::string n, ReadLog* l, float v) : name(std::move(n)), log(l), value(v) {}
  Plugin* getPlugin() override { return nullptr; }
  float texFloat(const VRayContext&) override {
    log->push_back(name);
    return value;
  }
  void texFloatBounds(float& fmin, float& fmax) override { fmin = fmax = value; }

  std::string name;
  ReadLog* log;
  float value;
};

class LogInt final : public TextureIntInterface {
 public:
  LogInt(std::string n, ReadLog* l, int v) : name(std::move(n)), log(l), value(v) {}
  Plugin* getPlugin() override { return nullptr; }
  int texInt(const VRayContext&) override {
    log->push_back(name);
    return value;
  }

  std::string name;
  ReadLog* log;
  int value;
};

class LogTransform final : public TextureTransformInterface {
 public:
  LogTransform(std::string n, ReadLog* l, const Transform& v)
      : name(std::move(n)), log(l), value(v) {}
  Plugin* getPlugin() override { return nullptr; }
  Transform texTransform(const VRayContext&) override {
    log->push_back(name);
    return value;
  }

  std::string name;
  ReadLog* log;
  Transform value;
};

// ---------------------------------------------------------------------------
// Helpers

class RecordingHost final : public PluginHost {
 public:
  int registerPlugin(PluginDesc* desc) override {
    registered.push_back(desc);
    return 1;
  }
  int unregisterPlugin(PluginDesc*) override { return 1; }
  std::vector<PluginDesc*> registered;
};

class RecordingEnumerator final : public PluginDescEnumerator {
 public:
  void pluginDesc(PluginDesc* desc) override { descs.push_back(desc); }
  std::vector<PluginDesc*> descs;
};

PluginDesc* linkedDesc() {
  RecordingEnumerator e;
  getLibDesc()->enumPluginDescs(&e);
  return e.descs.size() == 1 ? e.descs[0] : nullptr;
}

// A camera at (x, y, z) whose orientation the texture must ignore.
Transform cameraAt(float x, float y, float z) {
  Transform t;
  t.m.f[0] = Vector(0.0f, 0.0f, -1.0f);
  t.m.f[1] = Vector(0.0f, 2.0f, 0.0f);
  t.m.f[2] = Vector(3.0f, 0.0f, 0.0f);
  t.offs = Vector(x, y, z);
  return t;
}

void expectColour(const AColor& actual, const AColor& expected, const std::string& what = "") {
  EXPECT_EQ(actual.r, expected.r) << what;
  EXPECT_EQ(actual.g, expected.g) << what;
  EXPECT_EQ(actual.b, expected.b) << what;
  EXPECT_EQ(actual.a, expected.a) << what;
}

void expectGrey(const AColor& actual, float v, const std::string& what = "") {
  expectColour(actual, AColor(v, v, v, v), what);
}

void expectVector(const ShadeVec& actual, const ShadeVec& expected, const std::string& what = "") {
  EXPECT_EQ(actual.x, expected.x) << what;
  EXPECT_EQ(actual.y, expected.y) << what;
  EXPECT_EQ(actual.z, expected.z) << what;
}

void expectNearVector(const ShadeVec& actual, const ShadeVec& expected, float tolerance,
                      const std::string& what = "") {
  EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
  EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
  EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

void expectPoint(const TracePoint& actual, const TracePoint& expected,
                 const std::string& what = "") {
  // Hex shows the last bits, which are what rounding to float changes.
  EXPECT_EQ(actual.x, expected.x) << what << std::hexfloat << ": " << actual.x;
  EXPECT_EQ(actual.y, expected.y) << what << std::hexfloat << ": " << actual.y;
  EXPECT_EQ(actual.z, expected.z) << what << std::hexfloat << ": " << actual.z;
}

bool finite(const AColor& c) {
  return std::isfinite(c.r) && std::isfinite(c.g) && std::isfinite(c.b) && std::isfinite(c.a);
}

ShadeVec unitToward(const ShadeVec& from, const ShadeVec& to) {
  const double x = to.x - from.x, y = to.y - from.y, z = to.z - from.z;
  const double l = std::sqrt(x * x + y * y + z * z);
  return ShadeVec(static_cast<float>(x / l), static_cast<float>(y / l), static_cast<float>(z / l));
}

// A qvVeil made from the descriptor linked into this test, so that its class
// and its matte output can be reached directly.
class VeilTest : public testing::Test {
 protected:
  void SetUp() override {
    desc_ = linkedDesc();
    ASSERT_NE(desc_, nullptr);
    desc_->registerPlugin(&host_);
    instance_ = std::make_unique<vrayhost::PluginInstance>(desc_, desc_->newPlugin(&host_));
    ASSERT_NE(instance_->plugin(), nullptr);
    tex_ = dynamic_cast<qvVeil*>(instance_->plugin());
    ASSERT_NE(tex_, nullptr);
  }

  VUtils::VRayParameterList::Impl& params() { return tex_->getParameterList()->impl(); }

  void set(const char* name, const ConstantValue& value) {
    std::string error;
    ASSERT_TRUE(params().setConstant(name, value, &error)) << error;
  }
  void link(const char* name, ParamKind kind, PluginInterface* input) {
    std::string error;
    ASSERT_TRUE(params().setLink(name, kind, input, &error)) << error;
  }

  template <class Input, class Value>
  Input& logged(const char* name, ParamKind kind, const Value& value) {
    auto input = std::make_unique<Input>(name, &log_, value);
    Input& ref = *input;
    link(name, kind, input.get());
    inputs_.push_back(std::move(input));
    return ref;
  }

  // Feeds all fifteen inputs from logging inputs.
  void logEveryInput(int passThrough) {
    logged<LogColour>("color", ParamKind::Color, AColor(0.5f, 0.25f, 0.75f, 1.0f));
    logged<LogFloat>("mask", ParamKind::Float, 0.5f);
    logged<LogColour>("colorOffset", ParamKind::Color, AColor(0.0f, 0.0f, 0.0f, 0.0f));
    logged<LogTransform>("placementMatrix", ParamKind::Transform, cameraAt(0.0f, 0.0f, 5.0f));
    logged<LogInt>("passThrough", ParamKind::Int, passThrough);
    logged<LogFloat>("distanceThreshold", ParamKind::Float, 100.0f);
    logged<LogInt>("useShadowOcclusion", ParamKind::Int, 1);
    logged<LogFloat>("dilate", ParamKind::Float, 0.5f);
    logged<LogInt>("samples", ParamKind::Int, 3);
    logged<LogFloat>("softEdge", ParamKind::Float, 0.5f);
    logged<LogInt>("power", ParamKind::Int, 2);
    logged<LogInt>("useFacingRatio", ParamKind::Int, 1);
    logged<LogFloat>("angleThreshold", ParamKind::Float, 90.0f);
    logged<LogInt>("labelExclude", ParamKind::Int, 7);
    logged<LogInt>("premult", ParamKind::Int, 1);
  }

  void frame() {
    tex_->renderBegin(&renderer_);
    tex_->frameBegin(&renderer_);
  }

  // A fresh shading point (new stamp) on thread 0.
  LedgerContext at(const TracePoint& p, const ShadeVec& n = ShadeVec(0.0f, 0.0f, 1.0f),
                   uint32 flags = 0) {
    LedgerContext rc(ledger_);
    rc.vray = &renderer_;
    rc.threadData = &threadData_;
    rc.frameData = &frameData_;
    rc.rayresult.wpoint = p;
    rc.rayresult.normal = n;
    rc.rayresult.surface = &surfaceRecord_;
    rc.rayparams.rayFlags = flags;
    rc.cacheIndex = 0;
    rc.cacheStamp = ++stamp_;
    return rc;
  }

  AColor colour(const VRayContext& rc) { return tex_->texColor(rc); }
  AColor matte(const VRayContext& rc) { return tex_->outMatte().texColor(rc); }

  // Both outputs for a white colour and a white mask: the factor itself.
  float colourFactor(const VRayContext& rc) {
    const AColor c = colour(rc);
    EXPECT_EQ(c.r, c.g);
    EXPECT_EQ(c.r, c.b);
    return c.r;
  }
  float matteFactor(const VRayContext& rc) {
    const AColor m = matte(rc);
    EXPECT_EQ(m.r, m.a);
    return m.r;
  }

  void expectNoRay() {
    EXPECT_TRUE(renderer_.rays.empty());
    EXPECT_TRUE(ledger_.spawns.empty());
    EXPECT_TRUE(renderer_.sampler.requests.empty());
  }
  void expectEverySpawnReleased() {
    EXPECT_EQ(ledger_.releases, static_cast<int>(ledger_.spawns.size()));
  }
  void forgetRays() {
    renderer_.rays.clear();
    renderer_.sampler.requests.clear();
    ledger_.spawns.clear();
    ledger_.releases = 0;
  }

  RecordingHost host_;
  PluginDesc* desc_ = nullptr;
  std::unique_ptr<vrayhost::PluginInstance> instance_;
  qvVeil* tex_ = nullptr;
  RecordingRenderer renderer_;
  SpawnLedger ledger_;
  VUtils::VRayThreadData threadData_;
  VUtils::VRayFrameData frameData_;
  int surfaceRecord_ = 0;
  uint32 stamp_ = 10;
  ReadLog log_;
  std::vector<std::unique_ptr<PluginInterface>> inputs_;
};

// ---------------------------------------------------------------------------
// Library, descriptor and parameter list as the host sees them

TEST(VeilLibrary, DescriptorValues) {
  PluginLibDesc* lib = getLibDesc();
  ASSERT_NE(lib, nullptr);
  EXPECT_STREQ(lib->getLibName(), "qvVeil");
  EXPECT_STREQ(lib->getLibDescription(), "qvVeil for VRay");
  RecordingEnumerator e;
  EXPECT_EQ(lib->enumPluginDescs(&e), 1);
  ASSERT_EQ(e.descs.size(), 1u);
  EXPECT_EQ(lib->enumPluginDescs(nullptr), 1);

  PluginDesc* desc = e.descs[0];
  ASSERT_NE(desc, nullptr);
  EXPECT_EQ(desc->getPluginID(), 2012020401u);
  EXPECT_EQ(desc->getPluginID(), 0x77ECFEB1u);
  EXPECT_STREQ(desc->getName(), "qvVeil");
  EXPECT_TRUE(desc->supportsInterface(0x77780002));
  EXPECT_TRUE(desc->supportsInterface(0x7776FFFF));
  for (const PluginID other :
       {0x0u, 0x77780001u, 0x77780003u, 0x7776FFFEu, 0x77770000u, 0xFFFFFFFFu, 2012020401u,
        static_cast<PluginID>(VUtils::EXT_TEXTURE_FLOAT),
        static_cast<PluginID>(VUtils::EXT_TEXTURE_INT),
        static_cast<PluginID>(VUtils::EXT_TEXTURE_TRANSFORM)}) {
    EXPECT_FALSE(desc->supportsInterface(other)) << std::hex << other;
  }
  desc->deletePlugin(nullptr);
}

TEST(VeilLibrary, RegistersFifteenInputsAndTwoOutputsInOrder) {
  PluginDesc* desc = linkedDesc();
  ASSERT_NE(desc, nullptr);
  RecordingHost host;
  desc->registerPlugin(&host);
  ASSERT_EQ(host.registered.size(), 1u);
  EXPECT_EQ(host.registered[0], desc);

  const VUtils::VRayParameterListDesc* params = vrayhost::registeredParameters(desc);
  ASSERT_NE(params, nullptr);
  struct Expected {
    const char* name;
    ParamKind kind;
    const char* description;
  };
  const Expected expected[] = {
      {"color", ParamKind::Color, ""},
      {"mask", ParamKind::Float, ""},
      {"colorOffset", ParamKind::Color, ""},
      {"placementMatrix", ParamKind::Transform, "Camera transformation matrix."},
      {"passThrough", ParamKind::Int, ""},
      {"distanceThreshold", ParamKind::Float, ""},
      {"useShadowOcclusion", ParamKind::Int, ""},
      {"dilate", ParamKind::Float, ""},
      {"samples", ParamKind::Int, ""},
      {"softEdge", ParamKind::Float, ""},
      {"power", ParamKind::Int, ""},
      {"useFacingRatio", ParamKind::Int, ""},
      {"angleThreshold", ParamKind::Float, ""},
      {"labelExclude", ParamKind::Int, ""},
      {"premult", ParamKind::Int, ""},
      {"outColor", ParamKind::OutputColor, "oc"},
      {"outMatte", ParamKind::OutputColor, "om"},
  };
  const auto& declared = params->impl().params;
  ASSERT_EQ(declared.size(), std::size(expected));
  for (std::size_t i = 0; i < declared.size(); ++i) {
    const Expected& e = expected[i];
    EXPECT_EQ(declared[i].name, e.name) << i;
    EXPECT_EQ(declared[i].kind, e.kind) << e.name;
    EXPECT_EQ(declared[i].description, e.description) << e.name;
    const bool isAngle = declared[i].name == "angleThreshold";
    EXPECT_EQ(declared[i].hasDefault, isAngle) << e.name;
    if (isAngle) {
      EXPECT_EQ(declared[i].defaultValue, 90.0f);
    }
  }
}

TEST_F(VeilTest, BindsEveryInputAndOnlyTheMatteOutput) {
  const char* const names[] = {"color",
                               "mask",
                               "colorOffset",
                               "placementMatrix",
                               "passThrough",
                               "distanceThreshold",
                               "useShadowOcclusion",
                               "dilate",
                               "samples",
                               "softEdge",
                               "power",
                               "useFacingRatio",
                               "angleThreshold",
                               "labelExclude",
                               "premult"};
  const ParamKind kinds[] = {
      ParamKind::Color, ParamKind::Float, ParamKind::Color, ParamKind::Transform, ParamKind::Int,
      ParamKind::Float, ParamKind::Int,   ParamKind::Float, ParamKind::Int,       ParamKind::Float,
      ParamKind::Int,   ParamKind::Int,   ParamKind::Float, ParamKind::Int,       ParamKind::Int};
  const auto& caches = params().caches;
  ASSERT_EQ(caches.size(), std::size(names));
  for (std::size_t i = 0; i < caches.size(); ++i) {
    EXPECT_EQ(caches[i].name, names[i]) << i;
    EXPECT_EQ(caches[i].kind, kinds[i]) << names[i];
    for (std::size_t j = 0; j < i; ++j) EXPECT_NE(caches[i].address, caches[j].address);
  }

  ASSERT_EQ(params().outputs.size(), 1u);
  const auto* out = params().findOutput("outMatte");
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->kind, ParamKind::OutputColor);
  EXPECT_EQ(out->iface, static_cast<PluginInterface*>(&tex_->outMatte()));
  EXPECT_EQ(out->iface->getPlugin(), nullptr);
  EXPECT_EQ(out->iface->getInterfaceID(), 0x77780002u);
  EXPECT_EQ(params().findOutput("outColor"), nullptr);

  Plugin* plugin = instance_->plugin();
  PluginInterface* texture = plugin->getInterface(0x77780002);
  EXPECT_EQ(texture, static_cast<TextureInterface*>(tex_));
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->getPlugin(), plugin);
  PluginInterface* vray = plugin->getInterface(0x7776FFFF);
  EXPECT_EQ(vray, static_cast<VUtils::VRayPluginInterface*>(tex_));
  ASSERT_NE(vray, nullptr);
  EXPECT_EQ(vray->getPlugin(), plugin);
}

// ---------------------------------------------------------------------------
// Fallbacks and reading order

using VeilInputsTest = VeilTest;

TEST_F(VeilInputsTest, NothingSetGivesOpaqueBlackAndWhiteMatteWithoutRays) {
  // Far from the camera at the origin and facing away from it: only tests
  // that are switched on could cut this point.
  const TracePoint far(3.0, -4.0, 120.0);
  const ShadeVec away(0.0f, 0.0f, 1.0f);

  // Before any frame the inputs (and the matte's copies) are still empty.
  expectColour(colour(at(far, away)), AColor(0.0f, 0.0f, 0.0f, 1.0f));
  expectGrey(matte(at(far, away)), 1.0f);

  frame();
  expectColour(colour(at(far, away)), AColor(0.0f, 0.0f, 0.0f, 1.0f));
  expectGrey(matte(at(far, away)), 1.0f);
  expectNoRay();
}

TEST_F(VeilInputsTest, ValuesSetBeforeTheFirstFrameWaitForIt) {
  set("color", AColor(0.5f, 0.5f, 0.5f, 0.5f));
  set("mask", 0.25f);
  set("passThrough", 1);
  expectColour(colour(at(TracePoint(1.0, 2.0, 3.0))), AColor(0.0f, 0.0f, 0.0f, 1.0f));
  expectGrey(matte(at(TracePoint(1.0, 2.0, 3.0))), 1.0f);
  frame();
  expectGrey(colour(at(TracePoint(1.0, 2.0, 3.0))), 0.0f);
  expectGrey(matte(at(TracePoint(1.0, 2.0, 3.0))), 0.0f);
}

// The switches are read up front; the camera position only when the factor
// is worked out, after them.
const std::vector<std::string> kColourReads = {"mask",
                                               "color",
                                               "colorOffset",
                                               "passThrough",
                                               "distanceThreshold",
                                               "useShadowOcclusion",
                                               "dilate",
                                               "samples",
                                               "softEdge",
                                               "power",
                                               "useFacingRatio",
                                               "angleThreshold",
                                               "labelExclude",
                                               "premult",
                                               "placementMatrix"};
const std::vector<std::string> kMatteReads = {"mask",
                                              "color",
                                              "passThrough",
                                              "distanceThreshold",
                                              "useShadowOcclusion",
                                              "dilate",
                                              "samples",
                                              "softEdge",
                                              "power",
                                              "useFacingRatio",
                                              "angleThreshold",
                                              "labelExclude",
                                              "premult",
                                              "placementMatrix"};

TEST_F(VeilInputsTest, ReadsEveryInputOnceInOrder) {
  for (const int passThrough : {0, 1}) {
    SCOPED_TRACE("passThrough " + std::to_string(passThrough));
    inputs_.clear();
    log_.clear();
    logEveryInput(passThrough);
    frame();

    // Occlusion with jittered rays: no input is read again per ray.
    colour(at(TracePoint(0.0, 0.0, 0.0)));
    EXPECT_EQ(log_, kColourReads);
    EXPECT_EQ(renderer_.rays.size(), passThrough ? 0u : 4u);

    log_.clear();
    matte(at(TracePoint(0.0, 0.0, 0.0)));
    EXPECT_EQ(log_, kMatteReads);
    EXPECT_EQ(renderer_.rays.size(), passThrough ? 0u : 8u);
    forgetRays();
  }
}

// ---------------------------------------------------------------------------
// Colour and matte arithmetic

using VeilColourTest = VeilTest;

TEST_F(VeilColourTest, PassThroughZeroesBothOutputsWithoutRays) {
  CountingExtension extension;
  set("color", AColor(0.5f, 0.25f, 0.75f, 1.0f));
  set("colorOffset", AColor(1.0f, 1.0f, 1.0f, 1.0f));
  set("mask", 0.5f);
  set("placementMatrix", cameraAt(0.0f, 0.0f, 5.0f));
  set("useShadowOcclusion", 1);
  set("dilate", 1.0f);
  set("softEdge", 0.5f);
  for (const int on : {1, -1, 2}) {
    set("passThrough", on);
    for (const int premult : {0, 1}) {
      set("premult", premult);
      frame();
      LedgerContext rc = at(TracePoint(0.0, 0.0, 0.0));
      rc.extension = &extension;
      const std::string what =
          "passThrough " + std::to_string(on) + " premult " + std::to_string(premult);
      expectGrey(colour(rc), 0.0f, what);
      expectGrey(matte(rc), 0.0f, what);
    }
  }
  expectNoRay();
  EXPECT_TRUE(extension.values.empty());
}

TEST_F(VeilColourTest, UnitFactorPassesColourPlusOffsetAndMask) {
  set("color", AColor(0.25f, 0.5f, 0.75f, 0.5f));
  set("colorOffset", AColor(0.5f, -0.25f, 0.125f, 2.0f));
  set("mask", 0.5f);
  frame();
  expectColour(colour(at(TracePoint(1.0, 1.0, 1.0))), AColor(0.75f, 0.25f, 0.875f, 2.5f));
  expectGrey(matte(at(TracePoint(1.0, 1.0, 1.0))), 0.5f);

  // An unconnected offset is opaque black: it adds one to alpha only.
  params().sources.clear();
  set("color", AColor(1.0f, 0.0f, 0.0f, 1.0f));
  frame();
  expectColour(colour(at(TracePoint(1.0, 1.0, 1.0))), AColor(1.0f, 0.0f, 0.0f, 2.0f));
  expectGrey(matte(at(TracePoint(1.0, 1.0, 1.0))), 1.0f);
}

TEST_F(VeilColourTest, PremultScalesTheColourButNotTheMatte) {
  set("color", AColor(1.0f, 1.0f, 1.0f, 1.0f));
  set("colorOffset", AColor(0.0f, 0.0f, 0.0f, 0.0f));
  set("mask", 0.5f);
  frame();
  expectGrey(colour(at(TracePoint(0.0, 0.0, 1.0))), 1.0f);
  expectGrey(matte(at(TracePoint(0.0, 0.0, 1.0))), 0.5f);

  set("premult", 1);
  frame();
  expectGrey(colour(at(TracePoint(0.0, 0.0, 1.0))), 0.5f);
  expectGrey(matte(at(TracePoint(0.0, 0.0, 1.0))), 0.5f);

  // Any non-zero value switches it on; the offset is multiplied too.
  set("premult", -3);
  set("colorOffset", AColor(1.0f, 0.0f, 0.0f, 1.0f));
  frame();
  expectColour(colour(at(TracePoint(0.0, 0.0, 1.0))), AColor(1.0f, 0.5f, 0.5f, 1.0f));

  // Under a factor of one half both carry it.
  set("useShadowOcclusion", 1);
  renderer_.light = lightSequence({0.5f});
  frame();
  expectColour(colour(at(TracePoint(0.0, 0.0, 1.0))), AColor(0.5f, 0.25f, 0.25f, 0.5f));
  renderer_.light = lightSequence({0.5f});
  renderer_.rays.clear();
  expectGrey(matte(at(TracePoint(0.0, 0.0, 1.0))), 0.25f);
}

TEST_F(VeilColourTest, LabelExcludeChangesNothing) {
  set("color", AColor(0.5f, 0.25f, 1.0f, 1.0f));
  set("mask", 0.75f);
  set("placementMatrix", cameraAt(0.5f, -0.25f, 4.0f));
  set("useShadowOcclusion", 1);
  set("useFacingRatio", 1);
  set("angleThreshold", 80.0f);
  set("dilate", 0.5f);
  set("samples", 6);
  set("softEdge", 0.5f);
  set("power", 2);
  set("premult", 1);
  // Every third ray loses a quarter of its light.
  renderer_.light = [](const TracedRay&, std::size_t n) {
    const float l = n % 3 == 2 ? 0.75f : 1.0f;
    return Color(l, l, l);
  };
  const TracePoint points[] = {TracePoint(0.0, 0.0, 0.0), TracePoint(1.5, -0.5, 0.25),
                               TracePoint(-2.0, 1.0, -0.5)};
  const ShadeVec normals[] = {ShadeVec(0.0f, 0.0f, 1.0f), ShadeVec(0.6f, 0.0f, 0.8f),
                              ShadeVec(0.0f, -0.8f, 0.6f)};

  frame();
  std::vector<AColor> reference;
  for (int k = 0; k < 3; ++k) {
    reference.push_back(colour(at(points[k], normals[k])));
    reference.push_back(matte(at(points[k], normals[k])));
  }
  const std::size_t raysPerRun = renderer_.rays.size();
  EXPECT_GT(raysPerRun, 6u);
  EXPECT_GT(reference[1].r, 0.0f);
  EXPECT_LT(reference[1].r, 0.75f);

  for (const int label : {0, 1, -1, 7, 1 << 30}) {
    set("labelExclude", label);
    frame();
    renderer_.rays.clear();
    for (int k = 0; k < 3; ++k) {
      const std::string what =
          "labelExclude " + std::to_string(label) + " point " + std::to_string(k);
      expectColour(colour(at(points[k], normals[k])), reference[2 * k], what);
      expectColour(matte(at(points[k], normals[k])), reference[2 * k + 1], what);
    }
    EXPECT_EQ(renderer_.rays.size(), raysPerRun) << label;
  }
}

// ---------------------------------------------------------------------------
// Facing and distance tests

using VeilFacingTest = VeilTest;

// The camera sits on the +x axis; the normal is turned in the xy plane.
ShadeVec normalTurnedBy(double degrees) {
  const double r = degrees * 3.14159265358979323846 / 180.0;
  return ShadeVec(static_cast<float>(-std::sin(r)), static_cast<float>(std::cos(r)), 0.0f);
}

TEST_F(VeilFacingTest, RightAngleKeepsAndBeyondItCuts) {
  set("color", AColor(1.0f, 1.0f, 1.0f, 1.0f));
  set("colorOffset", AColor(0.0f, 0.0f, 0.0f, 0.0f));
  set("placementMatrix", cameraAt(5.0f, 0.0f, 0.0f));
  set("useFacingRatio", 1);
  const TracePoint origin(0.0, 0.0, 0.0);
  struct Case {
    double turn;  // angle is 90 degrees plus this
    bool angleSet;
    float threshold;
    float expected;
  };
  const Case cases[] = {
      {0.0, false, 0.0f, 1.0f},   {0.5, false, 0.0f, 0.0f},   {-0.5, false, 0.0f, 1.0f},
      {0.0, true, 90.0f, 1.0f},   {0.5, true, 90.0f, 0.0f},   {0.5, true, 90.4f, 0.0f},
      {0.5, true, 90.6f, 1.0f},   {-0.5, true, 89.4f, 0.0f},  {-0.5, true, 89.6f, 1.0f},
      {90.0, true, 179.9f, 0.0f}, {90.0, true, 180.0f, 1.0f}, {-90.0, true, 0.0f, 1.0f},
      {-89.0, true, 0.0f, 0.0f},
  };
  for (const Case& c : cases) {
    params().sources.erase(std::remove_if(params().sources.begin(), params().sources.end(),
                                          [](const auto& s) { return s.name == "angleThreshold"; }),
                           params().sources.end());
    if (c.angleSet) set("angleThreshold", c.threshold);
    frame();
    const std::string what = "angle 90" + std::string(c.turn < 0 ? "" : "+") +
                             std::to_string(c.turn) +
                             (c.angleSet ? " threshold " + std::to_string(c.threshold) : "");
    const ShadeVec n = normalTurnedBy(c.turn);
    EXPECT_EQ(colourFactor(at(origin, n)), c.expected) << what;
    EXPECT_EQ(matteFactor(at(origin, n)), c.expected) << what;
  }

  // Switched off, the facing test cuts nothing.
  set("useFacingRatio", 0);
  set("angleThreshold", 1.0f);
  frame();
  EXPECT_EQ(colourFactor(at(origin, normalTurnedBy(90.0))), 1.0f);
  EXPECT_EQ(matteFactor(at(origin, normalTurnedBy(90.0))), 1.0f);
  expectNoRay();
}

TEST_F(VeilFacingTest, UsesTheNormalAsGivenAndThePointWithTheFrameOffset) {
  set("color", AColor(1.0f, 1.0f, 1.0f, 1.0f));
  set("colorOffset", AColor(0.0f, 0.0f, 0.0f, 0.0f));
  set("placementMatrix", cameraAt(0.0f, 0.0f, 7.0f));
  set("useFacingRatio", 1);
  // A normal of length one half straight at the camera: cos 0.5, 60 degrees.
  for (const float threshold : {59.9f, 60.1f}) {
    set("angleThreshold", threshold);
    frame();
    const float expected = threshold < 60.0f ? 0.0f : 1.0f;
    EXPECT_EQ(colourFactor(at(TracePoint(0.0, 0.0, 2.0), ShadeVec(0.0f, 0.0f, 0.5f))), expected)
        << threshold;
  }

  // Seen from the frame-offset position the camera lies sideways (90
  // degrees); from the render-space position it would lie straight ahead.
  frameData_.frameOffset = TracePoint(0.0, 7.0, 7.0);
  set("angleThreshold", 45.0f);
  frame();
  EXPECT_EQ(colourFactor(at(TracePoint(0.0, 0.0, 0.0))), 0.0f);
  EXPECT_EQ(matteFactor(at(TracePoint(0.0, 0.0, 0.0))), 0.0f);
  // And the other way round: 55 degrees off without the offset, none with it.
  frameData_.frameOffset = TracePoint(10.0, 0.0, 0.0);
  EXPECT_EQ(colourFactor(at(TracePoint(-10.0, 0.0, 0.0))), 1.0f);
  EXPECT_EQ(matteFactor(at(TracePoint(-10.0, 0.0, 0.0))), 1.0f);
}

TEST_F(VeilFacingTest, DistanceThreshold) {
  set("color", AColor(1.0f, 1.0f, 1.0f, 1.0f));
  set("colorOffset", AColor(0.0f, 0.0f, 0.0f, 0.0f));
  // |(6, 8, 0)| is exactly 10.
  set("placementMatrix", cameraAt(6.0f, 8.0f, 0.0f));
  struct Case {
    TracePoint p;
    float threshold;
    float expected;
  };
  const Case cases[] = {
      {TracePoint(0.0, 0.0, 0.0), 10.0f, 1.0f},         {TracePoint(0.0, 0.0, 0.0), 9.999f, 0.0f},
      {TracePoint(-0.0006, -0.0008, 0.0), 10.0f, 0.0f},  // 10.001 away
      {TracePoint(6.0, 8.0, 0.0), 0.0f, 1.0f},          {TracePoint(6.0, 8.0, 0.5), 0.0f, 0.0f},
      {TracePoint(-1e6, 0.0, 0.0), -1.0f, 1.0f},  // -1 switches it off
      {TracePoint(6.0, 8.0, 0.0), -2.0f, 0.0f},   // other negatives cut every point
      {TracePoint(6.0, 8.0, 0.5), -2.0f, 0.0f},         {TracePoint(0.0, 0.0, 0.0), -2.0f, 0.0f},
      {TracePoint(0.0, 0.0, 0.0), -0.5f, 0.0f},         {TracePoint(0.0, 0.0, 0.0), -1.0001f, 0.0f},
  };
  for (const Case& c : cases) {
    set("distanceThreshold", c.threshold);
    frame();
    const std::string what = "threshold " + std::to_string(c.threshold) + " at (" +
                             std::to_string(c.p.x) + ", " + std::to_string(c.p.y) + ", " +
                             std::to_string(c.p.z) + ")";
    EXPECT_EQ(colourFactor(at(c.p)), c.expected) << what;
    EXPECT_EQ(matteFactor(at(c.p)), c.expected) << what;
  }

  // The frame offset moves the point before it is measured: (0, 0, 0) lies
  // sqrt(113) away, (1, 0, 0) exactly 10.
  frameData_.frameOffset = TracePoint(-1.0, 0.0, 0.0);
  set("distanceThreshold", 10.0f);
  frame();
  EXPECT_EQ(colourFactor(at(TracePoint(0.0, 0.0, 0.0))), 0.0f);
  EXPECT_EQ(matteFactor(at(TracePoint(0.0, 0.0, 0.0))), 0.0f);
  EXPECT_EQ(colourFactor(at(TracePoint(1.0, 0.0, 0.0))), 1.0f);
  expectNoRay();
}

TEST_F(VeilFacingTest, CutPointsTraceNoRay) {
  set("placementMatrix", cameraAt(0.0f, 0.0f, 5.0f));
  set("useShadowOcclusion", 1);
  set("dilate", 1.0f);
  set("distanceThreshold", 1.0f);
  frame();
  CountingExtension extension;
  LedgerContext rc = at(TracePoint(0.0, 0.0, 0.0));
  rc.extension = &extension;
  EXPECT_EQ(matteFactor(rc), 0.0f);

  set("distanceThreshold", -1.0f);
  set("useFacingRatio", 1);
  frame();
  LedgerContext away = at(TracePoint(0.0, 0.0, 0.0), ShadeVec(0.0f, 0.0f, -1.0f));
  away.extension = &extension;
  EXPECT_EQ(matteFactor(away), 0.0f);
  expectNoRay();
  EXPECT_TRUE(extension.values.empty());
}

// ---------------------------------------------------------------------------
// Occlusion: the straight shadow ray

class VeilOcclusionTest : public VeilTest {
 protected:
  void SetUp() override {
    VeilTest::SetUp();
    set("color", AColor(1.0f, 1.0f, 1.0f, 1.0f));
    set("colorOffset", AColor(0.0f, 0.0f, 0.0f, 0.0f));
    set("placementMatrix", cameraAt(0.0f, 0.0f, 4.0f));
    set("useShadowOcclusion", 1);
  }

  // The point straight below the camera, with an upward normal.
  LedgerContext below() { return at(TracePoint(0.0, 0.0, 0.0)); }
};

TEST_F(VeilOcclusionTest, ShadowRayLeavesTheRoundedHitPointTowardTheCamera) {
  // 1 + 2^-24 rounds to 1 on its own but, with a frame offset of 2^-24 added
  // in double precision first, the shading point becomes 1 + 2^-23.
  const double ulp = std::ldexp(1.0, -24);
  const float px = 1.0f + std::ldexp(1.0f, -23);
  frameData_.frameOffset = TracePoint(ulp, 0.0, 0.0);
  set("placementMatrix", cameraAt(px, 0.1f, 4.0f));
  frame();

  CountingExtension extension;
  LedgerContext rc = at(TracePoint(1.0 + ulp, 0.1, 0.0), ShadeVec(0.0f, 0.0f, 1.0f));
  rc.extension = &extension;
  EXPECT_EQ(colourFactor(rc), 1.0f);

  ASSERT_EQ(ledger_.spawns.size(), 1u);
  const SpawnLedger::Spawn& spawn = ledger_.spawns[0];
  EXPECT_EQ(spawn.kind, 2);
  EXPECT_EQ(spawn.weight.r, 1.0f);
  EXPECT_EQ(spawn.weight.g, 1.0f);
  EXPECT_EQ(spawn.weight.b, 1.0f);
  EXPECT_EQ(spawn.rayType, kShadowRayType);
  expectVector(spawn.dir, ShadeVec(0.0f, 0.0f, 1.0f));

  ASSERT_EQ(renderer_.rays.size(), 1u);
  const TracedRay& ray = renderer_.rays[0];
  EXPECT_EQ(ray.context, spawn.child);
  expectVector(ray.viewDir, ShadeVec(0.0f, 0.0f, 1.0f), "direction");
  expectVector(ray.tracedDir, ShadeVec(0.0f, 0.0f, 1.0f), "direction copy");
  // Rounded to float, without the frame offset.
  expectPoint(ray.rayOrigin, TracePoint(1.0, static_cast<double>(0.1f), 0.0), "origin");
  EXPECT_EQ(ray.mint, 0.0);
  EXPECT_EQ(ray.maxt, 4.0);
  EXPECT_EQ(ray.rayFlags, kShadowFlags);
  EXPECT_EQ(ray.rayType, kShadowRayType);
  EXPECT_EQ(ray.surface, &surfaceRecord_);
  EXPECT_EQ(extension.values, std::vector<int>{kOcclusionNotice});
  EXPECT_EQ(ledger_.releases, 1);

  // The matte runs its own test: one more notice, spawn and release.
  EXPECT_EQ(matteFactor(rc), 1.0f);
  EXPECT_EQ(extension.values, (std::vector<int>{kOcclusionNotice, kOcclusionNotice}));
  EXPECT_EQ(renderer_.rays.size(), 2u);
  EXPECT_EQ(ledger_.spawns.size(), 2u);
  EXPECT_EQ(ledger_.releases, 2);
}

TEST_F(VeilOcclusionTest, ShadowRayOnAGeneralSlant) {
  set("placementMatrix", cameraAt(3.0f, -2.0f, 6.0f));
  frame();
  LedgerContext rc = at(TracePoint(1.0, 0.5, -0.25), ShadeVec(0.0f, 1.0f, 0.0f));
  matte(rc);
  ASSERT_EQ(renderer_.rays.size(), 1u);
  const TracedRay& ray = renderer_.rays[0];
  const ShadeVec toward = unitToward(ShadeVec(1.0f, 0.5f, -0.25f), ShadeVec(3.0f, -2.0f, 6.0f));
  expectNearVector(ray.viewDir, toward, 1e-6f);
  expectVector(ray.tracedDir, ray.viewDir);
  const double length =
      std::sqrt(double{ray.viewDir.x} * ray.viewDir.x + double{ray.viewDir.y} * ray.viewDir.y +
                double{ray.viewDir.z} * ray.viewDir.z);
  EXPECT_NEAR(length, 1.0, 1e-7);
  EXPECT_NEAR(ray.maxt, std::sqrt(4.0 + 6.25 + 39.0625), 1e-5);
  EXPECT_EQ(ray.maxt, static_cast<double>(static_cast<float>(ray.maxt)));
  expectEverySpawnReleased();
}

TEST_F(VeilOcclusionTest, StraightRayScalesByTheMeanLightThatPasses) {
  // Mean 0.4 from channels none of which is 0.4.
  renderer_.light = [](const TracedRay&, std::size_t) { return Color(0.1f, 0.2f, 0.9f); };
  for (const float dilate : {0.0f, -1.0f, -0.5f}) {
    set("dilate", dilate);
    set("softEdge", 1.0f);
    set("power", 3);  // no dilation, so no power
    frame();
    const float expected = (0.1f + 0.2f + 0.9f) * 0.33333334f;
    EXPECT_NEAR(expected, 0.4f, 1e-7f);
    EXPECT_EQ(colourFactor(below()), expected) << dilate;
    EXPECT_EQ(matteFactor(below()), expected) << dilate;
  }
  EXPECT_EQ(renderer_.rays.size(), 6u);
  EXPECT_TRUE(renderer_.sampler.requests.empty());
  expectEverySpawnReleased();
}

TEST_F(VeilOcclusionTest, HalfLightScalesColourAndMatte) {
  set("color", AColor(0.5f, 0.25f, 1.0f, 1.0f));
  set("mask", 0.5f);
  set("dilate", 0.0f);
  renderer_.light = lightSequence({0.5f, 0.5f});
  frame();
  expectColour(colour(below()), AColor(0.25f, 0.125f, 0.5f, 0.5f));
  expectGrey(matte(below()), 0.25f);
  expectEverySpawnReleased();
}

TEST_F(VeilOcclusionTest, BlockedStraightRayEndsTheTest) {
  set("dilate", 1.0f);
  set("samples", 24);
  set("softEdge", 1.0f);
  set("power", 0);
  renderer_.light = lightSequence({0.0f, 0.0f});
  frame();
  EXPECT_EQ(colourFactor(below()), 0.0f);
  EXPECT_EQ(matteFactor(below()), 0.0f);
  EXPECT_EQ(renderer_.rays.size(), 2u);
  EXPECT_TRUE(renderer_.sampler.requests.empty());
  EXPECT_EQ(ledger_.spawns.size(), 2u);
  expectEverySpawnReleased();
}

TEST_F(VeilOcclusionTest, NoExtensionIsFine) {
  frame();
  LedgerContext rc = below();
  ASSERT_EQ(rc.extension, nullptr);
  EXPECT_EQ(colourFactor(rc), 1.0f);
  EXPECT_EQ(renderer_.rays.size(), 1u);
}

// ---------------------------------------------------------------------------
// Occlusion: dilation

using VeilDilationTest = VeilOcclusionTest;

TEST_F(VeilDilationTest, HardEdgeFirstBlockedJitteredRayCutsToZero) {
  set("dilate", 1.0f);
  set("samples", 24);
  set("softEdge", 0.0f);
  set("power", 3);
  frame();

  // Nothing blocks the jittered rays: the straight ray's light stays, and
  // no power is taken without a soft edge.
  renderer_.light = lightSequence({0.5f});
  EXPECT_EQ(colourFactor(below()), 0.5f);
  EXPECT_EQ(renderer_.rays.size(), 25u);
  forgetRays();

  // The third jittered ray is fully blocked; the rest are never traced.
  renderer_.light = lightSequence({1.0f, 1.0f, 1.0f, 0.0f});
  EXPECT_EQ(matteFactor(below()), 0.0f);
  EXPECT_EQ(renderer_.rays.size(), 4u);
  EXPECT_EQ(renderer_.sampler.requests.size(), 6u);
  expectEverySpawnReleased();
  forgetRays();

  // Quarter losses add up to a full block after four rays.
  renderer_.light = lightSequence({1.0f, 0.75f, 0.75f, 0.75f, 0.75f});
  EXPECT_EQ(matteFactor(below()), 0.0f);
  EXPECT_EQ(renderer_.rays.size(), 5u);
  expectEverySpawnReleased();
}

TEST_F(VeilDilationTest, AccumulatedOcclusionIsClamped) {
  set("dilate", 1.0f);
  set("samples", 4);
  set("softEdge", 0.0f);
  frame();
  // Rays that bring back more light than they sent take nothing off.
  renderer_.light = [](const TracedRay&, std::size_t n) {
    const float l = n == 0 ? 0.5f : 3.0f;
    return Color(l, l, l);
  };
  EXPECT_EQ(matteFactor(below()), 0.5f);
  EXPECT_EQ(renderer_.rays.size(), 5u);
  forgetRays();

  // One ray worth twice the whole disc cannot push the factor below zero
  // (which power 2 would turn positive again).
  set("samples", 2);
  set("softEdge", 0.25f);
  set("power", 2);
  frame();
  renderer_.light = lightSequence({1.0f, 0.0f});
  EXPECT_EQ(matteFactor(below()), 0.0f);
  EXPECT_EQ(renderer_.rays.size(), 2u);
  expectEverySpawnReleased();
}

TEST_F(VeilDilationTest, SoftEdgeWeighsEachRayAndTakesThePower) {
  set("dilate", 1.0f);
  set("samples", 4);
  set("softEdge", 1.0f);
  renderer_.sampler.values = {{1, 0.1f}, {2, 0.6f}, {3, 0.3f}, {4, 0.9f}, {5, 0.7f}};
  // The straight ray and jittered rays 1 and 3 pass (their channels have
  // mean 1, though none of them is 1); 2 and 4 are blocked.
  renderer_.light = [](const TracedRay&, std::size_t n) {
    return n == 2 || n == 4 ? Color(0.0f, 0.0f, 0.0f) : Color(1.5f, 0.0f, 1.5f);
  };
  for (const int power : {1, 2}) {
    set("power", power);
    frame();
    forgetRays();
    EXPECT_EQ(matteFactor(below()), power == 1 ? 0.5f : 0.25f) << power;
    ASSERT_EQ(renderer_.rays.size(), 5u);
    // The first jittered ray has radius 0: it goes straight at the camera.
    expectVector(renderer_.rays[1].viewDir, renderer_.rays[0].viewDir);
    expectVector(renderer_.rays[1].viewDir, ShadeVec(0.0f, 0.0f, 1.0f));
    for (std::size_t k = 2; k < 5; ++k) {
      EXPECT_NE(renderer_.rays[k].viewDir.z, 1.0f) << k;
    }
    expectEverySpawnReleased();
  }
}

TEST_F(VeilDilationTest, NoSamplesTakesOnlyThePower) {
  set("dilate", 1.0f);
  set("softEdge", 0.5f);
  set("power", 3);
  for (const int samples : {0, -4}) {
    set("samples", samples);
    frame();
    renderer_.light = lightSequence({0.5f});
    EXPECT_EQ(matteFactor(below()), 0.125f) << samples;
    EXPECT_EQ(renderer_.rays.size(), 1u);
    EXPECT_TRUE(renderer_.sampler.requests.empty());
    expectEverySpawnReleased();
    forgetRays();
  }
}

TEST_F(VeilDilationTest, UnsetSamplesMeanOneJitteredRay) {
  set("dilate", 1.0f);
  frame();
  EXPECT_EQ(colourFactor(below()), 1.0f);
  EXPECT_EQ(renderer_.rays.size(), 2u);
  ASSERT_EQ(renderer_.sampler.requests.size(), 2u);
  EXPECT_EQ(renderer_.sampler.requests[0].index, 1);
  EXPECT_EQ(renderer_.sampler.requests[1].index, 2);
}

TEST_F(VeilDilationTest, SamplesComeInOverlappingPairsFromTheSpawnedContext) {
  set("dilate", 1.0f);
  set("samples", 3);
  set("softEdge", 0.0f);
  frame();
  EXPECT_EQ(colourFactor(below()), 1.0f);
  ASSERT_EQ(ledger_.spawns.size(), 1u);
  const VRayContext* child = ledger_.spawns[0].child;
  const int expected[] = {1, 2, 2, 3, 3, 4};
  ASSERT_EQ(renderer_.sampler.requests.size(), std::size(expected));
  for (std::size_t k = 0; k < std::size(expected); ++k) {
    EXPECT_EQ(renderer_.sampler.requests[k].index, expected[k]) << k;
    EXPECT_EQ(renderer_.sampler.requests[k].context, child) << k;
  }
  ASSERT_EQ(renderer_.rays.size(), 4u);
  for (const TracedRay& ray : renderer_.rays) EXPECT_EQ(ray.context, child);
  expectEverySpawnReleased();
}

TEST_F(VeilDilationTest, JitteredRaysKeepTheSegmentFlagsAndSurface) {
  const double ulp = std::ldexp(1.0, -24);
  frameData_.frameOffset = TracePoint(ulp, 0.25, -0.5);
  set("dilate", 0.5f);
  set("samples", 3);
  frame();
  colour(at(TracePoint(1.0 + ulp, 0.1, 0.3)));
  ASSERT_EQ(renderer_.rays.size(), 4u);
  const double maxt = renderer_.rays[0].maxt;
  const TracePoint origin(1.0, static_cast<double>(0.1f), static_cast<double>(0.3f));
  for (std::size_t k = 1; k < 4; ++k) {
    const TracedRay& ray = renderer_.rays[k];
    const std::string what = "jittered ray " + std::to_string(k);
    expectPoint(ray.rayOrigin, origin, what);
    expectPoint(ray.tracedP, origin, what);
    expectVector(ray.tracedDir, ray.viewDir, what);
    EXPECT_EQ(ray.mint, 0.0) << what;
    EXPECT_EQ(ray.maxt, maxt) << what;
    EXPECT_EQ(ray.rayFlags, kShadowFlags) << what;
    EXPECT_EQ(ray.rayType, kShadowRayType) << what;
    EXPECT_EQ(ray.surface, &surfaceRecord_) << what;
  }
}

// Targets on a disc of radius "dilate" around the camera, perpendicular to
// the normal: at angle 0 the target lies along V, a quarter turn on along U.
TEST_F(VeilDilationTest, JitteredTargetsLieOnTheDiscAroundTheCamera) {
  const ShadeVec camera(0.0f, 0.0f, 4.0f);
  struct Case {
    ShadeVec normal;
    ShadeVec u, v;
  };
  const Case cases[] = {
      // N.z dominates: U = (-N.z, 0, N.x) / s, V = N x U.
      {ShadeVec(0.0f, 0.0f, 1.0f), ShadeVec(-1.0f, 0.0f, 0.0f), ShadeVec(0.0f, -1.0f, 0.0f)},
      // N.y dominates: U = (N.y, -N.x, 0) / s.
      {ShadeVec(0.0f, 1.0f, 0.0f), ShadeVec(1.0f, 0.0f, 0.0f), ShadeVec(0.0f, 0.0f, -1.0f)},
      // A tie between them takes the second form.
      {ShadeVec(0.0f, 0.6f, 0.6f), ShadeVec(1.0f, 0.0f, 0.0f),
       ShadeVec(0.0f, 0.70710678f, -0.70710678f)},
      // Length does not matter.
      {ShadeVec(0.0f, 0.0f, 3.0f), ShadeVec(-1.0f, 0.0f, 0.0f), ShadeVec(0.0f, -1.0f, 0.0f)},
      // A zero normal spans the xy plane.
      {ShadeVec(0.0f, 0.0f, 0.0f), ShadeVec(1.0f, 0.0f, 0.0f), ShadeVec(0.0f, 1.0f, 0.0f)},
  };
  set("dilate", 2.0f);
  set("samples", 3);
  set("softEdge", 0.0f);
  // Iteration i draws u1 = s[i] (turn) and u2 = s[i + 1] (radius / dilate).
  renderer_.sampler.values = {{1, 0.0f}, {2, 0.25f}, {3, 0.5f}, {4, 0.75f}};
  frame();
  for (const Case& c : cases) {
    forgetRays();
    const std::string what = "normal (" + std::to_string(c.normal.x) + ", " +
                             std::to_string(c.normal.y) + ", " + std::to_string(c.normal.z) + ")";
    const AColor m = matte(at(TracePoint(0.0, 0.0, 0.0), c.normal));
    EXPECT_TRUE(finite(m)) << what;
    ASSERT_EQ(renderer_.rays.size(), 4u) << what;
    // (turn, radius) per iteration: (0, 0.5), (0.25 turn, 1.0), (0.5 turn, 1.5).
    const ShadeVec targets[] = {
        ShadeVec(camera.x + c.v.x * 0.5f, camera.y + c.v.y * 0.5f, camera.z + c.v.z * 0.5f),
        ShadeVec(camera.x + c.u.x * 1.0f, camera.y + c.u.y * 1.0f, camera.z + c.u.z * 1.0f),
        ShadeVec(camera.x - c.v.x * 1.5f, camera.y - c.v.y * 1.5f, camera.z - c.v.z * 1.5f),
    };
    for (int k = 0; k < 3; ++k) {
      expectNearVector(renderer_.rays[k + 1].viewDir,
                       unitToward(ShadeVec(0.0f, 0.0f, 0.0f), targets[k]), 2e-6f,
                       what + " ray " + std::to_string(k + 1));
    }
  }
  expectEverySpawnReleased();
}

// The documented recipe, step by step in the documented precision: the ray
// directions must match it to the last bit.
struct Recipe {
  static float length(const ShadeVec& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }
  static ShadeVec guarded(const ShadeVec& v) {
    const float l = length(v);
    const float m = std::max(std::fabs(v.x), std::max(std::fabs(v.y), std::fabs(v.z)));
    return l * 1e18f > m ? ShadeVec(v.x / l, v.y / l, v.z / l) : v;
  }

  ShadeVec p, k, n;
  float dilate, softEdge;

  ShadeVec straight() const {
    const ShadeVec d(k.x - p.x, k.y - p.y, k.z - p.z);
    const float dist = length(d);
    const float inv = 1.0f / dist;
    const ShadeVec dir(d.x * inv, d.y * inv, d.z * inv);
    const float l = length(dir);
    return ShadeVec(dir.x / l, dir.y / l, dir.z / l);
  }

  ShadeVec jittered(int i, float u1, float u2) const {
    ShadeVec u;
    if (n.z * n.z + n.x * n.x > n.y * n.y + n.x * n.x) {
      const float s = std::sqrt(n.z * n.z + n.x * n.x);
      u = ShadeVec(-n.z / s, 0.0f, n.x / s);
    } else {
      const float s = std::sqrt(n.y * n.y + n.x * n.x);
      u = ShadeVec(n.y / s, -n.x / s, 0.0f);
    }
    ShadeVec v(n.y * u.z - n.z * u.y, n.z * u.x - n.x * u.z, n.x * u.y - n.y * u.x);
    const float lv = length(v);
    v = ShadeVec(v.x / lv, v.y / lv, v.z / lv);
    u = guarded(u);
    v = guarded(v);

    float r = u2;
    if (softEdge > 0.0f) r = u2 - (1.0f / static_cast<float>(i)) * u2 * softEdge;
    r = r * dilate;
    const float theta = static_cast<float>(static_cast<double>(u1) * 6.283185307179586);
    const float a = r * std::sin(theta);
    const float b = r * std::cos(theta);
    const ShadeVec q(k.x + u.x * a + v.x * b, k.y + u.y * a + v.y * b, k.z + u.z * a + v.z * b);
    return guarded(ShadeVec(q.x - p.x, q.y - p.y, q.z - p.z));
  }
};

TEST_F(VeilDilationTest, RayDirectionsFollowTheRecipeBitForBit) {
  const TracePoint hit(0.37, -1.21, 2.05);
  frameData_.frameOffset = TracePoint(0.125, 0.5, -0.25);
  const ShadeVec p(static_cast<float>(hit.x + 0.125), static_cast<float>(hit.y + 0.5),
                   static_cast<float>(hit.z - 0.25));
  const ShadeVec k(3.3f, 4.1f, 7.9f);
  set("placementMatrix", cameraAt(k.x, k.y, k.z));
  set("dilate", 0.75f);
  set("softEdge", 0.5f);
  set("samples", 3);
  set("power", 2);
  renderer_.sampler.values = {{1, 0.13f}, {2, 0.77f}, {3, 0.41f}, {4, 0.92f}};
  frame();

  std::vector<ShadeVec> normals = {ShadeVec(0.3f, -0.5f, 0.8f), ShadeVec(0.2f, 0.9f, -0.1f),
                                   ShadeVec(0.6f, 0.8f, 0.8f), ShadeVec(-1.5f, 0.25f, 2.0f)};
  // And a spread of directions and lengths, where the last bit of every
  // rounding step shows somewhere.
  for (int j = 0; j < 48; ++j) {
    const float scale = 0.5f + 0.75f * static_cast<float>(j % 4);
    normals.emplace_back(static_cast<float>(std::sin(1.7 * j)) * scale,
                         static_cast<float>(std::cos(2.3 * j)) * scale,
                         static_cast<float>(std::sin(0.9 * j + 0.4)) * scale);
  }
  for (const ShadeVec& n : normals) {
    forgetRays();
    const std::string what = "normal (" + std::to_string(n.x) + ", " + std::to_string(n.y) + ", " +
                             std::to_string(n.z) + ")";
    EXPECT_EQ(colourFactor(at(hit, n)), 1.0f) << what;
    ASSERT_EQ(renderer_.rays.size(), 4u) << what;
    const Recipe recipe{p, k, n, 0.75f, 0.5f};
    expectVector(renderer_.rays[0].viewDir, recipe.straight(), what + " straight");
    const float u[] = {0.13f, 0.77f, 0.41f, 0.92f};
    for (int i = 1; i <= 3; ++i) {
      const ShadeVec expected = recipe.jittered(i, u[i - 1], u[i]);
      expectVector(renderer_.rays[i].viewDir, expected, what + " jittered " + std::to_string(i));
      expectVector(renderer_.rays[i].tracedDir, expected, what + " copy " + std::to_string(i));
    }
  }
}

// ---------------------------------------------------------------------------
// Degenerate geometry

using VeilDegenerateTest = VeilOcclusionTest;

TEST_F(VeilDegenerateTest, PointAtTheCameraCountsAsSeen) {
  set("color", AColor(0.5f, 0.25f, 1.0f, 1.0f));
  set("placementMatrix", cameraAt(1.0f, 2.0f, 3.0f));
  set("useFacingRatio", 1);
  set("angleThreshold", 0.0f);
  set("distanceThreshold", 0.0f);
  set("dilate", 1.0f);
  frame();
  for (const ShadeVec& n :
       {ShadeVec(0.0f, 0.0f, 1.0f), ShadeVec(0.0f, 0.0f, -1.0f), ShadeVec(0.0f, 0.0f, 0.0f)}) {
    const AColor c = colour(at(TracePoint(1.0, 2.0, 3.0), n));
    expectColour(c, AColor(0.5f, 0.25f, 1.0f, 1.0f));
    expectGrey(matte(at(TracePoint(1.0, 2.0, 3.0), n)), 1.0f);
  }
  expectNoRay();

  // The one test that still cuts it: a negative distance threshold.
  set("distanceThreshold", -2.0f);
  frame();
  expectGrey(matte(at(TracePoint(1.0, 2.0, 3.0))), 0.0f);
}

TEST_F(VeilDegenerateTest, NonUnitNormalGivesADefinedAngle) {
  set("useShadowOcclusion", 0);
  set("useFacingRatio", 1);
  struct Case {
    ShadeVec normal;
    float threshold;
    float expected;
  };
  const Case cases[] = {
      {ShadeVec(0.0f, 0.0f, 5.0f), 0.0f, 1.0f},     // cos 5 counts as 0 degrees
      {ShadeVec(0.0f, 0.0f, -5.0f), 179.9f, 0.0f},  // cos -5 counts as 180
      {ShadeVec(0.0f, 0.0f, -5.0f), 180.0f, 1.0f},
      {ShadeVec(0.0f, 0.0f, 0.0f), 90.0f, 1.0f},  // zero normal: 90
      {ShadeVec(0.0f, 0.0f, 0.0f), 89.9f, 0.0f},
  };
  for (const Case& c : cases) {
    set("angleThreshold", c.threshold);
    frame();
    const std::string what =
        "normal z " + std::to_string(c.normal.z) + " threshold " + std::to_string(c.threshold);
    const LedgerContext rc = at(TracePoint(0.0, 0.0, 0.0), c.normal);
    const AColor m = matte(rc);
    EXPECT_TRUE(finite(m)) << what;
    EXPECT_EQ(m.r, c.expected) << what;
    EXPECT_EQ(colourFactor(rc), c.expected) << what;
  }
}

TEST_F(VeilDegenerateTest, ZeroNormalStillDilates) {
  set("dilate", 1.0f);
  set("samples", 4);
  set("softEdge", 0.5f);
  set("power", 2);
  // The second jittered ray of each evaluation is blocked.
  renderer_.light = [](const TracedRay&, std::size_t n) {
    const float l = n % 5 == 2 ? 0.0f : 1.0f;
    return Color(l, l, l);
  };
  frame();
  const AColor c = colour(at(TracePoint(0.0, 0.0, 0.0), ShadeVec(0.0f, 0.0f, 0.0f)));
  const AColor m = matte(at(TracePoint(0.0, 0.0, 0.0), ShadeVec(0.0f, 0.0f, 0.0f)));
  EXPECT_TRUE(finite(c));
  EXPECT_TRUE(finite(m));
  // One blocked ray of four at soft edge 0.5: acc 0.5, factor 0.5 squared.
  EXPECT_EQ(c.r, 0.25f);
  EXPECT_EQ(m.r, 0.25f);
  EXPECT_EQ(renderer_.rays.size(), 10u);
  for (const TracedRay& ray : renderer_.rays) {
    EXPECT_TRUE(std::isfinite(ray.viewDir.x) && std::isfinite(ray.viewDir.y) &&
                std::isfinite(ray.viewDir.z));
  }
}

// ---------------------------------------------------------------------------
// The factor stays a fraction of the point seen, whatever the inputs

using VeilRangeTest = VeilOcclusionTest;

// 0 to the power 0 is 1 and to a negative power infinite: an occluded point
// would become fully (or infinitely) visible.
TEST_F(VeilRangeTest, OccludedPointStaysOccludedWhateverThePower) {
  set("dilate", 1.0f);
  set("samples", 4);
  set("softEdge", 1.0f);
  // The straight ray passes, every jittered one is blocked: acc reaches 1.
  renderer_.light = lightSequence({1.0f, 0.0f, 0.0f, 0.0f, 0.0f});
  for (const int power : {0, -1, -3}) {
    set("power", power);
    frame();
    forgetRays();
    EXPECT_EQ(matteFactor(below()), 0.0f) << power;
    forgetRays();
    EXPECT_EQ(colourFactor(below()), 0.0f) << power;
  }
}

// A partly seen point raised to a power of 0 or less is seen no more than fully.
TEST_F(VeilRangeTest, PowersBelowOneKeepTheFactorInRange) {
  set("dilate", 1.0f);
  set("samples", 4);
  set("softEdge", 1.0f);
  // Two of four jittered rays blocked: 1 - 0.5 before the power.
  renderer_.light = lightSequence({1.0f, 1.0f, 0.0f, 1.0f, 0.0f});
  const struct {
    int power;
    float expected;
  } cases[] = {{0, 1.0f}, {-2, 1.0f}, {1, 0.5f}, {3, 0.125f}};
  for (const auto& c : cases) {
    set("power", c.power);
    frame();
    forgetRays();
    EXPECT_EQ(matteFactor(below()), c.expected) << c.power;
  }
}

// Light that comes back stronger than it left, or undefined, cannot make a
// point more than fully seen, nor spread NaN into the colour.
TEST_F(VeilRangeTest, LightBeyondTheUnitRangeIsClamped) {
  const struct {
    float light;
    float expected;
  } cases[] = {{3.0f, 1.0f}, {-2.0f, 0.0f}, {std::nanf(""), 0.0f}, {0.25f, 0.25f}};
  for (const auto& c : cases) {
    renderer_.light = lightSequence({c.light});
    frame();
    forgetRays();
    EXPECT_EQ(matteFactor(below()), c.expected) << c.light;
    forgetRays();
    const AColor colour = this->colour(below());
    EXPECT_TRUE(finite(colour)) << c.light;
    EXPECT_EQ(colour.r, c.expected) << c.light;
  }

  // The same bound holds on the way into the dilation and its power.
  set("dilate", 1.0f);
  set("samples", 2);
  set("softEdge", 1.0f);
  set("power", 2);
  renderer_.light = lightSequence({3.0f, 1.0f, 0.0f});
  frame();
  forgetRays();
  EXPECT_EQ(matteFactor(below()), 0.25f);
}

// A camera or shading point that is not finite leaves the distance between
// them undefined: the point is not seen, and no ray goes out.
TEST_F(VeilRangeTest, UndefinedDistanceIsNotSeen) {
  const float inf = std::numeric_limits<float>::infinity();
  for (const float x : {std::nanf(""), inf, -inf}) {
    set("placementMatrix", cameraAt(x, 0.0f, 4.0f));
    set("useFacingRatio", 1);
    set("angleThreshold", 180.0f);
    frame();
    EXPECT_EQ(matteFactor(below()), 0.0f) << x;
    EXPECT_EQ(colourFactor(below()), 0.0f) << x;
    expectNoRay();
  }
  // With the camera back in place the same point is seen.
  set("placementMatrix", cameraAt(0.0f, 0.0f, 4.0f));
  frame();
  EXPECT_EQ(matteFactor(below()), 1.0f);
  // With every test off nothing reads the distance: the factor stays 1.
  set("useFacingRatio", 0);
  set("useShadowOcclusion", 0);
  set("distanceThreshold", -1.0f);
  for (const float x : {std::nanf(""), inf}) {
    set("placementMatrix", cameraAt(x, 0.0f, 4.0f));
    frame();
    EXPECT_EQ(matteFactor(below()), 1.0f) << x;
    EXPECT_EQ(colourFactor(below()), 1.0f) << x;
  }
}

// ---------------------------------------------------------------------------
// The colour cache

using VeilCacheTest = VeilTest;

TEST_F(VeilCacheTest, ColourIsCachedAndTheMatteIsNot) {
  LogColour& input = logged<LogColour>("color", ParamKind::Color, AColor(0.5f, 0.5f, 0.5f, 0.5f));
  set("colorOffset", AColor(0.0f, 0.0f, 0.0f, 0.0f));
  set("placementMatrix", cameraAt(0.0f, 0.0f, 4.0f));
  set("useShadowOcclusion", 1);
  frame();
  const LedgerContext rc = at(TracePoint(0.0, 0.0, 0.0));
  expectGrey(colour(rc), 0.5f);
  EXPECT_EQ(log_.size(), 1u);
  EXPECT_EQ(renderer_.rays.size(), 1u);

  input.value = AColor(1.0f, 1.0f, 1.0f, 1.0f);
  expectGrey(colour(rc), 0.5f);
  EXPECT_EQ(log_.size(), 1u);
  EXPECT_EQ(renderer_.rays.size(), 1u);

  // The matte is evaluated afresh on every request.
  matte(rc);
  matte(rc);
  EXPECT_EQ(log_.size(), 3u);
  EXPECT_EQ(renderer_.rays.size(), 3u);

  // Another shading point, or the next frame, computes the colour again.
  expectGrey(colour(at(TracePoint(0.0, 0.0, 0.0))), 1.0f);
  input.value = AColor(0.25f, 0.25f, 0.25f, 0.25f);
  frame();
  expectGrey(colour(rc), 0.25f);
  EXPECT_EQ(renderer_.rays.size(), 5u);
}

TEST_F(VeilCacheTest, NoCacheFlagComputesEveryTime) {
  LogColour& input = logged<LogColour>("color", ParamKind::Color, AColor(0.5f, 0.5f, 0.5f, 0.5f));
  set("colorOffset", AColor(0.0f, 0.0f, 0.0f, 0.0f));
  frame();
  const LedgerContext rc = at(TracePoint(0.0, 0.0, 0.0), ShadeVec(0.0f, 0.0f, 1.0f), 0x400000);
  expectGrey(colour(rc), 0.5f);
  input.value = AColor(1.0f, 1.0f, 1.0f, 1.0f);
  expectGrey(colour(rc), 1.0f);
  EXPECT_EQ(log_.size(), 2u);

  // Nor was anything stored for the same point without the flag.
  LedgerContext plain = rc;
  plain.rayparams.rayFlags = 0;
  input.value = AColor(0.25f, 0.25f, 0.25f, 0.25f);
  expectGrey(colour(plain), 0.25f);
  EXPECT_EQ(log_.size(), 3u);
}

// ---------------------------------------------------------------------------
// Bounds and bump gradient

using VeilBoundsTest = VeilTest;

TEST_F(VeilBoundsTest, UnconnectedColourReportsTheUnitRange) {
  for (int pass = 0; pass < 2; ++pass) {
    AColor cmin(9.0f, 9.0f, 9.0f, 9.0f), cmax = cmin;
    tex_->texColorBounds(cmin, cmax);
    expectColour(cmin, AColor(0.0f, 0.0f, 0.0f, 1.0f));
    expectColour(cmax, AColor(1.0f, 1.0f, 1.0f, 1.0f));
    cmin = cmax = AColor(9.0f, 9.0f, 9.0f, 9.0f);
    tex_->outMatte().texColorBounds(cmin, cmax);
    expectColour(cmin, AColor(0.0f, 0.0f, 0.0f, 1.0f));
    expectColour(cmax, AColor(1.0f, 1.0f, 1.0f, 1.0f));
    // Other inputs take no part.
    set("mask", 7.0f);
    set("colorOffset", AColor(5.0f, 5.0f, 5.0f, 5.0f));
    frame();
  }
}

TEST_F(VeilBoundsTest, ConnectedColourIsAskedTwice) {
  LogColour& input = logged<LogColour>("color", ParamKind::Color, AColor());
  input.min1 = AColor(0.2f, 0.1f, 0.5f, 0.3f);
  input.max1 = AColor(0.6f, 0.9f, 0.7f, 0.8f);
  input.min2 = AColor(0.1f, 0.3f, 0.4f, 0.35f);
  input.max2 = AColor(0.7f, 0.8f, 0.75f, 0.9f);
  frame();
  const AColor wideMin(0.1f, 0.1f, 0.4f, 0.3f), wideMax(0.7f, 0.9f, 0.75f, 0.9f);

  AColor cmin, cmax;
  tex_->texColorBounds(cmin, cmax);
  EXPECT_EQ(input.boundsCalls, 2);
  expectColour(cmin, wideMin);
  expectColour(cmax, wideMax);

  input.boundsCalls = 0;
  tex_->outMatte().texColorBounds(cmin, cmax);
  EXPECT_EQ(input.boundsCalls, 2);
  expectColour(cmin, wideMin);
  expectColour(cmax, wideMax);
  EXPECT_TRUE(log_.empty());
}

TEST_F(VeilBoundsTest, BumpGradientComesFromTheColourForTheTextureOnly) {
  const LedgerContext rc = at(TracePoint(0.0, 0.0, 0.0));
  expectVector(tex_->colorBumpGradient(rc), ShadeVec(0.0f, 0.0f, 0.0f));

  LogColour& input = logged<LogColour>("color", ParamKind::Color, AColor());
  input.gradient = Vector(0.5f, -2.0f, 3.0f);
  frame();
  expectVector(tex_->colorBumpGradient(rc), Vector(0.5f, -2.0f, 3.0f));
  ASSERT_EQ(input.gradientContexts.size(), 1u);
  EXPECT_EQ(input.gradientContexts[0], &rc);

  expectVector(tex_->outMatte().colorBumpGradient(rc), ShadeVec(0.0f, 0.0f, 0.0f));
  EXPECT_EQ(input.gradientContexts.size(), 1u);
  EXPECT_TRUE(log_.empty());
}

}  // namespace
}  // namespace qv::veil
