#pragma once

#include <maya/MFnDependencyNode.h>
#include <maya/MObject.h>

class MFnDagNode : public MFnDependencyNode {
 public:
  MFnDagNode();
  MFnDagNode(MObject& object, MStatus* ReturnStatus = nullptr);
  MFnDagNode(const MObject& object, MStatus* ReturnStatus = nullptr);
  ~MFnDagNode() override;

  MFn::Type type() const override { return MFn::kDagNode; }
  // A camera set takes cameras alone, and lets go of what it held when
  // handed anything else.
  MStatus setObject(MObject& object) override;
  MStatus setObject(const MObject& object) override;

  unsigned int childCount(MStatus* ReturnStatus = nullptr) const;
  MObject child(unsigned int index, MStatus* ReturnStatus = nullptr) const;
  unsigned int parentCount(MStatus* ReturnStatus = nullptr) const;
  MObject parent(unsigned int index, MStatus* ReturnStatus = nullptr) const;
  MString fullPathName(MStatus* ReturnStatus = nullptr) const;

 private:
  MFnDagNode(const MFnDagNode& other);
  MFnDagNode& operator=(const MFnDagNode& other);
  MFnDagNode* operator&() const;
};
