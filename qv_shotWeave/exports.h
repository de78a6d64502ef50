// What the library exports for mental ray: shaders and their companions,
// looked up by name.
#pragma once

#if defined(_WIN32)
#define QV_MI_EXPORT extern "C" __declspec(dllexport)
#else
#define QV_MI_EXPORT extern "C" __attribute__((visibility("default")))
#endif
