#include "qv_vpStack.h"

#include "qv_attribute_flags.h"
#include "qv_status_check.h"

#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MFloatVector.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnNumericData.h>
#include <maya/MPlug.h>

#include <string>

const MTypeId qv_vpStack::id(0x22571469);
const MString qv_vpStack::typeName("qv_vpStack");
const MString qv_vpStack::classification("utility/color:drawdb/shader/operation/qv_vpStack");
const MString qv_vpStack::drawClassification("drawdb/shader/operation/qv_vpStack");
const MString qv_vpStack::registrantId("qv_vpStack");

MObject qv_vpStack::color[kLayers];
MObject qv_vpStack::mask[kLayers];
MObject qv_vpStack::premultiply[kLayers];
MObject qv_vpStack::solo[kLayers];
MObject qv_vpStack::outColor;
MObject qv_vpStack::outTransparency;
MObject qv_vpStack::outAlpha;

namespace {

// Numbered families append the layer number without padding: "color7", "co7".
MString numbered(const char* stem, int layer) {
  return MString((stem + std::to_string(layer)).c_str());
}

// Colour arithmetic component by component, in single precision.
MFloatVector scaled(const MFloatVector& color, float factor) {
  return MFloatVector(color.x * factor, color.y * factor, color.z * factor);
}

MFloatVector added(const MFloatVector& a, const MFloatVector& b) {
  return MFloatVector(a.x + b.x, a.y + b.y, a.z + b.z);
}

}  // namespace

qv_vpStack::~qv_vpStack() = default;

void* qv_vpStack::creator() {
  return new qv_vpStack;
}

void qv_vpStack::postConstructor() {
  // Every instance keeps its state in its own data block: Maya may evaluate
  // several at once.
  setMPSafe(true);
}

MStatus qv_vpStack::initialize() {
  MStatus status;
  MFnNumericAttribute numeric;

  for (int n = 0; n < kLayers; ++n) {
    color[n] = numeric.createColor(numbered("color", n), numbered("co", n), &status);
    QV_CHECK_MSTATUS(status);
    QV_MAKE_INPUT(numeric);
    QV_CHECK_MSTATUS(numeric.setDefault(0.0f, 0.0f, 0.0f));
  }
  for (int n = 0; n < kLayers; ++n) {
    mask[n] =
        numeric.create(numbered("mask", n), numbered("m", n), MFnNumericData::kFloat, 0.0, &status);
    QV_CHECK_MSTATUS(status);
    QV_MAKE_INPUT(numeric);
    QV_CHECK_MSTATUS(numeric.setDefault(0.0f));
  }
  for (int n = 0; n < kLayers; ++n) {
    premultiply[n] = numeric.create(numbered("premultiply", n), numbered("pr", n),
                                    MFnNumericData::kBoolean, 0, &status);
    QV_CHECK_MSTATUS(status);
    QV_MAKE_INPUT(numeric);
  }
  for (int n = 0; n < kLayers; ++n) {
    solo[n] =
        numeric.create(numbered("solo", n), numbered("s", n), MFnNumericData::kBoolean, 0, &status);
    QV_CHECK_MSTATUS(status);
    QV_MAKE_INPUT(numeric);
  }

  outColor = numeric.createColor("outColor", "oc", &status);
  QV_CHECK_MSTATUS(status);
  QV_MAKE_OUTPUT(numeric);
  outTransparency = numeric.createColor("outTransparency", "ot", &status);
  QV_CHECK_MSTATUS(status);
  QV_MAKE_OUTPUT(numeric);
  outAlpha = numeric.create("outAlpha", "oa", MFnNumericData::kFloat, 0.0, &status);
  QV_CHECK_MSTATUS(status);
  QV_MAKE_OUTPUT(numeric);

  // Layer by layer, as scene files list them.
  for (int n = 0; n < kLayers; ++n) {
    QV_CHECK_MSTATUS(addAttribute(color[n]));
    QV_CHECK_MSTATUS(addAttribute(mask[n]));
    QV_CHECK_MSTATUS(addAttribute(premultiply[n]));
    QV_CHECK_MSTATUS(addAttribute(solo[n]));
  }
  QV_CHECK_MSTATUS(addAttribute(outColor));
  QV_CHECK_MSTATUS(addAttribute(outTransparency));
  QV_CHECK_MSTATUS(addAttribute(outAlpha));

  for (const MObject* family : {color, mask, premultiply, solo}) {
    for (int n = 0; n < kLayers; ++n) {
      QV_CHECK_MSTATUS(attributeAffects(family[n], outColor));
      QV_CHECK_MSTATUS(attributeAffects(family[n], outTransparency));
      QV_CHECK_MSTATUS(attributeAffects(family[n], outAlpha));
    }
  }
  return MS::kSuccess;
}

MStatus qv_vpStack::compute(const MPlug& plug, MDataBlock& data) {
  if (!(plug == outColor || plug.parent() == outColor || plug == outAlpha ||
        plug == outTransparency || plug.parent() == outTransparency)) {
    return MS::kUnknownParameter;
  }

  // All 64 inputs are read whatever is soloed, so that the work per
  // evaluation does not depend on the values.
  MFloatVector layer[kLayers];
  float coverage[kLayers];
  for (int n = 0; n < kLayers; ++n) {
    layer[n] = data.inputValue(color[n]).asFloatVector();
    coverage[n] = data.inputValue(mask[n]).asFloat();
  }
  for (int n = 0; n < kLayers; ++n) {
    if (data.inputValue(premultiply[n]).asBool()) layer[n] = scaled(layer[n], coverage[n]);
  }

  // Bottom up. The factor is formed in double and rounded once, while the
  // products and sums stay single, so every build rounds alike (contraction
  // is off project-wide). Layer 15's mask scales nothing beneath it.
  MFloatVector stacked = layer[kLayers - 1];
  for (int n = kLayers - 2; n >= 0; --n) {
    const float beneath = static_cast<float>(1.0 - static_cast<double>(coverage[n]));
    stacked = added(scaled(stacked, beneath), layer[n]);
  }

  // The alpha is the clamped sum of the masks, not the over operator's.
  float alpha = coverage[0];
  for (int n = 1; n < kLayers; ++n) alpha += coverage[n];
  if (alpha > 1.0f) {
    alpha = 1.0f;
  } else if (alpha < 0.0f) {
    alpha = 0.0f;
  }

  // The highest soloed layer wins, with its own mask unclamped as alpha.
  for (int n = 0; n < kLayers; ++n) {
    if (data.inputValue(solo[n]).asBool()) {
      stacked = layer[n];
      alpha = coverage[n];
    }
  }

  MStatus status;
  MDataHandle colorHandle = data.outputValue(outColor, &status);
  QV_CHECK_MSTATUS(status);
  colorHandle.set3Float(stacked.x, stacked.y, stacked.z);
  colorHandle.setClean();

  MDataHandle alphaHandle = data.outputValue(outAlpha, &status);
  QV_CHECK_MSTATUS(status);
  alphaHandle.set(alpha);
  alphaHandle.setClean();

  const float transparency = 1.0f - alpha;
  MDataHandle transparencyHandle = data.outputValue(outTransparency, &status);
  QV_CHECK_MSTATUS(status);
  transparencyHandle.set3Float(transparency, transparency, transparency);
  transparencyHandle.setClean();
  return MS::kSuccess;
}
