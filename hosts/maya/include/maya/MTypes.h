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

// 64-bit Linux gives these the width of long, so overloads on them are
// overloads on long there.
#if defined(_WIN32)
typedef __int64 MInt64;
typedef unsigned long long MUint64;
#elif defined(__linux__) && (defined(_WIN64) || defined(__x86_64__))
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
class MImage;
class MMatrix;
class MObject;
class MPlug;
class MPlugArray;
class MPxNode;
class MStatus;
class MString;
class MTypeId;

typedef void* (*MCreatorFunction)();
typedef MStatus (*MInitializeFunction)();
