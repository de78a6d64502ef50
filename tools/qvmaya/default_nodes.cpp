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

}  // namespace qv::qvmaya
