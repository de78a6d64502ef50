#include "vrayhost/parameters.h"

namespace VUtils {

VRayPluginInterface::VRayPluginInterface(PluginDesc* desc)
    : paramList_(new VRayParameterList(desc)) {}

VRayPluginInterface::~VRayPluginInterface() = default;

PluginID VRayPluginInterface::getInterfaceID() {
  return EXT_VRAY_PLUGIN;
}
const char* VRayPluginInterface::getInterfaceName() {
  return "EXT_VRAY_PLUGIN";
}

void VRayPluginInterface::renderBegin(VRayRenderer*) {}
void VRayPluginInterface::renderEnd(VRayRenderer*) {}
void VRayPluginInterface::frameBegin(VRayRenderer*) {
  paramList_->impl().fillInputCaches();
}
void VRayPluginInterface::frameEnd(VRayRenderer*) {}

// The stand-in sets parameters through the scene loader, never through these.
void VRayPluginInterface::setParameter(VRayPluginParameter*) {}
VRayPluginParameter* VRayPluginInterface::getParameter(const char*) {
  return nullptr;
}

}  // namespace VUtils
