// Descriptors, hooks and export of a V-Ray texture library.
//
// A texture class T supplies:
//   static constexpr PluginID kPluginID;  static constexpr const char* kName;
//   static void registerParameters(VUtils::VRayParameterListDesc&);
//   explicit T(PluginDesc*);
// and derives from CachedTexture<T>, giving it copyInputsToOutputs().
#pragma once

#include <new>
#include <string>

#include "thread_color_cache.h"
#include "vrayplugins.h"

#if defined(_MSC_VER)
#define QV_NOINLINE __declspec(noinline)
#else
#define QV_NOINLINE __attribute__((noinline))
#endif

namespace qv::vray {

// Base of a texture with a per-thread cache of its own colour.
template <class Derived>
class CachedTexture : public VUtils::VRayTexture {
 public:
  explicit CachedTexture(PluginDesc* desc) : VUtils::VRayTexture(desc) {}

  void renderBegin(VUtils::VRayRenderer* vray) override { cache_.allocate(numThreads(vray)); }

  void frameBegin(VUtils::VRayRenderer* vray) override {
    VUtils::VRayPluginInterface::frameBegin(vray);
    static_cast<Derived*>(this)->copyInputsToOutputs();
    if (cache_.isAllocated()) {
      cache_.clear();
    } else {
      cache_.allocate(numThreads(vray));
    }
  }

  void frameEnd(VUtils::VRayRenderer*) override {}
  void renderEnd(VUtils::VRayRenderer*) override { cache_.release(); }

  const ThreadColorCache& cache() const { return cache_; }

 protected:
  ThreadColorCache cache_;

 private:
  static int numThreads(VUtils::VRayRenderer* vray) { return vray ? vray->getNumThreads() : 0; }
};

// An output that a texture publishes through a sub-texture object. It belongs
// to no plug-in of its own, so asked for its owner it answers null.
template <class Interface>
class OutputTexture : public Interface {
 public:
  Plugin* getPlugin() override { return nullptr; }
};

template <class Texture>
class UserPluginDesc final : public VUtils::VRayPluginDesc {
 public:
  explicit UserPluginDesc(VUtils::VRayParameterListDesc* params) : VRayPluginDesc(params) {}

  PluginID getPluginID() override { return Texture::kPluginID; }
  Plugin* newPlugin(PluginHost*) override { return new (std::nothrow) Texture(this); }
  void deletePlugin(Plugin* plugin) override { delete plugin; }
  bool supportsInterface(PluginID id) override {
    return id == VUtils::EXT_TEXTURE || id == VUtils::EXT_VRAY_PLUGIN;
  }
  const char* getName() override { return Texture::kName; }
};

template <class Texture>
class LibDesc final : public PluginLibDesc {
 public:
  explicit LibDesc(PluginDesc* desc)
      : desc_(desc), description_(std::string(Texture::kName) + " for VRay") {}

  const char* getLibName() override { return Texture::kName; }
  const char* getLibDescription() override { return description_.c_str(); }
  int enumPluginDescs(PluginDescEnumerator* enumerator) override {
    if (enumerator) enumerator->pluginDesc(desc_);
    return 1;
  }

 private:
  PluginDesc* desc_;
  std::string description_;
};

// The library's static objects, built on load in this order: the parameter
// list (filled right away), the plug-in descriptor, the library descriptor.
template <class Texture>
struct TextureLibrary {
  struct Parameters : VUtils::VRayParameterListDesc {
    Parameters() { Texture::registerParameters(*this); }
  };

  Parameters params;
  UserPluginDesc<Texture> pluginDesc{&params};
  LibDesc<Texture> libDesc{&pluginDesc};
};

}  // namespace qv::vray

// Defines the library's static descriptors and exports getLibDesc.
#define QV_VRAY_TEXTURE_LIBRARY(Texture)                       \
  static ::qv::vray::TextureLibrary<Texture> qvTextureLibrary; \
  VRAY_PLUGIN_EXPORT PluginLibDesc* getLibDesc() {             \
    return &qvTextureLibrary.libDesc;                          \
  }
