// qv_vpStack: a utility node that lays sixteen colour layers over one another,
// layer 0 on top, each by its mask with the premultiplied over operator, with
// a premultiply and a solo switch per layer. Viewport 2.0 draws the same
// stacking on the graphics card through qv_vpStackOverride and its fragments,
// whose parameters are bound to this node's attributes by name.
#pragma once

#include <maya/MObject.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypeId.h>

class MDataBlock;
class MPlug;

class qv_vpStack : public MPxNode {
 public:
  static constexpr int kLayers = 16;

  qv_vpStack() = default;
  ~qv_vpStack() override;

  void postConstructor() override;
  MStatus compute(const MPlug& plug, MDataBlock& data) override;

  static void* creator();
  static MStatus initialize();

  static const MTypeId id;
  static const MString typeName;
  static const MString classification;
  // The part of the classification after ':' and the override's registrant:
  // the two names the override creator is registered and removed under.
  static const MString drawClassification;
  static const MString registrantId;

  static MObject color[kLayers];
  static MObject mask[kLayers];
  static MObject premultiply[kLayers];
  static MObject solo[kLayers];
  static MObject outColor;
  static MObject outTransparency;
  static MObject outAlpha;
};
