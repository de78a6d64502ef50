#include "qv_vpStackOverride.h"

#include <maya/MFragmentManager.h>
#include <maya/MViewport2Renderer.h>

// The fragment documents, embedded at build time with their shader text.
namespace qv::vpstack {
extern const char qv_vpStackFragment_xml[];
extern const char qv_vpStackFragmentOutput_xml[];
extern const char qv_vpStackGraph_xml[];
}  // namespace qv::vpstack

namespace {

struct FragmentNames {
  MString fragment{"qv_vpStackFragment"};
  MString output{"qv_vpStackFragmentOutput"};
  MString graph{"qv_vpStackGraph"};
};

// Made by the first override and kept until the library is unloaded. Maya may
// build overrides on several threads at once, so a plain "done" flag would
// race; a function-local static is initialised exactly once, under the
// compiler's own guard, with the same lifetime.
const FragmentNames& fragmentNames() {
  static const FragmentNames names;
  return names;
}

}  // namespace

MHWRender::MPxShadingNodeOverride* qv_vpStackOverride::creator(const MObject& obj) {
  return new qv_vpStackOverride(obj);
}

qv_vpStackOverride::qv_vpStackOverride(const MObject& obj)
    : MHWRender::MPxShadingNodeOverride(obj), fragmentName_("") {
  const FragmentNames& names = fragmentNames();

  // Batch Maya has no renderer; the override then draws nothing.
  MHWRender::MRenderer* renderer = MHWRender::MRenderer::theRenderer(true);
  if (!renderer) return;
  MHWRender::MFragmentManager* manager = renderer->getFragmentManager();
  if (!manager) return;

  // Fragments outlive the plug-in in the manager, so only the first override
  // of a session adds them; each addition is tried even when an earlier one
  // failed, and a later override tries again for what is still missing.
  bool hasFragment = manager->hasFragment(names.fragment);
  bool hasOutput = manager->hasFragment(names.output);
  bool hasGraph = manager->hasFragment(names.graph);
  if (!hasFragment) {
    hasFragment = manager->addShadeFragmentFromBuffer(qv::vpstack::qv_vpStackFragment_xml, false) ==
                  names.fragment;
  }
  if (!hasOutput) {
    hasOutput = manager->addShadeFragmentFromBuffer(qv::vpstack::qv_vpStackFragmentOutput_xml,
                                                    false) == names.output;
  }
  // After the two fragments it refers to.
  if (!hasGraph) {
    hasGraph = manager->addFragmentGraphFromBuffer(qv::vpstack::qv_vpStackGraph_xml) == names.graph;
  }
  if (hasFragment && hasOutput && hasGraph) fragmentName_ = names.graph;
}

qv_vpStackOverride::~qv_vpStackOverride() = default;

MHWRender::DrawAPI qv_vpStackOverride::supportedDrawAPIs() const {
  return static_cast<MHWRender::DrawAPI>(MHWRender::kOpenGL | MHWRender::kDirectX11 |
                                         MHWRender::kOpenGLCoreProfile);
}

MString qv_vpStackOverride::fragmentName() const {
  return fragmentName_;
}
