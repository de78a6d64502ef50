#include "graph.h"

#include <maya/MGlobal.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iostream>

using qv::maya::detail::graph;

MGlobal::MMayaState MGlobal::mayaState(MStatus* ReturnStatus) {
  if (ReturnStatus) *ReturnStatus = MS::kSuccess;
  return kBatch;
}

void MGlobal::displayInfo(const MString& text) {
  std::cout << text << std::endl;
}
void MGlobal::displayWarning(const MString& text) {
  std::cerr << "// Warning: " << text << std::endl;
}
void MGlobal::displayError(const MString& text) {
  std::cerr << "// Error: " << text << std::endl;
}

namespace {

MStatus run(const MString& command, std::string* result) {
  const auto& runner = graph().commandRunner;
  if (!runner) {
    // A library application has no MEL: every command is unknown to it.
    const std::string text = command.asChar();
    const std::string name = text.substr(0, text.find_first_of(" \t\n;"));
    MGlobal::displayError(MString("Cannot find procedure \"") + name.c_str() + "\".");
    return MS::kFailure;
  }
  return runner(command.asChar(), result);
}

// A result read as one number, as Maya converts a command's result: the whole
// text must be the number.
bool toNumber(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text.c_str(), &end);
  return errno == 0 && end == text.c_str() + text.size();
}

}  // namespace

MStatus MGlobal::executeCommand(const MString& command, bool, bool) {
  std::string ignored;
  return run(command, &ignored);
}

MStatus MGlobal::executeCommand(const MString& command, int& result, bool, bool) {
  std::string text;
  double value = 0.0;
  MStatus status = run(command, &text);
  if (!status) return status;
  // Not a whole number that fits: no int holds it, so none is made up.
  if (!toNumber(text, &value) || value != std::floor(value) || value < -2147483648.0 ||
      value > 2147483647.0) {
    return MS::kInvalidParameter;
  }
  result = static_cast<int>(value);
  return MS::kSuccess;
}

MStatus MGlobal::executeCommand(const MString& command, double& result, bool, bool) {
  std::string text;
  double value = 0.0;
  MStatus status = run(command, &text);
  if (!status) return status;
  if (!toNumber(text, &value)) return MS::kInvalidParameter;
  result = value;
  return MS::kSuccess;
}

MStatus MGlobal::executeCommand(const MString& command, MString& result, bool, bool) {
  std::string text;
  MStatus status = run(command, &text);
  if (status) result = text.c_str();
  return status;
}

MString MGlobal::executeCommandStringResult(const MString& command, bool, bool,
                                            MStatus* ResultStatus) {
  std::string text;
  const MStatus status = run(command, &text);
  if (ResultStatus) *ResultStatus = status;
  return status ? MString(text.c_str()) : MString();
}
