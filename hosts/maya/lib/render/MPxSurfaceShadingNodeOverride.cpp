#include <maya/MPxSurfaceShadingNodeOverride.h>

namespace MHWRender {

MPxSurfaceShadingNodeOverride::MPxSurfaceShadingNodeOverride(const MObject& obj)
    : MPxShadingNodeOverride(obj) {}
MPxSurfaceShadingNodeOverride::~MPxSurfaceShadingNodeOverride() = default;
MString MPxSurfaceShadingNodeOverride::primaryColorParameter() const {
  return "";
}
MString MPxSurfaceShadingNodeOverride::transparencyParameter() const {
  return "";
}
MString MPxSurfaceShadingNodeOverride::bumpAttribute() const {
  return "";
}

}  // namespace MHWRender
