// The nodes Maya makes with every new scene, which saved files set by
// `select -ne :NAME` rather than create.
#pragma once

#include <vector>

namespace qv::qvmaya {

struct DefaultNode {
  const char* name;
  const char* type;
};

const std::vector<DefaultNode>& defaultNodes();

}  // namespace qv::qvmaya
