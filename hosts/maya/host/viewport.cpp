#include "viewport.h"

#include "graph.h"
#include "numeric_value.h"
#include "render/render_state.h"

#include <maya/MMatrix.h>
#include <maya/MViewport2Renderer.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>

namespace qv::maya {

using detail::Attribute;
using detail::AttributeKind;
using detail::graph;
using detail::Node;
using detail::renderState;

struct Viewport::Entry {
  std::shared_ptr<Node> node;
  std::string classification;  // the registration whose creator made the override
  std::string registrant;
  MHWRender::MPxShadingNodeOverride* override = nullptr;
  MHWRender::MShaderInstance* shader = nullptr;
  bool tried = false;  // a build was attempted since the last invalidation
  MHWRender::MAttributeParameterMappingList mappings;
  struct Binding {
    std::string parameter;  // resolved name
    std::string type;
    const Attribute* attribute;
  };
  std::vector<Binding> bindings;
  mutable ShaderView view;
};

class Viewport::Observer final : public detail::NodeObserver, public detail::DrawRegistryObserver {
 public:
  explicit Observer(Viewport& viewport) : viewport_(viewport) {}

  void nodeGoing(Node& node) override {
    for (size_t i = viewport_.entries_.size(); i-- > 0;) {
      if (i < viewport_.entries_.size() && viewport_.entries_[i]->node.get() == &node) {
        viewport_.drop(i);
      }
    }
  }

  void registrationGoing(const detail::DrawRegistration& registration) override {
    for (size_t i = viewport_.entries_.size(); i-- > 0;) {
      if (i >= viewport_.entries_.size()) continue;
      const Entry& entry = *viewport_.entries_[i];
      if (entry.classification == registration.classification &&
          entry.registrant == registration.registrant) {
        viewport_.drop(i);
      }
    }
  }

