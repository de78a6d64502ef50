#pragma once

#include <maya/MStatus.h>
#include <maya/MString.h>

class MGlobal {
 public:
  enum MMayaState { kInteractive, kBatch, kLibraryApp, kBaseUIMode };
  static MMayaState mayaState(MStatus* ReturnStatus = nullptr);

  // MEL, run by the application's interpreter. A command it does not know,
  // or one that fails, is reported and gives kFailure. Batch mode echoes
  // nothing, and there is no undo queue.
  static MStatus executeCommand(const MString& command, bool displayEnabled = false,
                                bool undoEnabled = false);
  static MStatus executeCommand(const MString& command, int& result, bool displayEnabled = false,
                                bool undoEnabled = false);
  static MStatus executeCommand(const MString& command, double& result, bool displayEnabled = false,
                                bool undoEnabled = false);
  static MStatus executeCommand(const MString& command, MString& result,
                                bool displayEnabled = false, bool undoEnabled = false);
  static MString executeCommandStringResult(const MString& command, bool displayEnabled = false,
                                            bool undoEnabled = false,
                                            MStatus* ResultStatus = nullptr);

  // Batch mode has no script editor: the messages go to the standard streams.
  static void displayInfo(const MString& text);
  static void displayWarning(const MString& text);
  static void displayError(const MString& text);
};
