// qvVeil: a colour and a matte scaled by how much the projection camera
// really sees of the shading point.
#pragma once

#include "texture_library.h"
#include "veil_inputs.h"

namespace qv::veil {

// The matte output: the mask in all four channels times the visibility
// factor. Evaluated afresh on every request.
class OutMatteTex final : public vray::OutputTexture<VUtils::TextureInterface> {
 public:
  VUtils::AColor texColor(const VUtils::VRayContext& rc) override;
  void texColorBounds(VUtils::AColor& cmin, VUtils::AColor& cmax) override;

  // Copies of the texture's references, all but "colorOffset".
  VUtils::TextureInterface* color = nullptr;
  VUtils::TextureFloatInterface* mask = nullptr;
  VisibilityInputs visibility;
};

class qvVeil final : public vray::CachedTexture<qvVeil> {
 public:
  static constexpr PluginID kPluginID = 2012020401;
  static constexpr const char* kName = "qvVeil";
  static void registerParameters(VUtils::VRayParameterListDesc& params);

  explicit qvVeil(PluginDesc* desc);

  VUtils::AColor texColor(const VUtils::VRayContext& rc) override;
  void texColorBounds(VUtils::AColor& cmin, VUtils::AColor& cmax) override;
  VUtils::Vector colorBumpGradient(const VUtils::VRayContext& rc) override;

  void copyInputsToOutputs();

  OutMatteTex& outMatte() { return outMatte_; }

 private:
  VUtils::AColor computeColor(const VUtils::VRayContext& rc);

  VUtils::TextureInterface* color_ = nullptr;
  VUtils::TextureFloatInterface* mask_ = nullptr;
  VUtils::TextureInterface* colorOffset_ = nullptr;
  VisibilityInputs visibility_;
  OutMatteTex outMatte_;
};

}  // namespace qv::veil
