#pragma once

// Maya's renderer header reaches vectors and the state manager through its
// frame-context and draw-manager headers; plug-ins rely on that.
#include <maya/MFloatVector.h>
#include <maya/MMatrix.h>
#include <maya/MStateManager.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

namespace MHWRender {

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

}  // namespace MHWRender

// Overrides name the APIs they support as kOpenGL | kDirectX11.
inline MHWRender::DrawAPI operator|(MHWRender::DrawAPI a, MHWRender::DrawAPI b) {
  return static_cast<MHWRender::DrawAPI>(static_cast<unsigned int>(a) |
                                         static_cast<unsigned int>(b));
}

namespace MHWRender {

// Viewport 2.0's renderer: one per process, absent when Maya runs without
// the viewport (batch mode), which the stand-in host can arrange.
class MRenderer {
 public:
  static MRenderer* theRenderer(bool initializeRenderer = true);

  MFragmentManager* getFragmentManager() const;
  MTextureManager* getTextureManager() const;
  DrawAPI drawAPI() const;

 private:
  MRenderer() = default;
  friend struct RendererAccess;
};

}  // namespace MHWRender
