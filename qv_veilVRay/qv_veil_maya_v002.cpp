// The qv_veilVRay plug-in: its node and its entry points.
#include "qv_veilVRay.h"

#include "qv_plugin_entry.h"
#include "qv_status_check.h"

#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MFloatVector.h>
#include <maya/MFnMatrixAttribute.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnPlugin.h>  // once per plug-in: MApiVersion, DllMain on Windows
#include <maya/MFnStringData.h>
#include <maya/MFnTypedAttribute.h>
#include <maya/MPlug.h>

const MTypeId qv_veilVRay::id(0x112215F0);
const MString qv_veilVRay::typeName("qv_veilVRay");
const MString qv_veilVRay::classification("texture");

MObject qv_veilVRay::outColor;
MObject qv_veilVRay::outMatte;
MObject qv_veilVRay::outApiType;
MObject qv_veilVRay::outApiClassification;
MObject qv_veilVRay::color;
MObject qv_veilVRay::mask;
MObject qv_veilVRay::colorOffset;
MObject qv_veilVRay::placementMatrix;
MObject qv_veilVRay::passThrough;
MObject qv_veilVRay::distanceThreshold;
MObject qv_veilVRay::useShadowOcclusion;
MObject qv_veilVRay::dilate;
MObject qv_veilVRay::samples;
MObject qv_veilVRay::softEdge;
MObject qv_veilVRay::power;
MObject qv_veilVRay::useFacingRatio;
MObject qv_veilVRay::angleThreshold;
MObject qv_veilVRay::labelExclude;
MObject qv_veilVRay::premult;

namespace {

// Keyable, storable, readable, writable: one call at a time, each checked.
void setFlags(MFnAttribute& fn, bool keyable, bool storable, bool readable, bool writable) {
  QV_CHECK_MSTATUS(fn.setKeyable(keyable));
  QV_CHECK_MSTATUS(fn.setStorable(storable));
  QV_CHECK_MSTATUS(fn.setReadable(readable));
  QV_CHECK_MSTATUS(fn.setWritable(writable));
}

// A hidden, storable, non-keyable string holding a fixed text.
MObject createHiddenString(const char* longName, const char* shortName, const MString& text) {
  MStatus status;
  MFnStringData stringData;
  const MObject data = stringData.create(text, &status);
  QV_CHECK_MSTATUS(status);
  MFnTypedAttribute typed;
  const MObject attribute = typed.create(longName, shortName, MFnData::kString, data, &status);
  QV_CHECK_MSTATUS(status);
  QV_CHECK_MSTATUS(typed.setStorable(true));
  QV_CHECK_MSTATUS(typed.setKeyable(false));
  QV_CHECK_MSTATUS(typed.setHidden(true));
  return attribute;
}

MObject createColorInput(const char* longName, const char* shortName, double r, double g,
                         double b) {
  MStatus status;
  MFnNumericAttribute numeric;
  const MObject attribute = numeric.createColor(longName, shortName, &status);
  QV_CHECK_MSTATUS(status);
  setFlags(numeric, true, true, true, true);
  QV_CHECK_MSTATUS(numeric.setDefault(r, g, b));
  return attribute;
}

// A numeric input created with default 0, then given its default with the
// overload of the value's type.
template <typename T>
MObject createInput(const char* longName, const char* shortName, MFnNumericData::Type kind,
                    T defaultValue) {
  MStatus status;
  MFnNumericAttribute numeric;
  const MObject attribute = numeric.create(longName, shortName, kind, 0, &status);
  QV_CHECK_MSTATUS(status);
  QV_CHECK_MSTATUS(numeric.setDefault(defaultValue));
  setFlags(numeric, true, true, true, true);
  return attribute;
}

}  // namespace

qv_veilVRay::~qv_veilVRay() = default;

void* qv_veilVRay::creator() {
  return new qv_veilVRay;
}

