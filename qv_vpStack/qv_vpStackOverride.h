// Viewport 2.0's view of a qv_vpStack node: the fragment graph that draws it.
// The graph's parameters carry the node's attribute names, so Maya binds them
// by name and the override needs no mappings or shader updates of its own.
#pragma once

#include <maya/MObject.h>
#include <maya/MPxShadingNodeOverride.h>
#include <maya/MString.h>

class qv_vpStackOverride : public MHWRender::MPxShadingNodeOverride {
 public:
  static MHWRender::MPxShadingNodeOverride* creator(const MObject& obj);

  ~qv_vpStackOverride() override;

  MHWRender::DrawAPI supportedDrawAPIs() const override;
  MString fragmentName() const override;

 private:
  // Registers whichever of the three fragments the fragment manager lacks.
  explicit qv_vpStackOverride(const MObject& obj);

  // "qv_vpStackGraph" once all three fragments are known, else empty.
  MString fragmentName_;
};
