// A node with one input of each integer type Maya offers (bool, byte, char,
// short, long, and the short2 and long3 compounds), a float, and an output
// that computes what its compute reads of the long through the data block:
// the attribute shapes whose values a scene file or a connection may try to
// push out of their type's range.
#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnPlugin.h>
#include <maya/MPlug.h>
#include <maya/MPxNode.h>

#include <iostream>

#define QV_CHECK(status)                                                                         \
  if ((status).error()) {                                                                        \
    std::cerr << "\nAPI error detected in " << __FILE__ << " at line " << __LINE__ << std::endl; \
    (status).perror("");                                                                         \
  }

class qvTestTypes : public MPxNode {
 public:
  static void* creator() { return new qvTestTypes; }
  static MStatus initialize();
  MStatus compute(const MPlug& plug, MDataBlock& block) override;

  static MTypeId id;
  static MObject count;
  static MObject ratio;
  static MObject seen;
};

MTypeId qvTestTypes::id(0x0013FF02);
MObject qvTestTypes::count;
MObject qvTestTypes::ratio;
MObject qvTestTypes::seen;

MStatus qvTestTypes::initialize() {
  MStatus status;
  MFnNumericAttribute numeric;
  MObject flag = numeric.create("flag", "fl", MFnNumericData::kBoolean, 0);
  MObject tiny = numeric.create("tiny", "ty", MFnNumericData::kByte, 0);
  MObject letter = numeric.create("letter", "lt", MFnNumericData::kChar, 0);
  MObject level = numeric.create("level", "lv", MFnNumericData::kShort, 0);
  count = numeric.create("count", "cn", MFnNumericData::kLong, 0);
  MObject pair = numeric.create("pair", "pr", MFnNumericData::k2Short, 0);
  MObject triple = numeric.create("triple", "tr", MFnNumericData::k3Long, 0);
  ratio = numeric.create("ratio", "ra", MFnNumericData::kFloat, 0);
  seen = numeric.create("seen", "sn", MFnNumericData::kDouble, 0);
  status = numeric.setStorable(false);
  QV_CHECK(status);
  status = numeric.setWritable(false);
  QV_CHECK(status);

  for (const MObject* attribute :
       {&flag, &tiny, &letter, &level, &count, &pair, &triple, &ratio, &seen}) {
    status = addAttribute(*attribute);
    QV_CHECK(status);
  }
  status = attributeAffects(count, seen);
  QV_CHECK(status);
  status = attributeAffects(ratio, seen);
  QV_CHECK(status);
  return MS::kSuccess;
}

// The long as compute sees it, plus the float read as a short: both reads
// convert whatever the graph holds.
MStatus qvTestTypes::compute(const MPlug& plug, MDataBlock& block) {
  if (plug != seen) return MS::kUnknownParameter;
  const int whole = block.inputValue(count).asInt();
  const short part = block.inputValue(ratio).asShort();
  MDataHandle out = block.outputValue(seen);
  out.set(static_cast<double>(whole) + static_cast<double>(part));
  out.setClean();
  return MS::kSuccess;
}

PLUGIN_EXPORT MStatus initializePlugin(MObject obj) {
  MFnPlugin plugin(obj, "Qavel Works, LLC", "1.0", "Any");
  MStatus status = plugin.registerNode("qvTestTypes", qvTestTypes::id, qvTestTypes::creator,
                                       qvTestTypes::initialize);
  if (!status) status.perror("registerNode failed");
  return status;
}

PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj) {
  MFnPlugin plugin(obj, "Unknown", "Unknown", "Any");
  MStatus status = plugin.deregisterNode(qvTestTypes::id);
  if (!status) status.perror("deregisterNode failed");
  return status;
}
