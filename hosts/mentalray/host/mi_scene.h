// The stand-in's scene files: the part of mental ray's .mi format that places
// the library's shaders and the objects they shade, read into shader
// instances whose parameter blocks are laid out exactly as the shaders read
// them.
//
//   # comment
//   shader "fill" "qv_const" ( "color" 1 0.5 0 1, "opacity" 1 )
//   shader "weave" "qv_shotWeave" (
//     "layers" [ { "color" = "fill", "mask" 1, "useShadowOcclusion" on, ... }, ... ] )
//   object "box" file "box.obj" label 3 opacity 0.5 color 1 1 1 end object
//
// A .mi file declares its shaders before using them; the stand-in knows the
// declarations of the shaders it can load instead, so scene files only use
// them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mesh.h"
#include "shader.h"

namespace qv::mrhost {

enum class ParamKind { Integer, Boolean, Scalar, Color, Transform, Array };

// A parameter as declared. An array is of structures whose members are
// `members`; it is stored as mental ray stores arrays: the index of the first
// element (i_NAME) and the element count (n_NAME), then the elements.
struct ParamDecl {
  const char* name;
  ParamKind kind;
  const ParamDecl* members = nullptr;
  std::size_t memberCount = 0;
  std::int32_t integerDefault = 0;  // what an unset integer parameter holds
};

// Where a connected parameter finds its value in the connected shader's
// result, by the parameter's kind; -1 when no member of that kind exists.
struct ResultDecl {
  std::size_t size;  // bytes; the result is made of floats only
  int colorOffset;
  int scalarOffset;
};

struct ShaderDecl {
  const char* name;
  int version;
  const ParamDecl* params;  // in block order; an array may only come last
  std::size_t paramCount;
  ResultDecl result;
};

// The declaration of a shader the stand-in knows, or null.
const ShaderDecl* findShaderDecl(const std::string& name);

// Bytes a parameter of this kind takes in a block (an array: its header).
std::size_t paramSize(ParamKind kind);

// What the kind is called in messages ("a colour", "an integer" ...).
const char* kindName(ParamKind kind);

struct ShaderInstance {
  std::string name;
  const ShaderDecl* decl = nullptr;
  int line = 0;                      // 1-based line of the `shader` keyword
  std::vector<std::uint32_t> block;  // the parameter block, word by word
  // One entry per word of block: 0 when the word is set in place, else the
  // ghost entry k of the connection connections[k - 1] that feeds it.
  std::vector<miInteger> ghost;
  bool connected = false;  // some entry of ghost is not 0
};

// A parameter that takes its value from another shader's result.
struct Connection {
  std::size_t from = 0;          // the instance whose parameter is connected
  std::size_t to = 0;            // the instance whose result feeds it
  std::size_t resultOffset = 0;  // bytes into that result
  int line = 0;
};

struct ObjectStatement {
  std::string name;
  std::string path;  // the mesh file, resolved against the scene file's folder
  int label = 0;
  float opacity = 1.0f;
  std::array<float, 3> color = {1.0f, 1.0f, 1.0f};
  int line = 0;
};

struct MiScene {
  std::string file;  // as given to the reader, used in messages
  std::vector<ShaderInstance> shaders;
  std::vector<ObjectStatement> objects;
  std::vector<Connection> connections;

  // The index of the shader instance of this name, or -1.
  long findShader(const std::string& name) const;
};

// On failure: no scene, and `error` holds one message "FILE:LINE: what".
struct MiParseResult {
  std::optional<MiScene> scene;
  std::string error;
};

// Relative object paths are taken from the folder of fileName.
MiParseResult parseMi(const std::string& text, const std::string& fileName);
MiParseResult readMi(const std::string& path);

// Reads the objects' meshes, in the scene's order. On failure `error` names
// the object's line in the scene file and what went wrong with its mesh.
bool loadObjects(const MiScene& scene, std::vector<host::SceneObject>* objects, std::string* error);

}  // namespace qv::mrhost
