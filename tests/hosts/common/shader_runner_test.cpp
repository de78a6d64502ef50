#include "shader_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace qv::gpu {
namespace {

constexpr uint32_t kOpTypeSampledImage = 27;

bool hasOpcode(const std::vector<uint32_t>& spirv, uint32_t opcode) {
  for (size_t i = 5; i < spirv.size() && (spirv[i] >> 16) != 0; i += spirv[i] >> 16)
    if ((spirv[i] & 0xffffu) == opcode) return true;
  return false;
}

class ShaderCompileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!*glslangValidatorPath()) GTEST_SKIP() << "no glslangValidator at configure time";
  }
};

TEST_F(ShaderCompileTest, CompilesAValidFunction) {
  const ShaderCompile c =
      compileHlsl("float4 main(float4 p : SV_Position) : SV_Target { return p * 0.5; }", "main",
                  Stage::kFragment);
  EXPECT_TRUE(c.ok) << c.log;
  ASSERT_GE(c.spirv.size(), 5u);
  EXPECT_EQ(c.spirv[0], 0x07230203u);
}

TEST_F(ShaderCompileTest, ReportsAnInvalidOne) {
  const ShaderCompile c =
      compileHlsl("float4 main() : SV_Target { return undefinedThing; }", "main", Stage::kFragment);
  EXPECT_FALSE(c.ok);
  EXPECT_TRUE(c.spirv.empty());
  EXPECT_NE(c.log.find("shader.hlsl:1: 'undefinedThing'"), std::string::npos) << c.log;
}

TEST_F(ShaderCompileTest, ChecksCgTextAsDx9) {
  const std::string cg = R"(
sampler2D colorMap;
float3 tint;
float4 main(float2 uv : TEXCOORD0) : COLOR {
  float3 c = tex2D(colorMap, uv).rgb * tint;
  return float4(c, 1.0);
}
)";
  const ShaderCompile dx9 = compileHlsl(cg, "main", Stage::kFragment, true);
  EXPECT_TRUE(dx9.ok) << dx9.log;
  EXPECT_TRUE(hasOpcode(dx9.spirv, kOpTypeSampledImage));  // sampler2D: a combined image sampler
  // Read as modern HLSL, sampler2D is a bare sampler that tex2D cannot sample.
  const ShaderCompile modern = compileHlsl(cg, "main", Stage::kFragment);
  EXPECT_FALSE(modern.ok);
  EXPECT_NE(modern.log.find("Validation Errors"), std::string::npos) << modern.log;
}

class ShaderDeviceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { device_ = Device::create(&why_); }
  static void TearDownTestSuite() { device_.reset(); }
  void SetUp() override {
    if (!device_) GTEST_SKIP() << "no Vulkan device: " << why_;
  }

  // The fragment shader of a wrapper whose main's body is `body`.
  static std::vector<uint32_t> wrapper(const std::string& body) {
    const ShaderCompile c = compileHlsl(hlslPrelude() +
                                            "void main(float4 pos : SV_Position) {\n"
                                            "  uint i = qvInvocation(pos);\n" +
                                            body + "}\n",
                                        "main", Stage::kFragment);
    EXPECT_TRUE(c.ok) << c.log;
    return c.spirv;
  }

  // Samples `image` at each (u, v) pair of `uvs`, four floats a sample.
  static std::vector<float> sampled(const Image& image, Sampler sampler,
                                    const std::vector<float>& uvs) {
    Job job;
    job.spirv = wrapper(R"(
  float4 c = qvTexture.Sample(qvSampler, float2(qvInputs[2 * i], qvInputs[2 * i + 1]));
  if (qvWrites(pos)) {
    for (uint k = 0; k < 4; ++k) qvOutputs[4 * i + k] = c[k];
  }
)");
    job.invocations = static_cast<uint32_t>(uvs.size() / 2);
    job.inputs = uvs;
    job.outputFloats = 4 * job.invocations;
    job.image = &image;
    job.sampler = sampler;
    std::vector<float> out;
    std::string error;
    EXPECT_TRUE(device_->run(job, &out, &error)) << error;
    return out;
  }

  static inline std::unique_ptr<Device> device_;
  static inline std::string why_;
};

