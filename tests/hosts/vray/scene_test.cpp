#include "scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host_plugins.h"
#include "plugin_manager.h"
#include "renderer.h"
#include "shading_driver.h"
#include "vrscene.h"

namespace qv::vrayhost {
namespace {

using VUtils::AColor;
using Source = VUtils::VRayParameterList::Impl::Source;

constexpr AColor kUnconnected(0.0f, 0.0f, 0.0f, 1.0f);

// qvShotWeave's colour worked out by hand: A plus B weighted by how little of
// matte A's rgb covers it, channel by channel, alpha included.
AColor weave(const AColor& a, const AColor& matteA, const AColor& b) {
  const float w = 1.0f - (matteA.r + matteA.g + matteA.b) / 3.0f;
  return AColor(a.r + w * b.r, a.g + w * b.g, a.b + w * b.b, a.a + w * b.a);
}

void expectColor(const AColor& actual, const AColor& expected) {
  EXPECT_FLOAT_EQ(actual.r, expected.r);
  EXPECT_FLOAT_EQ(actual.g, expected.g);
  EXPECT_FLOAT_EQ(actual.b, expected.b);
  EXPECT_FLOAT_EQ(actual.a, expected.a);
}

// A shading context of render thread 0, as the renderer would hand it out.
struct HandMadeContext {
  StandInRenderer renderer{1};
  VUtils::VRayThreadData thread;
  VUtils::VRayContext rc;

  HandMadeContext() {
    rc.vray = &renderer;
    rc.threadData = &thread;
    rc.frameData = &renderer.frameData();
    rc.rayresult.wpoint = VUtils::TracePoint(1.0, 2.0, 3.0);
    rc.rayresult.normal = VUtils::ShadeVec(0.0f, 0.0f, 1.0f);
    rc.cacheIndex = 0;
    rc.cacheStamp = 1;
  }
};

// Answers the shading point's position, so that every point has a colour of its own.
class PositionTexture final : public VUtils::TextureInterface {
 public:
  Plugin* getPlugin() override { return nullptr; }
  AColor texColor(const VUtils::VRayContext& rc) override { return colorAt(rc.rayresult.wpoint); }
  void texColorBounds(AColor& cmin, AColor& cmax) override {
    cmin = AColor(-1e30f, -1e30f, -1e30f, 1.0f);
    cmax = AColor(1e30f, 1e30f, 1e30f, 1.0f);
  }
  static AColor colorAt(const VUtils::TracePoint& p) {
    return AColor(static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z), 1.0f);
  }
};

class SceneTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    manager_ = std::make_unique<PluginManager>();
    std::string error;
    ASSERT_TRUE(manager_->loadLibrary(QV_PLUGIN_DIR "/vray_qvShotWeave" QV_MODULE_SUFFIX, &error))
        << error;
    ASSERT_TRUE(manager_->addHostPlugins(&error)) << error;
  }
  static void TearDownTestSuite() { manager_.reset(); }

  static std::unique_ptr<Scene> load(const std::string& text, std::string* error) {
    const vrscene::ParseResult parsed = vrscene::parse(text, "t.vrscene");
    if (!parsed.scene) {
      ADD_FAILURE() << "the test scene does not parse: " << parsed.error;
      return nullptr;
    }
    return Scene::load(*parsed.scene, *manager_, error);
  }

  static std::unique_ptr<Scene> loadOk(const std::string& text) {
    std::string error;
    std::unique_ptr<Scene> scene = load(text, &error);
    EXPECT_NE(scene, nullptr) << error;
    return scene;
  }

  // The one message of a scene that must not load; it has to start with the
  // file and the line of the offending text.
  static void expectError(const std::string& text, int line,
                          const std::vector<std::string>& fragments) {
    SCOPED_TRACE(text);
    std::string error;
    EXPECT_EQ(load(text, &error), nullptr);
    const std::string prefix = "t.vrscene:" + std::to_string(line) + ": ";
    EXPECT_EQ(error.compare(0, prefix.size(), prefix), 0) << error;
    for (const std::string& fragment : fragments) {
      EXPECT_NE(error.find(fragment), std::string::npos) << "'" << fragment << "' in: " << error;
    }
  }

  static VUtils::VRayParameterList::Impl& params(const Scene& scene, const std::string& node) {
    const Scene::Node* n = scene.find(node);
    EXPECT_NE(n, nullptr) << node;
    return n->vray->getParameterList()->impl();
  }

  static const Source* sourceOf(const Scene& scene, const std::string& node,
                                const std::string& param) {
    for (const Source& source : params(scene, node).sources) {
      if (source.name == param) return &source;
    }
    return nullptr;
  }

  // The host-owned constant that feeds a colour input, evaluated.
  static AColor constantColor(const Scene& scene, const std::string& node,
                              const std::string& param) {
    const Source* source = sourceOf(scene, node, param);
    if (!source) {
      ADD_FAILURE() << node << "." << param << " has no source";
      return AColor();
    }
    EXPECT_EQ(source->kind, ParamKind::Color);
    EXPECT_NE(source->owned, nullptr) << "a plain value should be owned by the host";
    EXPECT_EQ(source->iface->getPlugin(), nullptr);
    HandMadeContext shading;
    return static_cast<VUtils::TextureInterface*>(source->iface)->texColor(shading.rc);
  }

  static TextureOutput resolved(const Scene& scene, const std::string& reference) {
    TextureOutput out;
    std::string error;
    EXPECT_TRUE(scene.resolve(reference, &out, &error)) << reference << ": " << error;
    return out;
  }

  static PluginInterface* textureOf(const Scene& scene, const std::string& node) {
    return scene.find(node)->instance->plugin()->getInterface(VUtils::EXT_TEXTURE);
  }

  static std::unique_ptr<PluginManager> manager_;
};

