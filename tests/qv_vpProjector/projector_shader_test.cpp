// The shader function of qv_vpProjectorFragment as the viewport receives it:
// both languages compiled by a real compiler, and the HLSL run on a Vulkan
// device over a grid of inputs, against the algorithm worked out here in
// double precision. Since only the HLSL runs here, the Cg and the GLSL are
// held to it statement by statement (the GLSL runs beside it in the example
// render's comparison of the two viewport engines).
//
// Oracle: the texture is a ramp whose red and green are the texture
// coordinates of the texel centres, so a linear sampler gives back exactly
// the coordinate it was asked for anywhere between the outer texel centres;
// blue is 0.75 - green / 2 but 1 in the top and bottom rows, which it marks;
// alpha is 0.25 + red / 2.
#include "fragment_reference.h"
#include "image_file.h"
#include "projector_test_support.h"
#include "shader_runner.h"
#include "viewport.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qv::vpProjector::test {
namespace {

using qv::gpu::Stage;

// One input set: every parameter of the function, in order, as floats.
enum Slot {
  kUv = 0,
  kMapType = 2,
  kR,
  kG,
  kB,
  kA,
  kPassThrough,
  kInvert,
  kSolidAlpha,
  kPremultiply,
  kTexWidth,
  kTexHeight,
  kResRatio,
  kFitType,
  kColorOffset,
  kFocalLength = kColorOffset + 3,
  kAngleOfView,
  kHAperture,
  kVAperture,
  kFlipU,
  kFlipV,
  kPlacement,
  kPm = kPlacement + 16,
  kPw = kPm + 3,
  kWorld = kPw + 3,
  kSlots = kWorld + 16
};
using Record = std::array<float, kSlots>;
constexpr int kOutputs = 7;  // outColor, outTransparency, outAlpha
using Outputs = std::array<double, kOutputs>;

constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 32;
// Texture coordinates where only float arithmetic enters (the UV map, and
// the sampler's own interpolation of the ramp), and where acos, atan2 or tan
// do. lavapipe's acos was seen 1.6e-4 radians off, which is 5.1e-5 in the
// spherical map's t (divided by pi); the bound doubles that for other
// devices' approximations and the float matrix products. lavapipe itself
// stays within 1.4e-5 on these inputs.
constexpr double kArithmeticBound = 1e-5;
constexpr double kTranscendentalBound = 1e-4;

// The visibility tests' parameters as an artist leaves them: Nw, then
// every test off (the texture and sampler after them are read only with a
// depth map, and there is none).
const char* const kVisibilityOff =
    "float3(0.0, 0.0, 1.0), false, 90.0, -1.0, false, 0.0, 0.5, 2.0, 0.01, float3(0.0, 0.0, 0.0)";

// The call of the fragment function with each parameter read by `in(slot)`.
std::string callText(const std::function<std::string(int)>& in, const std::string& texture,
                     const std::string& sampler) {
  auto vector = [&](const char* type, int slot, int count) {
    std::string text = std::string(type) + "(";
    for (int i = 0; i < count; ++i) text += (i ? ", " : "") + in(slot + i);
    return text + ")";
  };
  auto flag = [&](int slot) { return "(" + in(slot) + " != 0.0)"; };
  auto integer = [&](int slot) { return "int(" + in(slot) + ")"; };
  std::string call =
      "qv_vpProjectorFragment(" + vector("float2", kUv, 2) + ", " + integer(kMapType);
  for (int slot = kR; slot <= kPremultiply; ++slot) call += ", " + flag(slot);
  call += ", " + integer(kTexWidth) + ", " + integer(kTexHeight) + ", " + in(kResRatio) + ", " +
          integer(kFitType) + ", " + vector("float3", kColorOffset, 3);
  for (int slot = kFocalLength; slot <= kVAperture; ++slot) call += ", " + in(slot);
  call += ", " + flag(kFlipU) + ", " + flag(kFlipV) + ", " + vector("float4x4", kPlacement, 16) +
          ", " + vector("float3", kPm, 3) + ", " + vector("float3", kPw, 3) + ", " +
          vector("float4x4", kWorld, 16) + ", " + texture + ", " + sampler + ", " + kVisibilityOff +
          ", " + texture + ", " + sampler + ")";
  return call;
}

// A fragment shader that runs the function once per input set.
std::string runnerWrapper(const std::string& declaration, const std::string& function) {
  const auto in = [](int slot) { return "qvInputs[base + " + std::to_string(slot) + "]"; };
  std::string text = qv::gpu::hlslPrelude() + declaration + function +
                     "\nfloat4 main(float4 fragCoord : SV_Position) : SV_Target {\n"
                     "  uint base = qvInvocation(fragCoord) * " +
                     std::to_string(kSlots) +
                     ";\n"
                     "  qv_vpProjectorFragmentOutput o = " +
                     callText(in, "qvTexture", "qvSampler") +
                     ";\n"
                     "  if (qvWrites(fragCoord)) {\n"
                     "    uint at = qvInvocation(fragCoord) * 7;\n"
                     "    qvOutputs[at] = o.outColor.x; qvOutputs[at + 1] = o.outColor.y;\n"
                     "    qvOutputs[at + 2] = o.outColor.z; qvOutputs[at + 3] = "
                     "o.outTransparency.x;\n"
                     "    qvOutputs[at + 4] = o.outTransparency.y; qvOutputs[at + 5] = "
                     "o.outTransparency.z;\n"
                     "    qvOutputs[at + 6] = o.outAlpha;\n"
                     "  }\n"
                     "  return float4(0.0, 0.0, 0.0, 0.0);\n"
                     "}\n";
  return text;
}

// The Cg text can only be compiled, not run: with --hlsl-dx9-compatible
// glslang reads its sampler2D as the combined sampler that tex2D samples,
// but it knows no Cg texture2D, the type Maya's OpenGL viewport binds a
// texture2 property to. That one type name is defined to HLSL's Texture2D,
// the nearest type glslang has (a texture that is not read by itself),
// ahead of the text taken back from the fragment manager, which is
// compiled as it is otherwise.
std::string cgWrapper(const std::string& declaration, const std::string& function) {
  const auto in = [](int slot) { return "(fragCoord.x + " + std::to_string(slot) + ".0)"; };
  return "#define texture2D Texture2D\n" + declaration + function +
         "\ntexture2D qvMap;\nsampler2D qvSampler;\n"
         "float4 main(float4 fragCoord : SV_Position) : SV_Target {\n"
         "  qv_vpProjectorFragmentOutput o = " +
         callText(in, "qvMap", "qvSampler") +
         ";\n"
         "  return float4(o.outColor + o.outTransparency, o.outAlpha);\n"
         "}\n";
}

// ---- The Cg against the HLSL ---------------------------------------------

// A shader text as a compiler reads it: tokens, with comments and layout
// dropped, and where each token starts in the text.
struct Token {
  std::string text;
  size_t at = 0;
};

std::vector<Token> tokens(const std::string& source) {
  static const char* const kPairs[] = {"==", "!=", "<=", ">=", "&&", "||", "++", "--",
                                       "+=", "-=", "*=", "/=", "<<", ">>", "::", "->"};
  const auto word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  std::vector<Token> found;
  size_t i = 0;
  while (i < source.size()) {
    const char c = source[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (source.compare(i, 2, "//") == 0) {
      i = source.find('\n', i);
      if (i == std::string::npos) i = source.size();
    } else if (source.compare(i, 2, "/*") == 0) {
      const size_t end = source.find("*/", i + 2);
      i = end == std::string::npos ? source.size() : end + 2;
    } else if (digit(c) || (c == '.' && i + 1 < source.size() && digit(source[i + 1]))) {
      // A number with its fraction, exponent and suffix, as one token.
      size_t end = i;
      while (end < source.size() && (word(source[end]) || source[end] == '.' ||
                                     ((source[end] == '+' || source[end] == '-') &&
                                      (source[end - 1] == 'e' || source[end - 1] == 'E')))) {
        ++end;
      }
      found.push_back({source.substr(i, end - i), i});
      i = end;
    } else if (word(c)) {
      size_t end = i;
      while (end < source.size() && word(source[end])) ++end;
      found.push_back({source.substr(i, end - i), i});
      i = end;
    } else {
      size_t length = 1;
      for (const char* pair : kPairs) {
        if (source.compare(i, 2, pair) == 0) length = 2;
      }
      found.push_back({source.substr(i, length), i});
      i += length;
    }
  }
  return found;
}

// The statements of a text: token runs that end after ';', '{' or '}', each
// written out with one space between tokens. The function's head, up to its
// opening brace, is the first.
std::vector<std::string> statements(const std::vector<std::string>& words) {
  std::vector<std::string> found;
  std::string current;
  for (const std::string& word : words) {
    current += (current.empty() ? "" : " ") + word;
    if (word == ";" || word == "{" || word == "}") {
      found.push_back(current);
      current.clear();
    }
  }
  if (!current.empty()) found.push_back(current);
  return found;
}

std::vector<std::string> words(const std::string& source) {
  std::vector<std::string> found;
  for (const Token& token : tokens(source)) found.push_back(token.text);
  return found;
}

// The ways in which the Cg may differ from the HLSL, as token runs: how the
// textures are declared, and how each is sampled.
const std::pair<std::vector<std::string>, std::vector<std::string>> kTextureAccess[] = {
    {{"Texture2D", "fileMap", ",", "SamplerState", "textureSampler"},
     {"texture2D", "fileMap", ",", "sampler2D", "textureSampler"}},
    {{"fileMap", ".", "Sample", "(", "textureSampler", ",", "coords", ")"},
     {"tex2D", "(", "textureSampler", ",", "coords", ")"}},
    {{"Texture2D", "depthMap", ",", "SamplerState", "depthSampler"},
     {"texture2D", "depthMap", ",", "sampler2D", "depthSampler"}},
    {{"depthMap", ".", "SampleLevel", "(", "depthSampler", ",", "at", ",", "0.0", ")"},
     {"tex2Dlod", "(", "depthSampler", ",", "float4", "(", "at", ",", "0.0", ",", "0.0", ")",
      ")"}}};

// Every difference between the Cg and the HLSL, statement by statement,
// once the HLSL's texture access is written the Cg way; also where an
// allowed difference has no place in the HLSL to apply to, so that neither
// can become a licence for a text that samples some other way. Empty when
// the two are the same function.
std::vector<std::string> drift(const std::string& cg, const std::string& hlsl) {
  std::vector<std::string> differences;
  std::vector<std::string> translated = words(hlsl);
  for (const auto& [from, to] : kTextureAccess) {
    size_t replaced = 0;
    for (auto at = std::search(translated.begin(), translated.end(), from.begin(), from.end());
         at != translated.end(); at = std::search(at, translated.end(), from.begin(), from.end())) {
      at = translated.insert(translated.erase(at, at + from.size()), to.begin(), to.end());
      at += to.size();
      ++replaced;
    }
    if (replaced != 1) {
      std::string run;
      for (const std::string& word : from) run += word + " ";
      differences.push_back("the HLSL has " + std::to_string(replaced) + " of \"" + run + "\"");
    }
  }
  const std::vector<std::string> want = statements(translated);
  const std::vector<std::string> got = statements(words(cg));
  for (size_t i = 0; i < std::max(want.size(), got.size()); ++i) {
    const std::string hlslStatement = i < want.size() ? want[i] : "(none)";
    const std::string cgStatement = i < got.size() ? got[i] : "(none)";
    if (hlslStatement != cgStatement) {
      differences.push_back("statement " + std::to_string(i) + ": Cg \"" + cgStatement +
                            "\", HLSL \"" + hlslStatement + "\"");
    }
  }
  return differences;
}

// ---- The GLSL against the HLSL -------------------------------------------

// The GLSL's first function, word for word: HLSL's mul(m, v), every row of m
// dotted with v, where GLSL's m * v would sum columns and round otherwise.
const char* const kGlslMul =
    "vec4 qv_vpProjectorMul(mat4 m, vec4 v) { mat4 rows = transpose(m); return vec4(dot(rows[0], "
    "v), dot(rows[1], v), dot(rows[2], v), dot(rows[3], v)); }";

// Replaces every run `from` in `text` by `to`; how many there were.
size_t replaceRuns(std::vector<std::string>* text, const std::vector<std::string>& from,
                   const std::vector<std::string>& to) {
  size_t replaced = 0;
  for (auto at = std::search(text->begin(), text->end(), from.begin(), from.end());
       at != text->end(); at = std::search(at, text->end(), from.begin(), from.end())) {
    at = text->insert(text->erase(at, at + from.size()), to.begin(), to.end());
    at += to.size();
    ++replaced;
  }
  return replaced;
}

// The HLSL's words as the GLSL must read: GLSL's type and function names;
// Maya's one sampler2D for the texture and its sampler; `const` for
// `static const`; mul as kGlslMul; and a float4x4 built from rows as the
// transpose of the mat4 built from the same numbers, which GLSL reads as
// columns.
std::vector<std::string> glslFromHlsl(const std::string& hlsl, std::vector<std::string>* problems) {
  std::vector<std::string> text = words(hlsl);
  const std::pair<std::vector<std::string>, std::vector<std::string>> kOnce[] = {
      {{"Texture2D", "fileMap", ",", "SamplerState", "textureSampler"},
       {"sampler2D", "textureSampler"}},
      {{"fileMap", ".", "Sample", "("}, {"texture", "("}},
      {{"Texture2D", "depthMap", ",", "SamplerState", "depthSampler"},
       {"sampler2D", "depthSampler"}},
      {{"depthMap", ".", "SampleLevel", "("}, {"textureLod", "("}}};
  for (const auto& [from, to] : kOnce) {
    const size_t replaced = replaceRuns(&text, from, to);
    if (replaced != 1) {
      problems->push_back("the HLSL has " + std::to_string(replaced) + " of \"" + from[0] + " " +
                          from[1] + " ...\"");
    }
  }
  replaceRuns(&text, {"static", "const"}, {"const"});
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != "float4x4" || text[i + 1] != "(") continue;
    int depth = 0;
    size_t close = i + 1;
    for (; close < text.size(); ++close) {
      depth += text[close] == "(" ? 1 : text[close] == ")" ? -1 : 0;
      if (depth == 0) break;
    }
    text.insert(text.begin() + static_cast<std::ptrdiff_t>(close), ")");
    text[i] = "mat4";
    text.insert(text.begin() + static_cast<std::ptrdiff_t>(i), {"transpose", "("});
    i += 2;
  }
  const std::map<std::string, std::string> kNames = {
      {"float2", "vec2"},   {"float3", "vec3"}, {"float4", "vec4"},
      {"float4x4", "mat4"}, {"atan2", "atan"},  {"mul", "qv_vpProjectorMul"}};
  for (std::string& word : text) {
    if (const auto found = kNames.find(word); found != kNames.end()) word = found->second;
  }
  return text;
}

