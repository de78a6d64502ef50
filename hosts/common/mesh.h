// Triangle meshes and the objects a stand-in host traces rays against.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qv::host {

using Vec3f = std::array<float, 3>;

struct TriangleMesh {
  std::vector<Vec3f> vertices;
  std::vector<std::array<std::uint32_t, 3>> triangles;  // vertex indices
};

// An object in world space: its mesh already carries the object's transform.
struct SceneObject {
  std::string name;
  TriangleMesh mesh;
  float opacity = 1.0f;  // 1 blocks all light, 0 none; between: partly transparent
  Vec3f color = {1.0f, 1.0f, 1.0f};
  int label = 0;
};

}  // namespace qv::host
