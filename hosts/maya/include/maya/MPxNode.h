#pragma once

#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypeId.h>

class MPlug;
class MPlugArray;
class MDataBlock;

namespace qv::maya::detail {
struct Node;
}

class MPxNode {
 public:
  enum Type {
    kDependNode,
    kLocatorNode,
    kDeformerNode,
    kManipContainer,
    kSurfaceShape,
    kFieldNode,
    kEmitterNode,
    kSpringNode,
    kIkSolverNode,
    kHardwareShader,
    kHwShaderNode,
    kTransformNode,
    kObjectSet,
    kFluidEmitterNode,
    kImagePlaneNode,
    kParticleAttributeMapperNode,
    kCameraSetNode,
    kConstraintNode,
    kManipulatorNode,
    kMotionPathNode,
    kClientDeviceNode,
    kThreadedDeviceNode,
    kAssembly,
    kSkinCluster,
    kGeometryFilter,
    kBlendShape,
    kLast
  };

  MPxNode() = default;
  virtual ~MPxNode();
  MPxNode(const MPxNode&) = delete;
  MPxNode& operator=(const MPxNode&) = delete;

  virtual void postConstructor();
  virtual MStatus compute(const MPlug& plug, MDataBlock& dataBlock);
  // The host adds what attributeAffects declares; this adds anything more.
  virtual MStatus setDependentsDirty(const MPlug& plugBeingDirtied, MPlugArray& affectedPlugs);
  virtual Type type() const { return kDependNode; }

  MObject thisMObject() const;
  MString name() const;
  MTypeId typeId() const;
  MString typeName() const;
  void setMPSafe(bool flag) { mpSafe_ = flag; }
  bool isMPSafe() const { return mpSafe_; }

  // Valid only inside the initialize function of the type being registered.
  static MStatus addAttribute(const MObject& attribute);
  static MStatus attributeAffects(const MObject& whenChanges, const MObject& isAffected);

  // Host side: binds the instance to its node before postConstructor.
  void qvBind(qv::maya::detail::Node* node) { node_ = node; }

 private:
  qv::maya::detail::Node* node_ = nullptr;
  bool mpSafe_ = false;
};