// Every difference between the GLSL and the HLSL read as GLSL, statement by
// statement, after the GLSL's kGlslMul; empty when they are one function.
std::vector<std::string> glslDrift(const std::string& glsl, const std::string& hlsl) {
  std::vector<std::string> differences;
  std::vector<std::string> got = words(glsl);
  const std::vector<std::string> helper = words(kGlslMul);
  if (got.size() < helper.size() || !std::equal(helper.begin(), helper.end(), got.begin())) {
    differences.push_back("the GLSL does not begin with " + std::string(kGlslMul));
  } else {
    got.erase(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(helper.size()));
  }
  const std::vector<std::string> want = statements(glslFromHlsl(hlsl, &differences));
  const std::vector<std::string> have = statements(got);
  for (size_t i = 0; i < std::max(want.size(), have.size()); ++i) {
    const std::string hlslStatement = i < want.size() ? want[i] : "(none)";
    const std::string glslStatement = i < have.size() ? have[i] : "(none)";
    if (hlslStatement != glslStatement) {
      differences.push_back("statement " + std::to_string(i) + ": GLSL \"" + glslStatement +
                            "\", HLSL \"" + hlslStatement + "\"");
    }
  }
  return differences;
}

// Texts that differ from `source` in one character of its arithmetic each:
// a digit of a number, an operator, or a component of a swizzle.
std::vector<std::pair<std::string, std::string>> oneCharacterChanges(const std::string& source) {
  const std::string kOperators = "+-*/<>=!";
  const std::string kSwapped = "-+/*><<~";
  const std::string kComponents = "xyzwrgba";
  const std::string kOtherComponents = "yxwzgrab";
  std::vector<std::pair<std::string, std::string>> changed;
  const std::vector<Token> all = tokens(source);
  for (size_t k = 0; k < all.size(); ++k) {
    const Token& token = all[k];
    const bool swizzle = k > 0 && all[k - 1].text == "." &&
                         token.text.find_first_not_of(kComponents) == std::string::npos;
    for (size_t j = 0; j < token.text.size(); ++j) {
      const char c = token.text[j];
      char other = 0;
      if (std::isdigit(static_cast<unsigned char>(c))) {
        other = c == '9' ? '8' : static_cast<char>(c + 1);
      } else if (kOperators.find(c) != std::string::npos) {
        other = kSwapped[kOperators.find(c)];
      } else if (swizzle) {
        other = kOtherComponents[kComponents.find(c)];
      }
      if (!other) continue;
      std::string text = source;
      text[token.at + j] = other;
      changed.push_back({text, "'" + std::string(1, c) + "' to '" + std::string(1, other) +
                                   "' in \"" + token.text + "\" at " + std::to_string(token.at)});
    }
  }
  return changed;
}

