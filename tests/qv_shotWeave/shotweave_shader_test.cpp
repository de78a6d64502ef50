// The mental ray library loaded from disk the way the host loads it, bound
// through miSetModuleHandle to this executable, whose exported mi_* functions
// play a scripted host. Also run under ThreadSanitizer.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "dynamic_library.h"
#include "shader.h"

#if defined(_WIN32)
#define FAKE_HOST_EXPORT __declspec(dllexport)
#else
#define FAKE_HOST_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// Records written from the documented layout rather than taken from the
// library's headers, so that a layout slip there shows up as wrong values.
struct Layer {
  miColor color;
  miScalar mask;
  miColor colorOffset;
  miMatrix placementMatrix;
  miBoolean passThrough;
  miScalar distanceThreshold;
  miBoolean useShadowOcclusion;
  miScalar dilate;
  miInteger samples;
  miScalar softEdge;
  miScalar power;
  miBoolean useFacingRatio;
  miScalar angleThreshold;
  miInteger labelExclude;
  miBoolean premult;
};
static_assert(sizeof(Layer) == 144 && offsetof(Layer, colorOffset) == 20 &&
                  offsetof(Layer, placementMatrix) == 36 && offsetof(Layer, passThrough) == 100 &&
                  offsetof(Layer, samples) == 116 && offsetof(Layer, labelExclude) == 136,
              "layer layout");

constexpr int kStorage = 24;  // room for i_layers offsets and index 20

struct Params {
  miInteger i_layers;
  miInteger n_layers;
  Layer layers[kStorage];
};

struct Result {
  miColor outColor;
  miColor outTransparency;
  miColor outMatte;
  miScalar outAlpha;
  miScalar outMask[20];
};
static_assert(sizeof(Result) == 132 && offsetof(Result, outMask) == 52, "result layout");

struct ConstParams {
  miColor color;
  miScalar opacity;
  miBoolean alphaOverride;
  miScalar alphaValue;
};

// ---------------------------------------------------------------------------
// The scripted host. Everything it knows comes from state->user, so threads
// with their own states never share it.

struct Trace {
  bool ok = true;
  miColor color = {0.0f, 0.0f, 0.0f, 0.0f};
  double hit = -1.0;
};
Trace miss() {
  return {};
}
Trace blocker(float alpha, double hit) {
  return {true, {0.0f, 0.0f, 0.0f, alpha}, hit};
}
Trace behind(miColor color) {
  return {true, color, 7.0};
}
Trace failed() {
  return {false, {}, -1.0};
}

struct Query {
  int code;
  miTag tag;
  std::vector<void*> extras;
};

struct TraceCall {
  miVector dir, org, point;
};

struct SampleCall {
  int instance;
  miUint dimension;
  miUint count;
};

struct FakeHost {
  // Script.
  std::vector<Trace> traces;  // answer to the i-th trace; later ones miss
  std::vector<std::array<double, 2>> samples;
  miTag item = 901;
  miInteger label = 42;
  miVector vertices[3] = {{1.0f, 0.0f, 0.2f}, {-1.0f, 0.0f, -0.1f}, {0.0f, 1.0f, 0.05f}};
  bool adjustOffset = false;
  double adjustedOffset = 0.0;
  bool movePointOnTrace = false;
  std::map<const void*, const void*> connected;  // parameter address -> evaluated value

  // Record.
  std::vector<TraceCall> traced;
  std::vector<const void*> evaluated;
  std::vector<Query> queries;
  std::vector<SampleCall> sampled;
  std::vector<double> offsetsGiven;
  std::vector<std::pair<int, int>> triangleRequests;

  miState child{};
};

FakeHost& hostOf(const miState* state) {
  return *static_cast<FakeHost*>(state->user);
}

}  // namespace

extern "C" {

FAKE_HOST_EXPORT void* mi_phen_eval(miState* state, void* param) {
  FakeHost& host = hostOf(state);
  host.evaluated.push_back(param);
  const auto found = host.connected.find(param);
  return const_cast<void*>(found != host.connected.end() ? found->second : param);
}

FAKE_HOST_EXPORT miBoolean mi_query(miQ_type query, miState* state, miUint tag, void* result, ...) {
  FakeHost& host = hostOf(state);
  const int code = static_cast<int>(query);
  Query call{code, tag, {}};
  // Reads exactly the extras the request takes, as the host does; a wrapper
  // that drops one hands over a stray register instead.
  const int extras = code == 165 ? 2 : (code == 15 ? 1 : 0);
  std::va_list args;
  va_start(args, result);
  for (int i = 0; i < extras; ++i) call.extras.push_back(va_arg(args, void*));
  va_end(args);
  host.queries.push_back(call);
  switch (code) {
    case miQ_INST_ITEM:
      *static_cast<miTag*>(result) = host.item;
      return miTRUE;
    case miQ_OBJ_LABEL:
      *static_cast<miInteger*>(result) = host.label;
      return miTRUE;
    case 15:
    case 165:
      return miTRUE;
    default:
      return miFALSE;
  }
}

FAKE_HOST_EXPORT miBoolean mi_tri_vectors(miState* state, int which, int ntex, const miVector** a,
                                          const miVector** b, const miVector** c) {
  FakeHost& host = hostOf(state);
  host.triangleRequests.emplace_back(which, ntex);
  *a = &host.vertices[0];
  *b = &host.vertices[1];
  *c = &host.vertices[2];
  return miTRUE;
}

FAKE_HOST_EXPORT miBoolean mi_ray_offset(const miState* state, double* offset) {
  FakeHost& host = hostOf(state);
  host.offsetsGiven.push_back(*offset);
  if (host.adjustOffset) *offset = host.adjustedOffset;
  return miTRUE;
}

FAKE_HOST_EXPORT miBoolean mi_trace_transparent(miColor* result, miState* state) {
  FakeHost& host = hostOf(state);
  const std::size_t index = host.traced.size();
  host.traced.push_back({state->dir, state->org, state->point});
  const Trace answer = index < host.traces.size() ? host.traces[index] : miss();
  state->child = &host.child;
  if (host.movePointOnTrace) state->point = {9.0f, 9.0f, 9.0f};
  if (!answer.ok) {
    // What a failed trace leaves behind looks like a blocker; it must not count.
    *result = {0.0f, 0.0f, 0.0f, 1.0f};
    host.child.dist = 3.0;
    return miFALSE;
  }
  *result = answer.color;
  host.child.dist = answer.hit;
  return miTRUE;
}

FAKE_HOST_EXPORT miBoolean mi_sample(double* sample, int* instance, miState* state,
                                     const miUshort dimension, const miUint* n) {
  FakeHost& host = hostOf(state);
  host.sampled.push_back({*instance, dimension, *n});
  const std::size_t index = host.sampled.size() - 1;
  if (index >= host.samples.size()) return miFALSE;
  sample[0] = host.samples[index][0];
  sample[1] = host.samples[index][1];
  ++*instance;
  return miTRUE;
}

}  // extern "C"