std::unique_ptr<PluginManager> SceneTest::manager_;

using SceneConstants = SceneTest;

TEST_F(SceneConstants, PlainValuesBecomeHostConstantsOfTheInputKind) {
  const auto scene = loadOk(
      "qvShotWeave w {\n"
      "  color_a=AColor(0.9, 0.4, 0.1, 0.5);\n"
      "  matte_a=Color(0.5, 0.25, 0.125);\n"
      "  color_b=0.25;\n"
      "  matte_b=2;\n"
      "}\n");
  ASSERT_NE(scene, nullptr);
  EXPECT_EQ(constantColor(*scene, "w", "color_a"), AColor(0.9f, 0.4f, 0.1f, 0.5f));
  EXPECT_EQ(constantColor(*scene, "w", "matte_a"), AColor(0.5f, 0.25f, 0.125f, 1.0f));
  EXPECT_EQ(constantColor(*scene, "w", "color_b"), AColor(0.25f, 0.25f, 0.25f, 1.0f));
  EXPECT_EQ(constantColor(*scene, "w", "matte_b"), AColor(2.0f, 2.0f, 2.0f, 1.0f));
}

TEST_F(SceneConstants, UnsetInputsHaveNoSource) {
  const auto scene = loadOk("qvShotWeave w { color_a=1; }");
  ASSERT_NE(scene, nullptr);
  EXPECT_NE(sourceOf(*scene, "w", "color_a"), nullptr);
  EXPECT_EQ(sourceOf(*scene, "w", "color_b"), nullptr);
  EXPECT_EQ(sourceOf(*scene, "w", "matte_a"), nullptr);
}

ConstantValue converted(const vrscene::Value& value, ParamKind kind) {
  ConstantValue out;
  std::string error;
  EXPECT_TRUE(convertConstant(value, kind, &out, &error)) << error;
  EXPECT_EQ(constantKind(out), kind);
  return out;
}

std::string conversionError(const vrscene::Value& value, ParamKind kind) {
  ConstantValue out;
  std::string error;
  EXPECT_FALSE(convertConstant(value, kind, &out, &error)) << paramKindName(kind);
  EXPECT_FALSE(error.empty());
  // Callers that want no message may pass none.
  EXPECT_FALSE(convertConstant(value, kind, &out, nullptr));
  return error;
}

TEST(ConvertConstant, NumbersToIntegersTruncateTowardZero) {
  EXPECT_EQ(std::get<int>(converted(2.9, ParamKind::Int)), 2);
  EXPECT_EQ(std::get<int>(converted(-2.9, ParamKind::Int)), -2);
  EXPECT_EQ(std::get<int>(converted(-0.5, ParamKind::Int)), 0);
  EXPECT_EQ(std::get<int>(converted(std::int64_t{-7}, ParamKind::Int)), -7);
  EXPECT_EQ(std::get<int>(converted(2147483647.9, ParamKind::Int)), 2147483647);
  EXPECT_EQ(std::get<int>(converted(-2147483648.9, ParamKind::Int)), -2147483647 - 1);
  EXPECT_EQ(std::get<int>(converted(std::int64_t{2147483647}, ParamKind::Int)), 2147483647);
}

