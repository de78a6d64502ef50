// The mental ray stand-in's .mi reader, as qvmray reads a scene: its own
// shaders' declarations, `link` refused (no shader library is loaded here),
// `$include` looked up beside the scene. Every refusal is one
// "FILE:LINE: what" message. Only the reader's entry point is used, so that
// the harness follows the reader as it grows.
#include "fuzz_support.h"
#include "mi_scene.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {
std::string sceneFile;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qv::fuzz::quietStreams();
  sceneFile = (qv::fuzz::scratchFolder() / "fuzz.mi").string();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const qv::mrhost::MiParseResult parsed = qv::mrhost::parseMi(text, sceneFile);
  QV_FUZZ_CHECK(parsed.scene.has_value() == parsed.error.empty());
  if (!parsed.scene) QV_FUZZ_CHECK(qv::fuzz::startsWith(parsed.error, sceneFile));
  return 0;
}
