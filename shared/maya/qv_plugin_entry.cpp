#include "qv_plugin_entry.h"

#include "qv_status_check.h"

// MApiVersion and, on Windows, DllMain belong to each plug-in's main source,
// not to this library.
#define MNoVersionString
#define MNoPluginEntry
#include <maya/MFnPlugin.h>
#include <maya/MGlobal.h>

namespace qv::maya {

namespace {
constexpr const char* kRenderNodeVendor = "Qavel Works, LLC";
constexpr const char* kRenderNodeVersion = "1.0";
constexpr const char* kViewportVersion = "3.0";
constexpr const char* kRequiredApi = "Any";
constexpr const char* kUnknown = "Unknown";
}  // namespace

MStatus initializeRenderNodePlugin(MObject plugin, const NodeRegistration& node) {
  MStatus status = MS::kSuccess;
  MFnPlugin fnPlugin(plugin, kRenderNodeVendor, kRenderNodeVersion, kRequiredApi, &status);
  if (!status) {
    MGlobal::displayInfo("Could not initialize MFnPlugin.\n");
    status.perror("failed to initialize plugin");
  }
  status = fnPlugin.registerNode(node.typeName, node.typeId, node.creator, node.initialize,
                                 MPxNode::kDependNode, &node.classification);
  if (!status) status.perror("registerNode failed");
  return status;
}

MStatus uninitializeRenderNodePlugin(MObject plugin, const MTypeId& typeId) {
  MFnPlugin fnPlugin(plugin, kUnknown, kUnknown, kRequiredApi);
  const MStatus status = fnPlugin.deregisterNode(typeId);
  if (!status) status.perror("deregisterNode failed");
  return status;
}

MStatus initializeViewportPlugin(MObject plugin, const char* vendor, const NodeRegistration& node,
                                 const OverrideRegistration& override, EntryStatusCheck check) {
  MFnPlugin fnPlugin(plugin, vendor, kViewportVersion, kRequiredApi);
  MStatus status = fnPlugin.registerNode(node.typeName, node.typeId, node.creator, node.initialize,
                                         MPxNode::kDependNode, &node.classification);
  check(status);
  status = override.registerCreator();
  check(status);
  return MS::kSuccess;
}

MStatus uninitializeViewportPlugin(MObject plugin, const MTypeId& typeId,
                                   const OverrideRegistration& override, EntryStatusCheck check) {
  MFnPlugin fnPlugin(plugin, kUnknown, kUnknown, kRequiredApi);
  MStatus status = fnPlugin.deregisterNode(typeId);
  check(status);
  status = override.deregisterCreator();
  check(status);
  return MS::kSuccess;
}

}  // namespace qv::maya