// ---- The algorithm, in double precision --------------------------------

struct Lookup {
  double s = 0, t = 0;   // texture coordinates, before the sampler wraps them
  bool sampled = false;  // a known map type, and for the camera a point in front
  bool known = false;
};

// p = M (x, y, z, 1), M indexed [row][column] as the shader's float4x4.
std::array<double, 4> transform(const Record& in, int matrix, int point) {
  std::array<double, 4> p{};
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 4; ++col) {
      const double x = col < 3 ? double(in[point + col]) : 1.0;
      p[row] += double(in[matrix + row * 4 + col]) * x;
    }
  }
  return p;
}

Lookup lookup(const Record& in) {
  Lookup result;
  const bool flipU = in[kFlipU] != 0;
  const bool flipV = in[kFlipV] != 0;
  const int mapType = static_cast<int>(in[kMapType]);
  result.known = result.sampled = mapType >= 0 && mapType <= 2;
  if (mapType == 0) {
    result.s = in[kUv] - std::floor(double(in[kUv]));
    result.t = 1.0 - (in[kUv + 1] - std::floor(double(in[kUv + 1])));
    if (flipU) result.s = 1.0 - result.s;
    if (flipV) result.t = 1.0 - result.t;
  } else if (mapType == 1) {
    const auto d = transform(in, kPlacement, kPw);
    const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    double s = std::atan2(-d[0], -d[2]) / (2.0 * M_PI);
    double t = std::acos(-d[1] / length) / M_PI;
    if (flipU) t = 1.0 - t;
    if (flipV) s = 1.0 - s;
    result.s = s;
    result.t = -t;
  } else if (mapType == 2) {
    const auto pc = transform(in, kPlacement, kPw);
    const double tanH = std::tan(double(in[kAngleOfView]) * M_PI / 180.0 / 2.0);
    const double tanV = std::tan(double(in[kResRatio]) / 2.0);
    result.s = 0.5 + 0.5 * pc[0] / (-pc[2] * tanH);
    result.t = 0.5 - 0.5 * pc[1] / (-pc[2] * tanV);
    if (flipU) result.t = 1.0 - result.t;
    if (flipV) result.s = 1.0 - result.s;
    result.sampled = -pc[2] > 0.0;
  }
  return result;
}

