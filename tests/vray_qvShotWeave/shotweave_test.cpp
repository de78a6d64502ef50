#include "qvShotWeave.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "plugin_manager.h"
#include "renderer.h"
#include "vrayhost/parameters.h"

// The library descriptor of the copy of qvShotWeave linked into this test.
VRAY_PLUGIN_EXPORT PluginLibDesc* getLibDesc();

namespace qv::shotweave {
namespace {

using vrayhost::ParamKind;
using vrayhost::PluginInstance;
using VUtils::AColor;
using VUtils::TextureFloatInterface;
using VUtils::TextureInterface;
using VUtils::Vector;
using VUtils::VRayContext;

// An input texture whose value, bounds and gradient the test sets, and
// which counts how often it is evaluated.
class TestColour final : public TextureInterface {
 public:
  explicit TestColour(const AColor& v) : value(v), boundsMin(v), boundsMax(v) {}

  Plugin* getPlugin() override { return nullptr; }
  AColor texColor(const VRayContext&) override {
    ++calls;
    return value;
  }
  void texColorBounds(AColor& cmin, AColor& cmax) override {
    cmin = boundsMin;
    cmax = boundsMax;
  }
  Vector colorBumpGradient(const VRayContext&) override { return gradient; }

  AColor value;
  AColor boundsMin;
  AColor boundsMax;
  Vector gradient;
  int calls = 0;
};

class TestFloat final : public TextureFloatInterface {
 public:
  Plugin* getPlugin() override { return nullptr; }
  float texFloat(const VRayContext&) override { return 0.5f; }
  void texFloatBounds(float& fmin, float& fmax) override { fmin = fmax = 0.5f; }
};

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

// Hands out contexts the way one render thread does: every call is a new
// shading point with a fresh stamp.
class Thread {
 public:
  explicit Thread(int index = 0) { data_.threadIndex = index; }
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  VRayContext next(int cacheIndex = 0) { return at(cacheIndex, ++stamp_); }
  VRayContext at(int cacheIndex, uint32 stamp, uint32 flags = 0) const {
    VRayContext rc;
    rc.threadData = &data_;
    rc.cacheIndex = cacheIndex;
    rc.cacheStamp = stamp;
    rc.rayparams.rayFlags = flags;
    return rc;
  }

 private:
  VUtils::VRayThreadData data_;
  uint32 stamp_ = 100;
};

void expectColour(const AColor& actual, const AColor& expected, const char* what = "") {
  EXPECT_EQ(actual.r, expected.r) << what;
  EXPECT_EQ(actual.g, expected.g) << what;
  EXPECT_EQ(actual.b, expected.b) << what;
  EXPECT_EQ(actual.a, expected.a) << what;
}

void expectNearColour(const AColor& actual, const AColor& expected, const char* what = "") {
  constexpr float kTolerance = 1e-6f;
  EXPECT_NEAR(actual.r, expected.r, kTolerance) << what;
  EXPECT_NEAR(actual.g, expected.g, kTolerance) << what;
  EXPECT_NEAR(actual.b, expected.b, kTolerance) << what;
  EXPECT_NEAR(actual.a, expected.a, kTolerance) << what;
}

void expectVector(const Vector& actual, const Vector& expected) {
  EXPECT_EQ(actual.x, expected.x);
  EXPECT_EQ(actual.y, expected.y);
  EXPECT_EQ(actual.z, expected.z);
}

// A qvShotWeave made from the descriptor linked into this test, so that its
// class (and cache) can be inspected directly.
class ShotWeaveTest : public testing::Test {
 protected:
  void SetUp() override {
    desc_ = linkedDesc();
    ASSERT_NE(desc_, nullptr);
    desc_->registerPlugin(&host_);
    instance_ = std::make_unique<PluginInstance>(desc_, desc_->newPlugin(&host_));
    ASSERT_NE(instance_->plugin(), nullptr);
    tex_ = dynamic_cast<qvShotWeave*>(instance_->plugin());
    ASSERT_NE(tex_, nullptr);
  }

  void link(const char* name, PluginInterface* input) {
    std::string error;
    ASSERT_TRUE(params().setLink(name, ParamKind::Color, input, &error)) << error;
  }
  void setColour(const char* name, const AColor& value) {
    std::string error;
    ASSERT_TRUE(params().setConstant(name, value, &error)) << error;
  }
  VUtils::VRayParameterList::Impl& params() { return tex_->getParameterList()->impl(); }

  void frame() { tex_->frameBegin(&renderer_); }

  float alpha(const VRayContext& rc) { return tex_->outAlpha().texFloat(rc); }
  AColor matte(const VRayContext& rc) { return tex_->outMatte().texColor(rc); }
  AColor transparency(const VRayContext& rc) { return tex_->outTransparency().texColor(rc); }

