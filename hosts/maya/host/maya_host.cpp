#include "maya_host.h"

#include "dynamic_library.h"
#include "graph.h"
#include "render/render_state.h"
#include "scene_surfaces.h"

#include <maya/MDataBlock.h>
#include <maya/MPlug.h>

#include <algorithm>
#include <cassert>
#include <filesystem>
#include <map>

namespace qv::maya {

using detail::Attribute;
using detail::AttributeKind;
using detail::graph;
using detail::Node;
using detail::NodeType;
using detail::PlugRef;

namespace {

using EntryPoint = MStatus (*)(MObject);

// The names Maya finds a plug-in's entry points by. They are C++ functions:
// on Linux the library exports them under their C++ names (the devkit's
// export map keeps nothing else besides MApiVersion); a Windows build
// exports them under their plain names.
#if defined(_WIN32)
constexpr detail::EntryName kInitializePlugin{"initializePlugin", "initializePlugin"};
constexpr detail::EntryName kUninitializePlugin{"uninitializePlugin", "uninitializePlugin"};
#else
constexpr detail::EntryName kInitializePlugin{"initializePlugin", "_Z16initializePlugin7MObject"};
constexpr detail::EntryName kUninitializePlugin{"uninitializePlugin",
                                                "_Z18uninitializePlugin7MObject"};
#endif

bool fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

bool hostAlive = false;

}  // namespace

// Records go with their node; a node turned unknown keeps its record.
struct Host::SceneRecords final : detail::NodeObserver {
  std::map<const Node*, NodeRecord> nodes;
  std::vector<KeptConnection> connections;

