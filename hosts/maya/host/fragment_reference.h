// The shade-fragment functions of the viewport plug-ins (qv_vpProjector's
// qv_vpProjectorFragment, qv_vpStack's qv_vpStackFragment) worked out on the
// CPU, statement for statement in float as the HLSL has them, for a preview
// where there is no Vulkan device to run the fragments' own text on.
#pragma once

#include "image_file.h"
#include "shader_runner.h"

#include <array>
#include <string>
#include <vector>

namespace qv::maya::reference {

// What a sampler reads at texture coordinates (s, t): (0, 0) is the corner of
// the image's row 0 (the top row of the file), one texel is 1 / width wide.
// Linear and anisotropic filters both read bilinearly (the anisotropic one
// with zero derivatives, as a whole-pixel draw has them, covers no more);
// a missing image reads (0, 0, 0, 0).
std::array<float, 4> sample(const image::Picture* image, const gpu::Sampler& sampler, float s,
                            float t);

// One argument of a fragment function: numbers (a float4x4 as the HLSL
// matrix, row by row), or for a texture its image and for a sampler its
// description.
struct Argument {
  std::array<float, 16> v{};
  const image::Picture* image = nullptr;
  gpu::Sampler sampler;
};

// The output structure both plug-ins return.
struct Output {
  std::array<float, 3> outColor{};
  std::array<float, 3> outTransparency{};
  float outAlpha = 0.0f;
};

// The place of a member of Output in its floats (outColor 0..2,
// outTransparency 3..5, outAlpha 6); false for another name.
bool outputMember(const std::string& name, int* offset, int* size);
void flatten(const Output& output, float* floats);  // 7 floats

using Function = Output (*)(const Argument* arguments);

struct Reference {
  const char* function;                     // the HLSL function's name
  std::vector<std::string> parameterTypes;  // the fragment's property types, in order
  Function evaluate = nullptr;
};

// The reference of the fragment function of that name, or null.
const Reference* find(const std::string& function);

// Makes find() give `reference` for its function from now on, in place of
// any it gave: for fragments other than the plug-ins', such as those a test
// registers to check what the preview hands a function. A function that
// returns one value (no structure) gives it in the floats of flatten() from
// outColor's first on, a bool, int or float as outAlpha.
void add(const Reference& reference);

}  // namespace qv::maya::reference