TEST(ConvertConstant, IntegersOutOfRangeAreErrors) {
  const std::vector<vrscene::Value> tooBig = {
      std::int64_t{2147483648},
      std::int64_t{-2147483649},
      std::numeric_limits<std::int64_t>::min(),
      2147483648.0,
      -2147483649.0,
      1e300,
      std::numeric_limits<double>::infinity(),
      -std::numeric_limits<double>::infinity(),
      std::numeric_limits<double>::quiet_NaN(),
  };
  for (const vrscene::Value& value : tooBig) {
    EXPECT_NE(conversionError(value, ParamKind::Int).find("does not fit"), std::string::npos);
  }
}

TEST(ConvertConstant, NumbersToFloatsAndColours) {
  EXPECT_EQ(std::get<float>(converted(std::int64_t{3}, ParamKind::Float)), 3.0f);
  EXPECT_EQ(std::get<float>(converted(0.1, ParamKind::Float)), 0.1f);
  EXPECT_EQ(std::get<AColor>(converted(std::int64_t{-1}, ParamKind::Color)),
            AColor(-1.0f, -1.0f, -1.0f, 1.0f));
  EXPECT_EQ(std::get<AColor>(converted(VUtils::Color(0.1f, 0.2f, 0.3f), ParamKind::Color)),
            AColor(0.1f, 0.2f, 0.3f, 1.0f));
  // An AColor keeps its own alpha, even zero.
  EXPECT_EQ(std::get<AColor>(converted(AColor(0.1f, 0.2f, 0.3f, 0.0f), ParamKind::Color)),
            AColor(0.1f, 0.2f, 0.3f, 0.0f));
}

TEST(ConvertConstant, TransformsTakeOnlyTransforms) {
  VUtils::Transform t;
  t.m.f[0] = VUtils::Vector(1, 2, 3);
  t.m.f[1] = VUtils::Vector(4, 5, 6);
  t.m.f[2] = VUtils::Vector(7, 8, 9);
  t.offs = VUtils::Vector(10, 11, 12);
  const auto out = std::get<VUtils::Transform>(converted(t, ParamKind::Transform));
  for (int c = 0; c < 3; ++c) EXPECT_EQ(out.m.f[c], t.m.f[c]) << "column " << c;
  EXPECT_EQ(out.offs, t.offs);

  EXPECT_EQ(conversionError(t.m, ParamKind::Transform),
            "a Matrix cannot be given to a transform texture");
  conversionError(std::int64_t{1}, ParamKind::Transform);
  conversionError(t, ParamKind::Color);
  conversionError(t, ParamKind::Float);
}

TEST(ConvertConstant, WrongKindsAreNamedInTheMessage) {
  EXPECT_EQ(conversionError(VUtils::Vector(1, 2, 3), ParamKind::Color),
            "a Vector cannot be given to a colour texture");
  EXPECT_EQ(conversionError(VUtils::Color(1, 2, 3), ParamKind::Float),
            "a Color cannot be given to a float texture");
  EXPECT_EQ(conversionError(std::string("red"), ParamKind::Color),
            "a string cannot be given to a colour texture");
  conversionError(AColor(1, 1, 1, 1), ParamKind::Int);
  conversionError(vrscene::ListInt{{1}}, ParamKind::Int);
  // Outputs are never fed.
  conversionError(AColor(1, 1, 1, 1), ParamKind::OutputColor);
  conversionError(0.5, ParamKind::OutputFloat);
}

using SceneReferences = SceneTest;

// weave2 is written before the weave1 it reads.
const char* const kChainedScene =
    "qvShotWeave weave2 {\n"
    "  color_a=weave1;\n"
    "  matte_a=weave1::outMatte;\n"
    "  color_b=AColor(0.2, 0.3, 0.4, 1);\n"
    "}\n"
    "qvShotWeave weave1 {\n"
    "  color_a=AColor(0.9, 0.4, 0.1, 1);\n"
    "  matte_a=Color(0.5, 0.25, 0.125);\n"
    "  color_b=AColor(0.1, 0.2, 0.8, 1);\n"
    "  matte_b=Color(0.25, 0.25, 0.25);\n"
    "}\n";

