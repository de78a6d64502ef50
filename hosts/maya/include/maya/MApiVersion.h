// MApiVersion: the API version a plug-in was built against, which Maya reads
// from the library before it calls initializePlugin. <maya/MFnPlugin.h>
// includes this, so every source that includes either defines the variable;
// a plug-in of several sources defines MNoVersionString in all but one.
#pragma once

#include <maya/MTypes.h>

#ifndef MNoVersionString

#define QV_MAYA_VERSION_TEXT2(version) #version
#define QV_MAYA_VERSION_TEXT(version) QV_MAYA_VERSION_TEXT2(version)

// Every plug-in exports the same name, which AddressSanitizer takes for a
// one-definition violation once two are loaded; a section of its own keeps
// the variable out of its reach (Windows builds have no AddressSanitizer).
#if defined(_WIN32)
#define QV_MAYA_VERSION_SECTION
#else
#define QV_MAYA_VERSION_SECTION __attribute__((section(".data.MApiVersion")))
#endif

#ifdef __cplusplus
extern "C" {
#endif
PLUGIN_EXPORT QV_MAYA_VERSION_SECTION char MApiVersion[] = QV_MAYA_VERSION_TEXT(MAYA_API_VERSION);
#ifdef __cplusplus
}
#endif

#undef QV_MAYA_VERSION_SECTION
#undef QV_MAYA_VERSION_TEXT
#undef QV_MAYA_VERSION_TEXT2

#endif  // MNoVersionString
