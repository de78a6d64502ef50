#include "scene.h"

#include <cfloat>
#include <cmath>
#include <filesystem>
#include <limits>
#include <utility>

#include "host_plugins.h"
#include "render_settings.h"
#include "scene_geometry.h"
#include "text_lexer.h"

namespace qv::vrayhost {

using host::shown;

namespace {

PluginID interfaceOfKind(ParamKind kind) {
  switch (kind) {
    case ParamKind::Float:
      return VUtils::EXT_TEXTURE_FLOAT;
    case ParamKind::Int:
      return VUtils::EXT_TEXTURE_INT;
    case ParamKind::Transform:
      return VUtils::EXT_TEXTURE_TRANSFORM;
    default:
      return VUtils::EXT_TEXTURE;
  }
}

std::string at(const std::string& file, int line) {
  return file + ":" + std::to_string(line) + ": ";
}

std::string withArticle(const std::string& noun) {
  const bool vowel = !noun.empty() && std::string("aeiouAEIOU").find(noun[0]) != std::string::npos;
  return (vowel ? "an " : "a ") + noun;
}

std::string quoted(const vrscene::PluginRef& ref) {
  return "'" + shown(ref.plugin) + (ref.output.empty() ? "" : "::" + shown(ref.output)) + "'";
}

// A chain of references that leads a plug-in back to itself: shading it
// would recurse until the stack runs out, so such a scene must not load.
// Plug-ins are visited in scene order, so a scene always reports one chain.
bool findCycle(const std::vector<Scene::Node>& nodes, const vrscene::Scene& description, int* line,
               std::string* chain) {
  struct Edge {
    std::size_t to;
    int line;
  };
  const std::size_t n = nodes.size();
  std::vector<std::vector<Edge>> edges(n);
  for (std::size_t i = 0; i < n; ++i) {
    const vrscene::PluginBlock* block = description.find(nodes[i].name);
    if (!block) continue;
    for (const vrscene::Param& param : block->params) {
      const auto* ref = std::get_if<vrscene::PluginRef>(&param.value);
      if (!ref) continue;
      for (std::size_t j = 0; j < n; ++j) {
        if (nodes[j].name == ref->plugin) edges[i].push_back({j, param.line});
      }
    }
  }
  // Depth first without recursion: a long chain must not exhaust the stack
  // that this check is there to protect.
  enum State { kNew, kOnPath, kDone };
  std::vector<State> state(n, kNew);
  std::vector<std::pair<std::size_t, std::size_t>> path;  // node, next edge to follow
  for (std::size_t root = 0; root < n; ++root) {
    if (state[root] != kNew) continue;
    state[root] = kOnPath;
    path.push_back({root, 0});
    while (!path.empty()) {
      auto& [node, next] = path.back();
      if (next == edges[node].size()) {
        state[node] = kDone;
        path.pop_back();
        continue;
      }
      const Edge edge = edges[node][next++];
      if (state[edge.to] == kNew) {
        state[edge.to] = kOnPath;
        path.push_back({edge.to, 0});
      } else if (state[edge.to] == kOnPath) {
        std::size_t start = 0;
        while (path[start].first != edge.to) ++start;
        *chain = nodes[edge.to].name;
        for (std::size_t k = start + 1; k < path.size(); ++k) {
          *chain += " -> " + shown(nodes[path[k].first].name);
        }
        *chain += " -> " + shown(nodes[edge.to].name);
        *line = edge.line;
        return true;
      }
    }
  }
  return false;
}

}  // namespace

bool convertConstant(const vrscene::Value& value, ParamKind kind, ConstantValue* out,
                     std::string* error) {
  const bool isInt = std::holds_alternative<std::int64_t>(value);
  const bool isFloat = std::holds_alternative<double>(value);
  const double number = isInt     ? static_cast<double>(std::get<std::int64_t>(value))
                        : isFloat ? std::get<double>(value)
                                  : 0.0;
  switch (kind) {
    case ParamKind::Color:
      if (auto* c = std::get_if<VUtils::AColor>(&value)) return *out = *c, true;
      if (auto* c = std::get_if<VUtils::Color>(&value))
        return *out = VUtils::AColor(*c, 1.0f), true;
      if (isInt || isFloat) {
        const float v = static_cast<float>(number);
        return *out = VUtils::AColor(v, v, v, 1.0f), true;
      }
      break;
    case ParamKind::Float:
      if (isInt || isFloat) return *out = static_cast<float>(number), true;
      break;
    case ParamKind::Int:
      if (isInt || isFloat) {
        const double truncated = std::trunc(number);
        if (!(truncated >= std::numeric_limits<int>::min() &&
              truncated <= std::numeric_limits<int>::max())) {
          if (error) *error = "the value does not fit an integer";
          return false;
        }
        return *out = static_cast<int>(truncated), true;
      }
      break;
    case ParamKind::Transform:
      if (auto* t = std::get_if<VUtils::Transform>(&value)) return *out = *t, true;
      break;
    default:
      break;
  }
  if (error) {
    *error = std::string("a ") + vrscene::kindName(value) + " cannot be given to a " +
             paramKindName(kind);
  }
  return false;
}

bool convertPlain(const vrscene::Value& value, ParamKind kind, PlainValue* out,
                  std::string* error) {
  const auto* integer = std::get_if<std::int64_t>(&value);
  const auto* real = std::get_if<double>(&value);
  const double number = integer ? static_cast<double>(*integer) : real ? *real : 0.0;
  const auto fail = [&](const std::string& message) {
    if (error) *error = message;
    return false;
  };
  switch (kind) {
    case ParamKind::PlainInt:
      if (integer || real) {
        const double truncated = std::trunc(number);
        if (!(truncated >= std::numeric_limits<int>::min() &&
              truncated <= std::numeric_limits<int>::max())) {
          return fail("the value does not fit an integer");
        }
        return *out = static_cast<int>(truncated), true;
      }
      break;
    case ParamKind::PlainFloat:
      if (integer || real) {
        if (std::fabs(number) > FLT_MAX) return fail("the value is too large for a float");
        return *out = static_cast<float>(number), true;
      }
      break;
    case ParamKind::PlainTransform:
      if (auto* t = std::get_if<VUtils::Transform>(&value)) return *out = *t, true;
      break;
    case ParamKind::String:
      if (auto* text = std::get_if<std::string>(&value)) return *out = *text, true;
      break;
    default:
      break;
  }
  return fail(withArticle(vrscene::kindName(value)) + " cannot be given to " +
              withArticle(paramKindName(kind)) + " parameter");
}

std::unique_ptr<Scene> Scene::load(const vrscene::Scene& description, PluginManager& manager,
                                   std::string* error) {
  auto fail = [&](int line, const std::string& message) -> std::unique_ptr<Scene> {
    if (error) *error = at(description.file, line) + message;
    return nullptr;
  };

  std::unique_ptr<Scene> scene(new Scene);
  scene->file_ = description.file;
  // All instances first, so that parameters may refer to plug-ins defined
  // later. Geometry, the render camera and the output size are the
  // renderer's own business, not a plug-in's.
  std::vector<const vrscene::PluginBlock*> blocks;
  for (const vrscene::PluginBlock& block : description.plugins) {
    if (isGeometryType(block.type) || isRenderSettingsType(block.type)) continue;
    if (!manager.findDesc(block.type)) {
      return fail(block.line, "unknown plug-in type '" + shown(block.type) + "'");
    }
    Node node;
    node.name = block.name;
    node.type = block.type;
    node.line = block.line;
    node.instance = manager.create(block.type, block.name);
    if (!node.instance)
      return fail(block.line, "cannot create plug-in '" + shown(block.name) + "'");
    node.vray = static_cast<VUtils::VRayPluginInterface*>(
        node.instance->plugin()->getInterface(VUtils::EXT_VRAY_PLUGIN));
    if (!node.vray) {
      return fail(block.line,
                  "plug-in type '" + shown(block.type) + "' has no V-Ray plug-in interface");
    }
    scene->nodes_.push_back(std::move(node));
    blocks.push_back(&block);
  }
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    for (const vrscene::Param& param : blocks[i]->params) {
      std::string message;
      if (!scene->setParameter(scene->nodes_[i], param, &message)) return fail(param.line, message);
    }
  }
  int cycleLine = 0;
  std::string chain;
  if (findCycle(scene->nodes_, description, &cycleLine, &chain)) {
    return fail(cycleLine, "plug-ins refer to one another in a loop: " + chain);
  }
  const std::string sceneDir = std::filesystem::path(description.file).parent_path().string();
  if (!scene->prepare(sceneDir, error)) return nullptr;
  return scene;
}