  RecordingHost host_;
  PluginDesc* desc_ = nullptr;
  std::unique_ptr<PluginInstance> instance_;
  qvShotWeave* tex_ = nullptr;
  vrayhost::StandInRenderer renderer_{1};
  Thread thread_;
};

// ---------------------------------------------------------------------------
// Library and descriptor

TEST(ShotWeaveLibrary, DescribesOneTexture) {
  PluginLibDesc* lib = getLibDesc();
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(lib, getLibDesc());
  EXPECT_STREQ(lib->getLibName(), "qvShotWeave");
  EXPECT_STREQ(lib->getLibDescription(), "qvShotWeave for VRay");

  RecordingEnumerator e;
  EXPECT_EQ(lib->enumPluginDescs(&e), 1);
  ASSERT_EQ(e.descs.size(), 1u);
  ASSERT_NE(e.descs[0], nullptr);
  EXPECT_EQ(lib->enumPluginDescs(nullptr), 1);

  // Every enumeration hands out the same descriptor.
  RecordingEnumerator again;
  lib->enumPluginDescs(&again);
  ASSERT_EQ(again.descs.size(), 1u);
  EXPECT_EQ(again.descs[0], e.descs[0]);
}

TEST(ShotWeaveLibrary, DescriptorIdentityAndInterfaces) {
  PluginDesc* desc = linkedDesc();
  ASSERT_NE(desc, nullptr);
  EXPECT_EQ(desc->getPluginID(), 2012062512u);
  EXPECT_STREQ(desc->getName(), "qvShotWeave");
  EXPECT_TRUE(desc->supportsInterface(0x77780002));
  EXPECT_TRUE(desc->supportsInterface(0x7776FFFF));
  for (const PluginID other : {0x0u, 0x77780001u, 0x77780003u, 0x7776FFFEu, 0xFFFFFFFFu,
                               static_cast<PluginID>(VUtils::EXT_TEXTURE_FLOAT),
                               static_cast<PluginID>(VUtils::EXT_TEXTURE_INT),
                               static_cast<PluginID>(VUtils::EXT_TEXTURE_TRANSFORM)}) {
    EXPECT_FALSE(desc->supportsInterface(other)) << std::hex << other;
  }
  desc->deletePlugin(nullptr);
}

TEST(ShotWeaveLibrary, RegistersItsParametersInOrder) {
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
  };
  const Expected expected[] = {
      {"color_a", ParamKind::Color},
      {"matte_a", ParamKind::Color},
      {"color_b", ParamKind::Color},
      {"matte_b", ParamKind::Color},
      {"outAlpha", ParamKind::OutputFloat},
      {"outMatte", ParamKind::OutputColor},
      {"outTransparency", ParamKind::OutputColor},
  };
  const auto& declared = params->impl().params;
  ASSERT_EQ(declared.size(), std::size(expected));
  for (std::size_t i = 0; i < declared.size(); ++i) {
    EXPECT_EQ(declared[i].name, expected[i].name) << i;
    EXPECT_EQ(declared[i].kind, expected[i].kind) << expected[i].name;
  }
}

// ---------------------------------------------------------------------------
// Interfaces

TEST_F(ShotWeaveTest, AnswersForItsTextureAndPluginParts) {
  Plugin* plugin = instance_->plugin();
  EXPECT_STREQ(static_cast<Plugin*>(tex_)->getPluginDesc()->getName(), "qvShotWeave");

  PluginInterface* texture = plugin->getInterface(0x77780002);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture, static_cast<TextureInterface*>(tex_));
  EXPECT_EQ(texture->getInterfaceID(), 0x77780002u);
  EXPECT_STREQ(texture->getInterfaceName(), "EXT_TEXTURE");
  EXPECT_EQ(texture->getPlugin(), plugin);

  PluginInterface* vray = plugin->getInterface(0x7776FFFF);
  ASSERT_NE(vray, nullptr);
  EXPECT_EQ(vray, static_cast<VUtils::VRayPluginInterface*>(tex_));
  EXPECT_EQ(vray->getInterfaceID(), 0x7776FFFFu);
  EXPECT_STREQ(vray->getInterfaceName(), "EXT_VRAY_PLUGIN");
  EXPECT_EQ(vray->getPlugin(), plugin);
}

