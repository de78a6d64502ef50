// The shade fragment's shader text as the plug-in registers it: compiled by
// glslangValidator as HLSL and, for the Cg implementation, as DX9-style HLSL,
// then run on a Vulkan device and held against the fragment's algorithm and
// against the node's compute.
#include "maya_host.h"
#include "shader_runner.h"
#include "stack_reference.h"
#include "viewport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace qv::vpstack::test {
namespace {

using maya::Host;

constexpr uint32_t kInputFloats = 3 * kLayers + 3 * kLayers;  // colours, masks, two switches
constexpr uint32_t kOutputFloats = 7;                         // outColor, outTransparency, outAlpha

// A fragment shader that feeds one input set to qv_vpStackFragment and writes
// its result: the registered declaration and source, spliced in unchanged.
std::string wrapper(const std::string& declaration, const std::string& source) {
  std::string arguments;
  const auto input = [](uint32_t index) { return "qvInputs[b + " + std::to_string(index) + "]"; };
  for (uint32_t n = 0; n < kLayers; ++n) {
    arguments +=
        "float3(" + input(3 * n) + ", " + input(3 * n + 1) + ", " + input(3 * n + 2) + "),\n";
  }
  for (uint32_t n = 0; n < kLayers; ++n) arguments += input(3 * kLayers + n) + ",\n";
  for (uint32_t n = 0; n < 2 * kLayers; ++n) {
    arguments += input(4 * kLayers + n) + " != 0.0" + (n + 1 < 2 * kLayers ? ",\n" : "");
  }
  return gpu::hlslPrelude() + declaration + "\n" + source +
         "\nvoid main(float4 pos : SV_Position) {\n"
         "  uint i = qvInvocation(pos);\n"
         "  uint b = i * " +
         std::to_string(kInputFloats) +
         ";\n"
         "  qv_vpStackFragmentOutput r = qv_vpStackFragment(\n" +
         arguments +
         ");\n"
         "  if (qvWrites(pos)) {\n"
         "    uint o = i * 7;\n"
         "    qvOutputs[o] = r.outColor.x; qvOutputs[o + 1] = r.outColor.y;\n"
         "    qvOutputs[o + 2] = r.outColor.z; qvOutputs[o + 3] = r.outTransparency.x;\n"
         "    qvOutputs[o + 4] = r.outTransparency.y; qvOutputs[o + 5] = r.outTransparency.z;\n"
         "    qvOutputs[o + 6] = r.outAlpha;\n"
         "  }\n"
         "}\n";
}

void append(const Layers& layers, std::vector<float>* inputs) {
  for (const Rgb& c : layers.color) inputs->insert(inputs->end(), c.begin(), c.end());
  inputs->insert(inputs->end(), layers.mask.begin(), layers.mask.end());
  for (bool on : layers.premultiply) inputs->push_back(on ? 1.0f : 0.0f);
  for (bool on : layers.solo) inputs->push_back(on ? 1.0f : 0.0f);
}

Stacked unpack(const std::vector<float>& outputs, size_t set) {
  const float* o = outputs.data() + set * kOutputFloats;
  return {{o[0], o[1], o[2]}, o[6], {o[3], o[4], o[5]}};
}

void expectNear(const Stacked& actual, const Stacked& expected) {
  const auto near = [](float a, float e) {
    EXPECT_NEAR(a, e, 1e-5f * std::max(1.0f, std::abs(e)));
  };
  for (int c = 0; c < 3; ++c) {
    near(actual.color[c], expected.color[c]);
    near(actual.transparency[c], expected.transparency[c]);
  }
  near(actual.alpha, expected.alpha);
}

// The plug-in loaded and its fragments registered by one draw update.
class StackShaderTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host.loadPlugin(QV_VPSTACK_PLUGIN, &error)) << error;
    ASSERT_EQ(host.createNode("qv_vpStack", "n"), "n");
    viewport.refresh();
    ASSERT_EQ(viewport.shader("n")->fragmentName, "qv_vpStackGraph");
  }

  std::string shaderText(const std::string& language) {
    const std::string declaration = maya::fragmentSource("qv_vpStackFragmentOutput", language);
    const std::string source = maya::fragmentSource("qv_vpStackFragment", language);
    EXPECT_NE(declaration.find("struct qv_vpStackFragmentOutput"), std::string::npos) << language;
    EXPECT_NE(source.find("qv_vpStackFragment("), std::string::npos) << language;
    return wrapper(declaration, source);
  }

  Host host;
  maya::Viewport viewport{host};
};

