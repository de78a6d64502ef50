// Inputs that the host makes from plain values given in a scene. They belong
// to no plug-in: asked for their owner they answer null.
#pragma once

#include "vraytexture.h"

namespace qv::vrayhost {

class ConstantColorTexture final : public VUtils::TextureInterface {
 public:
  explicit ConstantColorTexture(const VUtils::AColor& value) : value_(value) {}
  Plugin* getPlugin() override { return nullptr; }
  VUtils::AColor texColor(const VUtils::VRayContext&) override { return value_; }
  void texColorBounds(VUtils::AColor& cmin, VUtils::AColor& cmax) override {
    cmin = value_;
    cmax = value_;
  }

 private:
  VUtils::AColor value_;
};

class ConstantFloatTexture final : public VUtils::TextureFloatInterface {
 public:
  explicit ConstantFloatTexture(float value) : value_(value) {}
  Plugin* getPlugin() override { return nullptr; }
  float texFloat(const VUtils::VRayContext&) override { return value_; }
  void texFloatBounds(float& fmin, float& fmax) override {
    fmin = value_;
    fmax = value_;
  }

 private:
  float value_;
};

class ConstantIntTexture final : public VUtils::TextureIntInterface {
 public:
  explicit ConstantIntTexture(int value) : value_(value) {}
  Plugin* getPlugin() override { return nullptr; }
  int texInt(const VUtils::VRayContext&) override { return value_; }

 private:
  int value_;
};

class ConstantTransformTexture final : public VUtils::TextureTransformInterface {
 public:
  explicit ConstantTransformTexture(const VUtils::Transform& value) : value_(value) {}
  Plugin* getPlugin() override { return nullptr; }
  VUtils::Transform texTransform(const VUtils::VRayContext&) override { return value_; }

 private:
  VUtils::Transform value_;
};

}  // namespace qv::vrayhost