TEST_F(ShotWeaveTest, FindsInterfacesAddedAtRunTime) {
  Plugin* plugin = instance_->plugin();
  EXPECT_EQ(plugin->getInterface(VUtils::EXT_TEXTURE_FLOAT), nullptr);
  EXPECT_EQ(plugin->getInterface(0x12345678), nullptr);

  TestFloat extra;
  EXPECT_EQ(plugin->addInterface(&extra, 0), 1);
  EXPECT_EQ(plugin->getInterface(VUtils::EXT_TEXTURE_FLOAT), &extra);
  // Its own parts still come first.
  EXPECT_EQ(plugin->getInterface(VUtils::EXT_TEXTURE), static_cast<TextureInterface*>(tex_));
  EXPECT_EQ(plugin->removeInterface(&extra), 1);
  EXPECT_EQ(plugin->removeInterface(&extra), 0);
  EXPECT_EQ(plugin->getInterface(VUtils::EXT_TEXTURE_FLOAT), nullptr);
}

TEST_F(ShotWeaveTest, OutputsAreSubTexturesOfNoPlugin) {
  struct Expected {
    const char* name;
    ParamKind kind;
    PluginInterface* object;
    PluginID id;
    const char* interfaceName;
  };
  const Expected expected[] = {
      {"outAlpha", ParamKind::OutputFloat, &tex_->outAlpha(), VUtils::EXT_TEXTURE_FLOAT,
       "EXT_TEXTURE_FLOAT"},
      {"outMatte", ParamKind::OutputColor, &tex_->outMatte(), VUtils::EXT_TEXTURE, "EXT_TEXTURE"},
      {"outTransparency", ParamKind::OutputColor, &tex_->outTransparency(), VUtils::EXT_TEXTURE,
       "EXT_TEXTURE"},
  };
  for (const Expected& e : expected) {
    const auto* output = params().findOutput(e.name);
    ASSERT_NE(output, nullptr) << e.name;
    EXPECT_EQ(output->kind, e.kind) << e.name;
    EXPECT_EQ(output->iface, e.object) << e.name;
    EXPECT_EQ(output->iface->getPlugin(), nullptr) << e.name;
    EXPECT_EQ(output->iface->getInterfaceID(), e.id) << e.name;
    EXPECT_STREQ(output->iface->getInterfaceName(), e.interfaceName) << e.name;
  }
  EXPECT_EQ(params().findOutput("color_a"), nullptr);
}

// ---------------------------------------------------------------------------
// Evaluation

TEST_F(ShotWeaveTest, NothingConnected) {
  frame();
  const VRayContext rc = thread_.next();
  expectColour(tex_->texColor(rc), AColor(0.0f, 0.0f, 0.0f, 2.0f));
  EXPECT_EQ(alpha(rc), 0.0f);
  expectColour(matte(rc), AColor(0.0f, 0.0f, 0.0f, 1.0f));
  expectColour(transparency(rc), AColor(1.0f, 1.0f, 1.0f, 1.0f));
  expectVector(tex_->colorBumpGradient(rc), Vector(0.0f, 0.0f, 0.0f));
}

TEST_F(ShotWeaveTest, WhiteMatteAShowsOnlyColourA) {
  const AColor a(0.3f, 0.6f, 0.9f, 0.7f);
  setColour("color_a", a);
  setColour("color_b", AColor(5.0f, -7.0f, 11.0f, 0.5f));
  setColour("matte_a", AColor(1.0f, 1.0f, 1.0f, 0.0f));
  frame();
  expectColour(tex_->texColor(thread_.next()), a);
}

TEST_F(ShotWeaveTest, GreyMatteAAddsHalfOfColourB) {
  setColour("color_a", AColor(0.25f, 0.5f, 0.125f, 0.5f));
  setColour("color_b", AColor(0.5f, 0.25f, 1.0f, 1.0f));
  setColour("matte_a", AColor(0.5f, 0.5f, 0.5f, 1.0f));
  frame();
  expectColour(tex_->texColor(thread_.next()), AColor(0.5f, 0.625f, 0.625f, 1.0f));

  // Only the matte's r, g and b make up its weight.
  setColour("matte_a", AColor(0.5f, 0.5f, 0.5f, 100.0f));
  frame();
  expectColour(tex_->texColor(thread_.next()), AColor(0.5f, 0.625f, 0.625f, 1.0f));

  // The same mean from unequal channels gives the same weight.
  setColour("matte_a", AColor(0.0f, 0.5f, 1.0f, 1.0f));
  frame();
  expectColour(tex_->texColor(thread_.next()), AColor(0.5f, 0.625f, 0.625f, 1.0f));
}

