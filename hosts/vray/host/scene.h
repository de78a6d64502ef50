// A .vrscene turned into live plug-in instances with their parameters set.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "plugin_manager.h"
#include "vrayhost/parameters.h"
#include "vrscene.h"

namespace qv::vrayhost {

// A texture output that shading can evaluate: a colour or a float texture.
struct TextureOutput {
  ParamKind kind = ParamKind::Color;  // Color or Float
  PluginInterface* iface = nullptr;

  VUtils::TextureInterface* color() const {
    return kind == ParamKind::Color ? static_cast<VUtils::TextureInterface*>(iface) : nullptr;
  }
  VUtils::TextureFloatInterface* floatTexture() const {
    return kind == ParamKind::Float ? static_cast<VUtils::TextureFloatInterface*>(iface) : nullptr;
  }
};

class Scene {
 public:
  struct Node {
    std::string name;
    std::string type;
    int line = 0;
    std::unique_ptr<PluginInstance> instance;
    VUtils::VRayPluginInterface* vray = nullptr;
  };

  // Creates one instance per plug-in block and sets its parameters. Null,
  // with one "FILE:LINE: what" message, on the first problem. The manager
  // must outlive the scene.
  static std::unique_ptr<Scene> load(const vrscene::Scene& description, PluginManager& manager,
                                     std::string* error);

  const Node* find(const std::string& name) const;
  const std::vector<Node>& nodes() const { return nodes_; }

  // `plugin` or `plugin::output` as something shading can evaluate. Without
  // an output, the plug-in's own colour (or float) texture.
  bool resolve(const std::string& reference, TextureOutput* out, std::string* error) const;
  bool resolve(const vrscene::PluginRef& ref, TextureOutput* out, std::string* error) const;

  // The host's hooks, over every instance in scene order.
  void renderBegin(VUtils::VRayRenderer* vray);
  void frameBegin(VUtils::VRayRenderer* vray);
  void frameEnd(VUtils::VRayRenderer* vray);
  void renderEnd(VUtils::VRayRenderer* vray);

 private:
  bool setParameter(Node& node, const vrscene::Param& param, std::string* error);
  bool setLink(Node& node, const vrscene::Param& param, const ParamDecl& decl, std::string* error);
  bool prepare(const std::string& sceneDir, std::string* error);

  std::string file_;
  std::vector<Node> nodes_;
};

// A plain scene value converted for an input of the given kind: numbers
// convert between float and integer (float to integer truncates), a colour
// input also takes a Color (alpha 1) or a single number (grey, alpha 1).
bool convertConstant(const vrscene::Value& value, ParamKind kind, ConstantValue* out,
                     std::string* error);

// A scene value for a plain parameter: numbers convert between float and
// integer as for inputs; a Transform and a string only to their own kind.
bool convertPlain(const vrscene::Value& value, ParamKind kind, PlainValue* out, std::string* error);

}  // namespace qv::vrayhost