TEST_F(SceneReferences, WholePluginsAndNamedOutputsAreLinkedNotCopied) {
  const auto scene = loadOk(kChainedScene);
  ASSERT_NE(scene, nullptr);

  const Source* colorA = sourceOf(*scene, "weave2", "color_a");
  ASSERT_NE(colorA, nullptr);
  EXPECT_EQ(colorA->owned, nullptr);
  EXPECT_EQ(colorA->kind, ParamKind::Color);
  EXPECT_EQ(colorA->iface, textureOf(*scene, "weave1"));

  const Source* matteA = sourceOf(*scene, "weave2", "matte_a");
  ASSERT_NE(matteA, nullptr);
  EXPECT_EQ(matteA->owned, nullptr);
  EXPECT_EQ(matteA->iface, resolved(*scene, "weave1::outMatte").iface);
  EXPECT_NE(matteA->iface, textureOf(*scene, "weave1"));
}

TEST_F(SceneReferences, LinkedInputsShadeThroughTheirSources) {
  const auto scene = loadOk(kChainedScene);
  ASSERT_NE(scene, nullptr);
  HandMadeContext shading;
  scene->renderBegin(&shading.renderer);
  scene->frameBegin(&shading.renderer);

  const AColor weave1 = weave(AColor(0.9f, 0.4f, 0.1f, 1.0f), AColor(0.5f, 0.25f, 0.125f, 1.0f),
                              AColor(0.1f, 0.2f, 0.8f, 1.0f));
  // outMatte: the two mattes summed and capped at one, alpha one.
  const AColor matte1(0.75f, 0.5f, 0.375f, 1.0f);
  const AColor weave2 = weave(weave1, matte1, AColor(0.2f, 0.3f, 0.4f, 1.0f));

  const TextureOutput own = resolved(*scene, "weave2");
  ASSERT_NE(own.color(), nullptr);
  {
    SCOPED_TRACE("weave1");
    expectColor(resolved(*scene, "weave1").color()->texColor(shading.rc), weave1);
  }
  {
    SCOPED_TRACE("weave1::outMatte");
    expectColor(resolved(*scene, "weave1::outMatte").color()->texColor(shading.rc), matte1);
  }
  {
    SCOPED_TRACE("weave2");
    expectColor(own.color()->texColor(shading.rc), weave2);
  }
  scene->frameEnd(&shading.renderer);
  scene->renderEnd(&shading.renderer);
}

using SceneErrors = SceneTest;

TEST_F(SceneErrors, UnknownPluginTypeNamesItsLine) {
  expectError("qvShotWeave ok {}\n\nNoSuchTexture x {\n}\n", 3,
              {"unknown plug-in type 'NoSuchTexture'"});
}

TEST_F(SceneErrors, ParametersThatCannotBeSet) {
  expectError("qvShotWeave w {\n  color_a=0.5;\n  colour_b=0.5;\n}\n", 3,
              {"'qvShotWeave'", "no parameter 'colour_b'"});
  expectError("qvShotWeave w {\n\n  outAlpha=0.5;\n}\n", 3, {"'outAlpha'", "output"});
  expectError("qvShotWeave w {\n  color_a=Vector(1, 2, 3);\n}\n", 2,
              {"'color_a'", "a Vector cannot be given to a colour texture"});
  expectError("qvShotWeave w { color_a=\"red\"; }", 1, {"'color_a'", "string"});
  expectError("qvShotWeave w {\n  matte_a=ListInt(1);\n}\n", 2, {"'matte_a'", "ListInt"});
}

TEST_F(SceneErrors, BrokenReferences) {
  const std::string source = "qvShotWeave w1 { color_a=1; }\n";
  expectError(source + "qvShotWeave w2 {\n  color_a=ghost;\n}\n", 3,
              {"there is no plug-in 'ghost'"});
  expectError(source + "qvShotWeave w2 {\n  color_a=ghost::outMatte;\n}\n", 3,
              {"there is no plug-in 'ghost'"});
  expectError(source + "qvShotWeave w2 {\n  matte_a=w1::outNope;\n}\n", 3,
              {"'w1'", "no output 'outNope'"});
  // An input's name is not an output.
  expectError(source + "qvShotWeave w2 {\n  matte_a=w1::color_a;\n}\n", 3,
              {"'w1'", "no output 'color_a'"});
  expectError(source + "qvShotWeave w2 {\n  color_b=w1;\n  color_a=w1::outAlpha;\n}\n", 4,
              {"'color_a' takes a colour texture", "'w1::outAlpha'"});
}