TEST_F(ShotWeaveTest, MatteABeyondOneSubtractsColourBUnclamped) {
  setColour("color_a", AColor(1.0f, 1.0f, 1.0f, 1.0f));
  setColour("color_b", AColor(0.25f, 0.5f, 2.0f, 0.5f));
  setColour("matte_a", AColor(1.0f, 1.0f, 4.0f, 1.0f));
  frame();
  expectColour(tex_->texColor(thread_.next()), AColor(0.75f, 0.5f, -1.0f, 0.5f));

  // A negative matte amplifies B instead: w = 1 - (-1) = 2.
  setColour("matte_a", AColor(-1.0f, -2.0f, 0.0f, 1.0f));
  frame();
  expectColour(tex_->texColor(thread_.next()), AColor(1.5f, 2.0f, 5.0f, 2.0f));
}

TEST_F(ShotWeaveTest, UnconnectedInputsCountAsOpaqueBlack) {
  // Colour B alone: the unconnected matte A lets all of it through, and the
  // unconnected colour A adds its alpha of one.
  setColour("color_b", AColor(0.25f, 0.5f, 0.75f, 0.5f));
  frame();
  expectColour(tex_->texColor(thread_.next()), AColor(0.25f, 0.5f, 0.75f, 1.5f));
}

TEST_F(ShotWeaveTest, MatteBNeverChangesTheColour) {
  setColour("color_a", AColor(0.25f, 0.5f, 0.75f, 1.0f));
  setColour("color_b", AColor(1.0f, 2.0f, 4.0f, 1.0f));
  setColour("matte_a", AColor(0.25f, 0.25f, 0.25f, 1.0f));
  frame();
  const AColor reference = tex_->texColor(thread_.next());
  expectColour(reference, AColor(1.0f, 2.0f, 3.75f, 1.75f));
  for (const AColor& mb : {AColor(0.0f, 0.0f, 0.0f, 0.0f), AColor(1.0f, 1.0f, 1.0f, 1.0f),
                           AColor(7.0f, -3.0f, 2.0f, 9.0f)}) {
    setColour("matte_b", mb);
    frame();
    expectColour(tex_->texColor(thread_.next()), reference);
  }
}

TEST_F(ShotWeaveTest, MatteOutputsFromExactSums) {
  // Sums (0.75, 1.5, 0.25), then the same rotated through the channels; the
  // mattes' alphas take no part.
  const float a[] = {0.5f, 0.75f, 0.125f};
  const float b[] = {0.25f, 0.75f, 0.125f};
  const float matteOut[] = {0.75f, 1.0f, 0.25f};
  const float transparencyOut[] = {0.25f, 0.0f, 0.75f};
  for (int k = 0; k < 3; ++k) {
    const int r = k, g = (k + 1) % 3, bl = (k + 2) % 3;
    setColour("matte_a", AColor(a[r], a[g], a[bl], 7.0f));
    setColour("matte_b", AColor(b[r], b[g], b[bl], -3.0f));
    frame();
    const VRayContext rc = thread_.next();
    const std::string what = "rotation " + std::to_string(k);
    expectColour(matte(rc), AColor(matteOut[r], matteOut[g], matteOut[bl], 1.0f), what.c_str());
    EXPECT_FLOAT_EQ(alpha(rc), 2.0f / 3.0f) << what;
    expectColour(transparency(rc),
                 AColor(transparencyOut[r], transparencyOut[g], transparencyOut[bl], 1.0f),
                 what.c_str());
  }
}

TEST_F(ShotWeaveTest, MatteOutputsFromInexactSums) {
  setColour("matte_a", AColor(0.4f, 0.9f, 0.1f, 1.0f));
  setColour("matte_b", AColor(0.3f, 0.5f, 0.1f, 1.0f));
  frame();
  const VRayContext rc = thread_.next();
  // Sums (0.7, 1.4, 0.2): the capped channel and the alphas are exact.
  const AColor m = matte(rc);
  expectNearColour(m, AColor(0.7f, 1.0f, 0.2f, 1.0f));
  EXPECT_EQ(m.g, 1.0f);
  EXPECT_EQ(m.a, 1.0f);
  EXPECT_NEAR(alpha(rc), (0.7f + 1.0f + 0.2f) / 3.0f, 1e-6f);
  const AColor t = transparency(rc);
  expectNearColour(t, AColor(0.3f, 0.0f, 0.8f, 1.0f));
  EXPECT_EQ(t.g, 0.0f);
  EXPECT_EQ(t.a, 1.0f);
}

TEST_F(ShotWeaveTest, NegativeMatteSumIsKeptButTransparencyIsCapped) {
  setColour("matte_a", AColor(-0.5f, 0.25f, 0.0f, 1.0f));
  setColour("matte_b", AColor(0.3f, 0.25f, 0.0f, 1.0f));
  frame();
  const VRayContext rc = thread_.next();
  const AColor m = matte(rc);
  expectNearColour(m, AColor(-0.2f, 0.5f, 0.0f, 1.0f));
  EXPECT_LT(m.r, 0.0f);
  EXPECT_NEAR(alpha(rc), (-0.2f + 0.5f + 0.0f) / 3.0f, 1e-6f);
  expectColour(transparency(rc), AColor(1.0f, 0.5f, 1.0f, 1.0f));
}

