// Plug-in base classes that texture libraries derive from.
#pragma once

#include "vrayinterface.h"
#include "vraytexture.h"

namespace VUtils {

// A plug-in descriptor with a V-Ray parameter list.
class VRayPluginDesc : public PluginDesc {
 public:
  explicit VRayPluginDesc(VRayParameterListDesc* params) : pluginParams(params) {}

  void registerPlugin(PluginHost* host) override {
    if (!host) return;
    host->registerPlugin(this);
    if (pluginParams) pluginParams->registerParameters(host, this);
  }

  void unregisterPlugin(PluginHost* host) override {
    if (host) host->unregisterPlugin(this);
  }

 protected:
  VRayParameterListDesc* pluginParams;
};

// A plug-in that is its own V-Ray plug-in interface.
class VRayPlugin : public Plugin, public VRayPluginInterface {
 public:
  explicit VRayPlugin(PluginDesc* desc) : VRayPluginInterface(desc), desc_(desc) {}

  PluginDesc* getPluginDesc() override { return desc_; }
  Plugin* getPlugin() override { return this; }

  PluginInterface* getInterface(PluginID id) override {
    if (id == EXT_VRAY_PLUGIN) return static_cast<VRayPluginInterface*>(this);
    return Plugin::getInterface(id);
  }

 private:
  PluginDesc* desc_;
};

// Base of texture plug-ins: a V-Ray plug-in that is also a colour texture.
class VRayTexture : public VRayPlugin, public TextureInterface {
 public:
  explicit VRayTexture(PluginDesc* desc) : VRayPlugin(desc) {}

  Plugin* getPlugin() override { return this; }

  PluginInterface* getInterface(PluginID id) override {
    if (id == EXT_TEXTURE) return static_cast<TextureInterface*>(this);
    return VRayPlugin::getInterface(id);
  }

  // getInterfaceID and getInterfaceName are deliberately not overridden here:
  // the V-Ray plug-in part and the texture part each report their own.
};

}  // namespace VUtils
