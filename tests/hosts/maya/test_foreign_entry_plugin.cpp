// A plug-in whose entry points are exported as the other platform's Maya
// would look for them: with C linkage on Linux (where Maya looks up the C++
// names), under their C++ names only on Windows (where Maya looks up the
// plain names). Maya does not find them, and neither must the stand-in.
#include <maya/MFnPlugin.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>

#if defined(_WIN32)
#define QV_FOREIGN_ENTRY PLUGIN_EXPORT
#else
#define QV_FOREIGN_ENTRY extern "C" PLUGIN_EXPORT
#endif

QV_FOREIGN_ENTRY MStatus initializePlugin(MObject) {
  return MS::kSuccess;
}

QV_FOREIGN_ENTRY MStatus uninitializePlugin(MObject) {
  return MS::kSuccess;
}
