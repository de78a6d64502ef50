#pragma once

#include <maya/MApiVersion.h>
#include <maya/MFnBase.h>
#include <maya/MPxNode.h>
#include <maya/MTypes.h>

// The vendor the devkit samples register under.
#define PLUGIN_COMPANY "Autodesk"

class MFnPlugin : public MFnBase {
 public:
  MFnPlugin();
  MFnPlugin(MObject& object, const char* vendor = "Unknown", const char* version = "Unknown",
            const char* requiredApiVersion = "Any", MStatus* ReturnStatus = nullptr);
  ~MFnPlugin() override;

  MFn::Type type() const override { return MFn::kPlugin; }

  MString vendor(MStatus* ReturnStatus = nullptr) const;
  MString version(MStatus* ReturnStatus = nullptr) const;
  MString apiVersion(MStatus* ReturnStatus = nullptr) const;
  MString name(MStatus* ReturnStatus = nullptr) const;
  MString loadPath(MStatus* ReturnStatus = nullptr) const;

  MStatus registerNode(const MString& typeName, const MTypeId& typeId,
                       MCreatorFunction creatorFunction, MInitializeFunction initFunction,
                       MPxNode::Type type = MPxNode::kDependNode,
                       const MString* classification = nullptr);
  MStatus deregisterNode(const MTypeId& typeId);

 private:
  // Only Maya's own object for the plug-in, which is not const, is taken.
  MFnPlugin(const MObject& object, const char* vendor = "Unknown", const char* version = "Unknown",
            const char* requiredApiVersion = "Any", MStatus* ReturnStatus = nullptr);
  MFnPlugin& operator=(const MFnPlugin&);
  MFnPlugin* operator&() const;
  MFnPlugin* operator&();

  MString vendor_;
  MString version_;
  MString requiredApiVersion_;
};

// The entry code of a Windows plug-in: its DllMain records the module
// handle. Every source that includes this header defines both, so a plug-in
// of several sources defines MNoPluginEntry in all but one of them.
#if !defined(MNoPluginEntry) && defined(_WIN32) && defined(NT_PLUGIN)
HINSTANCE MhInstPlugin;

extern "C" int __stdcall DllMain(HINSTANCE instance, DWORD, void*) {
  MhInstPlugin = instance;
  return 1;
}
#endif
