// Host-side view of parameter lists: what the stand-in's scene loader and
// plug-in manager use to declare, feed and inspect plug-in parameters. Texture
// plug-ins never include this header.
#pragma once

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "vrayinterface.h"
#include "vraytexture.h"

namespace qv::vrayhost {

// The texture inputs and outputs come first; the plain kinds after them are
// values and plug-in links that only the host's own plug-ins declare.
enum class ParamKind {
  Color,
  Float,
  Int,
  Transform,
  OutputColor,
  OutputFloat,
  PlainInt,
  PlainFloat,
  PlainTransform,
  String,
  PluginLink,
};

VRAY_API const char* paramKindName(ParamKind kind);
inline bool isOutput(ParamKind kind) {
  return kind == ParamKind::OutputColor || kind == ParamKind::OutputFloat;
}
// A value the plug-in reads as it is, not through a texture interface.
inline bool isPlainValue(ParamKind kind) {
  return kind == ParamKind::PlainInt || kind == ParamKind::PlainFloat ||
         kind == ParamKind::PlainTransform || kind == ParamKind::String;
}

// A plain parameter's value, already of the parameter's kind.
using PlainValue = std::variant<int, float, VUtils::Transform, std::string>;

VRAY_API ParamKind plainKind(const PlainValue& value);

struct ParamDecl {
  std::string name;
  ParamKind kind = ParamKind::Color;
  bool hasDefault = false;
  float defaultValue = 0.0f;
  std::string description;
  PlainValue plainDefault;     // plain kinds: what an unset parameter reads
  PluginID linkInterface = 0;  // PluginLink: the interface the linked plug-in must offer
};

// A plain value for an input, already converted to the input's kind.
using ConstantValue = std::variant<VUtils::AColor, float, int, VUtils::Transform>;

VRAY_API ParamKind constantKind(const ConstantValue& value);

// The parameter-list description registered for desc, or null.
VRAY_API const VUtils::VRayParameterListDesc* registeredParameters(PluginDesc* desc);
// Drops one host's registration of desc; what registerParameters recorded goes
// with the last one (the library is going away).
VRAY_API void forgetParameters(PluginDesc* desc);

}  // namespace qv::vrayhost

struct VRAY_API VUtils::VRayParameterListDesc::Impl {
  std::vector<qv::vrayhost::ParamDecl> params;

  const qv::vrayhost::ParamDecl* find(const std::string& name) const;
};

struct VRAY_API VUtils::VRayParameterList::Impl {
  struct InputCache {
    std::string name;
    qv::vrayhost::ParamKind kind;
    void* address;
  };
  struct Output {
    std::string name;
    qv::vrayhost::ParamKind kind;
    PluginInterface* iface;
  };
  // What feeds an input: a constant owned here, another plug-in's output, or
  // for a plain parameter its value.
  struct Source {
    std::string name;
    qv::vrayhost::ParamKind kind;
    PluginInterface* iface;
    std::unique_ptr<PluginInterface> owned;
    qv::vrayhost::PlainValue plain;
  };

  const VRayParameterListDesc::Impl* decls = nullptr;  // null: descriptor never registered
  std::vector<InputCache> caches;
  std::vector<Output> outputs;
  std::vector<Source> sources;

  // Both return false with a message when name is not an input of this kind.
  bool setConstant(const std::string& name, const qv::vrayhost::ConstantValue& value,
                   std::string* error);
  bool setLink(const std::string& name, qv::vrayhost::ParamKind kind, PluginInterface* iface,
               std::string* error);
  bool setPlain(const std::string& name, const qv::vrayhost::PlainValue& value, std::string* error);

  const qv::vrayhost::ParamDecl* findDecl(const std::string& name) const;
  const Output* findOutput(const std::string& name) const;

  // Writes every bound input reference: its source's interface, or null;
  // and every bound plain value: its source's value, or the declared default.
  void fillInputCaches() const;

 private:
  bool checkInput(const std::string& name, qv::vrayhost::ParamKind kind, std::string* error) const;
  void setSource(Source source);
};