  void nodeGoing(Node& node) override {
    if (!node.deleting) return;
    nodes.erase(&node);
    connections.erase(std::remove_if(connections.begin(), connections.end(),
                                     [&](const KeptConnection& c) {
                                       return c.sourceNode == node.name ||
                                              c.destinationNode == node.name;
                                     }),
                      connections.end());
  }
};

struct Host::LoadedPlugin {
  std::string name;
  host::DynamicLibrary library;
  std::shared_ptr<detail::Plugin> object;
  std::string apiVersion;
};

Host::Host() {
  assert(!hostAlive && "one Maya session per process");
  hostAlive = true;
  graph().reset();
  detail::renderState().reset();
  records_ = std::make_unique<SceneRecords>();
  graph().nodeObservers.push_back(records_.get());
  graph().meshReader = [this](const Node& mesh, detail::MeshPolygons* polygons,
                              std::string* error) {
    return meshPolygons(*this, mesh.name, graph().textureSearchPath, polygons, error);
  };
}

Host::~Host() {
  // The application that set the interpreter is already going.
  graph().commandRunner = nullptr;
  graph().meshReader = nullptr;
  // Nodes run plug-in code, so they go before the libraries do.
  graph().connections.clear();
  while (!graph().nodes.empty()) graph().deleteNode(graph().nodes.back().get());
  graph().injections.clear();
  while (!plugins_.empty()) {
    LoadedPlugin& plugin = *plugins_.back();
    detail::renderState().pluginGoing(plugin.object.get(), false);
    callEntry(plugin, kUninitializePlugin, nullptr);
    detail::renderState().pluginGoing(plugin.object.get(), true);
    dropTypes(plugin);
    plugins_.pop_back();
  }
  graph().reset();
  auto& observers = graph().nodeObservers;
  observers.erase(std::remove(observers.begin(), observers.end(), records_.get()), observers.end());
  detail::renderState().reset();
  hostAlive = false;
}

bool Host::callEntry(LoadedPlugin& plugin, const detail::EntryName& entryName, std::string* error) {
  const char* entry = entryName.name;
  auto function = reinterpret_cast<EntryPoint>(plugin.library.symbol(entryName.symbol));
  if (!function) return fail(error, plugin.name + ": no " + entry);
  graph().loading = plugin.object.get();
  lastEntryStatus_ = function(qv::maya::detail::wrap(plugin.object));
  graph().loading = nullptr;
  if (lastEntryStatus_.error()) {
    return fail(error,
                plugin.name + ": " + entry + " failed: " + lastEntryStatus_.errorString().asChar());
  }
  return true;
}

void Host::dropTypes(LoadedPlugin& plugin) {
  std::vector<MTypeId> ids;
  for (const auto& [name, type] : graph().types) {
    if (type->plugin == plugin.object.get()) ids.push_back(type->id);
  }
  for (const MTypeId& id : ids) graph().deregisterType(id);
}

bool Host::loadPlugin(const std::string& path, std::string* error) {
  auto plugin = std::make_unique<LoadedPlugin>();
  plugin->name = std::filesystem::path(path).stem().string();
  for (const auto& loaded : plugins_) {
    if (loaded->name == plugin->name) return fail(error, plugin->name + " is already loaded");
  }
  std::string reason;
  if (!plugin->library.open(path, &reason)) return fail(error, reason);
  const auto* version = static_cast<const char*>(plugin->library.symbol("MApiVersion"));
  if (!version) return fail(error, plugin->name + ": no MApiVersion");
  if (!plugin->library.symbol(kInitializePlugin.symbol) ||
      !plugin->library.symbol(kUninitializePlugin.symbol)) {
    return fail(error, plugin->name + ": no initializePlugin or uninitializePlugin");
  }
  plugin->apiVersion = version;
  plugin->object = std::make_shared<detail::Plugin>();
  plugin->object->name = plugin->name;
  plugin->object->path = path;
  if (!callEntry(*plugin, kInitializePlugin, error)) {
    detail::renderState().pluginGoing(plugin->object.get(), true);
    dropTypes(*plugin);
    return false;
  }
  plugins_.push_back(std::move(plugin));
  return true;
}

bool Host::unloadPlugin(const std::string& name, std::string* error, bool force) {
  auto found = std::find_if(plugins_.begin(), plugins_.end(),
                            [&](const auto& plugin) { return plugin->name == name; });
  if (found == plugins_.end()) return fail(error, name + " is not loaded");
  LoadedPlugin& plugin = **found;
  std::vector<Node*> users;
  for (const auto& node : graph().nodes) {
    if (node->type->plugin == plugin.object.get()) users.push_back(node.get());
  }
  if (!users.empty() && !force) {
    std::string names;
    for (size_t i = 0; i < users.size() && i < 3; ++i) names += (i ? ", " : "") + users[i]->name;
    if (users.size() > 3) names += ", ...";
    return fail(error, "plug-in \"" + name + "\" is still in use by " +
                           std::to_string(users.size()) + " node(s) (" + names +
                           "); delete them first, or unload with -force to keep them as unknown "
                           "nodes");
  }
  // Forced: each of the plug-in's types leaves an unknown twin behind, which
  // keeps the attributes (values stay readable and are saved back) but none of
  // the plug-in's functions.
  std::map<const NodeType*, std::shared_ptr<NodeType>> unknownTypes;
  for (Node* node : users) {
    std::shared_ptr<NodeType>& unknown = unknownTypes[node->type.get()];
    if (!unknown) {
      unknown = std::make_shared<NodeType>(*node->type);
      unknown->creator = nullptr;
      unknown->initialize = nullptr;
      unknown->plugin = nullptr;
      unknown->classification.clear();
      unknown->unknown = true;
      unknown->pluginName = plugin.name;
    }
    graph().makeUnknown(node, unknown);
  }
  // Overrides its creators made, of other plug-ins' nodes, run its code too.
  detail::renderState().pluginGoing(plugin.object.get(), false);
  if (!callEntry(plugin, kUninitializePlugin, error)) return false;
  detail::renderState().pluginGoing(plugin.object.get(), true);
  dropTypes(plugin);
  plugins_.erase(found);
  return true;
}

std::vector<std::string> Host::plugins() const {
  std::vector<std::string> names;
  for (const auto& plugin : plugins_) names.push_back(plugin->name);
  return names;
}

std::vector<std::string> Host::pluginNodeTypes(const std::string& plugin) const {
  std::vector<std::string> names;
  for (const auto& [name, type] : graph().types) {
    if (type->plugin && type->plugin->name == plugin) names.push_back(name);
  }
  return names;
}

std::string Host::pluginApiVersion(const std::string& name) const {
  for (const auto& plugin : plugins_) {
    if (plugin->name == name) return plugin->apiVersion;
  }
  return "";
}

void* Host::pluginSymbol(const std::string& name, const char* symbol) const {
  for (const auto& plugin : plugins_) {
    if (plugin->name == name) return plugin->library.symbol(symbol);
  }
  return nullptr;
}

std::pair<std::string, std::string> Host::pluginVendor(const std::string& name) const {
  for (const auto& plugin : plugins_) {
    if (plugin->name == name) return {plugin->object->vendor, plugin->object->version};
  }
  return {};
}

std::optional<NodeTypeInfo> Host::nodeType(const std::string& name) const {
  const detail::NodeType* type = graph().typeByName(name);
  if (!type) return std::nullopt;
  return NodeTypeInfo{type->name,   type->id,      type->classification,
                      type->vendor, type->version, type->plugin ? type->plugin->name : ""};
}

std::string Host::createNode(const std::string& type, const std::string& name,
                             const std::string& parent) {
  Node* parentNode = nullptr;
  if (!parent.empty() && !(parentNode = graph().nodeByName(parent))) return "";
  Node* node = graph().createNode(type, name, parentNode);
  return node ? node->name : "";
}

std::string Host::createUnknownNode(const std::string& type, const std::string& name,
                                    const std::string& parent, const std::string& plugin) {
  if (!graph().typeByName(type)) {
    auto unknown = std::make_shared<NodeType>();
    unknown->name = type;
    unknown->unknown = true;
    unknown->pluginName = plugin;
    graph().types[type] = unknown;
  }
  return createNode(type, name, parent);
}

NodeRecord* Host::record(const std::string& name) {
  Node* node = graph().nodeByName(name);
  return node ? &records_->nodes[node] : nullptr;
}

const NodeRecord* Host::findRecord(const std::string& name) const {
  Node* node = graph().nodeByName(name);
  auto found = node ? records_->nodes.find(node) : records_->nodes.end();
  return found == records_->nodes.end() ? nullptr : &found->second;
}

void Host::keepConnection(KeptConnection connection) {
  const std::string destination = connection.destinationNode;
  records_->connections.push_back(std::move(connection));
  historyChanged(destination);
}

void Host::historyChanged(const std::string& node) {
  for (const std::string& mesh : meshesFedBy(*this, node)) {
    if (Node* found = graph().nodeByName(mesh)) graph().meshChanged(*found);
  }
}

bool Host::dropKeptConnection(const KeptConnection& connection) {
  auto& kept = records_->connections;
  auto found = std::find_if(kept.begin(), kept.end(), [&](const KeptConnection& c) {
    return c.sourceNode == connection.sourceNode && c.sourcePlug == connection.sourcePlug &&
           c.destinationNode == connection.destinationNode &&
           c.destinationPlug == connection.destinationPlug;
  });
  if (found == kept.end()) return false;
  const std::string destination = found->destinationNode;
  kept.erase(found);
  historyChanged(destination);
  return true;
}

const std::vector<KeptConnection>& Host::keptConnections() const {
  return records_->connections;
}

bool Host::deleteNode(const std::string& name) {
  Node* node = graph().nodeByName(name);
  if (!node) return false;
  graph().deleteNode(node);
  return true;
}

std::vector<std::string> Host::listNodes(const std::string& type) const {
  std::vector<std::string> names;
  for (const auto& node : graph().nodes) {
    if (type.empty() || node->type->name == type) names.push_back(node->name);
  }
  return names;
}

MObject Host::node(const std::string& name) const {
  Node* node = graph().nodeByName(name);
  return node ? qv::maya::detail::wrap(node->shared_from_this()) : MObject();
}

std::string Host::typeOf(const std::string& name) const {
  Node* node = graph().nodeByName(name);
  return node ? node->type->name : "";
}

std::optional<UnknownType> Host::unknownTypeOf(const std::string& name) const {
  Node* node = graph().nodeByName(name);
  if (!node || !node->type->unknown) return std::nullopt;
  return UnknownType{node->type->pluginName, node->type->version};
}

std::string Host::parentOf(const std::string& name) const {
  Node* node = graph().nodeByName(name);
  return node && node->parent ? node->parent->name : "";
}

namespace {

// setAttr's -type for a numeric compound, or "" when it has none.
const char* compoundType(MFnNumericData::Type type) {
  switch (type) {
    case MFnNumericData::k2Short:
      return "short2";
    case MFnNumericData::k3Short:
      return "short3";
    case MFnNumericData::k2Long:
      return "long2";
    case MFnNumericData::k3Long:
      return "long3";
    case MFnNumericData::k2Float:
      return "float2";
    case MFnNumericData::k3Float:
      return "float3";
    case MFnNumericData::k2Double:
      return "double2";
    case MFnNumericData::k3Double:
      return "double3";
    case MFnNumericData::k4Double:
      return "double4";
    default:
      return "";
  }
}

void collectStates(const Node& node, const Attribute& attribute, bool storable,
                   std::vector<AttributeState>& states) {
  storable = storable && attribute.storable;
  if (attribute.hasElements()) {
    // Each element that exists, by index, whatever its value (no default
    // to match): that it exists is part of the scene.
    for (const Attribute* element : graph().elementsOf(node, attribute)) {
      const size_t first = states.size();
      collectStates(node, *element, storable, states);
      for (size_t i = first; i < states.size(); ++i) {
        const std::string index = "[" + std::to_string(element->logicalIndex) + "]";
        states[i].longName += index;
        states[i].shortName += index;
        states[i].defaultValue =
            states[i].value.empty() ? std::vector<double>{0.0} : std::vector<double>{};
      }
    }
    return;
  }
  const char* numericCompound = compoundType(attribute.numericType);
  if (attribute.kind == AttributeKind::kCompound && !*numericCompound) {
    for (const auto& child : attribute.children) collectStates(node, *child, storable, states);
    return;
  }
  AttributeState state;
  state.longName = attribute.longName;
  state.shortName = attribute.shortName;
  state.type = numericCompound;
  state.storable = storable;
  if (attribute.kind == AttributeKind::kTyped) {
    state.type = attribute.dataType == MFnData::kString ? "string" : "data";
    state.text = graph().text(node, attribute);
    state.defaultText = attribute.defaultText;
  } else if (attribute.kind == AttributeKind::kMatrix) {
    state.type = "matrix";
    const MMatrix& value = graph().matrix(node, attribute);
    for (int i = 0; i < 16; ++i) {
      state.value.push_back(value(i / 4, i % 4));
      state.defaultValue.push_back(attribute.defaultMatrix(i / 4, i % 4));
    }
  } else {
    std::vector<const Attribute*> leaves;
    detail::collectLeaves(attribute, leaves);
    for (const Attribute* leaf : leaves) {
      state.value.push_back(graph().number(node, *leaf));
      state.defaultValue.push_back(leaf->defaultNumber);
    }
  }
  states.push_back(std::move(state));
}

}  // namespace

std::vector<AttributeState> Host::attributes(const std::string& name) const {
  std::vector<AttributeState> states;
  if (Node* node = graph().nodeByName(name)) {
    for (const auto& attribute : node->type->attributes)
      collectStates(*node, *attribute, true, states);
  }
  return states;
}

namespace {

std::optional<PlugRef> resolve(const std::string& plug, std::string* error);

// "node.attr", or "node.attr[3]" for an element. The one instance's element
// of a per-instance array (worldMesh[0]) is named without its index, as Maya
// saves it.
std::string plugName(const PlugRef& plug) {
  std::string name = plug.node->name + "." + plug.attribute->shortName;
  const Attribute* array = plug.attribute->arrayOf;
  if (!array) return name;
  const bool instanced = plug.node->type->builtin == detail::BuiltinKind::kMesh &&
                         array->longName == "worldMesh" && plug.attribute->logicalIndex == 0;
  return instanced ? name : name + "[" + std::to_string(plug.attribute->logicalIndex) + "]";
}

}  // namespace

std::vector<std::pair<std::string, std::string>> Host::connections() const {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const detail::Connection& c : graph().connections) {
    pairs.emplace_back(plugName(c.source), plugName(c.destination));
  }
  return pairs;
}