TEST_F(ShotWeaveTest, MatteOutputsWithOnlyMatteA) {
  setColour("matte_a", AColor(0.25f, 0.5f, 0.75f, 0.0f));
  frame();
  const VRayContext rc = thread_.next();
  expectColour(matte(rc), AColor(0.25f, 0.5f, 0.75f, 1.0f));
  EXPECT_FLOAT_EQ(alpha(rc), 0.5f);
  expectColour(transparency(rc), AColor(0.75f, 0.5f, 0.25f, 1.0f));
}

TEST_F(ShotWeaveTest, MatteOutputsWithOnlyMatteB) {
  setColour("matte_b", AColor(0.5f, 0.0f, 1.0f, 0.0f));
  frame();
  const VRayContext rc = thread_.next();
  expectColour(matte(rc), AColor(0.5f, 0.0f, 1.0f, 1.0f));
  EXPECT_FLOAT_EQ(alpha(rc), 0.5f);
  expectColour(transparency(rc), AColor(0.5f, 1.0f, 0.0f, 1.0f));
}

TEST_F(ShotWeaveTest, OutputsSeeNoInputsBeforeTheFirstFrame) {
  TestColour colourA(AColor(0.5f, 0.5f, 0.5f, 1.0f));
  TestColour matteA(AColor(0.25f, 0.5f, 0.75f, 1.0f));
  TestColour matteB(AColor(0.25f, 0.25f, 0.25f, 1.0f));
  link("color_a", &colourA);
  link("matte_a", &matteA);
  link("matte_b", &matteB);
  const VRayContext rc = thread_.next();
  EXPECT_EQ(alpha(rc), 0.0f);
  expectColour(matte(rc), AColor(0.0f, 0.0f, 0.0f, 1.0f));
  expectColour(transparency(rc), AColor(1.0f, 1.0f, 1.0f, 1.0f));
  EXPECT_EQ(matteA.calls + matteB.calls, 0);

  frame();
  const VRayContext after = thread_.next();
  expectColour(matte(after), AColor(0.5f, 0.75f, 1.0f, 1.0f));
  EXPECT_GT(matteA.calls, 0);
  EXPECT_GT(matteB.calls, 0);
}

TEST_F(ShotWeaveTest, OutputsFollowANewLinkFromTheNextFrame) {
  TestColour first(AColor(0.25f, 0.25f, 0.25f, 1.0f));
  TestColour second(AColor(0.75f, 0.5f, 0.0f, 1.0f));
  link("matte_a", &first);
  frame();
  expectColour(matte(thread_.next()), AColor(0.25f, 0.25f, 0.25f, 1.0f));
  link("matte_a", &second);
  frame();
  expectColour(matte(thread_.next()), AColor(0.75f, 0.5f, 0.0f, 1.0f));
  EXPECT_FLOAT_EQ(tex_->outAlpha().texFloat(thread_.next()), 1.25f / 3.0f);
  expectColour(transparency(thread_.next()), AColor(0.25f, 0.5f, 1.0f, 1.0f));
}

TEST_F(ShotWeaveTest, BumpGradientIsGradientAPlusWeightedGradientB) {
  TestColour a(AColor(0.0f, 0.0f, 0.0f, 1.0f));
  TestColour b(AColor(0.0f, 0.0f, 0.0f, 1.0f));
  a.gradient = Vector(1.0f, 2.0f, 3.0f);
  b.gradient = Vector(0.5f, -1.0f, 4.0f);
  link("color_a", &a);
  link("color_b", &b);
  frame();
  // No matte A: w = 1.
  expectVector(tex_->colorBumpGradient(thread_.next()), Vector(1.5f, 1.0f, 7.0f));

  setColour("matte_a", AColor(0.5f, 0.5f, 0.5f, 1.0f));
  frame();
  expectVector(tex_->colorBumpGradient(thread_.next()), Vector(1.25f, 1.5f, 5.0f));

  setColour("matte_a", AColor(1.0f, 1.0f, 4.0f, 1.0f));
  frame();
  expectVector(tex_->colorBumpGradient(thread_.next()), Vector(0.5f, 3.0f, -1.0f));
}

// ---------------------------------------------------------------------------
// Bounds

