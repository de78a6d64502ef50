// qv_shotWeaveVRay: the dependency-graph node that carries the parameters of
// the V-Ray projection-mix texture qvShotWeave under the same names. It
// computes nothing in Maya: its outputs keep their stored values.
#pragma once

#include <maya/MObject.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypeId.h>

class MDataBlock;
class MPlug;

class qv_shotWeaveVRay : public MPxNode {
 public:
  static void* creator();
  static MStatus initialize();
  MStatus compute(const MPlug& plug, MDataBlock& data) override;

  static const MTypeId id;
  static const MString typeName;
  static const MString classification;

  static MObject outColor;
  static MObject outAlpha;
  static MObject outMatte;
  static MObject outTransparency;
  static MObject outApiType;
  static MObject outApiClassification;
  static MObject colorA;
  static MObject colorB;
  static MObject matteA;
  static MObject matteB;
};
