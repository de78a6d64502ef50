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
//   link "qv_shotWeave.so"
//   $include "qv_shotWeave.mi"
//   declare shader ... end declare
//
// A shader's parameters and result are laid out as its declaration says
// (mi_declaration.h): declared in the file or a file it includes, or known
// beforehand (the host's own shaders, and those declared beside the shader
// libraries the host loaded or the scene links).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image_file.h"
#include "mesh.h"
#include "mi_declaration.h"
#include "shader.h"

namespace qv::mrhost {

struct ShaderInstance {
  std::string name;
  std::shared_ptr<const ShaderDecl> decl;
  std::string file;                  // where it is defined ...
  int line = 0;                      // ... at the line of the `shader` keyword
  std::vector<std::uint32_t> block;  // the parameter block, word by word
  // One connection tag per word of block, as the host lays them beside the
  // block: miNULLTAG where the word holds its default, miPARAMTAG where the
  // scene sets it, and k where connections[k - 1] feeds it.
  std::vector<miTag> tags;
  bool connected = false;  // some word is fed by a connection
};

// A parameter that takes its value from another shader's result.
struct Connection {
  std::size_t from = 0;          // the instance whose parameter is connected
  std::size_t to = 0;            // the instance whose result feeds it
  std::size_t resultOffset = 0;  // bytes into that result
  std::string file;
  int line = 0;
};

struct ObjectStatement {
  std::string name;
  std::string path;  // the mesh file, resolved against the scene file's folder
  int label = 0;
  float opacity = 1.0f;
  std::array<float, 3> color = {1.0f, 1.0f, 1.0f};
  std::string file;    // where it is defined ...
  int line = 0;        // ... and at which line
  long material = -1;  // the shader instance that shades it, or -1
};

// `color texture "NAME" "FILE"`: an image that shaders look up.
struct TextureStatement {
  std::string name;
  std::string path;  // resolved against the scene file's folder
  std::string file;  // where it is defined ...
  int line = 0;      // ... and at which line
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
  std::string file;           // as given to the reader, used in messages
  Declarations declarations;  // every shader the scene could use
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

// Loads the shader library of a scene's `link "NAME"` statement.
class Linker {
 public:
  virtual ~Linker() = default;
  // Loads the library (a link statement's NAME, from a scene file in
  // sceneFolder) and adds the declarations read beside it to `into`. False
  // with what went wrong, which the reader places at the statement.
  virtual bool link(const std::string& name, const std::string& sceneFolder, Declarations* into,
                    std::string* error) = 0;
};

struct MiReadOptions {
  // The shaders a scene may use without declaring them; null: the host's own.
  const Declarations* declarations = nullptr;
  Linker* linker = nullptr;  // null: `link` is refused
  // Where `$include "FILE"` looks after the including file's folder.
  std::vector<std::string> includeFolders;
};

// Relative object paths are taken from the folder of fileName.
MiParseResult parseMi(const std::string& text, const std::string& fileName,
                      const MiReadOptions& options = {});
MiParseResult readMi(const std::string& path, const MiReadOptions& options = {});

// Reads the objects' meshes, in the scene's order. On failure `error` names
// the object's line in the scene file and what went wrong with its mesh.
bool loadObjects(const MiScene& scene, std::vector<host::SceneObject>* objects, std::string* error);

// Reads the color textures' images, in the scene's order (tag order).
bool loadTextures(const MiScene& scene, std::vector<image::Picture>* images, std::string* error);

}  // namespace qv::mrhost