MStatus qv_veilVRay::initialize() {
  MStatus status;
  MFnNumericAttribute numeric;

  outColor = numeric.createColor("outColor", "oc", &status);
  QV_CHECK_MSTATUS(status);
  setFlags(numeric, false, false, true, false);

  outMatte = numeric.createColor("outMatte", "om", &status);
  QV_CHECK_MSTATUS(status);
  setFlags(numeric, false, false, true, false);
  // Nothing affects "outMatte", so Maya never computes it: its white value
  // has to be its default, or a fresh node would report black.
  QV_CHECK_MSTATUS(numeric.setDefault(1.0, 1.0, 1.0));

  outApiType = createHiddenString("outApiType", "oat", typeName);
  outApiClassification = createHiddenString("outApiClassification", "oac", classification);

  color = createColorInput("color", "clr", 0.5, 0.5, 0.5);

  mask = numeric.create("mask", "rlg", MFnNumericData::kFloat, 0, &status);
  QV_CHECK_MSTATUS(status);
  QV_CHECK_MSTATUS(numeric.setMin(0.0));
  QV_CHECK_MSTATUS(numeric.setMax(1.0));
  QV_CHECK_MSTATUS(numeric.setDefault(1.0));
  setFlags(numeric, true, true, true, true);

  colorOffset = createColorInput("colorOffset", "off", 0.0, 0.0, 0.0);

  MFnMatrixAttribute matrix;
  placementMatrix = matrix.create("placementMatrix", "pm", MFnMatrixAttribute::kFloat, &status);
  QV_CHECK_MSTATUS(status);
  QV_CHECK_MSTATUS(matrix.setKeyable(false));
  QV_CHECK_MSTATUS(matrix.setStorable(true));
  QV_CHECK_MSTATUS(matrix.setHidden(false));
  QV_CHECK_MSTATUS(matrix.setReadable(true));
  QV_CHECK_MSTATUS(matrix.setWritable(true));

  passThrough = createInput("passThrough", "pass", MFnNumericData::kBoolean, false);
  distanceThreshold = createInput("distanceThreshold", "dist", MFnNumericData::kFloat, -1.0f);
  useShadowOcclusion = createInput("useShadowOcclusion", "occl", MFnNumericData::kBoolean, false);
  dilate = createInput("dilate", "dlt", MFnNumericData::kFloat, 0.0);
  samples = createInput("samples", "smp", MFnNumericData::kInt, 24);
  softEdge = createInput("softEdge", "se", MFnNumericData::kFloat, 0.5f);
  power = createInput("power", "pwr", MFnNumericData::kFloat, 2.0);
  useFacingRatio = createInput("useFacingRatio", "ufr", MFnNumericData::kBoolean, false);
  angleThreshold = createInput("angleThreshold", "ang", MFnNumericData::kFloat, 90.0f);
  labelExclude = createInput("labelExclude", "excl", MFnNumericData::kInt, -1);
  premult = createInput("premult", "pmlt", MFnNumericData::kBoolean, true);

  for (const MObject* attribute :
       {&outColor, &outMatte, &outApiType, &outApiClassification, &color, &mask, &colorOffset,
        &placementMatrix, &passThrough, &distanceThreshold, &useShadowOcclusion, &dilate, &samples,
        &softEdge, &power, &useFacingRatio, &angleThreshold, &labelExclude, &premult}) {
    QV_CHECK_MSTATUS(addAttribute(*attribute));
  }
  for (const MObject* input :
       {&color, &mask, &colorOffset, &placementMatrix, &passThrough, &distanceThreshold,
        &useShadowOcclusion, &dilate, &samples, &softEdge, &power, &useFacingRatio, &angleThreshold,
        &labelExclude, &premult}) {
    QV_CHECK_MSTATUS(attributeAffects(*input, outColor));
  }
  return MS::kSuccess;
}

MStatus qv_veilVRay::compute(const MPlug& plug, MDataBlock& data) {
  MStatus status;
  if (plug == outColor || plug.parent() == outColor) {
    const MFloatVector value = data.inputValue(color, &status).asFloatVector();
    QV_CHECK_MSTATUS(status);
    MDataHandle out = data.outputValue(outColor, &status);
    QV_CHECK_MSTATUS(status);
    out.set(value);
    out.setClean();
    return MS::kSuccess;
  }
  if (plug == outMatte || plug.parent() == outMatte) {
    MDataHandle out = data.outputValue(outMatte, &status);
    QV_CHECK_MSTATUS(status);
    out.set(MFloatVector(1.0f, 1.0f, 1.0f));
    out.setClean();
    return MS::kSuccess;
  }
  return MS::kUnknownParameter;
}

PLUGIN_EXPORT MStatus initializePlugin(MObject obj) {
  return qv::maya::initializeRenderNodePlugin(
      obj, {qv_veilVRay::typeName, qv_veilVRay::id, qv_veilVRay::creator, qv_veilVRay::initialize,
            qv_veilVRay::classification});
}

PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj) {
  return qv::maya::uninitializeRenderNodePlugin(obj, qv_veilVRay::id);
}