double wrap(double c) {
  return c - std::floor(c);
}

// The ramp where it is linear (a coordinate at least 1.5 texels from every
// edge), or the border colour well outside the image; nothing otherwise.
std::optional<std::array<double, 4>> texelAt(double s, double t, bool border) {
  const auto inside = [](double c, uint32_t size) {
    return c >= 1.5 / size && c <= 1.0 - 1.5 / size;
  };
  if (border && (s < -0.2 || s > 1.2 || t < -0.2 || t > 1.2)) {
    return std::array<double, 4>{0, 0, 0, 0};
  }
  if (!border) {
    s = wrap(s);
    t = wrap(t);
  }
  if (!inside(s, kWidth) || !inside(t, kHeight)) return std::nullopt;
  return std::array<double, 4>{s, t, 0.75 - 0.5 * t, 0.25 + 0.5 * s};
}

Outputs shade(const Record& in, const Lookup& at, const std::array<double, 4>& texel) {
  std::array<double, 4> color{0, 0, 0, 0};
  if (at.known) {
    if (at.sampled) {
      color = texel;
      for (int i = 0; i < 4; ++i) {
        if (in[kR + i] == 0) color[i] = 0.0;
      }
      if (in[kPremultiply] != 0) {
        const double alpha = color[3];
        for (double& c : color) c *= alpha;
      }
    }
    if (in[kInvert] != 0) {
      for (double& c : color) c = 1.0 - c;
    }
  }
  if (in[kSolidAlpha] != 0) color[3] = 1.0;
  if (in[kPassThrough] != 0) color = {0, 0, 0, 0};
  Outputs out{};
  for (int i = 0; i < 3; ++i) {
    out[i] = color[i] + in[kColorOffset + i];
    out[3 + i] = 1.0 - color[3];
  }
  out[6] = color[3];
  return out;
}

// ---- Inputs ---------------------------------------------------------------

// Parameters that must not matter get values that would show if they did.
Record baseRecord(int mapType) {
  Record in{};
  in[kMapType] = static_cast<float>(mapType);
  in[kR] = in[kG] = in[kB] = in[kA] = 1.0f;
  in[kTexWidth] = 7;
  in[kTexHeight] = 3;
  in[kFitType] = 2;
  in[kFocalLength] = 35;
  in[kHAperture] = 1.4f;
  in[kVAperture] = 0.9f;
  in[kAngleOfView] = 54.43f;
  in[kResRatio] = 0.7f;
  for (int i = 0; i < 4; ++i) in[kPlacement + i * 5] = 1.0f;
  for (int i = 0; i < 16; ++i) in[kWorld + i] = 0.1f * static_cast<float>(i) - 0.7f;
  for (int i = 0; i < 3; ++i) in[kPm + i] = 5.0f - 4.0f * static_cast<float>(i);
  return in;
}

// The settings each geometry case is combined with, in turn.
void applySettings(Record* in, int which) {
  static const std::vector<std::vector<std::pair<int, float>>> kSettings = {
      {},
      {{kFlipU, 1}},
      {{kFlipV, 1}},
      {{kFlipU, 1}, {kFlipV, 1}},
      {{kR, 0}, {kA, 0}},
      {{kG, 0}, {kB, 0}, {kInvert, 1}},
      {{kPremultiply, 1}},
      {{kPremultiply, 1}, {kInvert, 1}, {kFlipU, 1}},
      {{kSolidAlpha, 1}},
      {{kColorOffset, 0.5f}, {kColorOffset + 1, -0.25f}, {kColorOffset + 2, 2.0f}}};
  for (const auto& [slot, value] : kSettings[which % kSettings.size()]) (*in)[slot] = value;
}

// M = [R | T] with R a turn about y after a turn about x, and the world
// point that M takes to `local`.
struct Placement {
  double rotation[3][3];
  double translation[3];

  static Placement make(double yaw, double pitch, std::array<double, 3> at) {
    const double cy = std::cos(yaw), sy = std::sin(yaw), cp = std::cos(pitch), sp = std::sin(pitch);
    return {{{cy, sy * sp, sy * cp}, {0, cp, -sp}, {-sy, cy * sp, cy * cp}}, {at[0], at[1], at[2]}};
  }

  void store(Record* in) const {
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) (*in)[kPlacement + i * 4 + j] = float(rotation[i][j]);
      (*in)[kPlacement + i * 4 + 3] = float(translation[i]);
      (*in)[kPlacement + 12 + i] = 0.0f;
    }
    (*in)[kPlacement + 15] = 1.0f;
  }

  void placeWorldPoint(Record* in, const std::array<double, 3>& local) const {
    for (int j = 0; j < 3; ++j) {
      double x = 0;
      for (int i = 0; i < 3; ++i) x += rotation[i][j] * (local[i] - translation[i]);
      (*in)[kPw + j] = float(x);
    }
  }
};

const Placement kSphereCentre = Placement::make(0.9, -0.4, {1.5, -2.0, 4.0});
const Placement kCamera = Placement::make(-2.2, 0.6, {-3.0, 1.0, 2.5});

std::vector<Record> uvCases() {
  std::vector<Record> cases;
  int n = 0;
  for (float u : {-1.7f, -0.35f, 0.1f, 0.42f, 0.77f, 1.25f, 2.9f}) {
    for (float v : {-2.6f, -0.8f, 0.15f, 0.5f, 0.9f, 3.3f}) {
      Record in = baseRecord(0);
      in[kUv] = u;
      in[kUv + 1] = v;
      applySettings(&in, n++);
      cases.push_back(in);
    }
  }
  return cases;
}

std::vector<Record> sphereCases() {
  std::vector<Record> cases;
  int n = 0;
  for (double longitude : {-160.0, -110.0, -60.0, -20.0, 25.0, 70.0, 130.0, 175.0}) {
    for (double latitude : {15.0, 50.0, 90.0, 125.0, 165.0}) {
      const double lon = longitude * M_PI / 180.0, lat = latitude * M_PI / 180.0;
      const double radius = 0.5 + n % 3;
      Record in = baseRecord(1);
      kSphereCentre.store(&in);
      kSphereCentre.placeWorldPoint(
          &in, {-radius * std::sin(lat) * std::sin(lon), -radius * std::cos(lat),
                -radius * std::sin(lat) * std::cos(lon)});
      applySettings(&in, n++);
      cases.push_back(in);
    }
  }
  return cases;
}

