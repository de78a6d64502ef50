// What the host library (vray.dll) exports to texture plug-ins: parameter
// list descriptions, per-instance parameter lists and the V-Ray plug-in
// interface with its render and frame hooks.
#pragma once

#include <memory>

#include "plugman.h"
#include "vrayrenderer.h"

namespace VUtils {

enum : PluginID { EXT_VRAY_PLUGIN = 0x7776FFFF };

class TextureInterface;
class TextureFloatInterface;
class TextureIntInterface;
class TextureTransformInterface;
class VRayPluginParameter;

// The parameters that one plug-in type declares, in declaration order. Each
// library builds one statically and registers it with its descriptor.
class VRAY_API VRayParameterListDesc {
 public:
  VRayParameterListDesc();
  ~VRayParameterListDesc();
  VRayParameterListDesc(const VRayParameterListDesc&) = delete;
  VRayParameterListDesc& operator=(const VRayParameterListDesc&) = delete;

  int addParamTexture(const char* name, int count, const char* desc, const char* uiGuides);
  int addParamTextureFloat(const char* name, int count, const char* desc, const char* uiGuides);
  int addParamTextureFloat(const char* name, float defaultValue, int count, const char* desc,
                           const char* uiGuides);
  int addParamTextureInt(const char* name, int count, const char* desc, const char* uiGuides);
  int addParamTextureTransform(const char* name, int count, const char* desc, const char* uiGuides);
  int addOutputParamTexture(const char* name, const char* desc, const char* uiGuides);
  int addOutputParamTextureFloat(const char* name, const char* desc, const char* uiGuides);

  // Plain values, read as they are rather than through a texture, and links
  // to a whole plug-in that must offer interfaceID. Texture libraries take
  // none of these; bitmap buffers and UVW generators do.
  int addParamInt(const char* name, int defaultValue, int count, const char* desc,
                  const char* uiGuides);
  int addParamFloat(const char* name, float defaultValue, int count, const char* desc,
                    const char* uiGuides);
  int addParamTransform(const char* name, const Transform& defaultValue, int count,
                        const char* desc, const char* uiGuides);
  int addParamString(const char* name, const char* defaultValue, int count, const char* desc,
                     const char* uiGuides);
  int addParamPlugin(const char* name, PluginID interfaceID, int count, const char* desc,
                     const char* uiGuides);

  // Tells the host that desc's plug-ins have this parameter list.
  int registerParameters(PluginHost* host, PluginDesc* desc);

  struct Impl;
  const Impl& impl() const { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

// The parameters of one plug-in instance. The plug-in binds the addresses of
// its input references and output objects; the host writes the inputs in the
// base frameBegin and hands the outputs to whoever consumes them.
class VRAY_API VRayParameterList {
 public:
  explicit VRayParameterList(PluginDesc* desc);
  ~VRayParameterList();
  VRayParameterList(const VRayParameterList&) = delete;
  VRayParameterList& operator=(const VRayParameterList&) = delete;

  void setParamCache(const char* name, TextureInterface** cache);
  void setParamCache(const char* name, TextureFloatInterface** cache);
  void setParamCache(const char* name, TextureIntInterface** cache);
  void setParamCache(const char* name, TextureTransformInterface** cache);
  // Plain values and plug-in links, written like the input references. A
  // string stays valid until the list is destroyed or the parameter is set
  // again.
  void setParamCache(const char* name, int* cache);
  void setParamCache(const char* name, float* cache);
  void setParamCache(const char* name, Transform* cache);
  void setParamCache(const char* name, const char** cache);
  void setParamCache(const char* name, PluginInterface** cache);
  void setOutputParamCache(const char* name, TextureInterface* output);
  void setOutputParamCache(const char* name, TextureFloatInterface* output);

  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

// A parameter value handed to setParameter; opaque to texture plug-ins.
class VRayPluginParameter {
 public:
  virtual ~VRayPluginParameter() {}
  virtual const char* getName() = 0;
};

// The V-Ray side of a plug-in: render and frame hooks and its parameter list.
class VRAY_API VRayPluginInterface : public PluginInterface {
 public:
  explicit VRayPluginInterface(PluginDesc* desc);
  ~VRayPluginInterface() override;

  PluginID getInterfaceID() override;
  const char* getInterfaceName() override;

  virtual void renderBegin(VRayRenderer* vray);
  virtual void renderEnd(VRayRenderer* vray);
  // Fills every bound input reference for the frame.
  virtual void frameBegin(VRayRenderer* vray);
  virtual void frameEnd(VRayRenderer* vray);
  virtual void setParameter(VRayPluginParameter* param);
  virtual VRayPluginParameter* getParameter(const char* name);

  VRayParameterList* getParameterList() { return paramList_.get(); }

 protected:
  VRayParameterList& paramList() { return *paramList_; }

 private:
  std::unique_ptr<VRayParameterList> paramList_;
};

}  // namespace VUtils