// Shading such a scene would recurse until the stack runs out.
TEST_F(SceneErrors, ReferenceLoopsAreRefused) {
  expectError("qvShotWeave a {\n  color_a=AColor(1, 1, 1, 1);\n  color_b=a;\n}\n", 3,
              {"loop", "a -> a"});
  expectError(
      "qvShotWeave a {\n  color_a=b;\n}\n"
      "qvShotWeave b {\n  color_b=c::outMatte;\n}\n"
      "qvShotWeave c {\n  matte_a=a;\n}\n",
      8, {"loop", "a -> b -> c -> a"});
  // Two plug-ins reading the same third one is no loop.
  loadOk(
      "qvShotWeave a { color_a=c; matte_a=c::outMatte; }\n"
      "qvShotWeave b { color_b=c; }\n"
      "qvShotWeave c { color_a=1; }\n"
      "qvShotWeave d { color_a=a; color_b=b; }\n");
}

TEST_F(SceneErrors, FirstProblemIsReported) {
  expectError("qvShotWeave w {\n  color_a=ghost;\n  matte_a=Vector(0, 0, 0);\n}\n", 2, {"'ghost'"});
}

using SceneHostPlugins = SceneTest;

TEST_F(SceneHostPlugins, PlainParametersReadTheirDefaultsUntilSet) {
  // The defaults: no offset, no turn, a quarter turn across.
  const auto scene = loadOk("UVWGenProjection p {\n  type=8.9;\n}\n");
  ASSERT_NE(scene, nullptr);
  auto* uvw =
      static_cast<UVWGenInterface*>(scene->find("p")->instance->plugin()->getInterface(EXT_UVWGEN));
  ASSERT_NE(uvw, nullptr);
  HandMadeContext shading;
  const double edge = std::tan(M_PI / 8.0);
  double u = -1.0, v = -1.0;
  shading.rc.rayresult.wpoint = VUtils::TracePoint(edge * 2.0, 0.0, -2.0);
  ASSERT_TRUE(uvw->pictureUV(shading.rc, 4, 2, &u, &v));
  EXPECT_NEAR(u, 1.0, 1e-6);
  EXPECT_NEAR(v, 0.5, 1e-12);
  // The picture's proportions set how far up it reaches.
  shading.rc.rayresult.wpoint = VUtils::TracePoint(0.0, edge * 0.5, -1.0);
  ASSERT_TRUE(uvw->pictureUV(shading.rc, 4, 2, &u, &v));
  EXPECT_NEAR(u, 0.5, 1e-12);
  EXPECT_NEAR(v, 0.0, 1e-6);
  shading.rc.rayresult.wpoint = VUtils::TracePoint(0.0, 0.0, 1.0);
  EXPECT_FALSE(uvw->pictureUV(shading.rc, 4, 2, &u, &v));
}

TEST_F(SceneHostPlugins, LinksNameAWholePluginOfTheRightKind) {
  const std::string source = "qvShotWeave w { color_a=1; }\nBitmapBuffer b { file=\"x.png\"; }\n";
  expectError(source + "TexBitmap t {\n  bitmap=w;\n}\n", 4,
              {"'bitmap' of TexBitmap 't' cannot take qvShotWeave 'w'"});
  expectError(source + "TexBitmap t {\n  bitmap=b::out;\n}\n", 4, {"whole plug-in", "'b::out'"});
  expectError(source + "TexBitmap t {\n  uvwgen=2;\n}\n", 4, {"'uvwgen' takes a plug-in"});
  expectError("UVWGenProjection p {\n  type=Vector(1, 2, 3);\n}\n", 2,
              {"a Vector cannot be given to an integer parameter"});
  expectError("UVWGenProjection p {\n  type=8;\n  fov=\"wide\";\n}\n", 3, {"'fov'", "string"});
  // Checked once the scene has set them all: the block's own line.
  expectError("\nUVWGenProjection p {\n  fov=1;\n}\n", 2,
              {"UVWGenProjection 'p': 'type' 0 is not supported"});
  std::string error;
  EXPECT_FALSE(manager_->addHostPlugins(&error));
  EXPECT_EQ(error, "the host's own plug-ins are registered already");
}

using SceneResolve = SceneTest;

