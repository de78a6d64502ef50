// Viewport 2.0 of the stand-in session: the draw updates that create the
// shading-node overrides plug-ins register, build shaders from their
// fragment graphs and drive the overrides' updates, as Maya does when it
// draws; and what the built shaders hold, for tests and `qvmaya ogs`.
#pragma once

#include "image_file.h"
#include "maya_host.h"

#include <maya/MPxShadingNodeOverride.h>
#include <maya/MShaderManager.h>
#include <maya/MStateManager.h>
#include <maya/MViewport2Renderer.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qv::maya {

// The rendering engine Viewport 2.0 draws with, as Maya's preferences name
// it; each compiles the fragments' implementation in its own language.
enum class Engine {
  kDirectX11,          // "directx11": the HLSL 11 implementation
  kOpenGLCoreProfile,  // "opengl-core": the GLSL 3.0 implementation
};
const char* engineName(Engine engine);      // "directx11", "opengl-core"
const char* engineLanguage(Engine engine);  // "HLSL", "GLSL"
bool engineByName(const std::string& name, Engine* engine);

// A texture a shader holds that was made from memory
// (MTextureManager::acquireTexture with pixels) rather than read from a file.
struct MemoryTexture {
  unsigned int width = 0, height = 0;
  MHWRender::MRasterFormat format = MHWRender::kR8G8B8A8_UNORM;
};

// What one node's shader instance holds after a draw update.
struct ShaderView {
  std::string fragmentName;  // what fragmentName() returned at the last build ("" = no shader)
  std::string language;      // the implementation it was built from: "HLSL", "GLSL"
  std::string buildError;    // why the shader could not be built from that fragment, else ""
  int builds = 0;            // how many times the shader was (re)built
  // Every parameter set on the shader, by resolved parameter name: by the
  // automatic binding of same-named node attributes, or by the override.
  // Values as text, "%.6g" numbers joined by spaces: a bool "1" or "0", an
  // int "3", a float "0.5", a float3 "0.5 0 1", a float4x4 its 16 numbers
  // row by row.
  std::map<std::string, std::string> parameters;
  std::map<std::string, MHWRender::MSamplerStateDesc> samplers;  // resolved name -> description
  // resolved name -> texture file path, or for one made from memory its name
  std::map<std::string, std::string> textures;
  std::map<std::string, MemoryTexture> memoryTextures;  // resolved name -> one made from memory
  std::vector<std::string> unsetTextures;  // texture parameters nothing was set on, by name
};

// The Viewport 2.0 of the session of a Host. The overrides it creates never
// outlive their node or their plug-in's library: deleting the node, unloading
// the plug-in (or its deregistering the creator), destroying the Host and
// destroying the Viewport each delete them first.
class Viewport {
 public:
  explicit Viewport(Host& host);
  ~Viewport();
  Viewport(const Viewport&) = delete;
  Viewport& operator=(const Viewport&) = delete;

  // One draw update, as Maya does it. For every node whose type
  // classification has a part (after ':') equal to a registered draw
  // classification, it creates the override through the creator if the node
  // has none (the first registration that matches). While its shader is not
  // built (or was invalidated) it calls fragmentName(), then
  // getCustomMappings(list), then builds a shader instance from the fragment
  // graph (or shade fragment) of that name: each property has a semantic, or
  // is named in a custom mapping (bound to the mapping's attribute when it
  // names one, else left to the override), or is bound to the node attribute
  // of the same name, else the build fails with buildError; so does an
  // attribute whose shape does not fit the property's type, an override
  // whose supportedDrawAPIs() leaves out the engine's draw API, or a shade
  // fragment with no implementation in the engine's language. A property
  // with none of the three keeps its fragment's default (Maya's <values>).
  // Each build gives every
  // property a new resolved name, "s<build serial>_<property>", written into
  // the custom mappings; the attribute bindings follow them in the list, in
  // property order. A failed build is retried after invalidateShaders().
  // Then, on every update of a node with a shader: the bound attributes'
  // values are copied into the shader, then updateDG(), then
  // updateShader(shader, mappings). The update runs whether the renderer is
  // available or not: plug-ins see the difference through
  // MRenderer::theRenderer().
  void refresh();
  // The next refresh rebuilds every shader, as Maya does after a change.
  void invalidateShaders();
  // The engine to draw with (kDirectX11 until set); a change rebuilds every
  // shader on the next refresh, as a device change does in Maya.
  void setEngine(Engine engine);
  Engine engine() const { return engine_; }

  std::vector<std::string> nodes() const;  // nodes that have an override, in creation order
  const ShaderView* shader(const std::string& node) const;  // null when the node has no override
  MHWRender::MPxShadingNodeOverride* overrideOf(const std::string& node) const;
  // The ShaderView as readable lines, what `qvmaya`'s `ogs -dump NODE`
  // prints; "" when the node has no override.
  std::string dump(const std::string& node) const;

 private:
  struct Entry;
  class Observer;
  Entry* entry(const std::string& node) const;
  void drop(size_t index);
  bool build(Entry& entry);
  void update(Entry& entry);

  std::vector<std::unique_ptr<Entry>> entries_;
  std::unique_ptr<Observer> observer_;
  int serial_ = 0;
  Engine engine_ = Engine::kDirectX11;
};

// Process-wide viewport state (Maya has one renderer per process). A new
// Host starts a fresh one: no fragments, textures or sampler states, and the
// renderer available.
void setRendererAvailable(bool available);  // false: MRenderer::theRenderer() returns null
bool fragmentXml(const std::string& name, std::string* xml);  // a registered fragment's document
// The shader text of a registered fragment for a language ("Cg", "HLSL", "GLSL"):
// the `source` of a plumbing fragment, or the `declaration` of a structure
// fragment; "" when there is none.
std::string fragmentSource(const std::string& name, const std::string& language);
int liveSamplerStates();                         // distinct sampler states alive
int textureReferences(const std::string& path);  // references held on the texture of that file
// The level-0 texels of the live 2D texture made from memory under that
// name, row 0 first (at v = 0) as they were handed in: an R32_FLOAT one
// as one float a texel, read (d, 0, 0, 1); an R8G8B8A8_UNORM one as its
// bytes. False when there is no such texture.
bool memoryTexturePicture(const std::string& name, image::Picture* picture);
// "R32_FLOAT", "R8G8B8A8_UNORM", as `ogs -dump` names the formats.
const char* formatName(MHWRender::MRasterFormat format);

// The names `ogs -dump` gives the enumerators.
const char* filterName(MHWRender::MSamplerState::TextureFilter filter);
const char* addressName(MHWRender::MSamplerState::TextureAddress address);

}  // namespace qv::maya