TEST_F(ShotWeaveTest, BoundsWithOnlyColourAReachWhite) {
  TestColour a(AColor(0.5f, 0.5f, 0.5f, 0.5f));
  a.boundsMin = AColor(0.2f, 0.3f, -0.4f, 0.5f);
  a.boundsMax = AColor(0.6f, 2.0f, 0.8f, 3.0f);
  link("color_a", &a);
  frame();
  TextureInterface* textures[] = {tex_, &tex_->outMatte(), &tex_->outTransparency()};
  const char* names[] = {"texture", "outMatte", "outTransparency"};
  for (int i = 0; i < 3; ++i) {
    AColor lo, hi;
    textures[i]->texColorBounds(lo, hi);
    // The range holds both A's range and white.
    EXPECT_LE(lo.r, 0.2f) << names[i];
    EXPECT_LE(lo.g, 0.3f) << names[i];
    EXPECT_LE(lo.b, -0.4f) << names[i];
    EXPECT_LE(lo.a, 0.5f) << names[i];
    EXPECT_GE(hi.r, 1.0f) << names[i];
    EXPECT_GE(hi.g, 2.0f) << names[i];
    EXPECT_GE(hi.b, 1.0f) << names[i];
    EXPECT_GE(hi.a, 3.0f) << names[i];
  }
}

TEST_F(ShotWeaveTest, BoundsWithBothColoursAreTheirChannelwiseHull) {
  TestColour a(AColor(0.0f, 0.0f, 0.0f, 0.0f));
  TestColour b(AColor(0.0f, 0.0f, 0.0f, 0.0f));
  a.boundsMin = AColor(0.2f, 0.9f, -1.0f, 0.0f);
  a.boundsMax = AColor(0.5f, 1.5f, 0.0f, 1.0f);
  b.boundsMin = AColor(0.1f, 1.0f, 0.0f, 0.5f);
  b.boundsMax = AColor(0.4f, 2.0f, 3.0f, 0.75f);
  link("color_a", &a);
  link("color_b", &b);
  frame();
  TextureInterface* textures[] = {tex_, &tex_->outMatte(), &tex_->outTransparency()};
  const char* names[] = {"texture", "outMatte", "outTransparency"};
  for (int i = 0; i < 3; ++i) {
    AColor lo, hi;
    textures[i]->texColorBounds(lo, hi);
    expectColour(lo, AColor(0.1f, 0.9f, -1.0f, 0.0f), names[i]);
    expectColour(hi, AColor(0.5f, 2.0f, 3.0f, 1.0f), names[i]);
  }

  float fmin = -5.0f, fmax = 5.0f;
  tex_->outAlpha().texFloatBounds(fmin, fmax);
  EXPECT_EQ(fmin, 0.0f);
  EXPECT_EQ(fmax, 0.0f);
}

// ---------------------------------------------------------------------------
// Per-thread colour cache

class ShotWeaveCacheTest : public ShotWeaveTest {
 protected:
  void SetUp() override {
    ShotWeaveTest::SetUp();
    if (HasFatalFailure()) return;
    link("color_a", &a_);
    link("matte_a", &matte_);
    link("color_b", &b_);
  }

  // A + 0.5 B with the current values of the inputs.
  AColor expected() const {
    return AColor(a_.value.r + 0.5f * b_.value.r, a_.value.g + 0.5f * b_.value.g,
                  a_.value.b + 0.5f * b_.value.b, a_.value.a + 0.5f * b_.value.a);
  }
  int inputCalls() const { return a_.calls + matte_.calls + b_.calls; }

  TestColour a_{AColor(0.25f, 0.5f, 0.75f, 1.0f)};
  TestColour matte_{AColor(0.5f, 0.5f, 0.5f, 1.0f)};
  TestColour b_{AColor(1.0f, 1.0f, 1.0f, 1.0f)};
};

TEST_F(ShotWeaveCacheTest, RepeatedAskWithinAFrameUsesTheStoredColour) {
  tex_->renderBegin(&renderer_);
  frame();
  const VRayContext rc = thread_.at(3, 7);
  const AColor first = tex_->texColor(rc);
  expectColour(first, expected());
  const int calls = inputCalls();
  EXPECT_GT(calls, 0);

  a_.value = AColor(2.0f, 2.0f, 2.0f, 2.0f);
  expectColour(tex_->texColor(rc), first);
  expectColour(tex_->texColor(thread_.at(3, 7)), first);
  EXPECT_EQ(inputCalls(), calls);

  // Another stamp or another entry is another shading point.
  expectColour(tex_->texColor(thread_.at(3, 8)), expected());
  expectColour(tex_->texColor(thread_.at(2, 7)), expected());
  EXPECT_GT(inputCalls(), calls);
}