std::vector<Record> cameraCases() {
  std::vector<Record> cases;
  const double tanH = std::tan(54.43 * M_PI / 360.0), tanV = std::tan(0.35);
  int n = 0;
  for (double depth : {-0.5, 0.5, 3.0, 40.0}) {  // the first behind the camera
    for (double a : {-0.8, -0.3, 0.2, 0.7, 2.5}) {
      for (double b : {-0.75, 0.1, 0.6, -3.0}) {
        Record in = baseRecord(2);
        kCamera.store(&in);
        kCamera.placeWorldPoint(&in, {a * depth * tanH, b * depth * tanV, -depth});
        applySettings(&in, n++);
        cases.push_back(in);
      }
    }
  }
  return cases;
}

// The shader text as the fragment manager holds it.
class ProjectorTextSession : public ProjectorSession {
 protected:
  void SetUp() override {
    ProjectorSession::SetUp();
    ASSERT_EQ(host.createNode("qv_vpProjector", "n"), "n");
    qv::maya::Viewport viewport(host);
    viewport.refresh();
  }

  static std::string source(const char* language) {
    const std::string text = qv::maya::fragmentSource("qv_vpProjectorFragment", language);
    EXPECT_FALSE(text.empty()) << language;
    return text;
  }
  static std::string declaration(const char* language) {
    const std::string text = qv::maya::fragmentSource("qv_vpProjectorFragmentOutput", language);
    EXPECT_FALSE(text.empty()) << language;
    return text;
  }
};

// Needs no compiler: compares the two texts.
using ProjectorCgTest = ProjectorTextSession;

class ProjectorShaderTest : public ProjectorTextSession {
 protected:
  static void SetUpTestSuite() { device_ = qv::gpu::Device::create(&why_); }
  static void TearDownTestSuite() { device_.reset(); }

  void SetUp() override {
    if (!*qv::gpu::glslangValidatorPath()) GTEST_SKIP() << "no glslangValidator";
    ProjectorTextSession::SetUp();
  }

  // Runs the records through the function; one Outputs per record.
  std::vector<Outputs> run(const std::vector<Record>& records, bool cameraSampler) {
    const qv::gpu::ShaderCompile compiled = qv::gpu::compileHlsl(
        runnerWrapper(declaration("HLSL"), source("HLSL")), "main", Stage::kFragment);
    EXPECT_TRUE(compiled.ok) << compiled.log;
    qv::gpu::Image ramp{kWidth, kHeight, {}, false};
    for (uint32_t row = 0; row < kHeight; ++row) {
      for (uint32_t column = 0; column < kWidth; ++column) {
        const float s = (column + 0.5f) / kWidth;
        const float t = (row + 0.5f) / kHeight;
        const bool edge = row == 0 || row == kHeight - 1;
        ramp.rgba.insert(ramp.rgba.end(), {s, t, edge ? 1.0f : 0.75f - 0.5f * t, 0.25f + 0.5f * s});
      }
    }
    qv::gpu::Job job;
    job.spirv = compiled.spirv;
    job.invocations = static_cast<uint32_t>(records.size());
    for (const Record& record : records)
      job.inputs.insert(job.inputs.end(), record.begin(), record.end());
    job.outputFloats = job.invocations * kOutputs;
    job.image = &ramp;
    // The addressing the override sets for the map type (see its sampler
    // test). The filter stays linear: with the runner's zero derivatives
    // anisotropic filtering should read the same texels, but lavapipe's
    // anisotropic path was seen up to 0.1 texel off, which would hide the
    // shader's own error.
    if (cameraSampler) job.sampler.address = qv::gpu::Address::kBorder;
    std::vector<float> flat;
    std::string error;
    EXPECT_TRUE(device_->run(job, &flat, &error)) << error;
    flat.resize(job.outputFloats);
    std::vector<Outputs> outputs(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
      for (int k = 0; k < kOutputs; ++k) outputs[i][k] = flat[i * kOutputs + k];
    }
    return outputs;
  }

  // Compares each record's outputs with the reference; returns how many
  // records had a reference (the rest sit where the ramp is not linear).
  size_t expectLikeReference(const std::vector<Record>& records, bool cameraSampler, double bound) {
    const std::vector<Outputs> outputs = run(records, cameraSampler);
    size_t compared = 0;
    double worst = 0;
    for (size_t i = 0; i < records.size(); ++i) {
      const Lookup at = lookup(records[i]);
      std::array<double, 4> texel{0, 0, 0, 0};
      if (at.sampled) {
        const auto found = texelAt(at.s, at.t, cameraSampler);
        if (!found) continue;
        texel = *found;
      }
      ++compared;
      const Outputs expected = shade(records[i], at, texel);
      // A channel is a coordinate (alpha half of one), or premultiplied the
      // product of such a channel and alpha, each at most 1.
      const double tolerance = records[i][kPremultiply] != 0 ? 1.5 * bound : bound;
      for (int k = 0; k < kOutputs; ++k) {
        worst = std::max(worst, std::fabs(outputs[i][k] - expected[k]));
        EXPECT_NEAR(outputs[i][k], expected[k], tolerance)
            << "record " << i << " output " << k << " (s " << at.s << ", t " << at.t << ")";
      }
    }
    RecordProperty("worst_difference", testing::PrintToString(worst));
    return compared;
  }

  void requireDevice() {
    if (!device_) GTEST_SKIP() << "no Vulkan device: " << why_;
  }

  static std::unique_ptr<qv::gpu::Device> device_;
  static std::string why_;
};

std::unique_ptr<qv::gpu::Device> ProjectorShaderTest::device_;
std::string ProjectorShaderTest::why_;

TEST_F(ProjectorShaderTest, BothLanguagesCompile) {
  const qv::gpu::ShaderCompile hlsl = qv::gpu::compileHlsl(
      runnerWrapper(declaration("HLSL"), source("HLSL")), "main", Stage::kFragment);
  EXPECT_TRUE(hlsl.ok) << hlsl.log;
  const qv::gpu::ShaderCompile cg = qv::gpu::compileHlsl(cgWrapper(declaration("Cg"), source("Cg")),
                                                         "main", Stage::kFragment, true);
  EXPECT_TRUE(cg.ok) << cg.log;
}

// Only the HLSL runs here, so the Cg may differ from it in nothing but how
// the texture is declared and read.
TEST_F(ProjectorCgTest, CgIsTheHlslFunctionWithCgTextureAccess) {
  const std::string cg = source("Cg");
  const std::string hlsl = source("HLSL");
  // The comparison would pass on two empty texts.
  EXPECT_GT(statements(words(cg)).size(), 50u);
  for (const std::string& difference : drift(cg, hlsl)) ADD_FAILURE() << difference;
}