bool Scene::prepare(const std::string& sceneDir, std::string* error) {
  for (Node& node : nodes_) {
    auto* setup =
        static_cast<HostSetupInterface*>(node.instance->plugin()->getInterface(EXT_HOST_SETUP));
    std::string message;
    if (setup && !setup->prepare(sceneDir, &message)) {
      if (error)
        *error =
            at(file_, node.line) + shown(node.type) + " '" + shown(node.name) + "': " + message;
      return false;
    }
  }
  return true;
}

bool Scene::setParameter(Node& node, const vrscene::Param& param, std::string* error) {
  VUtils::VRayParameterList::Impl& list = node.vray->getParameterList()->impl();
  const ParamDecl* decl = list.findDecl(param.name);
  if (!decl) {
    *error = "plug-in type '" + shown(node.type) + "' has no parameter '" + shown(param.name) + "'";
    return false;
  }
  if (isOutput(decl->kind)) {
    *error =
        "'" + shown(param.name) + "' of '" + shown(node.name) + "' is an output and cannot be set";
    return false;
  }
  if (isPlainValue(decl->kind)) {
    PlainValue value;
    std::string reason;
    if (!convertPlain(param.value, decl->kind, &value, &reason)) {
      *error = "'" + shown(param.name) + "': " + reason;
      return false;
    }
    return list.setPlain(param.name, value, error);
  }
  if (decl->kind == ParamKind::PluginLink) return setLink(node, param, *decl, error);
  if (auto* ref = std::get_if<vrscene::PluginRef>(&param.value)) {
    const Node* source = find(ref->plugin);
    if (!source) {
      *error = "there is no plug-in '" + ref->plugin + "'";
      return false;
    }
    // A whole plug-in feeds an input through its interface of the input's
    // kind; a named output must already be of that kind.
    TextureOutput output;
    if (ref->output.empty()) {
      output = {decl->kind, source->instance->plugin()->getInterface(interfaceOfKind(decl->kind))};
    } else if (!resolve(*ref, &output, error)) {
      return false;
    }
    if (!output.iface || output.kind != decl->kind) {
      *error = "'" + shown(param.name) + "' takes a " + paramKindName(decl->kind) + ", but " +
               quoted(*ref) + " is not one";
      return false;
    }
    return list.setLink(param.name, decl->kind, output.iface, error);
  }
  ConstantValue value;
  std::string reason;
  if (!convertConstant(param.value, decl->kind, &value, &reason)) {
    *error = "'" + shown(param.name) + "': " + reason;
    return false;
  }
  return list.setConstant(param.name, value, error);
}

