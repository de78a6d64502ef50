// The entry code of the Maya plug-ins, in its two families. Each plug-in
// defines one dependency-graph node type; its initializePlugin and
// uninitializePlugin (exported from the plug-in's main source, which also
// includes <maya/MFnPlugin.h> once for MApiVersion) call these.
#pragma once

#include <maya/MObject.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypeId.h>
#include <maya/MTypes.h>

#include "qv_status_check.h"

namespace qv::maya {

using NodeInitializeFunction = MStatus (*)();

// What a node supplies to its registration (always MPxNode::kDependNode).
struct NodeRegistration {
  const MString& typeName;
  const MTypeId& typeId;
  MCreatorFunction creator;
  NodeInitializeFunction initialize;
  const MString& classification;
};

// Render-node plug-ins: vendor "Qavel Works, LLC", version "1.0". A failed
// MFnPlugin attach is reported and registration still tried; returns the
// registration's status.
MStatus initializeRenderNodePlugin(MObject plugin, const NodeRegistration& node);
// Attaches as "Unknown"/"Unknown" and deregisters the type ID; returns that status.
MStatus uninitializeRenderNodePlugin(MObject plugin, const MTypeId& typeId);

// The Viewport 2.0 shading-node override creator's registration and
// deregistration (MHWRender::MDrawRegistry under the draw classification and
// registrant ID), which the viewport plug-in supplies.
struct OverrideRegistration {
  MStatus (*registerCreator)();
  MStatus (*deregisterCreator)();
};

// The status check a viewport plug-in's entry point runs after each step. It
// is written in the plug-in's main source (QV_ENTRY_STATUS_CHECK), so that a
// report names that file and the line of the entry point.
using EntryStatusCheck = void (*)(const MStatus& status);
#define QV_ENTRY_STATUS_CHECK [](const MStatus& status) { QV_CHECK_MSTATUS(status); }

// Viewport plug-ins, version "3.0": node first, then its override creator,
// each followed by the status check; always returns MS::kSuccess.
MStatus initializeViewportPlugin(MObject plugin, const char* vendor, const NodeRegistration& node,
                                 const OverrideRegistration& override, EntryStatusCheck check);
// Node first, then the override creator; always returns MS::kSuccess.
MStatus uninitializeViewportPlugin(MObject plugin, const MTypeId& typeId,
                                   const OverrideRegistration& override, EntryStatusCheck check);

}  // namespace qv::maya
