// Shading networks as Viewport 2.0 links them for a surface: the shader of
// the node that feeds the surface, and through the attributes its fragment's
// parameters are bound to, the shaders of the nodes connected into them,
// each node one call of its shade fragment's function. The parameters of a
// call come from the node's built shader instance, the varying ones from the
// surface point; a parameter whose attribute is connected from another
// viewport node's output reads that node's result member of the output's name.
#pragma once

#include "shader_runner.h"
#include "viewport.h"

#include <string>
#include <vector>

namespace qv::maya::preview {

// What one surface point hands a network, in the order the wrapper reads
// them from its inputs: uv (floats 0-1), Pm (2-4), Pw (5-7), Nw (8-10: the
// unit world normal, facing the camera ray that found the point) and the
// index of its surface (11). After the last point's come the surfaces' world
// matrices, 16 floats each: the HLSL float4x4 of the `world` semantic, row
// by row.
constexpr int kInputFloats = 12;
constexpr int kInputNw = 8;
constexpr int kInputSurface = 11;
// What the wrapper writes per point: the shown colour and alpha.
constexpr int kOutputFloats = 4;

enum class ArgumentKind { kConstant, kVarying, kLink, kTexture, kSampler };

struct Argument {
  std::string parameter;  // the function's parameter (the fragment's property)
  std::string type;       // bool, int, float, float2 .. float4, float4x4, texture2, sampler
  ArgumentKind kind = ArgumentKind::kConstant;
  // kConstant: the components; a float4x4 as the HLSL matrix row by row, that
  // is the node's MMatrix transposed, so that mul(matrix, float4(p, 1)) is
  // Maya's row vector p times the MMatrix.
  std::vector<float> values;
  // kVarying: "uv", "Pm", "Pw", "Nw", "world", or a matrix of the camera: "view",
  // "projection", "viewprojection", "worldview", "worldviewprojection"
  std::string semantic;
  int call = -1;       // kLink: the call whose result it reads,
  std::string member;  // and the member
  int slot = -1;       // kTexture, kSampler: the texture slot it reads
};

struct Member {
  std::string name;
  std::string type;
};

struct Call {
  std::string node;
  std::string fragment;  // the shade fragment whose function it calls
  std::string function;
  // An interpolant's vertex stage: called with the arguments, its result is
  // the one argument of `function`.
  std::string vertexFunction;
  std::string resultType;  // the function's output structure, or its one output's type
  bool single = false;     // the function returns its one output, not a structure
  std::vector<Member> members;
  std::vector<Argument> arguments;  // in the function's parameter order
};

// A texture slot k: the texture and sampler bound at 2 + 2k and 3 + 2k.
struct Slot {
  std::string file;  // "" when the shader holds no texture there
  // A texture made from memory: `file` is its name, and its texels are the
  // renderer's (memoryTexturePicture), not a file's.
  bool memory = false;
  gpu::Sampler sampler;
};

struct Network {
  std::string root;
  std::string language;     // the implementation linked: the viewport engine's, "HLSL" or "GLSL"
  std::vector<Call> calls;  // each after the calls it reads; the root's last
  std::vector<Slot> slots;
  std::vector<std::string> declarations;  // structures, then functions, each once
  std::string shown;                      // the root's float3 member the surface shows
  bool hasAlpha = false;                  // whether the root's result has outAlpha
  // The camera's view and projection matrices as Maya hands them to a shader
  // (row vectors: p times world times view times projection), 16 floats row
  // by row; identities until the preview sets its camera's.
  std::vector<float> view = identity(), projection = identity();

  static std::vector<float> identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }
};

// Links the network of `root`'s shader (after a draw update) for a surface
// that shows the member `shown` of its result. False, with a message, when a
// node reached has no built shader, its fragment cannot be linked (an
// implementation other than one function in the engine's language, a
// semantic the preview does not provide), or the networks form a cycle.
// Each node's fragment is linked in the language of the viewport's engine;
// its function may return a structure or one value (bool, int, float,
// float2 to float4), whose output's name then stands for the whole result.
bool linkNetwork(const Viewport& viewport, const std::string& root, const std::string& shown,
                 Network* network, std::string* error);

// The fragment shader that runs the network once per surface point: the
// runner's prelude, the declarations, and a main that reads the point from
// the inputs (kInputFloats each, the world matrices after the job's last
// point), calls the functions, and writes the shown colour with outAlpha (1
// when there is none) as kOutputFloats.
std::string wrapperHlsl(const Network& network);
// The same in GLSL: every texture argument left out, its sampler passed as
// the sampler2D that holds both, as Maya's GLSL fragments take them.
std::string wrapperGlsl(const Network& network);
// The wrapper in the network's language, compiled for the device.
gpu::ShaderCompile compileWrapper(const Network& network);

}  // namespace qv::maya::preview
