// The qv_shotWeaveVRay plug-in: its node and its entry points.
#include "qv_shotWeaveVRay.h"

#include "qv_plugin_entry.h"
#include "qv_status_check.h"

#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnPlugin.h>  // once per plug-in: MApiVersion, DllMain on Windows
#include <maya/MFnStringData.h>
#include <maya/MFnTypedAttribute.h>
#include <maya/MPlug.h>

const MTypeId qv_shotWeaveVRay::id(0x215558F0);
const MString qv_shotWeaveVRay::typeName("qv_shotWeaveVRay");
const MString qv_shotWeaveVRay::classification("texture");

MObject qv_shotWeaveVRay::outColor;
MObject qv_shotWeaveVRay::outAlpha;
MObject qv_shotWeaveVRay::outMatte;
MObject qv_shotWeaveVRay::outTransparency;
MObject qv_shotWeaveVRay::outApiType;
MObject qv_shotWeaveVRay::outApiClassification;
MObject qv_shotWeaveVRay::colorA;
MObject qv_shotWeaveVRay::colorB;
MObject qv_shotWeaveVRay::matteA;
MObject qv_shotWeaveVRay::matteB;

namespace {

// Output flags, one call at a time, each checked.
void setOutputFlags(MFnAttribute& fn) {
  QV_CHECK_MSTATUS(fn.setKeyable(false));
  QV_CHECK_MSTATUS(fn.setStorable(false));
  QV_CHECK_MSTATUS(fn.setReadable(true));
  QV_CHECK_MSTATUS(fn.setWritable(false));
}

// Input flags, one call at a time, each checked.
void setInputFlags(MFnAttribute& fn) {
  QV_CHECK_MSTATUS(fn.setKeyable(true));
  QV_CHECK_MSTATUS(fn.setStorable(true));
  QV_CHECK_MSTATUS(fn.setReadable(true));
  QV_CHECK_MSTATUS(fn.setWritable(true));
}

MObject createColorOutput(const char* longName, const char* shortName) {
  MFnNumericAttribute numeric;
  const MObject attribute = numeric.createColor(longName, shortName);
  setOutputFlags(numeric);
  QV_CHECK_MSTATUS(numeric.setDefault(0.0, 0.0, 0.0));
  return attribute;
}

MObject createColorInput(const char* longName, const char* shortName, double value) {
  MFnNumericAttribute numeric;
  const MObject attribute = numeric.createColor(longName, shortName);
  setInputFlags(numeric);
  QV_CHECK_MSTATUS(numeric.setDefault(value, value, value));
  return attribute;
}

MObject createHiddenString(const char* longName, const char* shortName, const MString& text) {
  MFnStringData stringData;
  MFnTypedAttribute typed;
  const MObject attribute =
      typed.create(longName, shortName, MFnData::kString, stringData.create(text));
  QV_CHECK_MSTATUS(typed.setStorable(true));
  QV_CHECK_MSTATUS(typed.setKeyable(false));
  QV_CHECK_MSTATUS(typed.setHidden(true));
  return attribute;
}

}  // namespace

void* qv_shotWeaveVRay::creator() {
  return new qv_shotWeaveVRay;
}

MStatus qv_shotWeaveVRay::initialize() {
  outColor = createColorOutput("outColor", "oc");

  MFnNumericAttribute numeric;
  outAlpha = numeric.create("outAlpha", "oa", MFnNumericData::kFloat, 0);
  setOutputFlags(numeric);
  QV_CHECK_MSTATUS(numeric.setDefault(0.0f));

  outMatte = createColorOutput("outMatte", "om");
  outTransparency = createColorOutput("outTransparency", "ot");
  outApiType = createHiddenString("outApiType", "oat", typeName);
  outApiClassification = createHiddenString("outApiClassification", "oac", classification);
  colorA = createColorInput("color_a", "ca", 0.5);
  colorB = createColorInput("color_b", "cb", 0.5);
  matteA = createColorInput("matte_a", "ma", 1.0);
  matteB = createColorInput("matte_b", "mb", 1.0);

  for (const MObject* attribute : {&outColor, &outAlpha, &outMatte, &outTransparency, &outApiType,
                                   &outApiClassification, &colorA, &matteA, &colorB, &matteB}) {
    QV_CHECK_MSTATUS(addAttribute(*attribute));
  }
  for (const MObject* output : {&outColor, &outAlpha, &outMatte, &outTransparency}) {
    for (const MObject* input : {&colorA, &colorB, &matteA, &matteB}) {
      QV_CHECK_MSTATUS(attributeAffects(*input, *output));
    }
  }
  return MS::kSuccess;
}

MStatus qv_shotWeaveVRay::compute(const MPlug& plug, MDataBlock& data) {
  const MPlug parent = plug.parent();
  for (const MObject* output : {&outColor, &outAlpha, &outMatte, &outTransparency}) {
    if (plug != *output && parent != *output) continue;
    // The V-Ray texture makes the values at render time; Maya keeps its own.
    MStatus status;
    MDataHandle handle = data.outputValue(*output, &status);
    QV_CHECK_MSTATUS(status);
    handle.setClean();
    return MS::kSuccess;
  }
  return MS::kUnknownParameter;
}

PLUGIN_EXPORT MStatus initializePlugin(MObject obj) {
  return qv::maya::initializeRenderNodePlugin(
      obj, {qv_shotWeaveVRay::typeName, qv_shotWeaveVRay::id, qv_shotWeaveVRay::creator,
            qv_shotWeaveVRay::initialize, qv_shotWeaveVRay::classification});
}

PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj) {
  return qv::maya::uninitializeRenderNodePlugin(obj, qv_shotWeaveVRay::id);
}
