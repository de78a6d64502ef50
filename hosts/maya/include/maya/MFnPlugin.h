#pragma once

#include <maya/MFnBase.h>
#include <maya/MPxNode.h>
#include <maya/MString.h>
#include <maya/MTypeId.h>
#include <maya/MTypes.h>

typedef MStatus (*MInitializeFunction)();

class MFnPlugin : public MFnBase {
 public:
  MFnPlugin() = default;
  MFnPlugin(MObject& object, const char* vendor = "Unknown", const char* version = "Unknown",
            const char* requiredApiVersion = "Any", MStatus* ReturnStatus = nullptr);

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
  MString vendor_;
  MString version_;
  MString requiredApiVersion_;
};

// Like Maya's header, every library that includes this defines the API version
// it was built against; libraries of several sources define MNoVersionString
// in all but one of them. Every plug-in exports the same name, which address
// sanitizer takes for a one-definition violation once two are loaded; a
// section of its own keeps the variable out of its reach (Windows builds have
// no address sanitizer and keep their read-only data in .rdata).
#if !defined(MNoVersionString) && !defined(MNoPluginEntry)
extern "C" {
extern MAYA_EXPORT const char MApiVersion[];
#if defined(_WIN32)
const char MApiVersion[] = "201500";
#else
__attribute__((section(".rodata.MApiVersion"))) const char MApiVersion[] = "201500";
#endif
}
#endif