// A link names a whole plug-in, which must offer the interface the
// parameter asks for: a bitmap buffer for a bitmap, a UVW generator for uvwgen.
bool Scene::setLink(Node& node, const vrscene::Param& param, const ParamDecl& decl,
                    std::string* error) {
  const auto* ref = std::get_if<vrscene::PluginRef>(&param.value);
  if (!ref) {
    *error = "'" + shown(param.name) + "' takes a plug-in, not " +
             withArticle(vrscene::kindName(param.value));
    return false;
  }
  if (!ref->output.empty()) {
    *error = "'" + shown(param.name) + "' takes a whole plug-in, not its output " + quoted(*ref);
    return false;
  }
  const Node* source = find(ref->plugin);
  if (!source) {
    *error = "there is no plug-in '" + ref->plugin + "'";
    return false;
  }
  PluginInterface* iface = source->instance->plugin()->getInterface(decl.linkInterface);
  if (!iface) {
    *error = "'" + shown(param.name) + "' of " + shown(node.type) + " '" + shown(node.name) +
             "' cannot take " + shown(source->type) + " '" + shown(source->name) + "'";
    return false;
  }
  return node.vray->getParameterList()->impl().setLink(param.name, ParamKind::PluginLink, iface,
                                                       error);
}

const Scene::Node* Scene::find(const std::string& name) const {
  for (const Node& node : nodes_) {
    if (node.name == name) return &node;
  }
  return nullptr;
}

