// Shared types of the stand-in Maya API.
#pragma once

#define MAYA_API_VERSION 201500

// PLUGIN_EXPORT marks what a plug-in exports; it gives no C linkage, so
// initializePlugin and uninitializePlugin are C++ functions. Maya looks them
// up by their C++ names on Linux and by the plain names a Windows build
// exports with /export (or a module-definition file) on Windows.
#if defined(_WIN32)
#ifndef PLUGIN_EXPORT
#define PLUGIN_EXPORT __declspec(dllexport)
#endif
#else
#ifndef DLL_PUBLIC
#define DLL_PUBLIC __attribute__((visibility("default")))
#define DLL_PRIVATE __attribute__((visibility("hidden")))
#endif
#ifndef PLUGIN_EXPORT
#define PLUGIN_EXPORT DLL_PUBLIC
#endif
#endif

// A Windows plug-in (compiled with NT_PLUGIN) learns its own module handle
// from the DllMain that <maya/MFnPlugin.h> defines; the handle types are
// declared as windows.h declares them, without including it.
#if defined(_WIN32) && defined(NT_PLUGIN)
struct HINSTANCE__;
typedef struct HINSTANCE__* HINSTANCE;
typedef unsigned long DWORD;
extern HINSTANCE MhInstPlugin;
#endif

typedef signed short short2[2];
typedef signed short short3[3];
typedef signed int long2[2];
typedef signed int long3[3];
typedef signed int int2[2];
typedef signed int int3[3];
typedef float float2[2];
typedef float float3[3];
typedef double double2[2];
typedef double double3[3];
typedef double double4[4];

// Maya's 64-bit integers are long on 64-bit Linux and long long elsewhere
// (on Windows its __int64, the same type, which MinGW knows only by macro).
#if defined(_WIN64) || defined(__x86_64__)
#define MBits64_
#endif
#if (defined(linux) || defined(__linux__)) && defined(MBits64_)
typedef long MInt64;
typedef unsigned long MUint64;
#else
typedef long long MInt64;
typedef unsigned long long MUint64;
#endif

// Headers name one another's classes through these rather than include them.
class MAngle;
class MArrayDataHandle;
class MDataBlock;
class MDataHandle;
class MDGContext;
class MFloatVector;
class MFnPlugin;
class MIntArray;
class MImage;
class MMatrix;
class MObject;
class MPlug;
class MPlugArray;
class MPoint;
class MPointArray;
class MPxNode;
class MStatus;
class MString;
class MTypeId;

// The spaces a shape's geometry is read in.
class MSpace {
 public:
  enum Space {
    kInvalid = 0,
    kTransform = 1,
    kPreTransform = 2,
    kPostTransform = 3,
    kWorld = 4,
    kObject = kPreTransform,
    kLast = 5
  };
};

typedef void* (*MCreatorFunction)();
typedef MStatus (*MInitializeFunction)();
