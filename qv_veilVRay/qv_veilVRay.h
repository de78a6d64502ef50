// qv_veilVRay: the dependency-graph node that carries the parameters of the
// V-Ray visibility-matte texture qvVeil under the same names. In Maya it
// computes placeholders only: "outColor" repeats "color", "outMatte" is white.
#pragma once

#include <maya/MObject.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypeId.h>

class MDataBlock;
class MPlug;

class qv_veilVRay : public MPxNode {
 public:
  qv_veilVRay() = default;
  ~qv_veilVRay() override;

  static void* creator();
  static MStatus initialize();
  MStatus compute(const MPlug& plug, MDataBlock& data) override;

  static const MTypeId id;
  static const MString typeName;
  static const MString classification;

  static MObject outColor;
  static MObject outMatte;
  static MObject outApiType;
  static MObject outApiClassification;
  static MObject color;
  static MObject mask;
  static MObject colorOffset;
  static MObject placementMatrix;
  static MObject passThrough;
  static MObject distanceThreshold;
  static MObject useShadowOcclusion;
  static MObject dilate;
  static MObject samples;
  static MObject softEdge;
  static MObject power;
  static MObject useFacingRatio;
  static MObject angleThreshold;
  static MObject labelExclude;
  static MObject premult;
};
