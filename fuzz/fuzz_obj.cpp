// The OBJ reader the stand-in hosts read meshes with. A mesh it accepts has
// triangles over vertices it has; a refusal leaves the mesh as it was
// and names the file and the line.
#include "fuzz_support.h"
#include "obj_reader.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  qv::host::TriangleMesh mesh;
  std::string error;
  if (!qv::host::parseObj(text, "fuzz.obj", &mesh, &error)) {
    QV_FUZZ_CHECK(qv::fuzz::startsWith(error, "fuzz.obj:"));
    QV_FUZZ_CHECK(mesh.vertices.empty() && mesh.triangles.empty());
    return 0;
  }
  QV_FUZZ_CHECK(error.empty());
  for (const auto& triangle : mesh.triangles) {
    for (const std::uint32_t corner : triangle) QV_FUZZ_CHECK(corner < mesh.vertices.size());
  }
  return 0;
}
