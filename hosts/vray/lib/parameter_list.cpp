#include <utility>

#include "constant_textures.h"
#include "vrayhost/parameters.h"

using qv::vrayhost::ConstantValue;
using qv::vrayhost::ParamDecl;
using qv::vrayhost::ParamKind;
using qv::vrayhost::PlainValue;

namespace VUtils {

namespace {

std::unique_ptr<PluginInterface> makeConstant(const ConstantValue& value) {
  using namespace qv::vrayhost;
  switch (value.index()) {
    case 0:
      return std::make_unique<ConstantColorTexture>(std::get<AColor>(value));
    case 1:
      return std::make_unique<ConstantFloatTexture>(std::get<float>(value));
    case 2:
      return std::make_unique<ConstantIntTexture>(std::get<int>(value));
    default:
      return std::make_unique<ConstantTransformTexture>(std::get<Transform>(value));
  }
}

// The interface pointer to write into a reference of the given kind. The
// source was checked against that kind when it was set, so the downcast
// lands on the right sub-object.
void writeReference(void* address, ParamKind kind, PluginInterface* iface) {
  switch (kind) {
    case ParamKind::Color:
      *static_cast<TextureInterface**>(address) = static_cast<TextureInterface*>(iface);
      break;
    case ParamKind::Float:
      *static_cast<TextureFloatInterface**>(address) = static_cast<TextureFloatInterface*>(iface);
      break;
    case ParamKind::Int:
      *static_cast<TextureIntInterface**>(address) = static_cast<TextureIntInterface*>(iface);
      break;
    case ParamKind::Transform:
      *static_cast<TextureTransformInterface**>(address) =
          static_cast<TextureTransformInterface*>(iface);
      break;
    case ParamKind::PluginLink:
      *static_cast<PluginInterface**>(address) = iface;
      break;
    default:
      break;
  }
}

// A plain value into the member bound for it. The value was checked against
// the parameter's kind when it was set, and the default is of that kind.
void writePlain(void* address, ParamKind kind, const PlainValue& value) {
  switch (kind) {
    case ParamKind::PlainInt:
      *static_cast<int*>(address) = std::get<int>(value);
      break;
    case ParamKind::PlainFloat:
      *static_cast<float*>(address) = std::get<float>(value);
      break;
    case ParamKind::PlainTransform:
      *static_cast<Transform*>(address) = std::get<Transform>(value);
      break;
    case ParamKind::String:
      *static_cast<const char**>(address) = std::get<std::string>(value).c_str();
      break;
    default:
      break;
  }
}

}  // namespace

VRayParameterList::VRayParameterList(PluginDesc* desc) : impl_(new Impl) {
  if (const VRayParameterListDesc* params = qv::vrayhost::registeredParameters(desc)) {
    impl_->decls = &params->impl();
  }
}

VRayParameterList::~VRayParameterList() = default;

void VRayParameterList::setParamCache(const char* name, TextureInterface** cache) {
  impl_->caches.push_back({name ? name : "", ParamKind::Color, cache});
}
void VRayParameterList::setParamCache(const char* name, TextureFloatInterface** cache) {
  impl_->caches.push_back({name ? name : "", ParamKind::Float, cache});
}
void VRayParameterList::setParamCache(const char* name, TextureIntInterface** cache) {
  impl_->caches.push_back({name ? name : "", ParamKind::Int, cache});
}
void VRayParameterList::setParamCache(const char* name, TextureTransformInterface** cache) {
  impl_->caches.push_back({name ? name : "", ParamKind::Transform, cache});
}
void VRayParameterList::setParamCache(const char* name, int* cache) {
  impl_->caches.push_back({name ? name : "", ParamKind::PlainInt, cache});
}
void VRayParameterList::setParamCache(const char* name, float* cache) {
  impl_->caches.push_back({name ? name : "", ParamKind::PlainFloat, cache});
}
void VRayParameterList::setParamCache(const char* name, Transform* cache) {
  impl_->caches.push_back({name ? name : "", ParamKind::PlainTransform, cache});
}
void VRayParameterList::setParamCache(const char* name, const char** cache) {
  impl_->caches.push_back({name ? name : "", ParamKind::String, cache});
}
void VRayParameterList::setParamCache(const char* name, PluginInterface** cache) {
  impl_->caches.push_back({name ? name : "", ParamKind::PluginLink, cache});
}
void VRayParameterList::setOutputParamCache(const char* name, TextureInterface* output) {
  impl_->outputs.push_back({name ? name : "", ParamKind::OutputColor, output});
}
void VRayParameterList::setOutputParamCache(const char* name, TextureFloatInterface* output) {
  impl_->outputs.push_back({name ? name : "", ParamKind::OutputFloat, output});
}

const ParamDecl* VRayParameterList::Impl::findDecl(const std::string& name) const {
  return decls ? decls->find(name) : nullptr;
}

const VRayParameterList::Impl::Output* VRayParameterList::Impl::findOutput(
    const std::string& name) const {
  for (const Output& output : outputs) {
    if (output.name == name) return &output;
  }
  return nullptr;
}

bool VRayParameterList::Impl::checkInput(const std::string& name, ParamKind kind,
                                         std::string* error) const {
  const ParamDecl* decl = findDecl(name);
  std::string message;
  if (!decl) {
    message = "there is no parameter '" + name + "'";
  } else if (qv::vrayhost::isOutput(decl->kind)) {
    message = "'" + name + "' is an output and cannot be set";
  } else if (decl->kind != kind) {
    message = "'" + name + "' takes a " + qv::vrayhost::paramKindName(decl->kind) + ", not a " +
              qv::vrayhost::paramKindName(kind);
  } else {
    return true;
  }
  if (error) *error = message;
  return false;
}

void VRayParameterList::Impl::setSource(Source source) {
  for (Source& existing : sources) {
    if (existing.name == source.name) {
      existing = std::move(source);
      return;
    }
  }
  sources.push_back(std::move(source));
}

bool VRayParameterList::Impl::setConstant(const std::string& name, const ConstantValue& value,
                                          std::string* error) {
  const ParamKind kind = qv::vrayhost::constantKind(value);
  if (!checkInput(name, kind, error)) return false;
  std::unique_ptr<PluginInterface> constant = makeConstant(value);
  PluginInterface* iface = constant.get();
  setSource({name, kind, iface, std::move(constant), PlainValue()});
  return true;
}

bool VRayParameterList::Impl::setLink(const std::string& name, ParamKind kind,
                                      PluginInterface* iface, std::string* error) {
  if (!checkInput(name, kind, error)) return false;
  setSource({name, kind, iface, nullptr, PlainValue()});
  return true;
}

bool VRayParameterList::Impl::setPlain(const std::string& name, const PlainValue& value,
                                       std::string* error) {
  const ParamKind kind = qv::vrayhost::plainKind(value);
  if (!checkInput(name, kind, error)) return false;
  setSource({name, kind, nullptr, nullptr, value});
  return true;
}

void VRayParameterList::Impl::fillInputCaches() const {
  for (const InputCache& cache : caches) {
    const Source* found = nullptr;
    for (const Source& source : sources) {
      if (source.name == cache.name && source.kind == cache.kind) found = &source;
    }
    if (qv::vrayhost::isPlainValue(cache.kind)) {
      // A member bound under a name or kind that was never declared has no
      // default to fall back on: it keeps what it holds.
      const ParamDecl* decl = findDecl(cache.name);
      if (found) {
        writePlain(cache.address, cache.kind, found->plain);
      } else if (decl && decl->kind == cache.kind) {
        writePlain(cache.address, cache.kind, decl->plainDefault);
      }
      continue;
    }
    writeReference(cache.address, cache.kind, found ? found->iface : nullptr);
  }
}

}  // namespace VUtils
