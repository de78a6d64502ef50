// The status check, the attribute flag helpers and the viewport entry family.
#include "maya_host.h"
#include "qv_attribute_flags.h"
#include "qv_plugin_entry.h"
#include "qv_status_check.h"

#include <maya/MFnNumericAttribute.h>
#include <maya/MPxNode.h>

#include <gtest/gtest.h>

#include <string>

namespace qv::maya {

// Defined at the end of this file, at known lines.
void checkAtKnownLine(const MStatus& status);
void inputFlagsAtKnownLine(MFnAttribute& attribute);

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

TEST(MayaStatusCheckTest, ReportsFileAndLineThenPerror) {
  CaptureStderr();
  checkAtKnownLine(MS::kSuccess);
  EXPECT_EQ(GetCapturedStderr(), "");

  CaptureStderr();
  checkAtKnownLine(MS::kInvalidParameter);
  EXPECT_EQ(GetCapturedStderr(),
            "\nAPI error detected in qv_known_source.cpp at line 1296\n"
            "(kInvalidParameter): Object is incompatible with this method\n");
}

TEST(MayaAttributeFlagsTest, SetTheFixedFlagsAndReportOneLine) {
  Host host;
  MFnNumericAttribute numeric;
  numeric.create("input", "in", MFnNumericData::kFloat, 0);
  host.failCall("MFnAttribute::setKeyable");
  host.failCall("MFnAttribute::setWritable");
  CaptureStderr();
  inputFlagsAtKnownLine(numeric);
  const std::string report = "\nAPI error detected in qv_known_source.cpp at line 2001\n";
  EXPECT_EQ(GetCapturedStderr(), report + "(kFailure): Unexpected Internal Failure\n" + report +
                                     "(kFailure): Unexpected Internal Failure\n");
  EXPECT_TRUE(numeric.isStorable() && numeric.isReadable());
  QV_MAKE_INPUT(numeric);
  EXPECT_TRUE(numeric.isKeyable() && numeric.isStorable() && numeric.isReadable() &&
              numeric.isWritable());
  QV_MAKE_OUTPUT(numeric);
  EXPECT_FALSE(numeric.isKeyable() || numeric.isStorable() || numeric.isWritable());
  EXPECT_TRUE(numeric.isReadable());
}

class qvScaffoldNode : public MPxNode {
 public:
  static void* creator() { return new qvScaffoldNode; }
  static MStatus initialize() { return MS::kSuccess; }
  static const MTypeId id;
  static const MString typeName;
  static const MString classification;
};
const MTypeId qvScaffoldNode::id(0x0013FF10);
const MString qvScaffoldNode::typeName("qvScaffoldNode");
const MString qvScaffoldNode::classification(
    "utility/color:drawdb/shader/operation/qvScaffoldNode");

int overrideRegistrations = 0;
MStatus registerOverride() {
  ++overrideRegistrations;
  return MS::kSuccess;
}
MStatus deregisterOverride() {
  --overrideRegistrations;
  return MS::kFailure;
}

TEST(MayaViewportEntryTest, RegistersNodeThenOverrideAndAlwaysSucceeds) {
  Host host;
  const NodeRegistration node{qvScaffoldNode::typeName, qvScaffoldNode::id, qvScaffoldNode::creator,
                              qvScaffoldNode::initialize, qvScaffoldNode::classification};
  const OverrideRegistration override{registerOverride, deregisterOverride};

  EXPECT_EQ(
      initializeViewportPlugin(MObject(), "Qavel Works", node, override, QV_ENTRY_STATUS_CHECK),
      MS::kSuccess);
  auto type = host.nodeType("qvScaffoldNode");
  ASSERT_TRUE(type);
  EXPECT_EQ(type->vendor, "Qavel Works");
  EXPECT_EQ(type->version, "3.0");
  EXPECT_EQ(type->classification, qvScaffoldNode::classification.asChar());
  EXPECT_EQ(overrideRegistrations, 1);

  // A failed override deregistration is reported; the entry point succeeds.
  CaptureStderr();
  EXPECT_EQ(
      uninitializeViewportPlugin(MObject(), qvScaffoldNode::id, override, QV_ENTRY_STATUS_CHECK),
      MS::kSuccess);
  EXPECT_NE(GetCapturedStderr().find("maya_scaffold_test.cpp at line "), std::string::npos);
  EXPECT_FALSE(host.nodeType("qvScaffoldNode"));
  EXPECT_EQ(overrideRegistrations, 0);

  // A failed node registration still registers the override creator.
  host.failCall("MFnPlugin::registerNode");
  CaptureStderr();
  EXPECT_EQ(
      initializeViewportPlugin(MObject(), "Qavel Works", node, override, QV_ENTRY_STATUS_CHECK),
      MS::kSuccess);
  const std::string report = GetCapturedStderr();
  EXPECT_EQ(report.rfind("\nAPI error detected in ", 0), 0u) << report;
  EXPECT_NE(report.find("(kFailure): Unexpected Internal Failure\n"), std::string::npos);
  EXPECT_FALSE(host.nodeType("qvScaffoldNode"));
  EXPECT_EQ(overrideRegistrations, 1);
}

}  // namespace

// Kept last: the line directives renumber the rest of the file.
#line 1295 "qv_known_source.cpp"
void checkAtKnownLine(const MStatus& status) {
  QV_CHECK_MSTATUS(status);
}

#line 2000 "qv_known_source.cpp"
void inputFlagsAtKnownLine(MFnAttribute& attribute) {
  QV_MAKE_INPUT(attribute);
}

}  // namespace qv::maya
