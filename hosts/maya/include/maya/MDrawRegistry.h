#pragma once

#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

namespace MHWRender {

class MPxShadingNodeOverride;
class MPxSurfaceShadingNodeOverride;

// Override creators by draw classification: Maya creates overrides for the
// nodes whose classification holds ":" followed by that draw classification.
class MDrawRegistry {
 public:
  typedef MPxShadingNodeOverride* (*ShadingNodeOverrideCreator)(const MObject&);

  static MStatus registerShadingNodeOverrideCreator(const MString& drawClassification,
                                                    const MString& registrantId,
                                                    ShadingNodeOverrideCreator creator);
  static MStatus deregisterShadingNodeOverrideCreator(const MString& drawClassification,
                                                      const MString& registrantId);

  typedef MPxSurfaceShadingNodeOverride* (*SurfaceShadingNodeOverrideCreator)(const MObject&);
  static MStatus registerSurfaceShadingNodeOverrideCreator(
      const MString& drawClassification, const MString& registrantId,
      SurfaceShadingNodeOverrideCreator creator);
  static MStatus deregisterSurfaceShadingNodeOverrideCreator(const MString& drawClassification,
                                                             const MString& registrantId);

 private:
  MDrawRegistry();
  ~MDrawRegistry();
};

}  // namespace MHWRender