TEST_F(StackShaderTest, CgAndHlslImplementationsCompile) {
  if (!*gpu::glslangValidatorPath()) GTEST_SKIP() << "no glslangValidator at configure time";
  const gpu::ShaderCompile hlsl =
      gpu::compileHlsl(shaderText("HLSL"), "main", gpu::Stage::kFragment);
  EXPECT_TRUE(hlsl.ok) << hlsl.log;
  const gpu::ShaderCompile cg =
      gpu::compileHlsl(shaderText("Cg"), "main", gpu::Stage::kFragment, true);
  EXPECT_TRUE(cg.ok) << cg.log;
}

class StackShaderDeviceTest : public StackShaderTest {
 protected:
  static void SetUpTestSuite() { device_ = gpu::Device::create(&why_); }
  static void TearDownTestSuite() { device_.reset(); }

  void SetUp() override {
    if (!device_) GTEST_SKIP() << "no Vulkan device: " << why_;
    StackShaderTest::SetUp();
  }

  // The fragment's results for every input set, in order.
  std::vector<Stacked> run(const std::vector<Layers>& sets) {
    const gpu::ShaderCompile compiled =
        gpu::compileHlsl(shaderText("HLSL"), "main", gpu::Stage::kFragment);
    EXPECT_TRUE(compiled.ok) << compiled.log;
    gpu::Job job;
    job.spirv = compiled.spirv;
    job.invocations = static_cast<uint32_t>(sets.size());
    for (const Layers& layers : sets) append(layers, &job.inputs);
    job.outputFloats = job.invocations * kOutputFloats;
    std::vector<float> outputs;
    std::string error;
    EXPECT_TRUE(compiled.ok && device_->run(job, &outputs, &error)) << error;
    std::vector<Stacked> results;
    for (size_t i = 0; i < sets.size() && outputs.size() == job.outputFloats; ++i) {
      results.push_back(unpack(outputs, i));
    }
    return results;
  }

  // The node's compute on the same layers, through the session's graph.
  Stacked compute(const Layers& layers) {
    for (int n = 0; n < kLayers; ++n) {
      const std::string number = std::to_string(n);
      const Rgb& c = layers.color[n];
      EXPECT_TRUE(host.setAttr("n.color" + number, std::vector<double>{c[0], c[1], c[2]}));
      EXPECT_TRUE(host.setAttr("n.mask" + number, layers.mask[n]));
      EXPECT_TRUE(host.setAttr("n.premultiply" + number, layers.premultiply[n] ? 1.0 : 0.0));
      EXPECT_TRUE(host.setAttr("n.solo" + number, layers.solo[n] ? 1.0 : 0.0));
    }
    const auto get = [&](const char* plug) {
      return host.getAttr(plug).value_or(std::vector<double>(3, NAN));
    };
    const std::vector<double> color = get("n.outColor"), transparency = get("n.outTransparency");
    return {{float(color[0]), float(color[1]), float(color[2])},
            float(get("n.outAlpha")[0]),
            {float(transparency[0]), float(transparency[1]), float(transparency[2])}};
  }

  static std::unique_ptr<gpu::Device> device_;
  static std::string why_;
};

std::unique_ptr<gpu::Device> StackShaderDeviceTest::device_;
std::string StackShaderDeviceTest::why_;

