// Texture interfaces: what a texture (or one of its outputs) offers to the
// shading that consumes it, and the texture plug-in base class.
#pragma once

#include "vrayinterface.h"

namespace VUtils {

enum : PluginID {
  EXT_TEXTURE = 0x77780002,
  EXT_TEXTURE_FLOAT = 0x7782F8E5,
  EXT_TEXTURE_INT = 0x7782F8E6,
  EXT_TEXTURE_TRANSFORM = 0x7782F8E7,
};

class TextureInterface : public PluginInterface {
 public:
  PluginID getInterfaceID() override { return EXT_TEXTURE; }
  const char* getInterfaceName() override { return "EXT_TEXTURE"; }

  virtual AColor texColor(const VRayContext& rc) = 0;
  virtual void texColorBounds(AColor& cmin, AColor& cmax) = 0;
  virtual Vector colorBumpGradient(const VRayContext&) { return Vector(0.0f, 0.0f, 0.0f); }
};

class TextureFloatInterface : public PluginInterface {
 public:
  PluginID getInterfaceID() override { return EXT_TEXTURE_FLOAT; }
  const char* getInterfaceName() override { return "EXT_TEXTURE_FLOAT"; }

  virtual float texFloat(const VRayContext& rc) = 0;
  virtual void texFloatBounds(float& fmin, float& fmax) = 0;
  virtual Vector floatBumpGradient(const VRayContext&) { return Vector(0.0f, 0.0f, 0.0f); }
};

class TextureIntInterface : public PluginInterface {
 public:
  PluginID getInterfaceID() override { return EXT_TEXTURE_INT; }
  const char* getInterfaceName() override { return "EXT_TEXTURE_INT"; }

  virtual int texInt(const VRayContext& rc) = 0;
};

class TextureTransformInterface : public PluginInterface {
 public:
  PluginID getInterfaceID() override { return EXT_TEXTURE_TRANSFORM; }
  const char* getInterfaceName() override { return "EXT_TEXTURE_TRANSFORM"; }

  virtual Transform texTransform(const VRayContext& rc) = 0;
};

}  // namespace VUtils
