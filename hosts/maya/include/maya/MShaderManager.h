#pragma once

#include <maya/MMatrix.h>
#include <maya/MStatus.h>
#include <maya/MTextureManager.h>

namespace MHWRender {

class MSamplerState;

struct MTextureAssignment {
  MHWRender::MTexture* texture;
};

// A shader Viewport 2.0 built from a fragment graph. Setting a parameter the
// shader does not have fails with kInvalidParameter. The shader keeps its own
// reference to an assigned texture.
class MShaderInstance {
 public:
  MStatus setParameter(const MString& parameterName, bool value);
  MStatus setParameter(const MString& parameterName, int value);
  MStatus setParameter(const MString& parameterName, float value);
  MStatus setParameter(const MString& parameterName, const float* value);
  MStatus setParameter(const MString& parameterName, const MFloatVector& value);
  MStatus setParameter(const MString& parameterName, const MMatrix& value);
  MStatus setParameter(const MString& parameterName, MTextureAssignment& textureAssignment);
  MStatus setParameter(const MString& parameterName, const MSamplerState& sampler);

 private:
  MShaderInstance();
  ~MShaderInstance();
  friend struct qv::maya::detail::RendererAccess;
};

}  // namespace MHWRender
