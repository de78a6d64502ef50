#pragma once

#include <maya/MStatus.h>

namespace qv::maya::detail {
struct RendererAccess;
}

namespace MHWRender {

class MSamplerStateDesc;
class MSamplerState;

// Render states are shared: equal descriptions give the same state object,
// counted per acquisition and freed at its last release.
class MStateManager {
 public:
  // Direct3D's comparison numbering, which Maya passes through.
  enum CompareMode {
    kCompareNever = 1,
    kCompareLess = 2,
    kCompareEqual = 3,
    kCompareLessEqual = 4,
    kCompareGreater = 5,
    kCompareNotEqual = 6,
    kCompareGreaterEqual = 7,
    kCompareAlways = 8
  };

  static const MSamplerState* acquireSamplerState(const MSamplerStateDesc& samplerStateDesc,
                                                  MStatus* ReturnStatus = nullptr);
  static void releaseSamplerState(const MSamplerState* state);

 private:
  MStateManager(void* data);
  ~MStateManager();
};

class MSamplerState {
 public:
  // Direct3D's filter bits: 0x1 linear mip, 0x4 linear magnification, 0x10
  // linear minification.
  enum TextureFilter {
    kMinMagMipPoint = 0,
    kMinMagPoint_MipLinear = 0x1,
    kMinPoint_MagLinear_MipPoint = 0x4,
    kMinPoint_MagMipLinear = 0x5,
    kMinLinear_MagMipPoint = 0x10,
    kMinLinear_MagPoint_MipLinear = 0x11,
    kMinMagLinear_MipPoint = 0x14,
    kMinMagMipLinear = 0x15,
    kAnisotropic = 0x55
  };
  enum TextureAddress { kTexWrap = 1, kTexMirror = 2, kTexClamp = 3, kTexBorder = 4 };

  const MSamplerStateDesc& desc(MStatus* ReturnStatus = nullptr) const;

 private:
  MSamplerState();
  ~MSamplerState();
  friend struct qv::maya::detail::RendererAccess;
};

class MSamplerStateDesc {
 public:
  MSamplerState::TextureFilter filter;
  MStateManager::CompareMode comparisonFn;
  MSamplerState::TextureAddress addressU;
  MSamplerState::TextureAddress addressV;
  MSamplerState::TextureAddress addressW;
  float borderColor[4];
  float mipLODBias;
  unsigned int minLOD;
  unsigned int maxLOD;
  unsigned int maxAnisotropy;
  unsigned int coordCount;
  unsigned int elementIndex;

  MSamplerStateDesc();
  ~MSamplerStateDesc();
  void setDefaults();
  MSamplerStateDesc(const MSamplerStateDesc& rDesc);
  MSamplerStateDesc& operator=(const MSamplerStateDesc& rDesc);
};

}  // namespace MHWRender