std::optional<std::string> Host::sourceOf(const std::string& destination) const {
  auto to = plugRef(destination, false, false, nullptr);
  const detail::Connection* connection = to ? graph().incoming(*to) : nullptr;
  if (!connection) return std::nullopt;
  return plugName(connection->source);
}

std::optional<unsigned int> Host::numElements(const std::string& plug, std::string* error) const {
  auto ref = resolve(plug, error);
  if (!ref) return std::nullopt;
  if (!ref->attribute->hasElements()) {
    fail(error, plug + " is not an array of values");
    return std::nullopt;
  }
  return static_cast<unsigned int>(graph().elementsOf(*ref->node, *ref->attribute).size());
}

namespace {

// "node.attr" or "node.parent.child": the last part names the attribute.
std::optional<PlugRef> resolve(const std::string& plug, std::string* error) {
  const auto dot = plug.find('.');
  if (dot == std::string::npos) {
    fail(error, "not a plug: " + plug);
    return std::nullopt;
  }
  Node* node = graph().nodeByName(plug.substr(0, dot));
  if (!node) {
    fail(error, "no node: " + plug.substr(0, dot));
    return std::nullopt;
  }
  // An element: "attr[3]" after the last dot.
  std::string name = plug.substr(plug.rfind('.') + 1);
  std::optional<unsigned long long> index;
  if (const auto open = name.find('['); open != std::string::npos) {
    const std::string digits = name.substr(open + 1, name.size() - open - 2);
    if (name.back() != ']' || digits.empty() || digits.size() > 10 ||
        digits.find_first_not_of("0123456789") != std::string::npos ||
        std::stoull(digits) > 0xffffffffULL) {
      fail(error, "not an element index: " + plug);
      return std::nullopt;
    }
    index = std::stoull(digits);
    name.erase(open);
  }
  const Attribute* attribute = node->type->find(name);
  if (!attribute) {
    fail(error, "no attribute: " + plug);
    return std::nullopt;
  }
  if (index) {
    const Attribute* element = attribute->element(static_cast<unsigned int>(*index));
    if (!element) {
      fail(error, attribute->perInstance
                      ? plug + ": " + node->name + " has one instance here, element 0"
                      : "not an array of values: " + plug);
      return std::nullopt;
    }
    attribute = element;
  }
  return PlugRef{node, attribute};
}

bool result(MStatus status, const std::string& what, std::string* error) {
  return status.error() ? fail(error, what + ": " + status.errorString().asChar()) : true;
}

}  // namespace