// The GLSL may differ from the HLSL in nothing but GLSL's names and Maya's
// way of handing a GLSL function its texture.
TEST_F(ProjectorCgTest, GlslIsTheHlslFunctionInGlslTerms) {
  const std::string glsl = source("GLSL");
  EXPECT_GT(statements(words(glsl)).size(), 50u);
  for (const std::string& difference : glslDrift(glsl, source("HLSL"))) {
    ADD_FAILURE() << difference;
  }
}

// The comparison itself: it must see a one-character change of arithmetic in
// either text, and a Cg that takes its texture the way glslang would like it
// rather than the way Maya binds it.
TEST_F(ProjectorCgTest, DriftCheckSeesEveryOneCharacterChange) {
  const std::string cg = source("Cg");
  const std::string hlsl = source("HLSL");
  ASSERT_TRUE(drift(cg, hlsl).empty());
  for (const char* language : {"Cg", "HLSL"}) {
    const std::string& text = std::string(language) == "Cg" ? cg : hlsl;
    const auto changes = oneCharacterChanges(text);
    // Both texts are full of numbers, operators and swizzles.
    EXPECT_GT(changes.size(), 100u) << language;
    for (const auto& [changed, what] : changes) {
      const bool inCg = std::string(language) == "Cg";
      EXPECT_FALSE(drift(inCg ? changed : cg, inCg ? hlsl : changed).empty())
          << language << ": " << what;
    }
  }
  const auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  EXPECT_FALSE(drift(replaced(cg, "texture2D fileMap", "sampler2D fileMap"), hlsl).empty());
  EXPECT_FALSE(drift(replaced(cg, "tex2D(textureSampler", "tex2D(fileMap"), hlsl).empty());
  EXPECT_FALSE(
      drift(replaced(cg, "tex2D(textureSampler, coords)", "tex2D(textureSampler, coords) * 1.0"),
            hlsl)
          .empty());
  EXPECT_FALSE(drift(cg, replaced(hlsl, "fileMap.Sample(textureSampler, coords)",
                                  "fileMap.SampleLevel(textureSampler, coords, 0.0)"))
                   .empty());

  // The same for the GLSL, its first function included.
  const std::string glsl = source("GLSL");
  ASSERT_TRUE(glslDrift(glsl, hlsl).empty());
  for (const char* language : {"GLSL", "HLSL"}) {
    const bool inGlsl = std::string(language) == "GLSL";
    const auto changes = oneCharacterChanges(inGlsl ? glsl : hlsl);
    EXPECT_GT(changes.size(), 100u) << language;
    for (const auto& [changed, what] : changes) {
      EXPECT_FALSE(glslDrift(inGlsl ? changed : glsl, inGlsl ? hlsl : changed).empty())
          << language << ": " << what;
    }
  }
  // GLSL's own column sums, or a matrix built from the HLSL's numbers but
  // not transposed, are other arithmetic.
  EXPECT_FALSE(glslDrift(replaced(glsl, "qv_vpProjectorMul(placementMatrix, vec4(Pw, 1.0))",
                                  "placementMatrix * vec4(Pw, 1.0)"),
                         hlsl)
                   .empty());
  EXPECT_FALSE(
      glslDrift(replaced(glsl, "mat4 bias = transpose(mat4(", "mat4 bias = (mat4("), hlsl).empty());
  EXPECT_FALSE(glslDrift(replaced(glsl, "texture(textureSampler, coords)",
                                  "textureLod(textureSampler, coords, 0.0)"),
                         hlsl)
                   .empty());
}

TEST_F(ProjectorShaderTest, UvMapMatchesTheReference) {
  requireDevice();
  const auto cases = uvCases();
  EXPECT_EQ(expectLikeReference(cases, false, kArithmeticBound), cases.size());
}

TEST_F(ProjectorShaderTest, SphericalMapMatchesTheReference) {
  requireDevice();
  const auto cases = sphereCases();
  EXPECT_EQ(expectLikeReference(cases, false, kTranscendentalBound), cases.size());
}

TEST_F(ProjectorShaderTest, CameraMapMatchesTheReference) {
  requireDevice();
  const auto cases = cameraCases();
  EXPECT_EQ(expectLikeReference(cases, true, kTranscendentalBound), cases.size());
}

TEST_F(ProjectorShaderTest, EdgeCases) {
  requireDevice();
  const float offset[3] = {0.125f, -0.5f, 2.0f};
  std::vector<Record> records;
  std::vector<std::string> labels;
  std::vector<Outputs> expected;
  std::vector<double> bounds;
  auto add = [&](const std::string& label, Record in, Outputs out, double bound) {
    for (int i = 0; i < 3; ++i) in[kColorOffset + i] = offset[i];
    records.push_back(in);
    labels.push_back(label);
    for (int i = 0; i < 3; ++i) out[i] += offset[i];
    expected.push_back(out);
    bounds.push_back(bound);
  };
  const Outputs cleared{0, 0, 0, 1, 1, 1, 0};

  Record uv = baseRecord(0);
  uv[kUv] = 1.25f;
  uv[kUv + 1] = 0.25f;
  add("uv (1.25, 0.25) samples (0.25, 0.75)", uv, {0.25, 0.75, 0.375, 0.625, 0.625, 0.625, 0.375},
      kArithmeticBound);
  uv[kUv] = 0.5f;
  uv[kPremultiply] = 1;
  add("premultiplied alpha 0.5", uv, {0.25, 0.375, 0.1875, 0.75, 0.75, 0.75, 0.25},
      kArithmeticBound);

  Record behind = baseRecord(2);
  kCamera.store(&behind);
  kCamera.placeWorldPoint(&behind, {0.3, -0.2, 2.0});
  add("behind the camera", behind, cleared, 0);
  behind[kInvert] = 1;
  add("behind the camera, inverted", behind, {1, 1, 1, 0, 0, 0, 1}, 0);

  Record axis = baseRecord(2);
  kCamera.store(&axis);
  kCamera.placeWorldPoint(&axis, {0, 0, -7});
  add("on the view axis", axis, {0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}, kArithmeticBound);

  for (int mapType : {0, 1, 2, 3}) {
    for (float solid : {0.0f, 1.0f}) {
      Record in = mapType == 2 ? axis : baseRecord(mapType);
      in[kMapType] = float(mapType);
      in[kPassThrough] = 1;
      in[kSolidAlpha] = solid;
      add("pass-through, map type " + std::to_string(mapType), in, cleared, 0);
    }
  }
  Record unknown = baseRecord(3);
  add("map type 3", unknown, cleared, 0);
  unknown[kSolidAlpha] = 1;
  add("map type 3, solid alpha", unknown, {0, 0, 0, 0, 0, 0, 1}, 0);

  const size_t poles = records.size();
  for (double y : {-1.0, 1.0}) {
    for (float flip : {0.0f, 1.0f}) {
      // Exactly along the axis, and through a placement that rounds.
      Record in = baseRecord(1);
      in[kPw + 1] = float(y);
      in[kFlipU] = flip;
      records.push_back(in);
      labels.push_back(y < 0 ? "straight down" : "straight up");
      kSphereCentre.store(&in);
      kSphereCentre.placeWorldPoint(&in, {0, 2 * y, 0});
      records.push_back(in);
      labels.push_back(labels.back() + ", placed");
    }
  }

  std::vector<Record> wrapped(records.begin(), records.begin() + 2);
  const std::vector<Outputs> uvOut = run(wrapped, false);
  std::vector<Record> rest(records.begin() + 2, records.end());
  const std::vector<Outputs> restOut = run(rest, true);
  for (size_t i = 0; i < poles; ++i) {
    const Outputs& got = i < 2 ? uvOut[i] : restOut[i - 2];
    for (int k = 0; k < kOutputs; ++k) {
      // The cleared cases involve no texture and must come out exact.
      EXPECT_NEAR(got[k], expected[i][k], bounds[i]) << labels[i] << ", output " << k;
    }
  }
  // t = 0 and t = 1 both sample the seam between the top and bottom rows,
  // the only ones whose blue is 1.
  const std::vector<Record> poleRecords(records.begin() + poles, records.end());
  const std::vector<Outputs> poleOut = run(poleRecords, false);
  for (size_t i = 0; i < poleRecords.size(); ++i) {
    EXPECT_NEAR(poleOut[i][2], 1.0, kTranscendentalBound) << labels[poles + i];
  }
}

