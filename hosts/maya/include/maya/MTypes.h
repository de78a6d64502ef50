// Shared types of the stand-in Maya API.
#pragma once

#define MAYA_API_VERSION 201500

// Entry points and MApiVersion are found by name, so they keep C linkage and
// stay visible even in plug-ins built with hidden visibility.
#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

typedef float float2[2];
typedef float float3[3];
typedef double double2[2];
typedef double double3[3];

typedef void* (*MCreatorFunction)();