bool Scene::resolve(const std::string& reference, TextureOutput* out, std::string* error) const {
  vrscene::PluginRef ref;
  const std::size_t sep = reference.find("::");
  ref.plugin = reference.substr(0, sep);
  if (sep != std::string::npos) {
    ref.output = reference.substr(sep + 2);
    // Left empty, the output would silently name the whole texture.
    if (ref.output.empty()) {
      if (error) *error = "'" + reference + "' names no output after '::'";
      return false;
    }
  }
  return resolve(ref, out, error);
}

bool Scene::resolve(const vrscene::PluginRef& ref, TextureOutput* out, std::string* error) const {
  const Node* node = find(ref.plugin);
  if (!node) {
    if (error) *error = "there is no plug-in '" + shown(ref.plugin) + "'";
    return false;
  }
  Plugin* plugin = node->instance->plugin();
  if (ref.output.empty()) {
    if (PluginInterface* color = plugin->getInterface(VUtils::EXT_TEXTURE)) {
      *out = {ParamKind::Color, color};
      return true;
    }
    if (PluginInterface* value = plugin->getInterface(VUtils::EXT_TEXTURE_FLOAT)) {
      *out = {ParamKind::Float, value};
      return true;
    }
    if (error) *error = "'" + shown(ref.plugin) + "' is not a texture";
    return false;
  }
  VUtils::VRayParameterList::Impl& list = node->vray->getParameterList()->impl();
  if (const auto* output = list.findOutput(ref.output)) {
    *out = {output->kind == ParamKind::OutputFloat ? ParamKind::Float : ParamKind::Color,
            output->iface};
    return true;
  }
  // An output declared without its own object carries the texture's own colour.
  const ParamDecl* decl = list.findDecl(ref.output);
  if (decl && decl->kind == ParamKind::OutputColor) {
    if (PluginInterface* color = plugin->getInterface(VUtils::EXT_TEXTURE)) {
      *out = {ParamKind::Color, color};
      return true;
    }
  }
  if (error) {
    *error = "plug-in '" + shown(ref.plugin) + "' (" + shown(node->type) + ") has no output '" +
             shown(ref.output) + "'";
  }
  return false;
}

void Scene::renderBegin(VUtils::VRayRenderer* vray) {
  for (Node& node : nodes_) node.vray->renderBegin(vray);
}
void Scene::frameBegin(VUtils::VRayRenderer* vray) {
  for (Node& node : nodes_) node.vray->frameBegin(vray);
}
void Scene::frameEnd(VUtils::VRayRenderer* vray) {
  for (Node& node : nodes_) node.vray->frameEnd(vray);
}
void Scene::renderEnd(VUtils::VRayRenderer* vray) {
  for (Node& node : nodes_) node.vray->renderEnd(vray);
}

}  // namespace qv::vrayhost