TEST_F(ShaderDeviceTest, ComputesEveryInvocationExactly) {
  // A last row partly used; whole rows (the grid's far corner); and more than
  // one draw holds on lavapipe (4096 rows). 3 floats beyond the last set's
  // outputs must stay zero.
  for (const uint32_t n : {12 * kGridQuads + 9, 8 * kGridQuads, 300000u}) {
    SCOPED_TRACE(n);
    Job job;
    job.spirv = wrapper(R"(
  float a = qvInputs[3 * i], b = qvInputs[3 * i + 1], c = qvInputs[3 * i + 2];
  float flat = fwidth(a) + fwidth(b) + fwidth(c);  // a quad serves one set
  if (qvWrites(pos)) {
    qvOutputs[5 * i] = a * b + c;
    qvOutputs[5 * i + 1] = (a - c) * 0.5;
    qvOutputs[5 * i + 2] = max(a, b) - min(b, c);
    qvOutputs[5 * i + 3] = float(i);
    qvOutputs[5 * i + 4] = flat;
  }
)");
    job.invocations = n;
    job.outputFloats = 5 * n + 3;
    std::vector<float> expected(job.outputFloats, 0.0f);
    for (uint32_t i = 0; i < n; ++i) {
      // Dyadic values whose products and sums are exact, fused or not.
      const float a = float(i % 37) * 0.25f - 3.0f, b = float(i % 11) + 0.5f,
                  c = float(i % 1000) * 0.125f;
      job.inputs.insert(job.inputs.end(), {a, b, c});
      expected[5 * i] = a * b + c;
      expected[5 * i + 1] = (a - c) * 0.5f;
      expected[5 * i + 2] = std::max(a, b) - std::min(b, c);
      expected[5 * i + 3] = float(i);
    }
    std::vector<float> out;
    std::string error;
    ASSERT_TRUE(device_->run(job, &out, &error)) << error;
    ASSERT_EQ(out.size(), expected.size());
    for (size_t k = 0; k < out.size(); ++k) ASSERT_EQ(out[k], expected[k]) << "float " << k;
  }
}

// A 16 x 8 ramp: texel (x, y) holds (x + 0.5, y + 0.5, 0, 1), so bilinear
// filtering at (u, v) in the interior gives (16 u, 8 v, 0, 1) exactly for
// coordinates on a 1/16-texel grid.
Image ramp() {
  Image image;
  image.width = 16;
  image.height = 8;
  for (uint32_t y = 0; y < image.height; ++y)
    for (uint32_t x = 0; x < image.width; ++x)
      image.rgba.insert(image.rgba.end(), {float(x) + 0.5f, float(y) + 0.5f, 0.0f, 1.0f});
  return image;
}

TEST_F(ShaderDeviceTest, LinearSamplingIsBilinearInTheInterior) {
  std::vector<float> uvs, expected;
  for (float s = 0.5f; s <= 15.5f; s += 5.0f / 16.0f)
    for (float t = 0.5f; t <= 7.5f; t += 11.0f / 16.0f) {
      uvs.insert(uvs.end(), {s / 16.0f, t / 8.0f});
      expected.insert(expected.end(), {s, t, 0.0f, 1.0f});
    }
  // Zero derivatives: level 0 of a mipmapped image.
  Image image = ramp();
  image.mipmaps = true;
  const std::vector<float> out = sampled(image, {Filter::kLinear, Address::kClamp}, uvs);
  ASSERT_EQ(out.size(), expected.size());
  for (size_t k = 0; k < out.size(); ++k)
    ASSERT_EQ(out[k], expected[k])
        << "sample " << k / 4 << " at " << uvs[k / 4 * 2] << ", " << uvs[k / 4 * 2 + 1];
}

TEST_F(ShaderDeviceTest, BorderAddressingIsTransparentBlackOutside) {
  // Each more than half a texel outside [0, 1] on at least one axis.
  const std::vector<float> uvs = {-0.1f, 0.5f, 1.1f, 0.5f, 0.5f, -0.1f, 0.5f,
                                  1.1f,  -1.f, -1.f, 2.5f, 3.0f, 1.5f,  0.25f};
  const std::vector<float> out = sampled(ramp(), {Filter::kLinear, Address::kBorder}, uvs);
  ASSERT_EQ(out.size(), uvs.size() * 2);
  for (size_t k = 0; k < out.size(); ++k) EXPECT_EQ(out[k], 0.0f) << "sample " << k / 4;
  // Inside, the same sampler filters the image.
  EXPECT_EQ(sampled(ramp(), {Filter::kLinear, Address::kBorder}, {0.25f, 0.5f}),
            (std::vector<float>{4.0f, 4.0f, 0.0f, 1.0f}));
}

TEST_F(ShaderDeviceTest, WrapAddressingRepeats) {
  // (4, 4) texels in, and the same a whole image or more away; then 0.25
  // texels across the seam, a quarter of texel 15's value and three
  // quarters of texel 0's.
  const std::vector<float> uvs = {0.25f, 0.5f, 1.25f, 0.5f, -1.75f, 3.5f, 0.25f / 16, 0.5f};
  const std::vector<float> out = sampled(ramp(), {Filter::kLinear, Address::kWrap}, uvs);
  const float seam = 15.5f * 0.25f + 0.5f * 0.75f;
  EXPECT_EQ(out, (std::vector<float>{4.0f, 4.0f, 0.0f, 1.0f, 4.0f, 4.0f, 0.0f, 1.0f,  //
                                     4.0f, 4.0f, 0.0f, 1.0f, seam, 4.0f, 0.0f, 1.0f}));
}

}  // namespace
}  // namespace qv::gpu
