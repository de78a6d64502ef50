// Viewport 2.0's process-wide state, shared by the OpenMayaRender classes and
// the host-side viewport: registered fragments, override creators, the
// shared textures and sampler states, and what each shader instance holds.
// Maya has one renderer per process, and so does this.
#pragma once

#include <maya/MDrawRegistry.h>
#include <maya/MFragmentManager.h>
#include <maya/MPxShadingNodeOverride.h>
#include <maya/MShaderManager.h>
#include <maya/MStateManager.h>
#include <maya/MString.h>
#include <maya/MTextureManager.h>
#include <maya/MViewport2Renderer.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qv::maya::detail {

struct Plugin;

// A property or output of a fragment: the element name is its type tag
// ("float", "float3", "texture2", "struct", ...).
struct FragmentParameter {
  std::string name;
  std::string type;
  std::string semantic;
};

struct Fragment {
  std::string name;
  std::string document;  // as it was handed in
  bool graph = false;
  std::string kind;  // the shade fragment's type: "plumbing", "structure", ...
  std::vector<FragmentParameter> properties;
  std::vector<FragmentParameter> outputs;
  // Shader text by implementation language: a plumbing fragment's source, a
  // structure fragment's declaration.
  std::map<std::string, std::string> sources;

  const FragmentParameter* property(const std::string& name) const;
  const FragmentParameter* output(const std::string& name) const;
};

struct DrawRegistration {
  std::string classification;
  std::string registrant;
  // Surface shading overrides are created like any other.
  std::function<MHWRender::MPxShadingNodeOverride*(const MObject&)> creator;
  // The plug-in whose entry point registered it; null when registered from
  // outside any plug-in.
  const Plugin* plugin = nullptr;
};

// Told before a registration's creator can no longer be called, so that the
// overrides it made (whose code lives in the plug-in) go first.
class DrawRegistryObserver {
 public:
  virtual void registrationGoing(const DrawRegistration& registration) = 0;

 protected:
  ~DrawRegistryObserver() = default;
};

struct TextureEntry {
  MString path;  // as first acquired: the texture's name
  std::string key;
  bool inMemory = false;  // made from pixels, found by its name rather than a file
  MHWRender::MTextureDescription description{};
  // Level 0, packed: four bytes per pixel (RGBA8 or one float), slice
  // after slice for a volume. A file's rows bottom-up, as MImage reads it;
  // memory's in the order they were handed in (row 0 at v = 0).
  std::vector<unsigned char> pixels;
  int references = 0;
};

struct SamplerEntry {
  MHWRender::MSamplerStateDesc desc;
  int references = 0;
};

// What a shader instance was built with and what has been set on it.
struct ShaderState {
  std::map<std::string, std::string> types;  // parameter -> type tag
  std::map<std::string, std::string> values;
  std::map<std::string, MHWRender::MSamplerStateDesc> samplers;
  std::map<std::string, MHWRender::MTexture*> textures;  // each holds one reference
};

class RenderState {
 public:
  RenderState() = default;
  ~RenderState();
  RenderState(const RenderState&) = delete;
  RenderState& operator=(const RenderState&) = delete;

  // Back to a fresh renderer: no fragments, creators, textures or sampler
  // states, and the renderer available. Observers stay.
  void reset();

  bool rendererAvailable = true;
  std::map<std::string, Fragment> fragments;
  // Where fragment files named without a folder are looked for.
  std::vector<std::string> fragmentPaths;
  std::vector<DrawRegistration> registrations;
  std::vector<DrawRegistryObserver*> observers;

  const Fragment* fragment(const std::string& name) const;
  // Tells the observers, then forgets it.
  void removeRegistration(size_t index);
  // Tells the observers about every registration of the plug-in; with
  // `forget`, also removes them.
  void pluginGoing(const Plugin* plugin, bool forget);

  // Textures by file path.
  MHWRender::MTexture* acquireTexture(const std::string& path, int mipmapLevels);
  // Textures from memory, by name.
  MHWRender::MTexture* acquireTexture(const std::string& name,
                                      const MHWRender::MTextureDescription& description,
                                      const void* pixels, bool generateMipMaps);
  MHWRender::MTexture* findTexture(const std::string& name);
  // Another reference on a live texture; false when it is not one.
  bool retainTexture(MHWRender::MTexture* texture);
  void releaseTexture(MHWRender::MTexture* texture);
  int textureReferences(const std::string& path) const;
  const TextureEntry* texture(const MHWRender::MTexture* texture) const;
  // The live texture made from memory under that name, without taking a
  // reference; null when there is none.
  const TextureEntry* memoryTexture(const std::string& name) const;

  const MHWRender::MSamplerState* acquireSamplerState(const MHWRender::MSamplerStateDesc& desc);
  void releaseSamplerState(const MHWRender::MSamplerState* state);
  const MHWRender::MSamplerStateDesc* samplerDesc(const MHWRender::MSamplerState* state) const;
  int liveSamplerStates() const { return static_cast<int>(samplers_.size()); }

  MHWRender::MShaderInstance* createShader(std::map<std::string, std::string> types);
  void destroyShader(MHWRender::MShaderInstance* shader);
  ShaderState* shader(const MHWRender::MShaderInstance* shader);

 private:
  std::map<MHWRender::MTexture*, TextureEntry> textures_;
  std::map<const MHWRender::MSamplerState*, SamplerEntry> samplers_;
  std::map<const MHWRender::MShaderInstance*, ShaderState> shaders_;
};

RenderState& renderState();

// What the viewport writes into the parameter mappings while it builds a
// shader, beyond what Maya's API lets a plug-in do.
struct MappingAccess {
  static MHWRender::MAttributeParameterMapping* at(MHWRender::MAttributeParameterMappingList& list,
                                                   unsigned int index) {
    return index < list.mappings_.size() ? list.mappings_[index].get() : nullptr;
  }
  static void resolve(MHWRender::MAttributeParameterMapping& mapping, const MString& name) {
    mapping.resolvedParameterName_ = name;
  }
};

bool sameSampler(const MHWRender::MSamplerStateDesc& a, const MHWRender::MSamplerStateDesc& b);

}  // namespace qv::maya::detail

namespace qv::maya::detail {

// Makes and frees what only the renderer may: the classes' constructors and
// destructors are private, as in Maya, and befriend this.
struct RendererAccess {
  static MHWRender::MRenderer* renderer();
  static MHWRender::MFragmentManager* fragmentManager();
  static MHWRender::MTextureManager* textureManager();
  static MHWRender::MTexture* newTexture();
  static void deleteTexture(MHWRender::MTexture* texture);
  static MHWRender::MSamplerState* newSamplerState();
  static void deleteSamplerState(const MHWRender::MSamplerState* state);
  static MHWRender::MShaderInstance* newShader();
  static void deleteShader(MHWRender::MShaderInstance* shader);
};

}  // namespace qv::maya::detail
