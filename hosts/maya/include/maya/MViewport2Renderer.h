#pragma once

// Maya's renderer header reaches vectors and the state manager through its
// frame-context and draw-manager headers; plug-ins rely on that.
#include <maya/MFloatVector.h>
#include <maya/MMatrix.h>
#include <maya/MStateManager.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

namespace qv::maya::detail {
struct RendererAccess;
}

namespace MHWRender {

class MTextureDescription;
class MFragmentManager;
class MSamplerState;
class MShaderInstance;
class MTexture;
class MTextureManager;

enum DrawAPI {
  kNone = 0,
  kOpenGL = 1 << 0,
  kDirectX11 = 1 << 1,
  kOpenGLCoreProfile = 1 << 2,
  kAllDevices = kOpenGL | kDirectX11 | kOpenGLCoreProfile
};

// Overrides name the APIs they support as kOpenGL | kDirectX11.
inline MHWRender::DrawAPI operator|(MHWRender::DrawAPI a, MHWRender::DrawAPI b) {
  return static_cast<MHWRender::DrawAPI>(static_cast<unsigned int>(a) |
                                         static_cast<unsigned int>(b));
}

// Pixel formats, numbered as Maya numbers them; the stand-in's textures
// hold four 8-bit channels alone.
enum MRasterFormat { kR32_FLOAT = 37, kR8G8B8A8_UNORM = 45 };

// Viewport 2.0's renderer: one per process, absent when Maya runs without
// the viewport (batch mode), which the stand-in host can arrange.
class MRenderer {
 public:
  static MRenderer* theRenderer(bool initializeRenderer = true);

  MHWRender::DrawAPI drawAPI() const;
  MFragmentManager* getFragmentManager() const;
  MTextureManager* getTextureManager() const;

 private:
  MRenderer();
  ~MRenderer();
  MRenderer(const MRenderer& other);
  MRenderer& operator=(const MRenderer& rhs);
  friend struct qv::maya::detail::RendererAccess;
};

}  // namespace MHWRender