// Hand-made sets for the edge cases, then random ones.
std::vector<Layers> edgeCases() {
  std::vector<Layers> sets;
  const auto add = [&](auto setUp) {
    Layers layers;
    setUp(layers);
    sets.push_back(layers);
  };
  const Rgb red{1, 0, 0}, blue{0, 0, 1};
  add([](Layers&) {});
  add([](Layers& l) {  // the fragment's premultiply default, everywhere
    l.premultiply.fill(true);
    for (int n = 0; n < kLayers; ++n) l.color[n] = {1, 0.5f, 0.25f}, l.mask[n] = n / 32.0f;
  });
  add([&](Layers& l) {
    l.color[0] = red, l.mask[0] = 0.5f, l.premultiply[0] = true;
    l.color[1] = blue, l.mask[1] = 1, l.premultiply[1] = true;
  });
  add([](Layers& l) {
    for (Rgb& c : l.color) c = {0.125f, 0.25f, 0.5f};
    l.mask[15] = 1;
  });
  add([&](Layers& l) { l.color[0] = red, l.mask[0] = 1.5f, l.color[1] = blue; });   // as 1
  add([&](Layers& l) { l.color[0] = red, l.mask[0] = -0.5f, l.color[1] = blue; });  // as 0
  add([&](Layers& l) { l.color[4] = red, l.mask[4] = 1.5f, l.solo[4] = true; });
  add([&](Layers& l) { l.color[7] = blue, l.mask[7] = -0.5f, l.premultiply[7] = true; });
  add([&](Layers& l) {  // kept last
    l.color[2] = red, l.mask[2] = 0.75f, l.solo[2] = true;
    l.color[11] = {0.2f, 0.4f, 0.6f}, l.mask[11] = 1.5f, l.solo[11] = true;
    l.premultiply[11] = true;
  });
  return sets;
}

TEST_F(StackShaderDeviceTest, MatchesTheFragmentAlgorithmOverManyInputSets) {
  std::vector<Layers> sets = edgeCases();
  std::mt19937 random(1157);
  for (int i = 0; i < 1000; ++i) {
    sets.push_back(
        randomLayers(random, i % 2 ? 0.0f : -0.75f, i % 2 ? 1.0f : 2.0f, i % 4 == 0 ? 6 : 1000));
  }
  const std::vector<Stacked> results = run(sets);
  ASSERT_EQ(results.size(), sets.size());
  for (size_t i = 0; i < sets.size(); ++i) {
    SCOPED_TRACE("input set " + std::to_string(i));
    expectNear(results[i], fragmentStack(sets[i]));
  }
  // Spelled out: solo2 and solo11 show layer 11 with its mask clamped to 1.
  const Stacked& solo = results[edgeCases().size() - 1];
  EXPECT_NEAR(solo.color[1], 0.4f, 1e-6f);
  EXPECT_EQ(solo.alpha, 1.0f);
}

TEST_F(StackShaderDeviceTest, AgreesWithComputeWhileMasksStayInZeroToOne) {
  std::mt19937 random(611);
  std::vector<Layers> sets;
  for (int i = 0; i < 40; ++i) sets.push_back(randomLayers(random, 0.0f, 1.0f, i % 2 ? 5 : 1000));
  const std::vector<Stacked> results = run(sets);
  ASSERT_EQ(results.size(), sets.size());
  for (size_t i = 0; i < sets.size(); ++i) {
    SCOPED_TRACE("input set " + std::to_string(i));
    expectNear(results[i], compute(sets[i]));
  }
}

TEST_F(StackShaderDeviceTest, DiffersFromComputeWhereAMaskLeavesZeroToOne) {
  Layers soloed;
  soloed.color[4] = {0.2f, 0.4f, 0.6f}, soloed.mask[4] = 1.5f, soloed.solo[4] = true;
  soloed.premultiply[4] = true;
  Layers negative;  // -0.5 on top: compute lets 1.5 of what lies beneath through
  negative.color[0] = {1, 0, 0}, negative.mask[0] = -0.5f;
  negative.color[1] = {0, 0, 1}, negative.mask[1] = 1;
  const std::vector<Stacked> shader = run({soloed, negative});
  ASSERT_EQ(shader.size(), 2u);

  const Stacked node = compute(soloed);
  EXPECT_EQ(node.alpha, 1.5f);
  EXPECT_EQ(node.color, (Rgb{0.2f * 1.5f, 0.4f * 1.5f, 0.6f * 1.5f}));
  EXPECT_NEAR(shader[0].alpha, 1.0f, 1e-6f);
  EXPECT_NEAR(shader[0].transparency[0], 0.0f, 1e-6f);
  expectNear(shader[0], Stacked{{0.2f, 0.4f, 0.6f}, 1.0f, {0, 0, 0}});

  expectNear(compute(negative), Stacked{{1, 0, 1.5f}, 0.5f, {0.5f, 0.5f, 0.5f}});
  expectNear(shader[1], Stacked{{1, 0, 1}, 1.0f, {0, 0, 0}});
}

}  // namespace
}  // namespace qv::vpstack::test