bool Host::setAttr(const std::string& plug, const std::vector<double>& values, std::string* error) {
  auto ref = resolve(plug, error);
  if (!ref) return false;
  if (ref->attribute->kind == AttributeKind::kMatrix && values.size() == 16) {
    MMatrix matrix;
    for (int i = 0; i < 16; ++i) matrix(i / 4, i % 4) = values[static_cast<size_t>(i)];
    return setAttr(plug, matrix, error);
  }
  std::string problem;
  const MStatus status = graph().setNumbers(*ref->node, *ref->attribute, values, &problem);
  if (!problem.empty()) return fail(error, problem);
  return result(status, plug, error);
}

bool Host::setAttr(const std::string& plug, double value, std::string* error) {
  return setAttr(plug, std::vector<double>{value}, error);
}

bool Host::setAttr(const std::string& plug, const std::string& text, std::string* error) {
  auto ref = resolve(plug, error);
  return ref && result(graph().setText(*ref->node, *ref->attribute, text), plug, error);
}

bool Host::setAttr(const std::string& plug, const MMatrix& matrix, std::string* error) {
  auto ref = resolve(plug, error);
  return ref && result(graph().setMatrix(*ref->node, *ref->attribute, matrix), plug, error);
}

std::optional<std::vector<double>> Host::getAttr(const std::string& plug, std::string* error) {
  auto ref = resolve(plug, error);
  if (!ref) return std::nullopt;
  graph().evaluate(*ref->node, *ref->attribute);
  std::vector<double> values;
  if (ref->attribute->kind == AttributeKind::kMatrix) {
    const MMatrix& matrix = graph().matrix(*ref->node, *ref->attribute);
    for (int i = 0; i < 16; ++i) values.push_back(matrix(i / 4, i % 4));
    return values;
  }
  std::vector<const Attribute*> leaves;
  detail::collectLeaves(*ref->attribute, leaves);
  for (const Attribute* leaf : leaves) {
    if (leaf->kind != AttributeKind::kNumeric) {
      fail(error, "not numeric: " + plug);
      return std::nullopt;
    }
    values.push_back(graph().number(*ref->node, *leaf));
  }
  return values;
}

