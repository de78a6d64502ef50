// The qv_vpStack plug-in: the layer-stack node and its Viewport 2.0 override.
#include "qv_plugin_entry.h"
#include "qv_vpStack.h"
#include "qv_vpStackOverride.h"

#include <maya/MDrawRegistry.h>
#include <maya/MFnPlugin.h>  // once per plug-in: MApiVersion, DllMain on Windows

namespace {

MStatus registerOverride() {
  return MHWRender::MDrawRegistry::registerShadingNodeOverrideCreator(
      qv_vpStack::drawClassification, qv_vpStack::registrantId, qv_vpStackOverride::creator);
}

MStatus deregisterOverride() {
  return MHWRender::MDrawRegistry::deregisterShadingNodeOverrideCreator(
      qv_vpStack::drawClassification, qv_vpStack::registrantId);
}

}  // namespace

PLUGIN_EXPORT MStatus initializePlugin(MObject obj) {
  return qv::maya::initializeViewportPlugin(
      obj, "Qavel Works, LLC",
      {qv_vpStack::typeName, qv_vpStack::id, qv_vpStack::creator, qv_vpStack::initialize,
       qv_vpStack::classification},
      {registerOverride, deregisterOverride}, QV_ENTRY_STATUS_CHECK);
}

PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj) {
  return qv::maya::uninitializeViewportPlugin(
      obj, qv_vpStack::id, {registerOverride, deregisterOverride}, QV_ENTRY_STATUS_CHECK);
}