// ---- The visibility tests ------------------------------------------------

// A camera at (1, 2, 10) looking down -z with tangents 1 across and 0.5 up,
// and an 8 x 4 depth map of it: depth 5 in the right half of the view (a
// wall's edge on the view axis), nothing (100) in the left. The painting
// is opaque white, so outAlpha is how much of the point the camera sees.
struct VisibilityCase {
  std::string label;
  std::array<double, 3> cameraPoint;  // camera space; the camera looks down -z
  std::array<double, 3> normal;
  bool facing = false;
  float angleThreshold = 80.0f;
  float distanceThreshold = -1.0f;
  bool occlusion = true;
  float dilate = 0.0f;
  float softEdge = 0.0f;
  float power = 2.0f;
  double seen = 1.0;
};
constexpr int kVisibilityInputs = 13;

std::array<float, kVisibilityInputs> visibilityInputs(const VisibilityCase& c) {
  return {static_cast<float>(c.cameraPoint[0] + 1.0),
          static_cast<float>(c.cameraPoint[1] + 2.0),
          static_cast<float>(c.cameraPoint[2] + 10.0),
          static_cast<float>(c.normal[0]),
          static_cast<float>(c.normal[1]),
          static_cast<float>(c.normal[2]),
          c.facing ? 1.0f : 0.0f,
          c.angleThreshold,
          c.distanceThreshold,
          c.occlusion ? 1.0f : 0.0f,
          c.dilate,
          c.softEdge,
          c.power};
}

const char* const kVisibilityResRatio = "0.9272952180016122";  // 2 atan(0.5)
constexpr float kVisibilityPlacement[16] = {1, 0, 0, -1, 0, 1, 0, -2, 0, 0, 1, -10, 0, 0, 0, 1};

std::string visibilityWrapper(const std::string& declaration, const std::string& function) {
  const auto in = [](int k) { return "qvInputs[base + " + std::to_string(k) + "]"; };
  return qv::gpu::hlslPrelude(2) + declaration + function +
         "\nfloat4 main(float4 fragCoord : SV_Position) : SV_Target {\n"
         "  uint base = qvInvocation(fragCoord) * " +
         std::to_string(kVisibilityInputs) +
         ";\n"
         "  float4x4 placement = float4x4(1, 0, 0, -1, 0, 1, 0, -2, 0, 0, 1, -10, 0, 0, 0, 1);\n"
         "  float4x4 identity = float4x4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);\n"
         "  float3 p = float3(" +
         in(0) + ", " + in(1) + ", " + in(2) +
         ");\n"
         "  qv_vpProjectorFragmentOutput o = qv_vpProjectorFragment(float2(0.0, 0.0), 2, true, "
         "true, true, true, false, false, false, false, 1, 1, " +
         kVisibilityResRatio +
         ", 0, float3(0.0, 0.0, 0.0), 0.0, 90.0, 0.0, 0.0, false, false, placement, p, p, "
         "identity, qvTexture, qvSampler, float3(" +
         in(3) + ", " + in(4) + ", " + in(5) + "), " + in(6) + " != 0.0, " + in(7) + ", " + in(8) +
         ", " + in(9) + " != 0.0, " + in(10) + ", " + in(11) + ", " + in(12) +
         ", 0.01, float3(8.0, 4.0, 5.0), qvTexture1, qvSampler1);\n"
         "  if (qvWrites(fragCoord)) qvOutputs[qvInvocation(fragCoord)] = o.outAlpha;\n"
         "  return float4(0.0, 0.0, 0.0, 0.0);\n"
         "}\n";
}

qv::image::Rgba visibilityDepths() {
  qv::image::Rgba depths(8, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) {
      float* texel = depths.at(x, y);
      texel[0] = x >= 4 ? 5.0f : 100.0f;
      texel[3] = 1.0f;
    }
  }
  return depths;
}