TEST_F(ShotWeaveCacheTest, EachThreadHasItsOwnEntries) {
  vrayhost::StandInRenderer two(2);
  tex_->renderBegin(&two);
  tex_->frameBegin(&two);
  Thread t0(0), t1(1);
  const AColor first = tex_->texColor(t0.at(0, 5));
  a_.value = AColor(2.0f, 2.0f, 2.0f, 2.0f);
  expectColour(tex_->texColor(t1.at(0, 5)), expected());
  expectColour(tex_->texColor(t0.at(0, 5)), first);

  // A thread the table has no list for is shaded correctly, just not cached.
  Thread t5(5);
  expectColour(tex_->texColor(t5.at(0, 5)), expected());
  const int calls = inputCalls();
  a_.value = AColor(3.0f, 3.0f, 3.0f, 3.0f);
  expectColour(tex_->texColor(t5.at(0, 5)), expected());
  EXPECT_GT(inputCalls(), calls);
}

TEST_F(ShotWeaveCacheTest, NextFrameComputesAgain) {
  tex_->renderBegin(&renderer_);
  frame();
  const VRayContext rc = thread_.at(0, 9);
  tex_->texColor(rc);
  a_.value = AColor(2.0f, 2.0f, 2.0f, 2.0f);
  frame();
  const int calls = inputCalls();
  expectColour(tex_->texColor(rc), expected());
  EXPECT_GT(inputCalls(), calls);
}

TEST_F(ShotWeaveCacheTest, NoCacheRaysAreComputedEveryTime) {
  tex_->renderBegin(&renderer_);
  frame();
  const VRayContext flagged = thread_.at(1, 4, VUtils::RT_NO_CACHE);
  expectColour(tex_->texColor(flagged), expected());
  int calls = inputCalls();
  a_.value = AColor(2.0f, 2.0f, 2.0f, 2.0f);
  expectColour(tex_->texColor(flagged), expected());
  EXPECT_GT(inputCalls(), calls);

  // Nothing was stored for the flagged point either.
  calls = inputCalls();
  a_.value = AColor(3.0f, 3.0f, 3.0f, 3.0f);
  expectColour(tex_->texColor(thread_.at(1, 4)), expected());
  EXPECT_GT(inputCalls(), calls);
}

TEST_F(ShotWeaveCacheTest, OutputsAreNeverCached) {
  TestColour matteB(AColor(0.25f, 0.25f, 0.25f, 1.0f));
  link("matte_b", &matteB);
  tex_->renderBegin(&renderer_);
  frame();
  const VRayContext rc = thread_.at(0, 3);
  tex_->texColor(rc);
  for (int ask = 0; ask < 3; ++ask) {
    const float v = 0.125f * static_cast<float>(ask);
    matte_.value = AColor(v, v, v, 1.0f);
    const int before = matte_.calls + matteB.calls;
    const float s = v + 0.25f;
    expectColour(matte(rc), AColor(s, s, s, 1.0f));
    EXPECT_FLOAT_EQ(alpha(rc), s);
    expectColour(transparency(rc), AColor(1.0f - s, 1.0f - s, 1.0f - s, 1.0f));
    EXPECT_EQ(matte_.calls + matteB.calls, before + 6) << "ask " << ask;
  }
}

TEST_F(ShotWeaveCacheTest, RenderBeginAgainMakesOneTableForTheNewRenderer) {
  vrayhost::StandInRenderer three(3), five(5);
  tex_->renderBegin(&three);
  EXPECT_EQ(tex_->cache().numLists(), 3);
  tex_->frameBegin(&three);
  tex_->texColor(Thread(2).at(0, 1));
  tex_->renderBegin(&five);
  ASSERT_TRUE(tex_->cache().isAllocated());
  EXPECT_EQ(tex_->cache().numLists(), 5);
  tex_->frameBegin(&five);
  EXPECT_EQ(tex_->cache().numLists(), 5);

  Thread t4(4);
  tex_->texColor(t4.at(1, 2));
  const int calls = inputCalls();
  a_.value = AColor(2.0f, 2.0f, 2.0f, 2.0f);
  tex_->texColor(t4.at(1, 2));
  EXPECT_EQ(inputCalls(), calls);
}

TEST_F(ShotWeaveCacheTest, FrameBeginWithoutRenderBeginMakesTheTable) {
  EXPECT_FALSE(tex_->cache().isAllocated());
  vrayhost::StandInRenderer four(4);
  tex_->frameBegin(&four);
  ASSERT_TRUE(tex_->cache().isAllocated());
  EXPECT_EQ(tex_->cache().numLists(), 4);

  Thread t3(3);
  const AColor first = tex_->texColor(t3.at(2, 2));
  const int calls = inputCalls();
  a_.value = AColor(2.0f, 2.0f, 2.0f, 2.0f);
  expectColour(tex_->texColor(t3.at(2, 2)), first);
  EXPECT_EQ(inputCalls(), calls);
}

