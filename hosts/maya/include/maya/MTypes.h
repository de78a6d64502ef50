// Shared types of the stand-in Maya API.
#pragma once

#define MAYA_API_VERSION 201500

// Entry points and MApiVersion are found by name, so they keep C linkage and
// are exported: marked for the DLL's export table on Windows, visible even in
// plug-ins built with hidden visibility elsewhere.
#if defined(_WIN32)
#define MAYA_EXPORT __declspec(dllexport)
#else
#define MAYA_EXPORT __attribute__((visibility("default")))
#endif
#define PLUGIN_EXPORT extern "C" MAYA_EXPORT

typedef float float2[2];
typedef float float3[3];
typedef double double2[2];
typedef double double3[3];

typedef void* (*MCreatorFunction)();
