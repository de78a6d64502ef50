#include <map>
#include <mutex>

#include "vrayhost/parameters.h"

using qv::vrayhost::ParamDecl;
using qv::vrayhost::ParamKind;

namespace VUtils {

namespace {

int declare(VRayParameterListDesc::Impl& impl, const char* name, ParamKind kind, const char* desc) {
  ParamDecl decl;
  decl.name = name ? name : "";
  decl.kind = kind;
  decl.description = desc ? desc : "";
  impl.params.push_back(decl);
  return 1;
}

// Descriptors are registered while libraries load and looked up when
// instances are made; both may happen from any thread of the host. Several
// hosts (plug-in managers) may load the same library, which the loader then
// shares: the record stays until the last of them lets it go.
struct Registry {
  struct Entry {
    const VRayParameterListDesc* list = nullptr;
    int hosts = 0;
  };
  std::mutex mutex;
  std::map<PluginDesc*, Entry> lists;
};

Registry& registry() {
  static Registry instance;
  return instance;
}

}  // namespace

const ParamDecl* VRayParameterListDesc::Impl::find(const std::string& name) const {
  for (const ParamDecl& decl : params) {
    if (decl.name == name) return &decl;
  }
  return nullptr;
}

VRayParameterListDesc::VRayParameterListDesc() : impl_(new Impl) {}
VRayParameterListDesc::~VRayParameterListDesc() = default;

int VRayParameterListDesc::addParamTexture(const char* name, int, const char* desc, const char*) {
  return declare(*impl_, name, ParamKind::Color, desc);
}

int VRayParameterListDesc::addParamTextureFloat(const char* name, int, const char* desc,
                                                const char*) {
  return declare(*impl_, name, ParamKind::Float, desc);
}

int VRayParameterListDesc::addParamTextureFloat(const char* name, float defaultValue, int,
                                                const char* desc, const char*) {
  declare(*impl_, name, ParamKind::Float, desc);
  impl_->params.back().hasDefault = true;
  impl_->params.back().defaultValue = defaultValue;
  return 1;
}

int VRayParameterListDesc::addParamTextureInt(const char* name, int, const char* desc,
                                              const char*) {
  return declare(*impl_, name, ParamKind::Int, desc);
}

int VRayParameterListDesc::addParamTextureTransform(const char* name, int, const char* desc,
                                                    const char*) {
  return declare(*impl_, name, ParamKind::Transform, desc);
}

int VRayParameterListDesc::addOutputParamTexture(const char* name, const char* desc, const char*) {
  return declare(*impl_, name, ParamKind::OutputColor, desc);
}

int VRayParameterListDesc::addOutputParamTextureFloat(const char* name, const char* desc,
                                                      const char*) {
  return declare(*impl_, name, ParamKind::OutputFloat, desc);
}

int VRayParameterListDesc::addParamInt(const char* name, int defaultValue, int, const char* desc,
                                       const char*) {
  declare(*impl_, name, ParamKind::PlainInt, desc);
  impl_->params.back().plainDefault = defaultValue;
  return 1;
}

int VRayParameterListDesc::addParamFloat(const char* name, float defaultValue, int,
                                         const char* desc, const char*) {
  declare(*impl_, name, ParamKind::PlainFloat, desc);
  impl_->params.back().plainDefault = defaultValue;
  return 1;
}

int VRayParameterListDesc::addParamTransform(const char* name, const Transform& defaultValue, int,
                                             const char* desc, const char*) {
  declare(*impl_, name, ParamKind::PlainTransform, desc);
  impl_->params.back().plainDefault = defaultValue;
  return 1;
}

int VRayParameterListDesc::addParamString(const char* name, const char* defaultValue, int,
                                          const char* desc, const char*) {
  declare(*impl_, name, ParamKind::String, desc);
  impl_->params.back().plainDefault = std::string(defaultValue ? defaultValue : "");
  return 1;
}

int VRayParameterListDesc::addParamPlugin(const char* name, PluginID interfaceID, int,
                                          const char* desc, const char*) {
  declare(*impl_, name, ParamKind::PluginLink, desc);
  impl_->params.back().linkInterface = interfaceID;
  return 1;
}

int VRayParameterListDesc::registerParameters(PluginHost* host, PluginDesc* desc) {
  if (!host || !desc) return 0;
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  Registry::Entry& entry = r.lists[desc];
  entry.list = this;
  ++entry.hosts;
  return 1;
}

}  // namespace VUtils

namespace qv::vrayhost {

const char* paramKindName(ParamKind kind) {
  switch (kind) {
    case ParamKind::Color:
      return "colour texture";
    case ParamKind::Float:
      return "float texture";
    case ParamKind::Int:
      return "integer texture";
    case ParamKind::Transform:
      return "transform texture";
    case ParamKind::OutputColor:
      return "colour output";
    case ParamKind::OutputFloat:
      return "float output";
    case ParamKind::PlainInt:
      return "integer";
    case ParamKind::PlainFloat:
      return "number";
    case ParamKind::PlainTransform:
      return "Transform";
    case ParamKind::String:
      return "string";
    case ParamKind::PluginLink:
      return "plug-in";
  }
  return "unknown";
}

ParamKind plainKind(const PlainValue& value) {
  switch (value.index()) {
    case 0:
      return ParamKind::PlainInt;
    case 1:
      return ParamKind::PlainFloat;
    case 2:
      return ParamKind::PlainTransform;
    default:
      return ParamKind::String;
  }
}

ParamKind constantKind(const ConstantValue& value) {
  switch (value.index()) {
    case 0:
      return ParamKind::Color;
    case 1:
      return ParamKind::Float;
    case 2:
      return ParamKind::Int;
    default:
      return ParamKind::Transform;
  }
}

const VUtils::VRayParameterListDesc* registeredParameters(PluginDesc* desc) {
  VUtils::Registry& r = VUtils::registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.lists.find(desc);
  return it == r.lists.end() ? nullptr : it->second.list;
}

void forgetParameters(PluginDesc* desc) {
  VUtils::Registry& r = VUtils::registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.lists.find(desc);
  if (it != r.lists.end() && --it->second.hosts <= 0) r.lists.erase(it);
}

}  // namespace qv::vrayhost