TEST_F(SceneResolve, TextureAndItsOutputs) {
  const auto scene = loadOk("qvShotWeave weave { color_a=1; }");
  ASSERT_NE(scene, nullptr);

  const TextureOutput own = resolved(*scene, "weave");
  EXPECT_EQ(own.kind, ParamKind::Color);
  EXPECT_EQ(own.iface, textureOf(*scene, "weave"));
  EXPECT_EQ(own.floatTexture(), nullptr);

  const TextureOutput alpha = resolved(*scene, "weave::outAlpha");
  EXPECT_EQ(alpha.kind, ParamKind::Float);
  ASSERT_NE(alpha.floatTexture(), nullptr);
  EXPECT_EQ(alpha.color(), nullptr);
  EXPECT_EQ(alpha.iface->getInterfaceID(), VUtils::EXT_TEXTURE_FLOAT);

  const TextureOutput matte = resolved(*scene, "weave::outMatte");
  const TextureOutput transparency = resolved(*scene, "weave::outTransparency");
  for (const TextureOutput& out : {matte, transparency}) {
    EXPECT_EQ(out.kind, ParamKind::Color);
    ASSERT_NE(out.color(), nullptr);
    EXPECT_EQ(out.iface->getInterfaceID(), VUtils::EXT_TEXTURE);
    EXPECT_NE(out.iface, own.iface);
  }
  EXPECT_NE(matte.iface, transparency.iface);
}

TEST_F(SceneResolve, UnknownNamesAreErrors) {
  const auto scene = loadOk("qvShotWeave weave { color_a=1; }");
  ASSERT_NE(scene, nullptr);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"ghost", "there is no plug-in 'ghost'"},
      {"ghost::outAlpha", "there is no plug-in 'ghost'"},
      {"Weave", "there is no plug-in 'Weave'"},
      {"weave::outNope", "plug-in 'weave' (qvShotWeave) has no output 'outNope'"},
      {"weave::color_a", "has no output 'color_a'"},
      {"weave::", "'weave::' names no output"},
  };
  for (const auto& [reference, message] : cases) {
    TextureOutput out;
    std::string error;
    EXPECT_FALSE(scene->resolve(reference, &out, &error)) << reference;
    EXPECT_NE(error.find(message), std::string::npos) << reference << ": " << error;
  }
}

TEST_F(SceneResolve, ResolvedOutputsShadeTheirOwnValues) {
  const auto scene = loadOk(
      "qvShotWeave weave {\n"
      "  matte_a=Color(0.5, 0.25, 0.125);\n"
      "  matte_b=Color(0.75, 0.5, 0.25);\n"
      "}\n");
  ASSERT_NE(scene, nullptr);
  HandMadeContext shading;
  scene->renderBegin(&shading.renderer);
  scene->frameBegin(&shading.renderer);
  // Matte sum (1.25, 0.75, 0.375): capped at one for the matte and alpha,
  // one minus it, clamped, for transparency.
  expectColor(resolved(*scene, "weave::outMatte").color()->texColor(shading.rc),
              AColor(1.0f, 0.75f, 0.375f, 1.0f));
  expectColor(resolved(*scene, "weave::outTransparency").color()->texColor(shading.rc),
              AColor(0.0f, 0.25f, 0.625f, 1.0f));
  EXPECT_FLOAT_EQ(resolved(*scene, "weave::outAlpha").floatTexture()->texFloat(shading.rc),
                  (1.0f + 0.75f + 0.375f) / 3.0f);
  scene->frameEnd(&shading.renderer);
  scene->renderEnd(&shading.renderer);
}

using SceneHooks = SceneTest;

TEST_F(SceneHooks, InputsBecomeVisibleAtFrameBegin) {
  const auto scene = loadOk(
      "qvShotWeave weave {\n"
      "  color_a=AColor(0.9, 0.4, 0.1, 1);\n"
      "  matte_a=Color(0.5, 0.5, 0.5);\n"
      "  color_b=AColor(0.1, 0.2, 0.8, 1);\n"
      "}\n");
  ASSERT_NE(scene, nullptr);
  VUtils::TextureInterface* texture = resolved(*scene, "weave").color();
  ASSERT_NE(texture, nullptr);
  HandMadeContext shading;

  // Before the hooks every input still reads as unconnected.
  expectColor(texture->texColor(shading.rc), weave(kUnconnected, kUnconnected, kUnconnected));

  scene->renderBegin(&shading.renderer);
  scene->frameBegin(&shading.renderer);
  const AColor expected = weave(AColor(0.9f, 0.4f, 0.1f, 1.0f), AColor(0.5f, 0.5f, 0.5f, 1.0f),
                                AColor(0.1f, 0.2f, 0.8f, 1.0f));
  {
    SCOPED_TRACE("first ask");
    expectColor(texture->texColor(shading.rc), expected);
  }
  {
    SCOPED_TRACE("same context again");
    expectColor(texture->texColor(shading.rc), expected);
  }
  scene->frameEnd(&shading.renderer);
  scene->renderEnd(&shading.renderer);
}

