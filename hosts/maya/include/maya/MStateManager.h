#pragma once

#include <maya/MStatus.h>

namespace MHWRender {

class MSamplerStateDesc;

class MSamplerState {
 public:
  enum TextureFilter {
    kMinMagMipPoint,
    kMinMagPoint_MipLinear,
    kMinPoint_MagLinear_MipPoint,
    kMinPoint_MagMipLinear,
    kMinLinear_MagMipPoint,
    kMinLinear_MagPoint_MipLinear,
    kMinMagLinear_MipPoint,
    kMinMagMipLinear,
    kAnisotropic
  };
  enum TextureAddress { kTexWrap, kTexMirror, kTexClamp, kTexBorder, kTexMirrorOnce };
  enum CompareFunction {
    kCompareNever,
    kCompareLess,
    kCompareEqual,
    kCompareLessEqual,
    kCompareGreater,
    kCompareNotEqual,
    kCompareGreaterEqual,
    kCompareAlways
  };

  const MSamplerStateDesc& desc() const;

 private:
  MSamplerState() = default;
  ~MSamplerState() = default;
  friend struct RendererAccess;
};

class MSamplerStateDesc {
 public:
  MSamplerStateDesc() { setDefaults(); }
  void setDefaults();

  MSamplerState::TextureFilter filter;
  MSamplerState::CompareFunction comparisonFn;
  MSamplerState::TextureAddress addressU;
  MSamplerState::TextureAddress addressV;
  MSamplerState::TextureAddress addressW;
  float borderColor[4];
  float mipLODBias;
  float minLOD;
  float maxLOD;
  unsigned int maxAnisotropy;
  int coordCount;
  int elementIndex;
};

// Render states are shared: equal descriptions give the same state object,
// counted per acquisition and freed at its last release.
class MStateManager {
 public:
  static const MSamplerState* acquireSamplerState(const MSamplerStateDesc& desc);
  static void releaseSamplerState(const MSamplerState* state);
};

}  // namespace MHWRender
