// The Maya stand-in's fragment manager, reading a document as a plug-in's
// override hands it over: as a shade fragment and as a fragment graph, with
// the project's own six fragments registered, so that a graph can refer to
// them. A document it takes is registered under the name it returns, and
// the document is given back unchanged.
#include "fuzz_support.h"
#include "maya_host.h"

#include <maya/MFragmentManager.h>
#include <maya/MString.h>
#include <maya/MViewport2Renderer.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

namespace {

qv::maya::Host* session = nullptr;
MHWRender::MFragmentManager* manager = nullptr;

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Whether the manager took it, and if so that it holds what it took.
void added(const MString& name, const std::string& document) {
  if (name.length() == 0) return;
  QV_FUZZ_CHECK(manager->hasFragment(name));
  MString held;
  QV_FUZZ_CHECK(manager->getFragmentXML(name, held));
  QV_FUZZ_CHECK(document == held.asChar());
  QV_FUZZ_CHECK(manager->removeFragment(name));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qv::fuzz::quietStreams();
  // One Maya session for the whole run, as there is one per process.
  session = new qv::maya::Host;
  manager = MHWRender::MRenderer::theRenderer()->getFragmentManager();
  if (!manager) std::abort();
  const char* const shade[] = {"qv_vpProjector/qv_vpProjectorFragment.xml",
                               "qv_vpProjector/qv_vpProjectorFragmentOutput.xml",
                               "qv_vpStack/qv_vpStackFragment.xml",
                               "qv_vpStack/qv_vpStackFragmentOutput.xml"};
  for (const char* file : shade) {
    const std::string text = readFile(std::string(QV_SOURCE_DIR "/") + file);
    if (manager->addShadeFragmentFromBuffer(text.c_str(), false).length() == 0) std::abort();
  }
  for (const char* file :
       {"qv_vpProjector/qv_vpProjectorGraph.xml", "qv_vpStack/qv_vpStackGraph.xml"}) {
    const std::string text = readFile(std::string(QV_SOURCE_DIR "/") + file);
    if (manager->addFragmentGraphFromBuffer(text.c_str()).length() == 0) std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The manager takes a C string: the document ends at its first NUL.
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string document = bytes.substr(0, bytes.find('\0'));
  added(manager->addShadeFragmentFromBuffer(document.c_str(), false), document);
  added(manager->addFragmentGraphFromBuffer(document.c_str()), document);
  return 0;
}
