#pragma once

#include <maya/MString.h>

class MGlobal {
 public:
  enum MMayaState { kInteractive, kBatch, kLibraryApp, kBaseUIMode };
  static MMayaState mayaState() { return kBatch; }

  // Batch mode has no script editor: the messages go to the standard streams.
  static void displayInfo(const MString& text);
  static void displayWarning(const MString& text);
  static void displayError(const MString& text);
};