std::optional<std::string> Host::getStringAttr(const std::string& plug, std::string* error) {
  auto ref = resolve(plug, error);
  if (!ref) return std::nullopt;
  if (ref->attribute->kind != AttributeKind::kTyped) {
    fail(error, "not a string: " + plug);
    return std::nullopt;
  }
  graph().evaluate(*ref->node, *ref->attribute);
  return graph().text(*ref->node, *ref->attribute);
}

bool Host::isMPSafe(const std::string& node) const {
  const Node* found = graph().nodeByName(node);
  return found && found->user && qv::maya::detail::NodeAccess::mpSafe(*found->user);
}

bool Host::isDirty(const std::string& plug) const {
  auto ref = resolve(plug, nullptr);
  return ref && ref->node->dirty.count(ref->attribute->root()) > 0;
}

MStatus Host::compute(const std::string& plug) {
  auto ref = resolve(plug, nullptr);
  if (!ref || !ref->node->user) return MS::kInvalidParameter;
  auto* attribute = const_cast<Attribute*>(ref->attribute);
  MPlug target(qv::maya::detail::wrap(ref->node->shared_from_this()),
               qv::maya::detail::wrap(attribute->shared_from_this()));
  MDataBlock block = qv::maya::detail::BlockAccess::make(ref->node);
  const MStatus status = ref->node->user->compute(target, block);
  qv::maya::detail::storeBlock(*ref->node);
  return status;
}

