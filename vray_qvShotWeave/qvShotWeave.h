// qvShotWeave: colour A laid over colour B by matte A, with alpha, matte and
// transparency outputs built from the two mattes.
#pragma once

#include "texture_library.h"

namespace qv::shotweave {

// The four inputs. The texture holds one set, filled by the host each frame;
// every output sub-texture holds its own copy.
struct Inputs {
  VUtils::TextureInterface* colorA = nullptr;
  VUtils::TextureInterface* matteA = nullptr;
  VUtils::TextureInterface* colorB = nullptr;
  VUtils::TextureInterface* matteB = nullptr;
};

class OutAlphaTex final : public vray::OutputTexture<VUtils::TextureFloatInterface> {
 public:
  float texFloat(const VUtils::VRayContext& rc) override;
  void texFloatBounds(float& fmin, float& fmax) override;

  Inputs inputs;
};

class OutMatteTex final : public vray::OutputTexture<VUtils::TextureInterface> {
 public:
  VUtils::AColor texColor(const VUtils::VRayContext& rc) override;
  void texColorBounds(VUtils::AColor& cmin, VUtils::AColor& cmax) override;

  Inputs inputs;
};

class OutTranspTex final : public vray::OutputTexture<VUtils::TextureInterface> {
 public:
  VUtils::AColor texColor(const VUtils::VRayContext& rc) override;
  void texColorBounds(VUtils::AColor& cmin, VUtils::AColor& cmax) override;

  Inputs inputs;
};

class qvShotWeave final : public vray::CachedTexture<qvShotWeave> {
 public:
  static constexpr PluginID kPluginID = 2012062512;
  static constexpr const char* kName = "qvShotWeave";
  static void registerParameters(VUtils::VRayParameterListDesc& params);

  explicit qvShotWeave(PluginDesc* desc);

  VUtils::AColor texColor(const VUtils::VRayContext& rc) override;
  void texColorBounds(VUtils::AColor& cmin, VUtils::AColor& cmax) override;
  VUtils::Vector colorBumpGradient(const VUtils::VRayContext& rc) override;

  void copyInputsToOutputs();

  const Inputs& inputs() const { return inputs_; }
  OutAlphaTex& outAlpha() { return outAlpha_; }
  OutMatteTex& outMatte() { return outMatte_; }
  OutTranspTex& outTransparency() { return outTransparency_; }

 private:
  VUtils::AColor computeColor(const VUtils::VRayContext& rc);

  Inputs inputs_;
  OutAlphaTex outAlpha_;
  OutMatteTex outMatte_;
  OutTranspTex outTransparency_;
};

}  // namespace qv::shotweave
