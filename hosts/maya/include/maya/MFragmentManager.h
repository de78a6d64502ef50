#pragma once

#include <maya/MString.h>

namespace MHWRender {

// Holds the shade fragments and fragment graphs Viewport 2.0 builds shaders
// from. A document is checked when it is added; the name it declares is
// returned on success and "" on failure.
class MFragmentManager {
 public:
  bool hasFragment(const MString& fragmentName) const;
  MString addShadeFragmentFromBuffer(const char* buffer, bool hidden);
  MString addFragmentGraphFromBuffer(const char* buffer);
  bool removeFragment(const MString& fragmentName);
  bool getFragmentXML(const MString& fragmentName, MString& buffer) const;

 private:
  MFragmentManager() = default;
  friend struct RendererAccess;
};

}  // namespace MHWRender