TEST_F(SceneHooks, UnconnectedInputsReadAsOpaqueBlack) {
  const AColor a(0.3f, 0.2f, 0.1f, 0.5f);
  const AColor b(0.6f, 0.7f, 0.8f, 0.25f);
  const std::vector<std::pair<std::string, AColor>> cases = {
      {"qvShotWeave w { color_a=AColor(0.3, 0.2, 0.1, 0.5); }",
       weave(a, kUnconnected, kUnconnected)},
      {"qvShotWeave w { color_b=AColor(0.6, 0.7, 0.8, 0.25); }",
       weave(kUnconnected, kUnconnected, b)},
      {"qvShotWeave w { }", weave(kUnconnected, kUnconnected, kUnconnected)},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    const auto scene = loadOk(text);
    ASSERT_NE(scene, nullptr);
    HandMadeContext shading;
    scene->renderBegin(&shading.renderer);
    scene->frameBegin(&shading.renderer);
    expectColor(resolved(*scene, "w").color()->texColor(shading.rc), expected);
    scene->frameEnd(&shading.renderer);
    scene->renderEnd(&shading.renderer);
  }
}

TEST_F(SceneHooks, TwoShadingRunsInOneFrameSeeTheirOwnPoints) {
  const auto scene = loadOk(
      "qvShotWeave w {\n"
      "  matte_a=Color(0.25, 0.25, 0.25);\n"
      "  color_b=AColor(0.1, 0.2, 0.3, 1);\n"
      "}\n");
  ASSERT_NE(scene, nullptr);
  PositionTexture position;
  std::string error;
  ASSERT_TRUE(params(*scene, "w").setLink("color_a", ParamKind::Color, &position, &error)) << error;
  VUtils::TextureInterface* texture = resolved(*scene, "w").color();

  StandInRenderer renderer(2);
  scene->renderBegin(&renderer);
  scene->frameBegin(&renderer);
  const ShadingDriver driver(renderer);
  // Runs smaller than the cache, like the buckets of a render, so that every
  // entry a run leaves behind is still there for the next.
  for (double offset : {0.0, 100.0, 200.0}) {
    std::vector<ShadingPoint> points(6);
    for (std::size_t i = 0; i < points.size(); ++i) {
      points[i].p = VUtils::TracePoint(offset + static_cast<double>(i), 1.0, 2.0);
    }
    std::vector<AColor> colors(points.size());
    driver.run(points, [&](const VUtils::VRayContext& rc, std::size_t i, int) {
      colors[i] = texture->texColor(rc);
    });
    for (std::size_t i = 0; i < points.size(); ++i) {
      SCOPED_TRACE("offset " + std::to_string(offset) + ", point " + std::to_string(i));
      expectColor(colors[i],
                  weave(PositionTexture::colorAt(points[i].p), AColor(0.25f, 0.25f, 0.25f, 1.0f),
                        AColor(0.1f, 0.2f, 0.3f, 1.0f)));
    }
  }
  scene->frameEnd(&renderer);
  scene->renderEnd(&renderer);
}

// What the driver handed to the shading of one point. Each point is written
// only by the thread that shades it.
struct SeenPoint {
  int asks = 0;
  bool asksInOrder = true;
  bool sameContextEachAsk = true;
  bool contextMatchesPoint = true;
  int thread = -1;
  int cacheIndex = -1;
  uint32 stamp = 0;
  VUtils::VRayContext first;
};

std::vector<ShadingPoint> numberedPoints(std::size_t count, double offset = 0.0) {
  std::vector<ShadingPoint> points(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double x = offset + static_cast<double>(i);
    points[i].p = VUtils::TracePoint(x, -x, 0.5 * x);
    points[i].n = VUtils::ShadeVec(0.0f, static_cast<float>(i % 3), 1.0f);
  }
  return points;
}