TEST_F(ShotWeaveCacheTest, RenderEndFreesTheTable) {
  tex_->renderBegin(&renderer_);
  frame();
  const VRayContext rc = thread_.at(0, 6);
  tex_->texColor(rc);
  tex_->frameEnd(&renderer_);
  tex_->renderEnd(&renderer_);
  EXPECT_FALSE(tex_->cache().isAllocated());

  for (int ask = 0; ask < 2; ++ask) {
    const int calls = inputCalls();
    a_.value = AColor(static_cast<float>(ask), 0.0f, 0.0f, 1.0f);
    expectColour(tex_->texColor(rc), expected());
    EXPECT_GT(inputCalls(), calls);
  }
}

// ---------------------------------------------------------------------------
// The library as the host loads it

TEST(ShotWeaveLoadedLibrary, LoadsCreatesAndShades) {
  vrayhost::PluginManager manager;
  std::string error;
  ASSERT_TRUE(manager.loadLibrary(QV_PLUGIN_DIR "/vray_qvShotWeave" QV_MODULE_SUFFIX, &error))
      << error;
  const std::vector<std::string> types = manager.typeNames();
  ASSERT_EQ(types, std::vector<std::string>{"qvShotWeave"});
  PluginDesc* desc = manager.findDesc("qvShotWeave");
  ASSERT_NE(desc, nullptr);
  EXPECT_EQ(desc->getPluginID(), 2012062512u);
  ASSERT_NE(vrayhost::registeredParameters(desc), nullptr);
  EXPECT_EQ(vrayhost::registeredParameters(desc)->impl().params.size(), 7u);

  TestColour matteB(AColor(0.25f, 0.0f, 0.5f, 1.0f));
  {
    std::unique_ptr<PluginInstance> instance = manager.create("qvShotWeave", "weave");
    ASSERT_NE(instance, nullptr);
    Plugin* plugin = instance->plugin();
    EXPECT_STREQ(plugin->getPluginName(), "weave");
    auto* vray = static_cast<VUtils::VRayPluginInterface*>(plugin->getInterface(0x7776FFFF));
    auto* texture = static_cast<TextureInterface*>(plugin->getInterface(0x77780002));
    ASSERT_NE(vray, nullptr);
    ASSERT_NE(texture, nullptr);

    VUtils::VRayParameterList::Impl& params = vray->getParameterList()->impl();
    ASSERT_TRUE(params.setConstant("color_a", AColor(0.25f, 0.5f, 0.125f, 0.5f), &error)) << error;
    ASSERT_TRUE(params.setConstant("color_b", AColor(0.5f, 0.25f, 1.0f, 1.0f), &error)) << error;
    ASSERT_TRUE(params.setConstant("matte_a", AColor(0.5f, 0.5f, 0.5f, 1.0f), &error)) << error;
    ASSERT_TRUE(params.setLink("matte_b", ParamKind::Color, &matteB, &error)) << error;
    // The inputs are colour textures and the outputs cannot be set.
    EXPECT_FALSE(params.setConstant("color_a", 0.5f, &error));
    EXPECT_FALSE(params.setConstant("outMatte", AColor(), &error));

    vrayhost::StandInRenderer renderer(2);
    vray->renderBegin(&renderer);
    vray->frameBegin(&renderer);
    Thread thread(1);
    const VRayContext rc = thread.next();
    expectColour(texture->texColor(rc), AColor(0.5f, 0.625f, 0.625f, 1.0f));

    const auto* outMatte = params.findOutput("outMatte");
    const auto* outTransparency = params.findOutput("outTransparency");
    const auto* outAlpha = params.findOutput("outAlpha");
    ASSERT_TRUE(outMatte && outTransparency && outAlpha);
    expectColour(static_cast<TextureInterface*>(outMatte->iface)->texColor(rc),
                 AColor(0.75f, 0.5f, 1.0f, 1.0f));
    expectColour(static_cast<TextureInterface*>(outTransparency->iface)->texColor(rc),
                 AColor(0.25f, 0.5f, 0.0f, 1.0f));
    EXPECT_FLOAT_EQ(static_cast<TextureFloatInterface*>(outAlpha->iface)->texFloat(rc),
                    2.25f / 3.0f);
    vray->frameEnd(&renderer);
    vray->renderEnd(&renderer);
  }
}

}  // namespace
}  // namespace qv::shotweave