std::optional<PlugRef> Host::plugRef(const std::string& plug, bool source, bool nextAvailable,
                                     std::string* error) const {
  auto ref = resolve(plug, error);
  if (!ref || !ref->attribute->hasElements()) return ref;
  // An array named without an index: as a source, Maya takes its element 0;
  // as a destination, the element after the last one there with -na.
  if (source) {
    ref->attribute = ref->attribute->element(0);
  } else if (nextAvailable) {
    const auto elements = graph().elementsOf(*ref->node, *ref->attribute);
    const unsigned int next = elements.empty() ? 0 : elements.back()->logicalIndex + 1;
    if (!elements.empty() && next == 0) {
      fail(error, plug + " has no element index left");
      return std::nullopt;
    }
    ref->attribute = ref->attribute->element(next);
  } else {
    fail(error, plug + " is an array: name an element (" + plug + "[0]) or use -na");
    return std::nullopt;
  }
  return ref;
}

bool Host::connectAttr(const std::string& source, const std::string& destination,
                       std::string* error) {
  return connectAttr(source, destination, false, error);
}

bool Host::connectAttr(const std::string& source, const std::string& destination,
                       bool nextAvailable, std::string* error) {
  auto from = plugRef(source, true, false, error);
  auto to = from ? plugRef(destination, false, nextAvailable, error) : std::nullopt;
  return to && result(graph().connect(*from, *to), source + " -> " + destination, error);
}

bool Host::disconnectAttr(const std::string& source, const std::string& destination,
                          std::string* error) {
  auto from = plugRef(source, true, false, error);
  auto to = from ? plugRef(destination, false, false, error) : std::nullopt;
  return to && result(graph().disconnect(*from, *to), source + " -> " + destination, error);
}

bool Host::isConnected(const std::string& source, const std::string& destination) const {
  auto from = plugRef(source, true, false, nullptr);
  auto to = from ? plugRef(destination, false, false, nullptr) : std::nullopt;
  if (!to) return false;
  return std::any_of(
      graph().connections.begin(), graph().connections.end(),
      [&](const detail::Connection& c) { return c.source == *from && c.destination == *to; });
}

void Host::failCall(const std::string& function, int nth, MS::MStatusCode code) {
  graph().injections.push_back({function, nth, code});
}

void Host::clearFailures() {
  graph().injections.clear();
}

void Host::setCommandRunner(CommandRunner runner) {
  graph().commandRunner = std::move(runner);
}

void Host::setTextureSearchPath(std::vector<std::string> folders) {
  graph().textureSearchPath = std::move(folders);
}

}  // namespace qv::maya
