#pragma once

#include <maya/MDGContext.h>
#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypeId.h>
#include <maya/MTypes.h>

class MPlugArray;

namespace qv::maya::detail {
struct Node;
struct NodeAccess;
}  // namespace qv::maya::detail

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

  MPxNode();
  virtual ~MPxNode();
  // A copy stands for no node: the graph binds each node it creates.
  MPxNode(const MPxNode& other);
  MPxNode& operator=(const MPxNode& other);

  virtual void postConstructor();
  virtual MStatus compute(const MPlug& plug, MDataBlock& dataBlock);
  // The host adds what attributeAffects declares; this adds anything more.
  virtual MStatus setDependentsDirty(const MPlug& plug, MPlugArray& plugArray);
  virtual Type type() const;

  // Valid only inside the initialize function of the type being registered.
  static MStatus addAttribute(const MObject& attr);
  static MStatus attributeAffects(const MObject& whenChanges, const MObject& isAffected);

  virtual MTypeId typeId() const;
  virtual MString typeName() const;
  virtual MString name() const;
  virtual MObject thisMObject() const;

 protected:
  virtual void setMPSafe(bool flag);

 private:
  // The graph binds the instance to its node before postConstructor.
  friend struct qv::maya::detail::NodeAccess;
  qv::maya::detail::Node* node_ = nullptr;
  bool mpSafe_ = false;
};
