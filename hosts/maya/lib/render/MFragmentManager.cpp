// Fragment documents read from files: found along the fragment paths, then
// added as if handed over in a buffer.
#include "render_state.h"

#include <maya/MFragmentManager.h>
#include <maya/MGlobal.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

using qv::maya::detail::renderState;

namespace {

// The document's text, or nothing (with a warning) when no file of that name
// can be read.
bool readFragmentFile(const MString& fileName, std::string* text) {
  namespace fs = std::filesystem;
  const fs::path name(fileName.asChar());
  std::vector<fs::path> candidates;
  if (name.is_absolute()) {
    candidates.push_back(name);
  } else if (!name.empty()) {
    for (const std::string& folder : renderState().fragmentPaths) {
      candidates.push_back(fs::path(folder) / name);
    }
  }
  for (const fs::path& candidate : candidates) {
    std::error_code error;
    if (!fs::is_regular_file(candidate, error)) continue;
    std::ifstream in(candidate, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    if (!in.bad()) {
      *text = contents.str();
      return true;
    }
  }
  MGlobal::displayWarning(MString("MFragmentManager: no fragment file ") + fileName +
                          " in the fragment paths");
  return false;
}

}  // namespace

namespace MHWRender {

MString MFragmentManager::addShadeFragmentFromFile(const MString& fileName, bool hidden) {
  std::string text;
  if (!readFragmentFile(fileName, &text)) return "";
  return addShadeFragmentFromBuffer(text.c_str(), hidden);
}

MString MFragmentManager::addFragmentGraphFromFile(const MString& fileName) {
  std::string text;
  if (!readFragmentFile(fileName, &text)) return "";
  return addFragmentGraphFromBuffer(text.c_str());
}

bool MFragmentManager::addFragmentPath(const MString& path) {
  std::error_code error;
  if (path.length() == 0 || !std::filesystem::is_directory(path.asChar(), error)) return false;
  auto& paths = renderState().fragmentPaths;
  for (const std::string& known : paths) {
    if (known == path.asChar()) return true;
  }
  paths.push_back(path.asChar());
  return true;
}

}  // namespace MHWRender