 private:
  Viewport& viewport_;
};

// The session is asked for only so that a viewport cannot outlive it: the
// graph and the renderer it watches are the process's own.
Viewport::Viewport(Host&) : observer_(std::make_unique<Observer>(*this)) {
  graph().nodeObservers.push_back(observer_.get());
  renderState().observers.push_back(observer_.get());
}

Viewport::~Viewport() {
  auto& nodeObservers = graph().nodeObservers;
  nodeObservers.erase(std::remove(nodeObservers.begin(), nodeObservers.end(), observer_.get()),
                      nodeObservers.end());
  auto& drawObservers = renderState().observers;
  drawObservers.erase(std::remove(drawObservers.begin(), drawObservers.end(), observer_.get()),
                      drawObservers.end());
  while (!entries_.empty()) drop(entries_.size() - 1);
}

void Viewport::drop(size_t index) {
  // Out of the list first: the override's destructor runs plug-in code that
  // may well reach back into the viewport.
  std::unique_ptr<Entry> entry = std::move(entries_[index]);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  delete entry->override;
  renderState().destroyShader(entry->shader);
}

Viewport::Entry* Viewport::entry(const std::string& node) const {
  for (const auto& entry : entries_) {
    if (entry->node->alive && entry->node->name == node) return entry.get();
  }
  return nullptr;
}

namespace {

// Whether a node type's classification names the draw classification: any
// of its ':'-separated parts, wherever it stands, as Maya reads it.
bool classifiedAs(const std::string& classification, const std::string& drawClassification) {
  std::istringstream list(classification);
  for (std::string part; std::getline(list, part, ':');) {
    if (part == drawClassification) return true;
  }
  return false;
}

// Whether a property of the type can be filled from the attribute.
bool fits(const Attribute& attribute, const std::string& type) {
  if (type == "float4x4") return attribute.kind == AttributeKind::kMatrix;
  std::vector<const Attribute*> leaves;
  detail::collectLeaves(attribute, leaves);
  for (const Attribute* leaf : leaves) {
    if (leaf->kind != AttributeKind::kNumeric) return false;
  }
  if (type == "bool" || type == "int" || type == "float") return attribute.isLeaf();
  return (type == "float2" && leaves.size() == 2) || (type == "float3" && leaves.size() == 3) ||
         (type == "float4" && leaves.size() == 4);
}

}  // namespace

bool Viewport::build(Entry& entry) {
  auto& state = renderState();
  state.destroyShader(entry.shader);
  entry.shader = nullptr;
  entry.tried = true;
  entry.bindings.clear();
  entry.mappings.clear();
  ShaderView& view = entry.view;
  view.fragmentName.clear();
  view.buildError.clear();
  view.language = engineLanguage(engine_);
  // Maya makes no shader for an override that leaves out the draw API the
  // viewport runs on.
  const int drawApi =
      engine_ == Engine::kDirectX11 ? MHWRender::kDirectX11 : MHWRender::kOpenGLCoreProfile;
  if (!(entry.override->supportedDrawAPIs() & drawApi)) {
    view.buildError = std::string("the override does not support the ") +
                      (engine_ == Engine::kDirectX11 ? "DirectX 11" : "OpenGL Core Profile") +
                      " draw API";
    return false;
  }
  view.fragmentName = entry.override->fragmentName().asChar();
  entry.override->getCustomMappings(entry.mappings);
  if (view.fragmentName.empty()) {
    view.buildError = "the override names no fragment";
    return false;
  }
  const detail::Fragment* fragment = state.fragment(view.fragmentName);
  if (!fragment) {
    view.buildError = "no fragment named " + view.fragmentName + " is registered";
    return false;
  }
  if (!fragment->graph && fragment->kind != "accum" && !fragment->sources.count(view.language)) {
    view.buildError = view.fragmentName + " has no " + view.language + " implementation";
    return false;
  }

  const std::string prefix = "s" + std::to_string(++serial_) + "_";
  const Node& node = *entry.node;
  const unsigned int custom = entry.mappings.length();
  std::map<std::string, std::string> types;
  std::vector<std::unique_ptr<MHWRender::MAttributeParameterMapping>> automatic;
  for (const detail::FragmentParameter& property : fragment->properties) {
    const std::string resolved = prefix + property.name;
    types[resolved] = property.type;
    if (!property.semantic.empty()) continue;
    const MHWRender::MAttributeParameterMapping* mapping = nullptr;
    for (unsigned int i = 0; i < custom && !mapping; ++i) {
      if (entry.mappings.getMapping(i)->parameterName() == property.name.c_str())
        mapping = entry.mappings.getMapping(i);
    }
    const std::string attributeName = mapping ? mapping->attributeName().asChar() : property.name;
    if (mapping && attributeName.empty()) continue;
    const Attribute* attribute = node.type->find(attributeName);
    // Neither semantic, nor mapping, nor attribute: the parameter keeps the
    // value its fragment gives it.
    if (!attribute && !mapping) continue;
    if (!attribute) {
      view.buildError = "the custom mapping of " + property.name + " names attribute " +
                        attributeName + ", which " + node.name + " lacks";
      return false;
    }
    if (!fits(*attribute, property.type)) {
      view.buildError = "attribute " + attribute->longName + " of " + node.name + " cannot fill " +
                        property.name + " (" + property.type + ")";
      return false;
    }
    entry.bindings.push_back({resolved, property.type, attribute});
    if (!mapping)
      automatic.push_back(std::make_unique<MHWRender::MAttributeParameterMapping>(
          property.name.c_str(), attribute->longName.c_str(), true, true));
  }
  for (unsigned int i = 0; i < custom; ++i) {
    MHWRender::MAttributeParameterMapping* mapping =
        qv::maya::detail::MappingAccess::at(entry.mappings, i);
    if (fragment->property(mapping->parameterName().asChar())) {
      qv::maya::detail::MappingAccess::resolve(
          *mapping, (prefix + mapping->parameterName().asChar()).c_str());
    }
  }
  for (auto& mapping : automatic) {
    qv::maya::detail::MappingAccess::resolve(*mapping,
                                             MString(prefix.c_str()) + mapping->parameterName());
    entry.mappings.append(*mapping);
  }
  entry.shader = state.createShader(std::move(types));
  ++view.builds;
  return true;
}

void Viewport::update(Entry& entry) {
  Node& node = *entry.node;
  MHWRender::MShaderInstance& shader = *entry.shader;
  for (const Entry::Binding& binding : entry.bindings) {
    graph().evaluate(node, *binding.attribute);
    const MString name = binding.parameter.c_str();
    if (binding.type == "float4x4") {
      shader.setParameter(name, graph().matrix(node, *binding.attribute));
      continue;
    }
    std::vector<const Attribute*> leaves;
    detail::collectLeaves(*binding.attribute, leaves);
    float values[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (size_t i = 0; i < leaves.size() && i < 4; ++i) {
      values[i] = detail::toFloat(graph().number(node, *leaves[i]));
    }
    const double first = graph().number(node, *leaves.front());
    if (binding.type == "bool") {
      shader.setParameter(name, first != 0.0);
    } else if (binding.type == "int") {
      // Any attribute may be bound to an int parameter, a float one too.
      shader.setParameter(name, detail::toInteger<int>(first));
    } else if (binding.type == "float") {
      shader.setParameter(name, values[0]);
    } else {
      shader.setParameter(name, values);
    }
  }
  entry.override->updateDG();
  entry.override->updateShader(shader, entry.mappings);
}

void Viewport::refresh() {
  // Plug-in code runs below and may delete nodes, so nothing is held across
  // it but shared nodes and a check that the entry is still there.
  const std::vector<std::shared_ptr<Node>> nodes = graph().nodes;
  auto find = [&](const Node* node) -> Entry* {
    for (const auto& entry : entries_) {
      if (entry->node.get() == node) return entry.get();
    }
    return nullptr;
  };
  for (const auto& node : nodes) {
    if (!node->alive) continue;
    if (!find(node.get())) {
      for (const detail::DrawRegistration& registration : renderState().registrations) {
        if (!classifiedAs(node->type->classification, registration.classification)) continue;
        const detail::DrawRegistration chosen = registration;
        MHWRender::MPxShadingNodeOverride* created =
            chosen.creator(qv::maya::detail::wrap(node->shared_from_this()));
        if (created) {
          auto entry = std::make_unique<Entry>();
          entry->node = node;
          entry->classification = chosen.classification;
          entry->registrant = chosen.registrant;
          entry->override = created;
          entries_.push_back(std::move(entry));
        }
        break;
      }
    }
    Entry* entry = find(node.get());
    if (entry && !entry->tried) build(*entry);
    if ((entry = find(node.get())) && entry->shader) update(*entry);
  }
}

void Viewport::invalidateShaders() {
  for (const auto& entry : entries_) entry->tried = false;
}

void Viewport::setEngine(Engine engine) {
  if (engine == engine_) return;
  engine_ = engine;
  invalidateShaders();
}

const char* engineName(Engine engine) {
  return engine == Engine::kDirectX11 ? "directx11" : "opengl-core";
}

const char* engineLanguage(Engine engine) {
  return engine == Engine::kDirectX11 ? "HLSL" : "GLSL";
}

bool engineByName(const std::string& name, Engine* engine) {
  for (Engine candidate : {Engine::kDirectX11, Engine::kOpenGLCoreProfile}) {
    if (name == engineName(candidate)) {
      *engine = candidate;
      return true;
    }
  }
  return false;
}

std::vector<std::string> Viewport::nodes() const {
  std::vector<std::string> names;
  for (const auto& entry : entries_) names.push_back(entry->node->name);
  return names;
}

const ShaderView* Viewport::shader(const std::string& node) const {
  Entry* found = entry(node);
  if (!found) return nullptr;
  ShaderView& view = found->view;
  view.parameters.clear();
  view.samplers.clear();
  view.textures.clear();
  view.memoryTextures.clear();
  view.unsetTextures.clear();
  if (const detail::ShaderState* state = renderState().shader(found->shader)) {
    view.parameters = state->values;
    view.samplers = state->samplers;
    for (const auto& [name, texture] : state->textures) {
      const detail::TextureEntry* held = renderState().texture(texture);
      view.textures[name] = held ? held->path.asChar() : "";
      if (held && held->inMemory) {
        view.memoryTextures[name] = {held->description.fWidth, held->description.fHeight,
                                     held->description.fFormat};
      }
    }
    for (const auto& [name, type] : state->types) {
      if (type == "texture2" && !state->textures.count(name)) view.unsetTextures.push_back(name);
    }
  }
  return &view;
}

MHWRender::MPxShadingNodeOverride* Viewport::overrideOf(const std::string& node) const {
  Entry* found = entry(node);
  return found ? found->override : nullptr;
}

const char* filterName(MHWRender::MSamplerState::TextureFilter filter) {
  using MHWRender::MSamplerState;
  switch (filter) {
    case MSamplerState::kMinMagMipPoint:
      return "kMinMagMipPoint";
    case MSamplerState::kMinMagPoint_MipLinear:
      return "kMinMagPoint_MipLinear";
    case MSamplerState::kMinPoint_MagLinear_MipPoint:
      return "kMinPoint_MagLinear_MipPoint";
    case MSamplerState::kMinPoint_MagMipLinear:
      return "kMinPoint_MagMipLinear";
    case MSamplerState::kMinLinear_MagMipPoint:
      return "kMinLinear_MagMipPoint";
    case MSamplerState::kMinLinear_MagPoint_MipLinear:
      return "kMinLinear_MagPoint_MipLinear";
    case MSamplerState::kMinMagLinear_MipPoint:
      return "kMinMagLinear_MipPoint";
    case MSamplerState::kMinMagMipLinear:
      return "kMinMagMipLinear";
    case MSamplerState::kAnisotropic:
      return "kAnisotropic";
  }
  return "(invalid)";
}

const char* addressName(MHWRender::MSamplerState::TextureAddress address) {
  using MHWRender::MSamplerState;
  switch (address) {
    case MSamplerState::kTexWrap:
      return "kTexWrap";
    case MSamplerState::kTexMirror:
      return "kTexMirror";
    case MSamplerState::kTexClamp:
      return "kTexClamp";
    case MSamplerState::kTexBorder:
      return "kTexBorder";
  }
  return "(invalid)";
}

std::string Viewport::dump(const std::string& node) const {
  const ShaderView* view = shader(node);
  if (!view) return "";
  std::ostringstream out;
  if (!view->buildError.empty()) {
    out << node << ": no shader: " << view->buildError << '\n';
    return out.str();
  }
  if (view->fragmentName.empty()) {
    out << node << ": no shader: not drawn yet\n";
    return out.str();
  }
  out << node << ": fragment " << view->fragmentName << ", " << view->language
      << " implementation, built " << view->builds << (view->builds == 1 ? " time\n" : " times\n");
  for (const auto& [name, value] : view->parameters) {
    out << "  parameter " << name << " = " << value << '\n';
  }
  for (const auto& [name, desc] : view->samplers) {
    out << "  sampler " << name << ": filter " << filterName(desc.filter) << ", address "
        << addressName(desc.addressU) << ' ' << addressName(desc.addressV) << ' '
        << addressName(desc.addressW) << ", maxAnisotropy " << desc.maxAnisotropy << '\n';
  }
  // Set and unset ones together, in name order as the other lines are.
  std::map<std::string, std::string> textures;
  for (const auto& [name, path] : view->textures) {
    auto memory = view->memoryTextures.find(name);
    if (memory == view->memoryTextures.end()) {
      textures[name] = " = " + path;
    } else {
      const MemoryTexture& texture = memory->second;
      textures[name] = " = memory texture \"" + path + "\" " + std::to_string(texture.width) + "x" +
                       std::to_string(texture.height) + " " + formatName(texture.format);
    }
  }
  for (const std::string& name : view->unsetTextures) textures[name] = ": not set";
  for (const auto& [name, text] : textures) out << "  texture " << name << text << '\n';
  return out.str();
}

void setRendererAvailable(bool available) {
  renderState().rendererAvailable = available;
}

bool fragmentXml(const std::string& name, std::string* xml) {
  const detail::Fragment* fragment = renderState().fragment(name);
  if (!fragment) return false;
  if (xml) *xml = fragment->document;
  return true;
}

std::string fragmentSource(const std::string& name, const std::string& language) {
  const detail::Fragment* fragment = renderState().fragment(name);
  if (!fragment) return "";
  auto found = fragment->sources.find(language);
  return found == fragment->sources.end() ? "" : found->second;
}

int liveSamplerStates() {
  return renderState().liveSamplerStates();
}

int textureReferences(const std::string& path) {
  return renderState().textureReferences(path);
}

bool memoryTexturePicture(const std::string& name, image::Picture* picture) {
  const detail::TextureEntry* entry = renderState().memoryTexture(name);
  if (!entry || entry->description.fTextureType != MHWRender::kImage2D) return false;
  const int width = static_cast<int>(entry->description.fWidth);
  const int height = static_cast<int>(entry->description.fHeight);
  // Level 0 only: the preview reads no other.
  const size_t bytes = size_t{entry->description.fWidth} * entry->description.fHeight * 4;
  if (entry->pixels.size() < bytes) return false;
  if (entry->description.fFormat == MHWRender::kR32_FLOAT) {
    auto values = std::make_shared<std::vector<float>>(bytes / 4);
    std::memcpy(values->data(), entry->pixels.data(), bytes);
    *picture = image::Picture::fromRed(width, height,
                                       std::shared_ptr<const float>(values, values->data()));
    return true;
  }
  auto values = std::make_shared<std::vector<unsigned char>>(entry->pixels.begin(),
                                                             entry->pixels.begin() + bytes);
  *picture = image::Picture::fromBytes(
      width, height, std::shared_ptr<const unsigned char>(values, values->data()));
  return true;
}

const char* formatName(MHWRender::MRasterFormat format) {
  switch (format) {
    case MHWRender::kR32_FLOAT:
      return "R32_FLOAT";
    case MHWRender::kR8G8B8A8_UNORM:
      return "R8G8B8A8_UNORM";
  }
  return "(invalid)";
}

}  // namespace qv::maya
