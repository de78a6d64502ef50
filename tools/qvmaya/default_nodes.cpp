#include "default_nodes.h"

namespace qv::qvmaya {

const std::vector<DefaultNode>& defaultNodes() {
  static const std::vector<DefaultNode> kNodes = {
      {"time1", "time"},
      {"sequenceManager1", "sequenceManager"},
      {"hardwareRenderingGlobals", "hardwareRenderingGlobals"},
      {"renderPartition", "partition"},
      {"renderGlobalsList1", "renderGlobalsList"},
      {"defaultLightList1", "defaultLightList"},
      {"defaultShaderList1", "defaultShaderList"},
      {"postProcessList1", "postProcessList"},
      {"defaultRenderUtilityList1", "defaultRenderUtilityList"},
      {"defaultRenderingList1", "defaultRenderingList"},
      {"lightList1", "lightList"},
      {"defaultTextureList1", "defaultTextureList"},
      {"lambert1", "lambert"},
      {"particleCloud1", "particleCloud"},
      {"initialShadingGroup", "shadingEngine"},
      {"initialParticleSE", "shadingEngine"},
      {"initialMaterialInfo", "materialInfo"},
      {"shaderGlow1", "shaderGlow"},
      {"defaultRenderQuality", "renderQuality"},
      {"defaultRenderGlobals", "renderGlobals"},
      {"defaultResolution", "resolution"},
      {"defaultLightSet", "objectSet"},
      {"defaultObjectSet", "objectSet"},
      {"defaultViewColorManager", "viewColorManager"},
      {"defaultColorMgtGlobals", "colorManagementGlobals"},
      {"hardwareRenderGlobals", "hwRenderGlobals"},
      {"defaultHardwareRenderGlobals", "hwRenderGlobals"},
      {"characterPartition", "partition"},
      {"ikSystem", "ikSystem"},
      {"hyperGraphInfo", "hyperGraphInfo"},
      {"hyperGraphLayout", "hyperLayout"},
      {"globalCacheControl", "globalCacheControl"},
      {"strokeGlobals", "strokeGlobals"},
      {"dynController1", "dynController"},
  };
  return kNodes;
}

const std::vector<StartupCamera>& startupCameras() {
  static const std::vector<StartupCamera> kCameras = {
      {"persp", {28, 21, 28}, {-27.938352729602379, 45, 0}, false, 44.82186966202994},
      {"top", {0, 100.1, 0}, {-90, 0, 0}, true, 100.1},
      {"front", {0, 0, 100.1}, {0, 0, 0}, true, 100.1},
      {"side", {100.1, 0, 0}, {0, 90, 0}, true, 100.1},
  };
  return kCameras;
}

}  // namespace qv::qvmaya
