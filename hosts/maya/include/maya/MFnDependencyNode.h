#pragma once

#include <maya/MFnBase.h>
#include <maya/MString.h>
#include <maya/MTypeId.h>

class MFnDependencyNode : public MFnBase {
 public:
  MFnDependencyNode();
  MFnDependencyNode(MObject& object, MStatus* ReturnStatus = nullptr);
  MFnDependencyNode(const MObject& object, MStatus* ReturnStatus = nullptr);
  ~MFnDependencyNode() override;

  MFn::Type type() const override { return MFn::kDependencyNode; }

  MString name(MStatus* ReturnStatus = nullptr) const;
  MString typeName(MStatus* ReturnStatus = nullptr) const;
  MTypeId typeId(MStatus* ReturnStatus = nullptr) const;
  MPxNode* userNode(MStatus* ReturnStatus = nullptr) const;

  // Long or short attribute names, children included.
  MPlug findPlug(const MString& attributeName, bool wantNetworkedPlug,
                 MStatus* ReturnStatus = nullptr) const;
  MPlug findPlug(const MString& attributeName, MStatus* ReturnStatus = nullptr) const;
  MPlug findPlug(const MObject& attribute, bool wantNetworkedPlug,
                 MStatus* ReturnStatus = nullptr) const;
  MPlug findPlug(const MObject& attribute, MStatus* ReturnStatus = nullptr) const;

  unsigned int attributeCount(MStatus* ReturnStatus = nullptr) const;
  MObject attribute(unsigned int index, MStatus* ReturnStatus = nullptr) const;
  MObject attribute(const MString& attributeName, MStatus* ReturnStatus = nullptr) const;
  bool hasAttribute(const MString& attributeName, MStatus* ReturnStatus = nullptr) const;

 private:
  MFnDependencyNode(const MFnDependencyNode& other);
  MFnDependencyNode& operator=(const MFnDependencyNode& other);
  MFnDependencyNode* operator&() const;
};