namespace {

// ---------------------------------------------------------------------------
// The library, loaded once per process.

using ShotWeaveFn = miBoolean (*)(Result*, miState*, Params*);
using ConstFn = miBoolean (*)(miColor*, miState*, ConstParams*);
using SetHandleFn = void (*)(void*);
using VersionFn = int (*)();
using QueryFn = miBoolean (*)(const miQ_type, miState*, miTag, void*, ...);

struct Library {
  qv::host::DynamicLibrary plugin;
  std::string error;
  void* host = nullptr;  // this executable
  SetHandleFn setModuleHandle = nullptr;
  ShotWeaveFn shotWeave = nullptr;
  ConstFn constShader = nullptr;
};

template <class Fn>
Fn symbolOf(const qv::host::DynamicLibrary& library, const char* name) {
  return reinterpret_cast<Fn>(library.symbol(name));
}

Library& library() {
  static Library* const loaded = [] {
    auto* lib = new Library;
#if defined(_WIN32)
    lib->host = GetModuleHandleA(nullptr);
#else
    lib->host = dlopen(nullptr, RTLD_NOW);
#endif
    const std::string path =
        std::string(QV_PLUGIN_DIR) + "/qv_shotWeave" + qv::host::libraryFileSuffix();
    if (lib->plugin.open(path, &lib->error)) {
      lib->setModuleHandle = symbolOf<SetHandleFn>(lib->plugin, "miSetModuleHandle");
      lib->shotWeave = symbolOf<ShotWeaveFn>(lib->plugin, "qv_shotWeave");
      lib->constShader = symbolOf<ConstFn>(lib->plugin, "qv_const");
    }
    return lib;
  }();
  return *loaded;
}

std::string handleText(const void* handle) {
  char text[32];
  std::snprintf(text, sizeof text, "%016" PRIXPTR, reinterpret_cast<std::uintptr_t>(handle));
  return text;
}

// ---------------------------------------------------------------------------
// Shading setup: a point at the origin with normal +z, a projector at
// (3, 0, 4): distance 5, direction (0.6, 0, 0.8), 36.87 degrees off the normal.

constexpr miVector kProjector = {3.0f, 0.0f, 4.0f};
constexpr miVector kPoint = {0.0f, 0.0f, 0.0f};
constexpr miVector kEntryDir = {0.1f, 0.2f, -1.0f};
constexpr miVector kEntryOrg = {1.0f, 2.0f, 7.0f};
constexpr miTag kInstance = 17;

constexpr miColor kRed = {0.6f, 0.1f, 0.2f, 0.9f};
constexpr miColor kBlue = {0.1f, 0.2f, 0.7f, 0.3f};
constexpr miColor kNoOffset = {0.0f, 0.0f, 0.0f, 0.0f};

Layer visibleLayer(miColor color, miScalar mask) {
  Layer layer{};
  layer.color = color;
  layer.mask = mask;
  // Only the translation row places the projector; the rest must be ignored.
  for (float& element : layer.placementMatrix) element = 0.5f;
  layer.placementMatrix[12] = kProjector.x;
  layer.placementMatrix[13] = kProjector.y;
  layer.placementMatrix[14] = kProjector.z;
  layer.placementMatrix[15] = 1.0f;
  layer.power = 1.0f;
  layer.angleThreshold = 90.0f;
  layer.labelExclude = -1;
  return layer;
}

void placeProjector(Layer& layer, miVector at) {
  layer.placementMatrix[12] = at.x;
  layer.placementMatrix[13] = at.y;
  layer.placementMatrix[14] = at.z;
}

// A shader instance laid out as mental ray lays one out: the shader record,
// the parameter block from its `parameters` member on, then one connection
// tag per word of the block, ghost_offs bytes past the word.
template <class Block>
class Shading {
  static constexpr std::size_t kBlockAt = offsetof(miFunction, parameters);
  std::vector<std::uint64_t> storage_;

 public:
  Shading()
      : storage_((std::max(sizeof(miFunction), kBlockAt + 2 * sizeof(Block)) + 7) / 8, 0u),
        shader(*new (storage_.data()) miFunction{}),
        params(*new (reinterpret_cast<char*>(storage_.data()) + kBlockAt) Block{}) {
    static_assert(sizeof(Block) % 4 == 0, "whole words");
    shader.parameter_size = static_cast<int>(sizeof(Block));
    shader.ghost_offs = static_cast<int>(sizeof(Block));
    state = entryState(&host);
  }
  Shading(const Shading&) = delete;
  Shading& operator=(const Shading&) = delete;

  miState entryState(FakeHost* owner) {
    miState s{};
    s.type = miRAY_EYE;
    s.shader = &shader;
    s.instance = kInstance;
    s.point = kPoint;
    s.normal = {0.0f, 0.0f, 1.0f};
    s.dir = kEntryDir;
    s.org = kEntryOrg;
    s.dist = 3.0;
    s.user = owner;
    return s;
  }

  // Gives the parameter at field a connection tag, and marks the instance
  // as having connections.
  void connect(const void* field, miTag tag) {
    char* at = const_cast<char*>(static_cast<const char*>(field));
    std::memcpy(at + shader.ghost_offs, &tag, sizeof tag);
    shader.has_connections = miTRUE;
  }

  bool evaluated(const void* field) const {
    for (const void* p : host.evaluated)
      if (p == field) return true;
    return false;
  }

