// Compiles shader text with a real compiler (glslangValidator) and runs it on
// a real Vulkan device, preferably Mesa's CPU driver lavapipe, for the tests
// and the viewport preview. Host and test code only: nothing here goes into
// a plug-in.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qv::gpu {

enum class Stage { kFragment, kCompute, kVertex };

struct ShaderCompile {
  bool ok = false;
  std::string log;
  std::vector<uint32_t> spirv;
};

// Path of glslangValidator found at configure time (find_program), "" when none.
const char* glslangValidatorPath();

// Compiles HLSL text with glslangValidator (HLSL front end -D, Vulkan SPIR-V
// -V, the given entry point and stage), run as a child process on temporary
// files, and validates the result with the SPIR-V validator built into it
// (--spirv-val). dx9Compatible adds --hlsl-dx9-compatible: that is how the
// Cg 2.1 implementation of a fragment (sampler2D, tex2D, float3 ...) is
// checked without changing its text; without it such text fails validation.
// Never throws; log carries the compiler's messages, with the temporary
// folder left out of file names ("shader.hlsl:3: ...").
ShaderCompile compileHlsl(const std::string& source, const std::string& entryPoint, Stage stage,
                          bool dx9Compatible = false);

// Compiles GLSL text (a `#version` line first, as glslPrelude() gives it) with
// glslangValidator for Vulkan (-V), entry point main, and validates it the
// same way; otherwise as compileHlsl.
ShaderCompile compileGlsl(const std::string& source, Stage stage);

// kAnisotropic needs Device::anisotropy(). On lavapipe it is a many-tap
// filter that blurs over about a texel even where derivatives are zero (and
// with SampleLevel), so it does not reduce to kLinear there.
enum class Filter { kNearest, kLinear, kAnisotropic };
// kBorder's colour is transparent black (0, 0, 0, 0).
enum class Address { kWrap, kMirror, kClamp, kBorder };
struct Sampler {
  Filter filter = Filter::kLinear;
  Address address = Address::kWrap;
  float maxAnisotropy = 16.0f;  // kAnisotropic only; clamped to the device's limit
};

// RGBA float image uploaded as VK_FORMAT_R32G32B32A32_SFLOAT; row 0 first
// (v = 0 is row 0's edge), 4 floats per pixel. With mipmaps, the full chain
// is made on the CPU: texel (x, y) of a level is the mean of texels 2x..2x+1,
// 2y..2y+1 of the level above, clamped to its edge (an odd size drops its
// last column or row). Levels only matter to explicit LODs (SampleLevel,
// SampleGrad, SampleBias): the runner's derivatives are zero.
struct Image {
  uint32_t width = 0, height = 0;
  std::vector<float> rgba;
  bool mipmaps = false;
};

// A texture and the sampler it is read with.
struct TextureBinding {
  const Image* image = nullptr;  // a 1x1 transparent-black image when null
  Sampler sampler;
};

struct Job {
  // Fragment shader (entry point "main") made from a wrapper that uses
  // hlslPrelude() or glslPrelude().
  std::vector<uint32_t> spirv;
  // Number of independent input sets.
  uint32_t invocations = 0;
  // Read-only storage buffer, set 0 binding 0.
  std::vector<float> inputs;
  // Read-write storage buffer, set 0 binding 1, zero-filled before the draw.
  uint32_t outputFloats = 0;
  // Texture k = 0: Texture2D at set 0 binding 2 (a 1x1 transparent-black
  // image when null) and its SamplerState at binding 3.
  const Image* image = nullptr;
  Sampler sampler;
  // Textures k = 1, 2, ...: moreTextures[k - 1], the Texture2D at binding
  // 2 + 2k and its SamplerState at 3 + 2k (the prelude's qvTexture<k> and
  // qvSampler<k>).
  std::vector<TextureBinding> moreTextures;
};

// Input sets are laid out as 2x2 pixel quads, kGridQuads quads to a row, as
// many rows as needed: a run of n invocations draws kGridQuads * 2 by
// ceil(n / kGridQuads) * 2 pixels, in several draws where that is more rows
// than the device draws at once (4096 on lavapipe).
constexpr uint32_t kGridQuads = 64;

// HLSL text to put at the top of a wrapper: declares qvInputs
// (StructuredBuffer<float>, binding 0), qvOutputs (RWStructuredBuffer<float>,
// binding 1), qvTexture (Texture2D, binding 2), qvSampler (SamplerState,
// binding 3), for a job of several textures (`textures` > 1) also
// qvTexture<k> and qvSampler<k> at bindings 2 + 2k and 3 + 2k for
// k = 1 .. textures - 1 (hlslTextureName and hlslSamplerName), the push
// constants qvInvocationCount (the job's invocations)
// and qvFirstInvocation (that of the draw's first quad), and the functions
//   uint qvInvocation(float4 fragCoord): index of the input set this fragment
//     serves; all four fragments of a quad serve the same set, so derivatives
//     of what depends only on the set are exactly zero and Sample reads level 0.
//     Fragments past the last set serve the last set, so reads stay in bounds.
//   bool qvWrites(float4 fragCoord): true for exactly one fragment per input
//     set that is < invocations.
// fragCoord is the SV_Position input. Sample outside `if (qvWrites(...))`:
// implicit derivatives need all four fragments of the quad. Names that begin
// with qv or Qv are the prelude's. A wrapper's main is usually
//   void main(float4 pos : SV_Position) { uint i = qvInvocation(pos); ... }
// (an SV_Target output is allowed; it goes nowhere).
std::string hlslPrelude(uint32_t textures = 1);
// The prelude's names of texture k and its sampler: qvTexture and qvSampler
// for k = 0, qvTexture<k> and qvSampler<k> after it.
std::string hlslTextureName(uint32_t k);
std::string hlslSamplerName(uint32_t k);

// The same for a GLSL wrapper, `#version 450` first: qvInputs and qvOutputs
// (float arrays of storage blocks at bindings 0 and 1), the push constants
// and the three functions alike, taking gl_FragCoord. Its textures are
// combined: qvMap<k> (glslMapName), a sampler2D at binding 2 + 2n + k for
// n = `textures`, texture k with its sampler, as a GLSL function that takes
// a sampler2D needs them (the device binds every texture both ways).
std::string glslPrelude(uint32_t textures = 1);
std::string glslMapName(uint32_t k);

class Device {
 public:
  // Null, with `why` saying why, when no Vulkan device can be made (no loader,
  // no physical device, no glslangValidator, a missing feature). Prefers a CPU
  // device (lavapipe) so results are reproducible. Needs
  // fragmentStoresAndAtomics and linear filtering of R32G32B32A32_SFLOAT;
  // uses samplerAnisotropy where there is one.
  static std::unique_ptr<Device> create(std::string* why);
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  const std::string& name() const;
  bool anisotropy() const;  // whether Filter::kAnisotropic can run

  // Draws the job: returns false with *error set on any Vulkan failure (or a
  // malformed job); fills *outputs with outputFloats floats. One run at a
  // time per Device.
  bool run(const Job& job, std::vector<float>* outputs, std::string* error);

  struct Impl;

 private:
  explicit Device(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace qv::gpu
