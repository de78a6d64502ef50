#pragma once

#include <maya/MPxShadingNodeOverride.h>

namespace MHWRender {

// The override of a surface shader: besides the fragment, it names the
// parameters Maya uses for the object's colour and transparency in its own
// views, and the attribute that carries the bump. "" names none.
class MPxSurfaceShadingNodeOverride : public MPxShadingNodeOverride {
 public:
  MPxSurfaceShadingNodeOverride(const MObject& obj);
  virtual ~MPxSurfaceShadingNodeOverride();

  virtual MString primaryColorParameter() const;
  virtual MString transparencyParameter() const;
  virtual MString bumpAttribute() const;
};

}  // namespace MHWRender
