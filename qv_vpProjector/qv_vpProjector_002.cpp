// The qv_vpProjector plug-in: the node, then its Viewport 2.0 override
// creator, registered and removed in that order.
#include "qv_plugin_entry.h"
#include "qv_status_check.h"
#include "qv_vpProjector.h"
#include "qv_vpProjectorOverride.h"

#include <maya/MFnPlugin.h>  // once per plug-in: MApiVersion, DllMain on Windows

namespace {
// Unlike the render-node plug-ins, this one ships under the vendor name
// without ", LLC".
constexpr const char* kVendor = "Qavel Works";

const qv::maya::OverrideRegistration kOverride = {qv_vpProjectorOverride::registerCreator,
                                                  qv_vpProjectorOverride::deregisterCreator};
}  // namespace

PLUGIN_EXPORT MStatus initializePlugin(MObject obj) {
  return qv::maya::initializeViewportPlugin(
      obj, kVendor,
      {qv_vpProjector::typeName, qv_vpProjector::id, qv_vpProjector::creator,
       qv_vpProjector::initialize, qv_vpProjector::classification},
      kOverride, QV_ENTRY_STATUS_CHECK);
}

PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj) {
  return qv::maya::uninitializeViewportPlugin(obj, qv_vpProjector::id, kOverride,
                                              QV_ENTRY_STATUS_CHECK);
}