  miFunction& shader;
  Block& params;
  FakeHost host;
  miState state{};
};

class Scene : public Shading<Params> {
 public:
  Layer& layer(int k) { return params.layers[params.i_layers + k]; }
  Layer& addLayer(miColor color, miScalar mask) {
    Layer& added = params.layers[params.i_layers + params.n_layers++];
    added = visibleLayer(color, mask);
    return added;
  }
  Result shade() {
    Result result;
    std::memset(&result, 0xAB, sizeof result);
    EXPECT_EQ(library().shotWeave(&result, &state, &params), miTRUE);
    return result;
  }
};

testing::AssertionResult colorNear(const miColor& actual, const miColor& expected) {
  const float a[4] = {actual.r, actual.g, actual.b, actual.a};
  const float e[4] = {expected.r, expected.g, expected.b, expected.a};
  for (int i = 0; i < 4; ++i) {
    if (!(std::fabs(a[i] - e[i]) <= 1e-6f * std::fmax(1.0f, std::fabs(e[i])))) {
      return testing::AssertionFailure()
             << "(" << a[0] << ", " << a[1] << ", " << a[2] << ", " << a[3] << ") vs expected ("
             << e[0] << ", " << e[1] << ", " << e[2] << ", " << e[3] << ")";
    }
  }
  return testing::AssertionSuccess();
}

miColor plus(const miColor& c, const miColor& offset) {
  return {c.r + offset.r, c.g + offset.g, c.b + offset.b, 0.0f};
}
miColor scaled(const miColor& c, float k) {
  return {c.r * k, c.g * k, c.b * k, c.a * k};
}
miColor withAlpha(const miColor& c, float a) {
  return {c.r, c.g, c.b, a};
}

void expectMasks(const Result& r, const std::map<int, float>& nonZero) {
  for (int s = 0; s < 20; ++s) {
    const auto found = nonZero.find(s);
    EXPECT_FLOAT_EQ(r.outMask[s], found != nonZero.end() ? found->second : 0.0f) << "outMask" << s;
  }
}

// The composite of a single layer of mask 1 seen with visibility v.
void expectSingleLayer(const Result& r, const miColor& color, float v) {
  EXPECT_TRUE(colorNear(r.outColor, withAlpha(scaled(color, v), v)));
  EXPECT_FLOAT_EQ(r.outAlpha, v);
  EXPECT_FLOAT_EQ(r.outMask[0], v + 1.0f);
}

class MentalRayTest : public testing::Test {
 protected:
  void SetUp() override {
    Library& lib = library();
    ASSERT_TRUE(lib.plugin.isOpen()) << lib.error;
    ASSERT_NE(lib.host, nullptr);
    ASSERT_TRUE(lib.setModuleHandle && lib.shotWeave && lib.constShader);
    lib.setModuleHandle(lib.host);
  }
};

// ---------------------------------------------------------------------------
// Entry points

using MentalRayEntry = MentalRayTest;

TEST_F(MentalRayEntry, VersionsAndCompanions) {
  const qv::host::DynamicLibrary& plugin = library().plugin;
  const auto shotWeaveVersion = symbolOf<VersionFn>(plugin, "qv_shotWeave_version");
  const auto constVersion = symbolOf<VersionFn>(plugin, "qv_const_version");
  ASSERT_TRUE(shotWeaveVersion && constVersion);
  EXPECT_EQ(shotWeaveVersion(), 22);
  EXPECT_EQ(constVersion(), 13);
  EXPECT_EQ(plugin.symbol("qv_const_init"), nullptr);
  EXPECT_EQ(plugin.symbol("qv_const_exit"), nullptr);

  using InitFn = void (*)(miState*, Params*, miBoolean*);
  using ExitFn = void (*)(miState*, Params*);
  const auto init = symbolOf<InitFn>(plugin, "qv_shotWeave_init");
  const auto exit = symbolOf<ExitFn>(plugin, "qv_shotWeave_exit");
  ASSERT_TRUE(init && exit);
  Scene scene;
  miBoolean request = 77;
  init(&scene.state, &scene.params, &request);
  exit(&scene.state, &scene.params);
  EXPECT_EQ(request, 77);
}

// ---------------------------------------------------------------------------
// Compositing

using MentalRayComposite = MentalRayTest;

TEST_F(MentalRayComposite, NoLayersGiveEmptyCoverage) {
  for (const miInteger count : {0, -3}) {
    Scene scene;
    scene.params.layers[0] = visibleLayer(kRed, 1.0f);
    scene.params.n_layers = count;
    const Result r = scene.shade();
    EXPECT_TRUE(colorNear(r.outColor, {0.0f, 0.0f, 0.0f, 0.0f}));
    EXPECT_TRUE(colorNear(r.outTransparency, {1.0f, 1.0f, 1.0f, 1.0f}));
    EXPECT_TRUE(colorNear(r.outMatte, {0.0f, 0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(r.outAlpha, 0.0f);
    expectMasks(r, {});
    EXPECT_TRUE(scene.host.traced.empty());
  }
}

TEST_F(MentalRayComposite, VisibleLayerShowsColourPlusOffset) {
  Scene scene;
  const miColor offset = {0.05f, 0.1f, -0.15f, 0.7f};
  scene.addLayer(kRed, 1.0f).colorOffset = offset;
  const Result r = scene.shade();
  EXPECT_TRUE(colorNear(r.outColor, withAlpha(plus(kRed, offset), 1.0f)));
  EXPECT_TRUE(colorNear(r.outTransparency, {0.0f, 0.0f, 0.0f, 1.0f}));
  EXPECT_TRUE(colorNear(r.outMatte, {1.0f, 1.0f, 1.0f, 1.0f}));
  EXPECT_EQ(r.outAlpha, 1.0f);
  expectMasks(r, {{0, 2.0f}});
}

TEST_F(MentalRayComposite, FirstLayerLiesOnTop) {
  {
    Scene scene;
    scene.addLayer(kRed, 1.0f);
    scene.addLayer(kBlue, 1.0f);
    const Result r = scene.shade();
    EXPECT_TRUE(colorNear(r.outColor, withAlpha(kRed, 1.0f)));
    expectMasks(r, {{0, 2.0f}, {1, 2.0f}});
  }
  {
    // A half-covering top layer lets the layer below through at half weight.
    Scene scene;
    scene.addLayer(kRed, 0.5f);
    scene.addLayer(kBlue, 1.0f);
    const Result r = scene.shade();
    EXPECT_TRUE(colorNear(r.outColor, {kBlue.r * 0.5f + kRed.r, kBlue.g * 0.5f + kRed.g,
                                       kBlue.b * 0.5f + kRed.b, 1.0f}));
    EXPECT_TRUE(colorNear(r.outTransparency, {0.0f, 0.0f, 0.0f, 1.0f}));
    expectMasks(r, {{0, 1.0f}, {1, 2.0f}});
  }
}

TEST_F(MentalRayComposite, NegativeChannelsRaisedToZeroWithoutUpperClamp) {
  Scene scene;
  scene.addLayer({2.5f, -0.5f, 0.25f, 1.0f}, 1.0f);
  const Result r = scene.shade();
  EXPECT_TRUE(colorNear(r.outColor, {2.5f, 0.0f, 0.25f, 1.0f}));
}

TEST_F(MentalRayComposite, PremultScalesColourByMask) {
  const miColor offset = {0.1f, 0.1f, 0.1f, 0.0f};
  for (const miBoolean premult : {miFALSE, miTRUE}) {
    Scene scene;
    Layer& layer = scene.addLayer(kRed, 0.5f);
    layer.colorOffset = offset;
    layer.premult = premult;
    const Result r = scene.shade();
    const miColor l = plus(kRed, offset);
    const miColor expected = premult ? scaled(l, 0.5f) : l;
    EXPECT_TRUE(colorNear(r.outColor, withAlpha(expected, 0.5f))) << "premult " << premult;
    expectMasks(r, {{0, 1.0f}});
  }
}

TEST_F(MentalRayComposite, InactiveLayersContributeOnlyTheirMask) {
  for (const bool byLabel : {false, true}) {
    SCOPED_TRACE(byLabel ? "labelExclude" : "passThrough");
    Scene scene;
    Layer& top = scene.addLayer(kRed, 0.7f);
    scene.addLayer(kBlue, 1.0f);
    top.useShadowOcclusion = miTRUE;  // skipped along with the other tests
    if (byLabel) {
      top.labelExclude = scene.host.label;
    } else {
      top.passThrough = miTRUE;
    }
    scene.layer(1).labelExclude = scene.host.label + 1;
    const Result r = scene.shade();
    EXPECT_TRUE(colorNear(r.outColor, withAlpha(kBlue, 1.0f)));
    expectMasks(r, {{0, 0.7f}, {1, 2.0f}});
    EXPECT_TRUE(scene.host.traced.empty());
    // Per layer: the instance's item, then that item's label.
    ASSERT_EQ(scene.host.queries.size(), 4u);
    for (std::size_t i = 0; i < 4; i += 2) {
      EXPECT_EQ(scene.host.queries[i].code, 7);
      EXPECT_EQ(scene.host.queries[i].tag, kInstance);
      EXPECT_EQ(scene.host.queries[i + 1].code, 22);
      EXPECT_EQ(scene.host.queries[i + 1].tag, scene.host.item);
    }
  }
  {
    Scene scene;
    scene.addLayer(kRed, 0.7f).passThrough = miTRUE;
    const Result r = scene.shade();
    EXPECT_TRUE(colorNear(r.outColor, {0.0f, 0.0f, 0.0f, 0.0f}));
    EXPECT_TRUE(colorNear(r.outTransparency, {1.0f, 1.0f, 1.0f, 1.0f}));
    expectMasks(r, {{0, 0.7f}});
  }
}

TEST_F(MentalRayComposite, ElementIndexIsFirstPlusLayer) {
  Scene scene;
  for (Layer& decoy : scene.params.layers) decoy = visibleLayer({0.9f, 0.9f, 0.9f, 1.0f}, 1.0f);
  scene.params.i_layers = 3;
  scene.params.layers[3] = visibleLayer(kRed, 0.5f);
  scene.params.layers[4] = visibleLayer(kBlue, 1.0f);
  scene.params.n_layers = 2;
  const Result r = scene.shade();
  EXPECT_TRUE(colorNear(r.outColor, {kBlue.r * 0.5f + kRed.r, kBlue.g * 0.5f + kRed.g,
                                     kBlue.b * 0.5f + kRed.b, 1.0f}));
  expectMasks(r, {{3, 1.0f}, {4, 2.0f}});
}

// The host's array header is two ints; their extremes must not overflow the
// shader's index arithmetic, and no layer lies before the array storage.
TEST_F(MentalRayComposite, ExtremeArrayHeadersStayDefined) {
  Scene none;
  none.params.layers[0] = visibleLayer(kRed, 1.0f);
  none.params.n_layers = std::numeric_limits<miInteger>::min();
  const Result empty = none.shade();
  EXPECT_EQ(empty.outAlpha, 0.0f);
  expectMasks(empty, {});

  Scene before;
  before.params.layers[0] = visibleLayer(kRed, 0.5f);
  before.params.i_layers = -1;
  before.params.n_layers = 2;
  const Result r = before.shade();
  EXPECT_TRUE(colorNear(r.outColor, withAlpha(kRed, 0.5f)));
  expectMasks(r, {{0, 1.0f}});
}

TEST_F(MentalRayComposite, IndexTwentyHasNoMaskOutput) {
  Scene scene;
  scene.params.i_layers = 19;
  scene.addLayer(kRed, 0.5f);
  scene.addLayer(kBlue, 1.0f);  // element 20
  const Result r = scene.shade();
  EXPECT_TRUE(colorNear(r.outColor, {kBlue.r * 0.5f + kRed.r, kBlue.g * 0.5f + kRed.g,
                                     kBlue.b * 0.5f + kRed.b, 1.0f}));
  expectMasks(r, {{19, 1.0f}});
}

TEST_F(MentalRayComposite, ShadowAndDisplacementRaysAreRefused) {
  for (const miRay_type type : {miRAY_SHADOW, miRAY_DISPLACE}) {
    Scene scene;
    scene.addLayer(kRed, 1.0f).useShadowOcclusion = miTRUE;
    scene.state.type = type;
    Result r, untouched;
    std::memset(&r, 0x5C, sizeof r);
    std::memcpy(&untouched, &r, sizeof r);
    EXPECT_EQ(library().shotWeave(&r, &scene.state, &scene.params), miFALSE) << type;
    EXPECT_EQ(std::memcmp(&r, &untouched, sizeof r), 0) << type;
    EXPECT_TRUE(scene.host.traced.empty() && scene.host.queries.empty());
  }
  Scene scene;
  scene.addLayer(kRed, 1.0f);
  scene.state.type = miRAY_LIGHT;
  EXPECT_TRUE(colorNear(scene.shade().outColor, withAlpha(kRed, 1.0f)));
}

// ---------------------------------------------------------------------------
// Angle and distance

using MentalRayLayerTests = MentalRayTest;

TEST_F(MentalRayLayerTests, AngleTestRunsForFacingOrOcclusion) {
  // The projector sits 36.87 degrees off the normal.
  const struct {
    miBoolean facing, occlusion;
    float threshold;
    float v;
  } cases[] = {
      {miTRUE, miFALSE, 36.8f, 0.0f}, {miTRUE, miFALSE, 36.9f, 1.0f},
      {miFALSE, miTRUE, 36.8f, 0.0f}, {miFALSE, miTRUE, 36.9f, 1.0f},
      {miFALSE, miFALSE, 0.0f, 1.0f},
  };
  for (const auto& c : cases) {
    Scene scene;
    Layer& layer = scene.addLayer(kRed, 1.0f);
    layer.useFacingRatio = c.facing;
    layer.useShadowOcclusion = c.occlusion;
    layer.angleThreshold = c.threshold;
    SCOPED_TRACE(testing::Message() << "facing " << c.facing << " occlusion " << c.occlusion
                                    << " threshold " << c.threshold);
    expectSingleLayer(scene.shade(), kRed, c.v);
  }
  // Behind the surface (143 degrees): the unblocked occlusion test alone still hides it.
  Scene scene;
  Layer& layer = scene.addLayer(kRed, 1.0f);
  placeProjector(layer, {3.0f, 0.0f, -4.0f});
  layer.useShadowOcclusion = miTRUE;
  expectSingleLayer(scene.shade(), kRed, 0.0f);
}

TEST_F(MentalRayLayerTests, DistanceThresholdCutsOnlyBeyondPositiveValue) {
  // The projector is 5 away.
  const std::pair<float, float> cases[] = {
      {0.0f, 1.0f}, {-2.0f, 1.0f}, {4.9f, 0.0f}, {5.0f, 1.0f}, {5.1f, 1.0f}};
  for (const auto& [threshold, v] : cases) {
    Scene scene;
    scene.addLayer(kRed, 1.0f).distanceThreshold = threshold;
    SCOPED_TRACE(testing::Message() << "threshold " << threshold);
    expectSingleLayer(scene.shade(), kRed, v);
  }
}

// ---------------------------------------------------------------------------
// Shadow occlusion

class MentalRayOcclusion : public MentalRayTest {
 protected:
  static Layer& occludedLayer(Scene& scene, float dilate, int samples, float softEdge,
                              float power) {
    Layer& layer = scene.addLayer(kRed, 1.0f);
    layer.useShadowOcclusion = miTRUE;
    layer.dilate = dilate;
    layer.samples = samples;
    layer.softEdge = softEdge;
    layer.power = power;
    return layer;
  }
  static std::vector<std::array<double, 2>> evenSamples(int n) {
    std::vector<std::array<double, 2>> s;
    for (int i = 0; i < n; ++i) s.push_back({0.5, (i + 0.5) / n});
    return s;
  }
};

TEST_F(MentalRayOcclusion, OffsetComesFromTriangleAndHost) {
  Scene scene;
  occludedLayer(scene, 0.0f, 0, 0.0f, 1.0f);
  scene.host.traces = {blocker(1.0f, 1.0)};
  expectSingleLayer(scene.shade(), kRed, 0.0f);
  // max(n . vertex) - n . d, with n = +z and d = (0.6, 0, 0.8)
  ASSERT_EQ(scene.host.offsetsGiven.size(), 1u);
  EXPECT_DOUBLE_EQ(scene.host.offsetsGiven[0],
                   static_cast<double>(0.2f) - static_cast<double>(4.0f / 5.0f));
  ASSERT_EQ(scene.host.triangleRequests.size(), 1u);
  EXPECT_EQ(scene.host.triangleRequests[0], std::make_pair(static_cast<int>('p'), 0));
}

TEST_F(MentalRayOcclusion, BlockedRayRule) {
  // With the host's offset 2 and the projector 5 away, a hit blocks only in (2, 5].
  const std::pair<Trace, float> cases[] = {
      {failed(), 1.0f},
      {blocker(1.0f, -1.0), 1.0f},
      {blocker(1.0f, 5.000001), 1.0f},
      {blocker(1.0f, 5.0), 0.0f},
      {blocker(1.0f, 2.0), 1.0f},
      {blocker(1.0f, 2.0 + 1e-9), 1.0f},  // above the offset only in double precision
      {blocker(1.0f, 1.0), 1.0f},         // would block against the unadjusted offset
      {blocker(1.0f, 2.001), 0.0f},
  };
  for (const auto& [trace, v] : cases) {
    Scene scene;
    occludedLayer(scene, 0.0f, 4, 0.0f, 1.0f);
    scene.host.adjustOffset = true;
    scene.host.adjustedOffset = 2.0;
    scene.host.traces = {trace};
    scene.host.samples = evenSamples(4);
    SCOPED_TRACE(testing::Message() << "ok " << trace.ok << " hit " << trace.hit);
    expectSingleLayer(scene.shade(), kRed, v);
    EXPECT_EQ(scene.host.traced.size(), 1u);
    EXPECT_TRUE(scene.host.sampled.empty()) << "no soft samples without dilate";
  }
}

TEST_F(MentalRayOcclusion, CentralBlockerSkipsSoftSamples) {
  Scene scene;
  occludedLayer(scene, 0.5f, 4, 0.0f, 2.0f);
  scene.host.traces = {blocker(0.4f, 2.0)};
  scene.host.samples = evenSamples(4);
  // Y = 0.6; power applies only with a positive soft edge.
  expectSingleLayer(scene.shade(), kRed, 0.6f);
  EXPECT_EQ(scene.host.traced.size(), 1u);
  EXPECT_TRUE(scene.host.sampled.empty());
}

TEST_F(MentalRayOcclusion, HardEdgeStopsAtFirstOccludedSample) {
  Scene scene;
  occludedLayer(scene, 0.5f, 4, 0.0f, 1.0f);
  scene.host.traces = {miss(), blocker(1.0f, 2.0)};
  scene.host.samples = evenSamples(4);
  expectSingleLayer(scene.shade(), kRed, 0.0f);
  EXPECT_EQ(scene.host.traced.size(), 2u);
  EXPECT_EQ(scene.host.sampled.size(), 1u);
}

TEST_F(MentalRayOcclusion, SoftEdgeWeighsOccludedSamples) {
  const struct {
    float softEdge, power, alpha, v;
  } cases[] = {
      {1.0f, 2.0f, 1.0f, 0.5625f},    // Z = 2 / 8 = 0.25, 0.75^2
      {0.5f, 3.0f, 0.5f, 0.421875f},  // Z = 2 * 0.5 / (8 * 0.5) = 0.25, 0.75^3
  };
  for (const auto& c : cases) {
    Scene scene;
    occludedLayer(scene, 0.5f, 8, c.softEdge, c.power);
    scene.host.traces = {miss(), miss(), blocker(c.alpha, 2.0), miss(),
                         miss(), miss(), blocker(c.alpha, 4.0)};
    scene.host.samples = evenSamples(8);
    SCOPED_TRACE(testing::Message() << "softEdge " << c.softEdge);
    expectSingleLayer(scene.shade(), kRed, c.v);
    EXPECT_EQ(scene.host.traced.size(), 9u);
    ASSERT_EQ(scene.host.sampled.size(), 9u);  // the ninth answers no more
    EXPECT_EQ(scene.host.sampled[0].instance, 0);
    for (const SampleCall& call : scene.host.sampled) {
      EXPECT_EQ(call.dimension, 2u);
      EXPECT_EQ(call.count, 8u);
    }
  }
}

// 0 to the power 0 is 1 and to a negative power infinite: an occluded layer
// would become fully visible.
TEST_F(MentalRayOcclusion, OccludedLayerStaysOccludedWhateverThePower) {
  for (const float power : {0.0f, -2.0f, 1.0f}) {
    Scene scene;
    occludedLayer(scene, 0.5f, 4, 1.0f, power);
    scene.host.traces = {blocker(1.0f, 2.0)};
    SCOPED_TRACE(testing::Message() << "power " << power);
    expectSingleLayer(scene.shade(), kRed, 0.0f);
    EXPECT_TRUE(scene.host.sampled.empty());
  }
  // Partly occluded, a power of 0 or less makes it fully visible, no more.
  for (const float power : {0.0f, -2.0f}) {
    Scene scene;
    occludedLayer(scene, 0.5f, 8, 1.0f, power);
    scene.host.traces = {miss(), blocker(1.0f, 2.0)};
    scene.host.samples = evenSamples(8);
    SCOPED_TRACE(testing::Message() << "power " << power);
    expectSingleLayer(scene.shade(), kRed, 1.0f);
  }
}

// A projector that is not finite leaves the distance undefined: each test
// that reads it alone cuts the layer, and no ray is traced toward it. With
// no test on, nothing reads it and the layer shows in full.
TEST_F(MentalRayOcclusion, UndefinedDistanceIsNotSeen) {
  for (const float x : {std::nanf(""), std::numeric_limits<float>::infinity()}) {
    SCOPED_TRACE(testing::Message() << "projector x " << x);
    Scene scene;
    occludedLayer(scene, 0.5f, 4, 1.0f, 2.0f).placementMatrix[12] = x;
    const Result r = scene.shade();
    expectSingleLayer(r, kRed, 0.0f);
    EXPECT_TRUE(std::isfinite(r.outColor.r));
    EXPECT_TRUE(scene.host.traced.empty());

    Scene facing;
    Layer& facingLayer = facing.addLayer(kRed, 1.0f);
    facingLayer.placementMatrix[12] = x;
    facingLayer.useFacingRatio = miTRUE;
    facingLayer.angleThreshold = 180.0f;
    expectSingleLayer(facing.shade(), kRed, 0.0f);

    Scene distant;
    Layer& distantLayer = distant.addLayer(kRed, 1.0f);
    distantLayer.placementMatrix[12] = x;
    distantLayer.distanceThreshold = 1e30f;
    expectSingleLayer(distant.shade(), kRed, 0.0f);

    Scene untested;
    untested.addLayer(kRed, 1.0f).placementMatrix[12] = x;
    expectSingleLayer(untested.shade(), kRed, 1.0f);
  }
}

TEST_F(MentalRayOcclusion, SoftSamplesAimAtDiscAroundProjector) {
  Scene scene;
  const float radius = 0.5f;
  occludedLayer(scene, radius, 3, 1.0f, 1.0f);
  scene.host.samples = {{{0.5, 0.25}}, {{1.0, 0.6}}, {{0.3, 0.0}}};
  expectSingleLayer(scene.shade(), kRed, 1.0f);
  ASSERT_EQ(scene.host.traced.size(), 4u);
  for (const SampleCall& call : scene.host.sampled) EXPECT_EQ(call.count, 3u);

  struct V {
    double x, y, z;
  };
  const auto cross = [](V a, V b) {
    return V{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  };
  const auto unit = [](V a) {
    const double l = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    return V{a.x / l, a.y / l, a.z / l};
  };
  const V projector{kProjector.x, kProjector.y, kProjector.z};
  const V a = unit({-projector.x, -projector.y, -projector.z});  // from projector to point
  const V u = unit(cross(a, {0.643782, 0.98432, 0.324632}));
  const V w = unit(cross(a, u));
  const auto expectDir = [](const miVector& actual, V expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-5);
    EXPECT_NEAR(actual.y, expected.y, 1e-5);
    EXPECT_NEAR(actual.z, expected.z, 1e-5);
  };
  expectDir(scene.host.traced[0].dir, {0.6, 0.0, 0.8});
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(testing::Message() << "sample " << i);
    const double rho = radius * scene.host.samples[i][0];
    const double theta = 6.283185307179586 * scene.host.samples[i][1];
    const double cu = rho * std::cos(theta), cw = rho * std::sin(theta);
    expectDir(scene.host.traced[i + 1].dir,
              unit({projector.x + cu * u.x + cw * w.x, projector.y + cu * u.y + cw * w.y,
                    projector.z + cu * u.z + cw * w.z}));
  }
}

TEST_F(MentalRayOcclusion, StateRestoredAndOriginsAsDocumented) {
  Scene scene;
  occludedLayer(scene, 0.5f, 3, 1.0f, 1.0f);
  scene.host.samples = evenSamples(3);
  scene.shade();
  ASSERT_EQ(scene.host.traced.size(), 4u);
  const auto same = [](const miVector& a, const miVector& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
  };
  // The origin moves to the point for the central ray and is put back only
  // after each sample, so the first sample still starts at the point.
  EXPECT_TRUE(same(scene.host.traced[0].org, kPoint));
  EXPECT_TRUE(same(scene.host.traced[1].org, kPoint));
  EXPECT_TRUE(same(scene.host.traced[2].org, kEntryOrg));
  EXPECT_TRUE(same(scene.host.traced[3].org, kEntryOrg));
  EXPECT_TRUE(same(scene.state.dir, kEntryDir));
  EXPECT_TRUE(same(scene.state.org, kEntryOrg));
  EXPECT_TRUE(same(scene.state.point, kPoint));

  // A host that moves the point while tracing gets it back too.
  Scene moved;
  occludedLayer(moved, 0.5f, 3, 1.0f, 1.0f);
  moved.host.samples = evenSamples(3);
  moved.host.movePointOnTrace = true;
  moved.shade();
  EXPECT_EQ(moved.host.traced.size(), 4u);
  EXPECT_TRUE(same(moved.state.dir, kEntryDir));
  EXPECT_TRUE(same(moved.state.org, kEntryOrg));
  EXPECT_TRUE(same(moved.state.point, kPoint));
}

// ---------------------------------------------------------------------------
// Parameter evaluation

using MentalRayParams = MentalRayTest;

// mi_eval asks the host exactly for parameters whose tag names a shader, and
// only when the record says it has connections; a set parameter (tag
// miPARAMTAG) and a default one (miNULLTAG) are read in place.
TEST_F(MentalRayParams, ConnectedParametersComeFromHost) {
  const miInteger firstLayer = 0;
  const miInteger oneLayer = 1;
  const miColor connectedColor = {0.7f, 0.6f, 0.5f, 1.0f};
  const miScalar ignoredMask = 0.25f;
  const miColor ignoredOffset = {1.0f, 1.0f, 1.0f, 1.0f};
  for (const miUchar flag : {miUchar{miTRUE}, miUchar{miFALSE}, miUchar{2}}) {
    Scene scene;
    // In the block, the array starts at element 3, a decoy, and is empty;
    // connected, it starts at 0 and has one element.
    for (Layer& decoy : scene.params.layers) decoy = visibleLayer({0.9f, 0.9f, 0.9f, 1.0f}, 1.0f);
    scene.params.i_layers = 3;
    Layer& layer = scene.params.layers[0];
    layer = visibleLayer(kRed, 1.0f);
    scene.connect(&scene.params.i_layers, 9);
    scene.connect(&scene.params.n_layers, 3);
    scene.connect(&layer.color, 5);
    scene.connect(&layer.mask, miPARAMTAG);
    scene.connect(&layer.colorOffset, miNULLTAG);
    scene.shader.has_connections = flag;
    scene.host.connected = {{&scene.params.i_layers, &firstLayer},
                            {&scene.params.n_layers, &oneLayer},
                            {&layer.color, &connectedColor},
                            {&layer.mask, &ignoredMask},
                            {&layer.colorOffset, &ignoredOffset}};
    const Result r = scene.shade();
    SCOPED_TRACE(testing::Message() << "has_connections " << int{flag});
    if (flag == miTRUE) {
      expectSingleLayer(r, connectedColor, 1.0f);
      EXPECT_TRUE(scene.evaluated(&scene.params.i_layers));
      EXPECT_TRUE(scene.evaluated(&scene.params.n_layers));
      EXPECT_TRUE(scene.evaluated(&layer.color));
      EXPECT_FALSE(scene.evaluated(&layer.mask));
      EXPECT_FALSE(scene.evaluated(&layer.colorOffset));
    } else {
      EXPECT_EQ(r.outAlpha, 0.0f);
      EXPECT_TRUE(scene.host.evaluated.empty());
    }
  }
}

TEST_F(MentalRayParams, InactiveTestsReadNothing) {
  const struct {
    miBoolean facing, occlusion;
    bool readsAngle, readsOcclusion;
  } cases[] = {
      {miFALSE, miFALSE, false, false},
      {miTRUE, miFALSE, true, false},
      {miFALSE, miTRUE, true, true},
  };
  for (const auto& c : cases) {
    Scene scene;
    Layer& layer = scene.addLayer(kRed, 1.0f);
    layer.useFacingRatio = c.facing;
    layer.useShadowOcclusion = c.occlusion;
    for (std::size_t offset = 0; offset < sizeof(Layer); offset += 4) {
      scene.connect(reinterpret_cast<const char*>(&layer) + offset, 1);
    }
    scene.shade();
    SCOPED_TRACE(testing::Message() << "facing " << c.facing << " occlusion " << c.occlusion);
    EXPECT_TRUE(scene.evaluated(&layer.useShadowOcclusion));
    EXPECT_EQ(scene.evaluated(&layer.angleThreshold), c.readsAngle);
    EXPECT_EQ(scene.evaluated(&layer.samples), c.readsOcclusion);
    EXPECT_EQ(scene.evaluated(&layer.dilate), c.readsOcclusion);
    EXPECT_EQ(scene.evaluated(&layer.softEdge), c.readsOcclusion);
    EXPECT_EQ(scene.evaluated(&layer.power), c.readsOcclusion);
  }
}

// ---------------------------------------------------------------------------
// qv_const

class MentalRayConst : public MentalRayTest {
 protected:
  struct Case : Shading<ConstParams> {
    Case(miScalar opacity, std::vector<Trace> traces) {
      params.color = {0.2f, 0.4f, 0.6f, 0.3f};  // its alpha plays no part
      params.opacity = opacity;
      params.alphaValue = 0.125f;
      host.traces = std::move(traces);
    }
    miColor shade() {
      miColor result = {-9.0f, -9.0f, -9.0f, -9.0f};
      EXPECT_EQ(library().constShader(&result, &state, &params), miTRUE);
      return result;
    }
  };
};

TEST_F(MentalRayConst, OpaqueTracesNothing) {
  Case c(1.0f, {behind({1.0f, 1.0f, 1.0f, 1.0f})});
  EXPECT_TRUE(colorNear(c.shade(), {0.2f, 0.4f, 0.6f, 1.0f}));
  c.params.alphaOverride = miTRUE;
  EXPECT_TRUE(colorNear(c.shade(), {0.2f, 0.4f, 0.6f, 0.125f}));
  EXPECT_TRUE(c.host.traced.empty());
}

TEST_F(MentalRayConst, AddsWhatLiesBehind) {
  const miColor white = {1.0f, 1.0f, 1.0f, 1.0f};
  const struct {
    float opacity;
    miColor behind, expected;
  } cases[] = {
      {0.0f, white, {1.2f, 1.4f, 1.6f, 1.0f}},
      {1.5f, white, {-0.3f, -0.1f, 0.1f, 1.0f}},  // rgb unclamped
      {0.5f, white, {0.7f, 0.9f, 1.1f, 1.0f}},
      {2.0f, {0.0f, 0.0f, 0.0f, 0.5f}, {0.2f, 0.4f, 0.6f, 1.0f}},   // 1.5 clamped
      {-0.5f, {0.0f, 0.0f, 0.0f, 0.0f}, {0.2f, 0.4f, 0.6f, 0.0f}},  // -0.5 clamped
  };
  for (const auto& k : cases) {
    Case c(k.opacity, {behind(k.behind)});
    c.state.type = miRAY_SHADOW;  // any ray type
    SCOPED_TRACE(testing::Message() << "opacity " << k.opacity);
    EXPECT_TRUE(colorNear(c.shade(), k.expected));
    EXPECT_EQ(c.host.traced.size(), 1u);
  }
  Case overridden(0.0f, {behind(white)});
  overridden.params.alphaOverride = miTRUE;
  EXPECT_TRUE(colorNear(overridden.shade(), {1.2f, 1.4f, 1.6f, 0.125f}));
}

TEST_F(MentalRayConst, FailedTraceLeavesColourAlone) {
  Case c(0.25f, {failed()});
  EXPECT_TRUE(colorNear(c.shade(), {0.2f, 0.4f, 0.6f, 0.25f}));
}

TEST_F(MentalRayConst, ConnectedOpacityComesFromHost) {
  const miScalar opaque = 1.0f;
  Case c(0.5f, {behind({1.0f, 1.0f, 1.0f, 1.0f})});
  c.connect(&c.params.opacity, 4);
  c.host.connected = {{&c.params.opacity, &opaque}};
  EXPECT_TRUE(colorNear(c.shade(), {0.2f, 0.4f, 0.6f, 1.0f}));
  EXPECT_TRUE(c.host.traced.empty());
}

// ---------------------------------------------------------------------------
// Binding to the host module

using MentalRayBinding = MentalRayConst;

TEST_F(MentalRayBinding, NoHandleFindsTheHostWhereThePlatformPutsIt) {
  library().setModuleHandle(nullptr);
  Case c(0.5f, {behind({1.0f, 1.0f, 1.0f, 1.0f})});
  testing::internal::CaptureStderr();
  const miColor r = c.shade();
  const std::string err = testing::internal::GetCapturedStderr();
  // Windows: GetProcAddress takes a null module for the process's
  // executable, which here plays the host: after the message the lookup
  // finds its functions. Elsewhere the host hands over no module and its
  // functions are in the process's global scope, as this executable's are.
#if defined(_WIN32)
  EXPECT_EQ(err, "DYNLOAD: dl_handle null\n");
#else
  EXPECT_EQ(err, "");
#endif
  EXPECT_TRUE(colorNear(r, {0.7f, 0.9f, 1.1f, 1.0f}));
  EXPECT_EQ(c.host.traced.size(), 1u);
}

TEST_F(MentalRayBinding, UnresolvedNameIsReportedAndRetried) {
  void* const module = library().plugin.nativeHandle();  // offers no host function
  library().setModuleHandle(module);
  const std::string expected = "dlsym failed on \"mi_trace_transparent\" (handle: 0x" +
                               handleText(module) + ", error: 127)\n";
  for (int call = 0; call < 2; ++call) {
    Case c(0.5f, {behind({1.0f, 1.0f, 1.0f, 1.0f})});
    testing::internal::CaptureStderr();
    const miColor r = c.shade();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), expected) << "call " << call;
    EXPECT_TRUE(colorNear(r, {0.2f, 0.4f, 0.6f, 0.5f}));
  }
  library().setModuleHandle(library().host);
  Case c(0.5f, {behind({1.0f, 1.0f, 1.0f, 1.0f})});
  testing::internal::CaptureStderr();
  EXPECT_TRUE(colorNear(c.shade(), {0.7f, 0.9f, 1.1f, 1.0f}));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(MentalRayBinding, RebindingEmptiesTable) {
  const auto traces = [](void* module) {
    library().setModuleHandle(module);
    Case c(0.5f, {});
    testing::internal::CaptureStderr();
    c.shade();
    return std::make_pair(c.host.traced.size(), testing::internal::GetCapturedStderr());
  };
  void* const plugin = library().plugin.nativeHandle();
  EXPECT_EQ(traces(library().host), std::make_pair(std::size_t{1}, std::string()));
  // A slot filled from the first module must not survive the switch.
  EXPECT_EQ(traces(plugin),
            std::make_pair(std::size_t{0}, "dlsym failed on \"mi_trace_transparent\" (handle: 0x" +
                                               handleText(plugin) + ", error: 127)\n"));
  EXPECT_EQ(traces(library().host), std::make_pair(std::size_t{1}, std::string()));
}

// The plug-in keeps its wrappers to itself; the probe is the same binding
// code built with them visible.
TEST_F(MentalRayBinding, QueryForwardsExtraArguments) {
  qv::host::DynamicLibrary probe;
  std::string error;
  ASSERT_TRUE(probe.open(QV_BINDING_PROBE, &error)) << error;
  const auto bind = symbolOf<SetHandleFn>(probe, "miSetModuleHandle");
  const auto query = symbolOf<QueryFn>(probe, "mi_query");
  ASSERT_TRUE(bind && query);

  FakeHost host;
  miState state{};
  state.user = &host;
  int first = 0, second = 0, third = 0;
  miInteger label = 0;
  // Each call resolves afresh, so that the lookup overwrites the argument
  // registers that a wrapper forwarding too little would leave in place.
  bind(library().host);
  EXPECT_EQ(query(miQ_GROUP_KID, &state, 5, &label, &first), miTRUE);
  bind(library().host);
  EXPECT_EQ(query(miQ_FUNC_PARAM_VALUE, &state, 6, &label, &second, &third), miTRUE);
  bind(library().host);
  EXPECT_EQ(query(miQ_OBJ_LABEL, &state, 7, &label), miTRUE);
  EXPECT_EQ(label, host.label);
  EXPECT_EQ(query(static_cast<miQ_type>(3), &state, 8, &label), miFALSE);
  ASSERT_EQ(host.queries.size(), 4u);
  EXPECT_EQ(host.queries[0].code, 15);
  EXPECT_EQ(host.queries[0].tag, 5u);
  EXPECT_EQ(host.queries[0].extras, std::vector<void*>{&first});
  EXPECT_EQ(host.queries[1].code, 165);
  EXPECT_EQ(host.queries[1].tag, 6u);
  EXPECT_EQ(host.queries[1].extras, (std::vector<void*>{&second, &third}));
  EXPECT_EQ(host.queries[2].tag, 7u);
}

// ---------------------------------------------------------------------------
// Render threads

using MentalRayThreads = MentalRayTest;

TEST_F(MentalRayThreads, ConcurrentShadingMatchesOneThread) {
  Scene scene;
  const miColor connectedColor = {0.3f, 0.8f, 0.1f, 1.0f};
  Layer& top = scene.addLayer(kRed, 0.8f);
  top.useShadowOcclusion = miTRUE;
  top.dilate = 0.5f;
  top.samples = 6;
  top.softEdge = 1.0f;
  top.power = 2.0f;
  scene.addLayer(kBlue, 1.0f);
  scene.connect(&scene.layer(1).color, 2);
  scene.host.connected = {{&scene.layer(1).color, &connectedColor}};
  scene.host.traces = {miss(), blocker(1.0f, 2.0), miss(), blocker(0.5f, 3.0)};
  scene.host.samples = {{{0.1, 0.2}}, {{0.9, 0.4}}, {{0.5, 0.5}}, {{0.3, 0.7}}, {{0.7, 0.9}}};
  const FakeHost script = scene.host;

  const Result reference = scene.shade();
  // Every host function takes part.
  EXPECT_FALSE(scene.host.evaluated.empty() || scene.host.queries.empty() ||
               scene.host.triangleRequests.empty() || scene.host.offsetsGiven.empty() ||
               scene.host.sampled.empty());
  EXPECT_EQ(scene.host.traced.size(), 6u);

  // Slots empty again: the threads race to resolve them.
  library().setModuleHandle(library().host);
  constexpr int kThreads = 4;
  constexpr int kCalls = 16;
  std::vector<std::vector<Result>> results(kThreads);
  std::vector<int> refused(kThreads, 0);
  std::atomic<int> waiting{kThreads};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      waiting.fetch_sub(1);
      while (waiting.load() > 0) std::this_thread::yield();
      for (int call = 0; call < kCalls; ++call) {
        FakeHost host = script;
        miState state = scene.entryState(&host);
        Result r;
        if (!library().shotWeave(&r, &state, &scene.params)) ++refused[t];
        results[t].push_back(r);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(refused[t], 0);
    for (const Result& r : results[t]) {
      EXPECT_EQ(std::memcmp(&r, &reference, sizeof r), 0) << "thread " << t;
    }
  }
}

}  // namespace
