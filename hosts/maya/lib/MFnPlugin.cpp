// The library itself is no plug-in: no MApiVersion, no DllMain.
#define MNoVersionString
#define MNoPluginEntry

#include "api_support.h"
#include "graph.h"

#include <maya/MFnPlugin.h>
#include <maya/MObject.h>
#include <maya/MPxNode.h>

#include <memory>
#include <utility>

using qv::maya::detail::failed;
using qv::maya::detail::graph;
using qv::maya::detail::report;

MFnPlugin::MFnPlugin() = default;
MFnPlugin::~MFnPlugin() = default;

MFnPlugin::MFnPlugin(MObject& object, const char* vendor, const char* version,
                     const char* requiredApiVersion, MStatus* ReturnStatus)
    : vendor_(vendor), version_(version), requiredApiVersion_(requiredApiVersion) {
  if (failed("MFnPlugin::MFnPlugin", ReturnStatus)) return;
  if (!object.hasFn(MFn::kPlugin)) {
    report(ReturnStatus, MS::kInvalidParameter);
    return;
  }
  qv::maya::detail::held(*this) = object;
  if (auto* plugin = dynamic_cast<qv::maya::detail::Plugin*>(qv::maya::detail::get(object))) {
    plugin->vendor = vendor_.asChar();
    plugin->version = version_.asChar();
    plugin->requiredApiVersion = requiredApiVersion_.asChar();
  }
  report(ReturnStatus, MS::kSuccess);
}

namespace {
qv::maya::detail::Plugin* pluginOf(const MObject& object) {
  return dynamic_cast<qv::maya::detail::Plugin*>(qv::maya::detail::get(object));
}
}  // namespace

MString MFnPlugin::vendor(MStatus* ReturnStatus) const {
  report(ReturnStatus, MS::kSuccess);
  return vendor_;
}
MString MFnPlugin::version(MStatus* ReturnStatus) const {
  report(ReturnStatus, MS::kSuccess);
  return version_;
}
MString MFnPlugin::apiVersion(MStatus* ReturnStatus) const {
  report(ReturnStatus, MS::kSuccess);
  return "201500";
}
MString MFnPlugin::name(MStatus* ReturnStatus) const {
  auto* plugin = pluginOf(qv::maya::detail::held(*this));
  report(ReturnStatus, plugin ? MS::kSuccess : MS::kFailure);
  return plugin ? plugin->name.c_str() : "";
}
MString MFnPlugin::loadPath(MStatus* ReturnStatus) const {
  auto* plugin = pluginOf(qv::maya::detail::held(*this));
  report(ReturnStatus, plugin ? MS::kSuccess : MS::kFailure);
  return plugin ? plugin->path.c_str() : "";
}

MStatus MFnPlugin::registerNode(const MString& typeName, const MTypeId& typeId,
                                MCreatorFunction creatorFunction, MInitializeFunction initFunction,
                                MPxNode::Type type, const MString* classification) {
  MStatus status;
  if (failed("MFnPlugin::registerNode", &status)) return status;
  auto nodeType = std::make_shared<qv::maya::detail::NodeType>();
  nodeType->name = typeName.asChar();
  nodeType->id = typeId;
  nodeType->creator = creatorFunction;
  nodeType->initialize = initFunction;
  nodeType->kind = type;
  nodeType->classification = classification ? classification->asChar() : "";
  nodeType->vendor = vendor_.asChar();
  nodeType->version = version_.asChar();
  auto* plugin = pluginOf(qv::maya::detail::held(*this));
  nodeType->plugin = plugin ? plugin : graph().loading;
  return graph().registerType(std::move(nodeType));
}

MStatus MFnPlugin::deregisterNode(const MTypeId& typeId) {
  MStatus status;
  if (failed("MFnPlugin::deregisterNode", &status)) return status;
  return graph().deregisterType(typeId);
}
