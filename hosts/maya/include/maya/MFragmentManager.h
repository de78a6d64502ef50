#pragma once

#include <maya/MObject.h>
#include <maya/MString.h>

namespace qv::maya::detail {
struct RendererAccess;
}

namespace MHWRender {

// Holds the shade fragments and fragment graphs Viewport 2.0 builds shaders
// from. A document is checked when it is added; the name it declares is
// returned on success and "" on failure.
class MFragmentManager {
 public:
  bool hasFragment(const MString& fragmentName) const;
  bool getFragmentXML(const MString& fragmentName, MString& buffer) const;
  MString addShadeFragmentFromBuffer(const char* buffer, bool hidden);
  // A file name that is not absolute is looked for in the fragment paths,
  // in the order they were added.
  MString addShadeFragmentFromFile(const MString& fileName, bool hidden);
  MString addFragmentGraphFromBuffer(const char* buffer);
  MString addFragmentGraphFromFile(const MString& fileName);
  bool removeFragment(const MString& fragmentName);
  // False when the path names no folder.
  bool addFragmentPath(const MString& path);

 private:
  MFragmentManager();
  ~MFragmentManager();
  friend struct qv::maya::detail::RendererAccess;
};

}  // namespace MHWRender
