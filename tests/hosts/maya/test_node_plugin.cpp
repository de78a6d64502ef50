// A node with a float and a colour input, a float3 output it computes, a
// float output it declines, and a string: the shapes the render nodes use.
#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MFloatVector.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnPlugin.h>
#include <maya/MFnStringData.h>
#include <maya/MFnTypedAttribute.h>
#include <maya/MGlobal.h>
#include <maya/MPlug.h>
#include <maya/MPxNode.h>

#include <iostream>

#define QV_CHECK(status)                                                                         \
  if ((status).error()) {                                                                        \
    std::cerr << "\nAPI error detected in " << __FILE__ << " at line " << __LINE__ << std::endl; \
    (status).perror("");                                                                         \
  }

namespace {
int computeCalls = 0;
}

extern "C" PLUGIN_EXPORT int qvTestComputeCalls() {
  return computeCalls;
}

class qvTestNode : public MPxNode {
 public:
  static void* creator() { return new qvTestNode; }
  static MStatus initialize();
  MStatus compute(const MPlug& plug, MDataBlock& block) override;

  static MTypeId id;
  static MObject input;
  static MObject color;
  static MObject output;
  static MObject other;
  static MObject label;
  static MObject labelSize;
};

MTypeId qvTestNode::id(0x0013FF00);
MObject qvTestNode::input;
MObject qvTestNode::color;
MObject qvTestNode::output;
MObject qvTestNode::other;
MObject qvTestNode::label;
MObject qvTestNode::labelSize;

MStatus qvTestNode::initialize() {
  MStatus status;
  MFnNumericAttribute numeric;
  input = numeric.create("input", "in", MFnNumericData::kFloat, 0);
  status = numeric.setMin(0.0);
  QV_CHECK(status);
  status = numeric.setMax(10.0);
  QV_CHECK(status);
  status = numeric.setDefault(1.0f);
  QV_CHECK(status);
  status = numeric.setKeyable(true);
  QV_CHECK(status);

  color = numeric.createColor("color", "c");
  status = numeric.setDefault(0.5, 0.25, 1.0);
  QV_CHECK(status);

  MObject x = numeric.create("outputX", "ox", MFnNumericData::kFloat, 0);
  MObject y = numeric.create("outputY", "oy", MFnNumericData::kFloat, 0);
  MObject z = numeric.create("outputZ", "oz", MFnNumericData::kFloat, 0);
  output = numeric.create("output", "out", x, y, z);
  status = numeric.setStorable(false);
  QV_CHECK(status);
  status = numeric.setWritable(false);
  QV_CHECK(status);

  other = numeric.create("other", "oth", MFnNumericData::kFloat, 0);
  status = numeric.setDefault(7.0f);
  QV_CHECK(status);

  MFnStringData text;
  MFnTypedAttribute typed;
  label = typed.create("label", "lb", MFnData::kString, text.create("qv"));
  status = typed.setHidden(true);
  QV_CHECK(status);

  labelSize = numeric.create("labelSize", "ls", MFnNumericData::kFloat, 0);
  status = numeric.setStorable(false);
  QV_CHECK(status);
  status = numeric.setWritable(false);
  QV_CHECK(status);

  for (const MObject* attribute : {&input, &color, &output, &other, &label, &labelSize}) {
    status = addAttribute(*attribute);
    QV_CHECK(status);
  }
  status = attributeAffects(input, output);
  QV_CHECK(status);
  status = attributeAffects(color, output);
  QV_CHECK(status);
  status = attributeAffects(input, other);
  QV_CHECK(status);
  status = attributeAffects(label, labelSize);
  QV_CHECK(status);
  return MS::kSuccess;
}

MStatus qvTestNode::compute(const MPlug& plug, MDataBlock& block) {
  ++computeCalls;
  if (plug == labelSize) {
    // The devkit's way with file names: the text is kept by reference past
    // its handle, and the result written through the reference Maya gives.
    MString& text = block.inputValue(label).asString();
    float& size = block.outputValue(labelSize).asFloat();
    size = static_cast<float>(text.length());
    block.setClean(plug);
    return MS::kSuccess;
  }
  if (plug != output && plug.parent() != output) return MS::kUnknownParameter;
  const float scale = block.inputValue(input).asFloat();
  const MFloatVector c = block.inputValue(color).asFloatVector();
  MDataHandle out = block.outputValue(output);
  float3& result = out.asFloat3();
  result[0] = c.x * scale;
  result[1] = c.y * scale;
  result[2] = c.z * scale;
  out.setClean();
  return MS::kSuccess;
}

PLUGIN_EXPORT MStatus initializePlugin(MObject obj) {
  MStatus status;
  MFnPlugin plugin(obj, "Qavel Works, LLC", "1.0", "Any", &status);
  if (!status) {
    MGlobal::displayInfo("Could not initialize MFnPlugin.\n");
    status.perror("failed to initialize plugin");
  }
  static const MString classification("texture");
  status = plugin.registerNode("qvTestNode", qvTestNode::id, qvTestNode::creator,
                               qvTestNode::initialize, MPxNode::kDependNode, &classification);
  if (!status) status.perror("registerNode failed");
  return status;
}

PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj) {
  MFnPlugin plugin(obj, "Unknown", "Unknown", "Any");
  MStatus status = plugin.deregisterNode(qvTestNode::id);
  if (!status) status.perror("deregisterNode failed");
  return status;
}
