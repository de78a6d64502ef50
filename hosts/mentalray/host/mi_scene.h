// The stand-in's scene files: the part of mental ray's .mi format that places
// the library's shaders and the objects they shade, read into shader
// instances whose parameter blocks are laid out exactly as the shaders read
// them.
//
//   # comment
//   shader "fill" "qv_const" ( "color" 1 0.5 0 1, "opacity" 1 )
//   shader "weave" "qv_shotWeave" (
//     "layers" [ { "color" = "fill", "mask" 1, "useShadowOcclusion" on, ... }, ... ] )
//   object "box" file "box.obj" label 3 opacity 0.5 color 1 1 1 material "weave" end object
//   color texture "painting" "painting.png"
//   camera "view" transform <16 numbers> focal 35 aperture 36 resolution 640 360 end camera
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

#include "image_file.h"
#include "mesh.h"
#include "shader.h"

namespace qv::mrhost {

// Texture: a `color texture` of the scene, named in quotes and stored as its
// tag (its index plus one).
enum class ParamKind { Integer, Boolean, Scalar, Color, Transform, Array, Texture };

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

// A named member of a result record (a colour or a scalar).
struct ResultMember {
  const char* name;
  ParamKind kind;
  std::size_t offset;  // bytes
};

// Where a connected parameter finds its value in the connected shader's
// result, by the parameter's kind; -1 when no member of that kind exists.
// A result that is a plain colour has no named members.
struct ResultDecl {
  std::size_t size;  // bytes; the result is made of floats only
  int colorOffset;
  int scalarOffset;
  const ResultMember* members = nullptr;
  std::size_t memberCount = 0;
};

struct ShaderInstance;

struct ShaderDecl {
  const char* name;
  int version;
  const ParamDecl* params;  // in block order; an array may only come last
  std::size_t paramCount;
  ResultDecl result;
  // The host's own shader, not looked up in the shader library.
  bool hostShader = false;
  // What is wrong with an instance's parameters that the shader could not
  // answer sensibly, or "".
  std::string (*check)(const ShaderInstance& instance) = nullptr;
};

// The declaration of a shader the stand-in knows, or null.
const ShaderDecl* findShaderDecl(const std::string& name);

// Bytes a parameter of this kind takes in a block (an array: its header).
std::size_t paramSize(ParamKind kind);

// What the kind is called in messages ("a colour", "an integer" ...).
const char* kindName(ParamKind kind);

// The member of this name of the declaration's result, or null.
const ResultMember* findResultMember(const ShaderDecl& decl, const std::string& name);

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
  long material = -1;  // the shader instance that shades it, or -1
};

// `color texture "NAME" "FILE"`: an image that shaders look up.
struct TextureStatement {
  std::string name;
  std::string path;  // resolved against the scene file's folder
  int line = 0;
};

// The camera the scene is rendered from. Unlike mental ray's instance
// transforms (world to object), `transform` maps camera to world space, laid
// out as a layer's placementMatrix: row-major, row vectors, the position in
// elements 12..14. The camera looks down its -z axis with +y up.
struct CameraStatement {
  std::string name;
  std::array<float, 16> transform = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float focal = 0.0f;     // focal length ...
  float aperture = 0.0f;  // ... and film width in the same unit
  float aspect = 0.0f;    // film width over height; 0: width over height of the resolution
  int width = 0;
  int height = 0;
  int line = 0;
};

struct MiScene {
  std::string file;  // as given to the reader, used in messages
  std::vector<ShaderInstance> shaders;
  std::vector<ObjectStatement> objects;
  std::vector<Connection> connections;
  std::vector<TextureStatement> textures;  // tag t is textures[t - 1]
  std::optional<CameraStatement> camera;

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

// Reads the color textures' images, in the scene's order (tag order).
bool loadTextures(const MiScene& scene, std::vector<image::Rgba>* images, std::string* error);

}  // namespace qv::mrhost