// The CPU reference of the same call, with the scene measured in units
// `scale` times smaller: every length, the map's depths among them, times
// `scale`.
float referenceSeen(const VisibilityCase& c, const qv::image::Picture& white,
                    const qv::image::Picture& depths, float scale = 1.0f) {
  using qv::maya::reference::Argument;
  const qv::maya::reference::Reference* reference =
      qv::maya::reference::find("qv_vpProjectorFragment");
  std::vector<Argument> a(reference->parameterTypes.size());
  const auto in = visibilityInputs(c);
  a[1].v[0] = 2;                               // mapType
  for (int k = 2; k <= 5; ++k) a[k].v[0] = 1;  // r, g, b, a
  a[10].v[0] = a[11].v[0] = 1;                 // texWidth, texHeight
  a[12].v[0] = std::stof(kVisibilityResRatio);
  a[16].v[0] = 90.0f;  // angleOfView
  std::copy(std::begin(kVisibilityPlacement), std::end(kVisibilityPlacement), a[21].v.begin());
  for (int k : {3, 7, 11}) a[21].v[k] *= scale;
  for (int k = 0; k < 3; ++k) a[22].v[k] = a[23].v[k] = in[k] * scale;
  for (int k : {0, 5, 10, 15}) a[24].v[k] = 1;
  a[25].image = &white;
  for (int k = 0; k < 3; ++k) a[27].v[k] = in[3 + k];
  for (int k = 0; k < 7; ++k) a[28 + k].v[0] = in[6 + k];
  if (a[30].v[0] != -1.0f) a[30].v[0] *= scale;  // distanceThreshold
  a[32].v[0] *= scale;                           // dilate
  a[35].v[0] = 0.01f;
  a[36].v = {8.0f, 4.0f, 5.0f * scale};
  a[37].image = &depths;
  a[38].sampler = {qv::gpu::Filter::kNearest, qv::gpu::Address::kClamp};
  return reference->evaluate(a.data()).outAlpha;
}

TEST_F(ProjectorShaderTest, VisibilityTestsCutFacingDistanceAndOcclusionAsTheRenderDoes) {
  // Behind texel column 3 (tangent -0.125), two texels left of the wall.
  const std::array<double, 3> open = {-2.5, 0.0, -20.0};
  const std::array<double, 3> facing = {0.0, 0.0, 1.0};
  // Normals 70 and 89 degrees from the way to the camera, in the x-z plane.
  const double toCamera = std::atan2(2.5, 20.0);
  const auto turned = [&](double degrees) -> std::array<double, 3> {
    const double angle = toCamera + degrees * M_PI / 180.0;
    return {std::sin(angle), 0.0, std::cos(angle)};
  };
  const double distance = std::hypot(2.5, 20.0);
  // With dilate 20 / 3 the reach over the map is 20 / 3 * (1 / 5 - 1 / 20)
  // = 1 tangent; 9 of the 24 disc offsets go 0.125 or more to the right,
  // onto the wall (those at radius (k + 0.5) / 24, a golden angle apart).
  const float farReach = 20.0f / 3.0f;
  const std::vector<VisibilityCase> cases = {
      {"open and facing", open, facing, true},
      {"behind the wall", {2.5, 0.0, -20.0}, facing, true, 80, -1, true, 0, 0, 2, 0.0},
      {"behind the wall, occlusion off", {2.5, 0.0, -20.0}, facing, false, 80, -1, false},
      {"just behind the wall, within the bias",
       {0.63, 0.0, -5.04},
       facing,
       false,
       80,
       -1,
       true,
       0,
       0,
       2,
       1.0},
      {"just behind the wall, beyond the bias",
       {0.759, 0.0, -5.06},
       facing,
       false,
       80,
       -1,
       true,
       0,
       0,
       2,
       0.0},
      {"turned 70 degrees", open, turned(70), true, 80, -1, true, 0, 0, 2, 1.0},
      {"turned 89 degrees", open, turned(89), true, 80, -1, true, 0, 0, 2, 0.0},
      {"turned 89 degrees, facing off", open, turned(89), false, 80, -1, true, 0, 0, 2, 1.0},
      {"farther than the distance", open, facing, false, 80, static_cast<float>(distance - 0.01),
       true, 0, 0, 2, 0.0},
      {"nearer than the distance", open, facing, false, 80, static_cast<float>(distance + 0.01),
       true, 0, 0, 2, 1.0},
      {"dilated, hard edge", open, facing, false, 80, -1, true, farReach, 0, 2, 0.0},
      {"dilated, soft edge", open, facing, false, 80, -1, true, farReach, 1, 2,
       (15.0 / 24.0) * (15.0 / 24.0)},
      {"dilated, soft edge 0.25", open, facing, false, 80, -1, true, farReach, 0.25f, 2, 0.0},
      {"dilated too little to reach", open, facing, false, 80, -1, true, 0.5f, 0, 2, 1.0},
  };

  const qv::image::Rgba depthPixels = visibilityDepths();
  qv::image::Rgba whitePixels(1, 1);
  std::fill(whitePixels.pixels.begin(), whitePixels.pixels.end(), 1.0f);
  const auto white = qv::image::Picture::fromFloats(whitePixels);
  const auto depths = qv::image::Picture::fromFloats(depthPixels);
  // The same set modelled in centimetres: the bias, a share of the depth,
  // serves both.
  qv::image::Rgba centimetres = depthPixels;
  for (size_t i = 0; i < centimetres.pixels.size(); i += 4) centimetres.pixels[i] *= 100.0f;
  const auto depthsInCentimetres = qv::image::Picture::fromFloats(centimetres);
  for (const VisibilityCase& c : cases) {
    EXPECT_NEAR(referenceSeen(c, white, depths), c.seen, 1e-6) << "CPU reference: " << c.label;
    EXPECT_NEAR(referenceSeen(c, white, depthsInCentimetres, 100.0f), c.seen, 1e-6)
        << "CPU reference in centimetres: " << c.label;
  }

  requireDevice();
  const qv::gpu::ShaderCompile compiled = qv::gpu::compileHlsl(
      visibilityWrapper(declaration("HLSL"), source("HLSL")), "main", Stage::kFragment);
  ASSERT_TRUE(compiled.ok) << compiled.log;
  qv::gpu::Image paint{1, 1, {1.0f, 1.0f, 1.0f, 1.0f}, false};
  qv::gpu::Image depthImage{8, 4, depthPixels.pixels, false};
  qv::gpu::Job job;
  job.spirv = compiled.spirv;
  job.invocations = static_cast<uint32_t>(cases.size());
  for (const VisibilityCase& c : cases) {
    const auto in = visibilityInputs(c);
    job.inputs.insert(job.inputs.end(), in.begin(), in.end());
  }
  job.outputFloats = job.invocations;
  job.image = &paint;
  job.moreTextures.push_back(
      {&depthImage, {qv::gpu::Filter::kNearest, qv::gpu::Address::kClamp, 16.0f}});
  std::vector<float> seen;
  std::string error;
  ASSERT_TRUE(device_->run(job, &seen, &error)) << error;
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_NEAR(seen[i], cases[i].seen, 1e-6)
        << "HLSL on " << device_->name() << ": " << cases[i].label;
  }
}

}  // namespace
}  // namespace qv::vpProjector::test