std::vector<SeenPoint> record(StandInRenderer& renderer, const ShadingOptions& options,
                              const std::vector<ShadingPoint>& points) {
  std::vector<SeenPoint> seen(points.size());
  ShadingDriver(renderer, options)
      .run(points, [&](const VUtils::VRayContext& rc, std::size_t i, int ask) {
        SeenPoint& s = seen[i];
        if (ask != s.asks) s.asksInOrder = false;
        ++s.asks;
        if (ask == 0) {
          s.first = rc;
          s.thread = rc.threadData ? rc.threadData->threadIndex : -2;
          s.cacheIndex = rc.cacheIndex;
          s.stamp = rc.cacheStamp;
          s.contextMatchesPoint =
              rc.vray == &renderer && rc.frameData == &renderer.frameData() &&
              rc.rayresult.wpoint.x == points[i].p.x && rc.rayresult.wpoint.y == points[i].p.y &&
              rc.rayresult.wpoint.z == points[i].p.z && rc.rayresult.normal == points[i].n;
          return;
        }
        const VUtils::VRayContext& f = s.first;
        if (rc.threadData != f.threadData || rc.cacheIndex != f.cacheIndex ||
            rc.cacheStamp != f.cacheStamp || rc.rayparams.rayFlags != f.rayparams.rayFlags ||
            rc.vray != f.vray || rc.frameData != f.frameData ||
            rc.rayresult.wpoint.x != f.rayresult.wpoint.x ||
            rc.rayresult.wpoint.y != f.rayresult.wpoint.y ||
            rc.rayresult.wpoint.z != f.rayresult.wpoint.z ||
            !(rc.rayresult.normal == f.rayresult.normal) ||
            (rc.threadData && rc.threadData->threadIndex != s.thread)) {
          s.sameContextEachAsk = false;
        }
      });
  return seen;
}

TEST(ShadingDriver, EveryPointIsAskedForRepeatedlyWithOneContext) {
  for (int threads : {1, 2, 3, 4}) {
    for (const ShadingOptions& options : {ShadingOptions{}, ShadingOptions{3, 5}}) {
      SCOPED_TRACE(std::to_string(threads) + " threads, " + std::to_string(options.asksPerPoint) +
                   " asks, " + std::to_string(options.cacheSlots) + " slots");
      StandInRenderer renderer(threads);
      const std::vector<ShadingPoint> points = numberedPoints(103);
      const std::vector<SeenPoint> seen = record(renderer, options, points);

      std::vector<std::set<uint32>> stampsOfThread(static_cast<std::size_t>(threads));
      for (std::size_t i = 0; i < points.size(); ++i) {
        const SeenPoint& s = seen[i];
        SCOPED_TRACE("point " + std::to_string(i));
        EXPECT_EQ(s.asks, options.asksPerPoint);
        EXPECT_TRUE(s.asksInOrder);
        EXPECT_TRUE(s.sameContextEachAsk);
        EXPECT_TRUE(s.contextMatchesPoint);
        EXPECT_EQ(s.thread, static_cast<int>(i % static_cast<std::size_t>(threads)));
        EXPECT_GE(s.cacheIndex, 0);
        EXPECT_LT(s.cacheIndex, options.cacheSlots);
        EXPECT_NE(s.stamp, 0u);
        if (s.thread >= 0 && s.thread < threads) {
          EXPECT_TRUE(stampsOfThread[static_cast<std::size_t>(s.thread)].insert(s.stamp).second)
              << "stamp " << s.stamp << " handed out twice on thread " << s.thread;
        }
      }
    }
  }
}

TEST(ShadingDriver, CacheSlotsAreAllUsed) {
  StandInRenderer renderer(2);
  const ShadingOptions options{1, 4};
  const std::vector<SeenPoint> seen = record(renderer, options, numberedPoints(40));
  std::set<std::pair<int, int>> slots;
  for (const SeenPoint& s : seen) slots.insert({s.thread, s.cacheIndex});
  EXPECT_EQ(slots.size(), 8u);
}

TEST(ShadingDriver, RunsOfOneFrameNeverShareAStampOnAThread) {
  StandInRenderer renderer(3);
  const ShadingOptions options;
  std::set<std::pair<int, uint32>> earlier;
  for (double offset : {0.0, 1000.0, 2000.0}) {
    const std::vector<SeenPoint> seen = record(renderer, options, numberedPoints(50, offset));
    std::set<std::pair<int, uint32>> now;
    for (const SeenPoint& s : seen) {
      EXPECT_NE(s.stamp, 0u);
      now.insert({s.thread, s.stamp});
      EXPECT_EQ(earlier.count({s.thread, s.stamp}), 0u)
          << "thread " << s.thread << " stamp " << s.stamp << " reused by a later run";
    }
    earlier.insert(now.begin(), now.end());
  }
}

TEST(ShadingDriver, NoPointsNoCalls) {
  for (int threads : {1, 4}) {
    StandInRenderer renderer(threads);
    int calls = 0;
    ShadingDriver(renderer).run({}, [&](const VUtils::VRayContext&, std::size_t, int) { ++calls; });
    EXPECT_EQ(calls, 0);
  }
}

}  // namespace
}  // namespace qv::vrayhost
