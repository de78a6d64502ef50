#pragma once

#include <maya/MFnDependencyNode.h>

class MFnDagNode : public MFnDependencyNode {
 public:
  MFnDagNode() = default;
  explicit MFnDagNode(const MObject& object, MStatus* ReturnStatus = nullptr);

  MFn::Type type() const override { return MFn::kDagNode; }
  MStatus setObject(const MObject& object) override;

  unsigned int childCount(MStatus* ReturnStatus = nullptr) const;
  MObject child(unsigned int index, MStatus* ReturnStatus = nullptr) const;
  unsigned int parentCount(MStatus* ReturnStatus = nullptr) const;
  MObject parent(unsigned int index, MStatus* ReturnStatus = nullptr) const;
  MString fullPathName(MStatus* ReturnStatus = nullptr) const;
};
