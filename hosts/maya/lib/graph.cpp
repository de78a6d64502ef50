#include "graph.h"

#include "numeric_value.h"

#include <maya/MDataBlock.h>
#include <maya/MGlobal.h>
#include <maya/MPlug.h>
#include <maya/MPlugArray.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qv::maya::detail {

MFn::Type Attribute::apiType() const {
  switch (kind) {
    case AttributeKind::kNumeric:
      return MFn::kNumericAttribute;
    case AttributeKind::kCompound:
      if (lightData) return MFn::kLightDataAttribute;
      // Colours and other numeric compounds are numeric attributes in Maya.
      return numericType == MFnNumericData::kInvalid ? MFn::kCompoundAttribute
                                                     : MFn::kNumericAttribute;
    case AttributeKind::kTyped:
      return MFn::kTypedAttribute;
    case AttributeKind::kMatrix:
      return MFn::kMatrixAttribute;
  }
  return MFn::kAttribute;
}

bool Attribute::hasFn(MFn::Type type) const {
  return type == MFn::kAttribute || Object::hasFn(type) ||
         (type == MFn::kCompoundAttribute && kind == AttributeKind::kCompound);
}

const Attribute* Attribute::root() const {
  const Attribute* attribute = this;
  while (attribute->parent || attribute->arrayOf) {
    attribute = attribute->parent ? attribute->parent : attribute->arrayOf;
  }
  return attribute;
}

const Attribute* Attribute::element(unsigned int index) const {
  if (!hasElements() || (perInstance && index != 0)) return nullptr;
  auto& made = elements_[index];
  if (!made) {
    made = std::make_shared<Attribute>(*this);
    made->elements_.clear();
    made->array = false;
    made->arrayOf = this;
    made->logicalIndex = index;
  }
  return made.get();
}

const Attribute* Attribute::find(const std::string& name) const {
  if (longName == name || shortName == name) return this;
  for (const auto& child : children) {
    if (const Attribute* found = child->find(name)) return found;
  }
  return nullptr;
}

int Attribute::indexInParent() const {
  if (!parent) return -1;
  for (size_t i = 0; i < parent->children.size(); ++i) {
    if (parent->children[i].get() == this) return static_cast<int>(i);
  }
  return -1;
}

const Attribute* NodeType::find(const std::string& name) const {
  for (const auto& attribute : attributes) {
    if (const Attribute* found = attribute->find(name)) return found;
  }
  return nullptr;
}

MFn::Type Node::apiType() const {
  switch (type->builtin) {
    case BuiltinKind::kTransform:
      return MFn::kTransform;
    case BuiltinKind::kCamera:
      return MFn::kCamera;
    case BuiltinKind::kMesh:
      return MFn::kMesh;
    case BuiltinKind::kShadingEngine:
      return MFn::kShadingEngine;
    case BuiltinKind::kLambert:
      return MFn::kLambert;
    case BuiltinKind::kGroupId:
      return MFn::kGroupId;
    case BuiltinKind::kNone:
      break;
  }
  if (type->unknown) return parent || !children.empty() ? MFn::kUnknownDag : MFn::kUnknown;
  return user ? MFn::kPluginDependNode : MFn::kDependencyNode;
}

bool Node::hasFn(MFn::Type fn) const {
  if (Object::hasFn(fn) || fn == MFn::kNamedObject || fn == MFn::kDependencyNode) return true;
  if (fn == MFn::kDagNode) return type->isDag() || apiType() == MFn::kUnknownDag;
  if (fn == MFn::kSet) return type->builtin == BuiltinKind::kShadingEngine;
  return fn == MFn::kShape &&
         (type->builtin == BuiltinKind::kCamera || type->builtin == BuiltinKind::kMesh);
}

void collectLeaves(const Attribute& attribute, std::vector<const Attribute*>& leaves) {
  if (attribute.isLeaf()) {
    leaves.push_back(&attribute);
    return;
  }
  for (const auto& child : attribute.children) collectLeaves(*child, leaves);
}

Attribute* attributeOf(const MObject& object) {
  return dynamic_cast<Attribute*>(get(object));
}
Node* nodeOf(const MObject& object) {
  return dynamic_cast<Node*>(get(object));
}

namespace {

std::shared_ptr<Attribute> numeric(const char* longName, const char* shortName,
                                   MFnNumericData::Type type, double value) {
  auto attribute = std::make_shared<Attribute>();
  attribute->longName = longName;
  attribute->shortName = shortName;
  attribute->numericType = type;
  attribute->defaultNumber = value;
  attribute->keyable = true;
  return attribute;
}

std::shared_ptr<Attribute> vector3(const char* longName, const char* shortName, double value) {
  auto attribute = std::make_shared<Attribute>();
  attribute->longName = longName;
  attribute->shortName = shortName;
  attribute->kind = AttributeKind::kCompound;
  attribute->numericType = MFnNumericData::k3Double;
  for (const char* axis : {"X", "Y", "Z"}) {
    std::string lower(1, static_cast<char>(axis[0] - 'A' + 'a'));
    auto child = numeric("", "", MFnNumericData::kDouble, value);
    child->longName = std::string(longName) + axis;
    child->shortName = std::string(shortName) + lower;
    child->parent = attribute.get();
    attribute->children.push_back(child);
  }
  return attribute;
}

std::shared_ptr<Attribute> color(const char* longName, const char* shortName, double value) {
  auto attribute = vector3(longName, shortName, value);
  attribute->numericType = MFnNumericData::k3Float;
  attribute->usedAsColor = true;
  const char* const ends[] = {"R", "G", "B"};
  for (size_t i = 0; i < 3; ++i) {
    Attribute& child = *attribute->children[i];
    child.numericType = MFnNumericData::kFloat;
    child.longName = std::string(longName) + ends[i];
    child.shortName = std::string(shortName) + static_cast<char>(ends[i][0] - 'A' + 'a');
  }
  return attribute;
}

std::shared_ptr<Attribute> fileName(const char* longName, const char* shortName) {
  auto attribute = std::make_shared<Attribute>();
  attribute->longName = longName;
  attribute->shortName = shortName;
  attribute->kind = AttributeKind::kTyped;
  attribute->dataType = MFnData::kString;
  attribute->usedAsFilename = true;
  return attribute;
}

std::shared_ptr<Attribute> outputMatrix(const char* longName, const char* shortName) {
  auto attribute = std::make_shared<Attribute>();
  attribute->longName = longName;
  attribute->shortName = shortName;
  attribute->kind = AttributeKind::kMatrix;
  attribute->storable = false;
  attribute->writable = false;
  return attribute;
}

std::shared_ptr<NodeType> dependencyType(const char* name, unsigned int id, BuiltinKind kind) {
  auto type = std::make_shared<NodeType>();
  type->name = name;
  type->id = MTypeId(id);
  type->builtin = kind;
  type->vendor = "Autodesk";
  if (kind == BuiltinKind::kShadingEngine) {
    // What its members show: the material's outColor.
    type->attributes = {color("surfaceShader", "ss", 0.0)};
  } else if (kind == BuiltinKind::kLambert) {
    auto colour = color("color", "c", 0.5);
    auto transparency = color("transparency", "it", 0.0);
    auto outColor = color("outColor", "oc", 0.0);
    auto outTransparency = color("outTransparency", "ot", 0.0);
    for (const auto& output : {outColor, outTransparency}) {
      output->storable = false;
      output->writable = false;
    }
    type->attributes = {colour, transparency, numeric("diffuse", "dc", MFnNumericData::kFloat, 0.8),
                        outColor, outTransparency};
    type->affects[colour.get()] = {outColor.get()};
    type->affects[transparency.get()] = {outTransparency.get()};
  } else if (kind == BuiltinKind::kGroupId) {
    type->attributes = {numeric("groupId", "id", MFnNumericData::kInt, 0.0)};
  }
  for (auto& attribute : type->attributes) attribute->added = true;
  return type;
}

std::shared_ptr<NodeType> builtinType(const char* name, unsigned int id, BuiltinKind kind) {
  auto type = std::make_shared<NodeType>();
  type->name = name;
  type->id = MTypeId(id);
  type->builtin = kind;
  type->vendor = "Autodesk";
  auto worldMatrix = outputMatrix("worldMatrix", "wm");
  // What a projection's placementMatrix is connected from: world to the node.
  auto worldInverse = outputMatrix("worldInverseMatrix", "wim");
  std::vector<std::shared_ptr<Attribute>> inputs;
  if (kind == BuiltinKind::kTransform) {
    // Maya keys the channels, not the pivots, the rotate order or inheritance.
    const auto unkeyed = [](std::shared_ptr<Attribute> attribute) {
      attribute->keyable = false;
      for (const auto& child : attribute->children) child->keyable = false;
      return attribute;
    };
    auto rotateOrder = unkeyed(numeric("rotateOrder", "ro", MFnNumericData::kShort, 0.0));
    // xyz, yzx, zxy, xzy, yxz, zyx: Maya's enum has no other value.
    rotateOrder->hasMin = rotateOrder->hasMax = true;
    rotateOrder->max = 5.0;
    auto shear = vector3("shear", "sh", 0.0);
    const char* const planes[][2] = {{"shearXY", "shxy"}, {"shearXZ", "shxz"}, {"shearYZ", "shyz"}};
    for (size_t i = 0; i < 3; ++i) {
      shear->children[i]->longName = planes[i][0];
      shear->children[i]->shortName = planes[i][1];
    }
    inputs = {vector3("translate", "t", 0.0),
              vector3("rotate", "r", 0.0),
              rotateOrder,
              vector3("scale", "s", 1.0),
              shear,
              unkeyed(vector3("rotatePivot", "rp", 0.0)),
              unkeyed(vector3("rotatePivotTranslate", "rpt", 0.0)),
              unkeyed(vector3("scalePivot", "sp", 0.0)),
              unkeyed(vector3("scalePivotTranslate", "spt", 0.0)),
              unkeyed(vector3("rotateAxis", "ra", 0.0))};
    auto local = outputMatrix("matrix", "m");
    // Hiding a transform leaves its matrices as they are; turning off
    // inheritance changes where it is in the world, not its own matrix.
    auto inherits = unkeyed(numeric("inheritsTransform", "it", MFnNumericData::kBoolean, 1.0));
    type->attributes = {numeric("visibility", "v", MFnNumericData::kBoolean, 1.0)};
    type->attributes.insert(type->attributes.end(), inputs.begin(), inputs.end());
    type->attributes.push_back(inherits);
    type->attributes.push_back(local);
    for (const auto& input : inputs) {
      type->affects[input.get()] = {local.get(), worldMatrix.get(), worldInverse.get()};
    }
    type->affects[inherits.get()] = {worldMatrix.get(), worldInverse.get()};
  } else if (kind == BuiltinKind::kCamera) {
    // The film back is one double2 in Maya's files (setAttr ".cap" -type
    // "double2" w h), its halves also reachable as hfa and vfa.
    auto aperture = std::make_shared<Attribute>();
    aperture->longName = "cameraAperture";
    aperture->shortName = "cap";
    aperture->kind = AttributeKind::kCompound;
    aperture->numericType = MFnNumericData::k2Double;
    for (auto child : {numeric("horizontalFilmAperture", "hfa", MFnNumericData::kDouble, 1.41732),
                       numeric("verticalFilmAperture", "vfa", MFnNumericData::kDouble, 0.94488)}) {
      child->parent = aperture.get();
      aperture->children.push_back(child);
    }
    type->attributes = {aperture,
                        numeric("focalLength", "fl", MFnNumericData::kDouble, 35.0),
                        numeric("filmFit", "ff", MFnNumericData::kShort, 1.0),
                        numeric("nearClipPlane", "ncp", MFnNumericData::kDouble, 0.1),
                        numeric("farClipPlane", "fcp", MFnNumericData::kDouble, 10000.0),
                        numeric("orthographic", "o", MFnNumericData::kBoolean, 0.0),
                        numeric("orthographicWidth", "ow", MFnNumericData::kDouble, 30.0),
                        numeric("centerOfInterest", "coi", MFnNumericData::kDouble, 5.0)};
  } else if (kind == BuiltinKind::kMesh) {
    // Stand-in extensions: a real .ma stores the mesh's data inline and
    // gives it a material through a shading engine. Here the triangles come
    // from an OBJ file, and what the viewport shows on the surface is the
    // colour connected into surfaceColor (its own value when unconnected).
    auto objFile = fileName("objFile", "obj");
    // The shape's polygons as Maya hands them on: outMesh in object space,
    // worldMesh one element per instance (one here) with the world matrix.
    auto meshOutput = [](const char* longName, const char* shortName) {
      auto attribute = std::make_shared<Attribute>();
      attribute->longName = longName;
      attribute->shortName = shortName;
      attribute->kind = AttributeKind::kTyped;
      attribute->dataType = MFnData::kMesh;
      attribute->storable = false;
      attribute->writable = false;
      return attribute;
    };
    auto outMesh = meshOutput("outMesh", "o");
    auto worldMesh = meshOutput("worldMesh", "w");
    worldMesh->array = true;
    worldMesh->perInstance = true;
    type->attributes = {objFile, color("surfaceColor", "sc", 0.5), outMesh, worldMesh};
    type->affects[objFile.get()] = {outMesh.get(), worldMesh.get()};
  }
  type->attributes.push_back(worldMatrix);
  type->attributes.push_back(worldInverse);
  for (auto& attribute : type->attributes) attribute->added = true;
  return type;
}

// Maya's transformation matrix, row vectors:
//   SP^-1 * S * SH * SP * ST * RP^-1 * RA * R * RP * RT * T
// with RA = AX * AY * AZ and R in the node's rotate order (xyz: x first).
// Factors that are the identity are left out, so that a transform with only
// scale, rotate and translate gives to the bit what it always has.
MMatrix localMatrix(const Graph& graph, const Node& node) {
  MMatrix result;
  if (node.type->builtin != BuiltinKind::kTransform) return result;
  auto component = [&](const char* name) { return graph.number(node, *node.type->find(name)); };
  // The offset by the vector attribute (negated for an inverse), and
  // whether it moves anything at all.
  auto offset = [&](const char* name, bool inverse, MMatrix* m) {
    const Attribute& vector = *node.type->find(name);
    bool moves = false;
    for (int c = 0; c < 3; ++c) {
      const double value = graph.number(node, *vector.children[static_cast<size_t>(c)]);
      (*m)(3, c) = inverse ? -value : value;
      moves = moves || value != 0.0;
    }
    return moves;
  };
  MMatrix scale;
  scale(0, 0) = component("sx");
  scale(1, 1) = component("sy");
  scale(2, 2) = component("sz");
  const double toRadians = std::acos(-1.0) / 180.0;
  auto rotation = [&](int a, int b, double degrees) {
    MMatrix r;
    const double c = std::cos(degrees * toRadians);
    const double s = std::sin(degrees * toRadians);
    r(a, a) = c;
    r(a, b) = s;
    r(b, a) = -s;
    r(b, b) = c;
    return r;
  };
  // The plane each axis turns: x turns y towards z, y turns z towards x.
  auto axisRotation = [&](char axis, const char* attribute) {
    const std::string name = std::string(attribute) + axis;
    const double degrees = component(name.c_str());
    return axis == 'x'   ? rotation(1, 2, degrees)
           : axis == 'y' ? rotation(2, 0, degrees)
                         : rotation(0, 1, degrees);
  };
  MMatrix m;
  MMatrix step = scale;
  if (offset("sp", true, &m)) step = m * step;
  const double shearXY = component("shxy"), shearXZ = component("shxz"),
               shearYZ = component("shyz");
  if (shearXY != 0.0 || shearXZ != 0.0 || shearYZ != 0.0) {
    MMatrix shear;
    shear(1, 0) = shearXY;
    shear(2, 0) = shearXZ;
    shear(2, 1) = shearYZ;
    step = step * shear;
  }
  if (offset("sp", false, &m)) step = step * m;
  if (offset("spt", false, &m)) step = step * m;
  if (offset("rp", true, &m)) step = step * m;
  if (component("rax") != 0.0 || component("ray") != 0.0 || component("raz") != 0.0) {
    for (char axis : {'x', 'y', 'z'}) step = step * axisRotation(axis, "ra");
  }
  static const char* const orders[] = {"xyz", "yzx", "zxy", "xzy", "yxz", "zyx"};
  // A connection can bring in what setAttr would have clamped.
  const double order = component("ro");
  const char* axes = orders[order >= 1.0 && order <= 5.0 ? static_cast<int>(order) : 0];
  for (const char* axis = axes; *axis; ++axis) step = step * axisRotation(*axis, "r");
  if (offset("rp", false, &m)) step = step * m;
  if (offset("rpt", false, &m)) step = step * m;
  MMatrix translate;
  offset("t", false, &translate);
  return step * translate;
}

// Faces of three corners or more, their counts adding up to the vertex
// list, every vertex one of the points: what MFnMesh reads without checking.
bool wellFormed(const MeshPolygons& mesh) {
  size_t corners = 0;
  for (int count : mesh.counts) {
    if (count < 3) return false;
    corners += static_cast<size_t>(count);
  }
  if (corners != mesh.vertices.size()) return false;
  for (int vertex : mesh.vertices) {
    if (vertex < 0 || static_cast<size_t>(vertex) >= mesh.points.size()) return false;
  }
  return true;
}

MObject objectOf(const Object& object) {
  return wrap(const_cast<Object&>(object).shared_from_this());
}

}  // namespace

Graph& graph() {
  static Graph instance;
  return instance;
}

void Graph::reset() {
  connections.clear();
  while (!nodes.empty()) deleteNode(nodes.back().get());
  types.clear();
  injections.clear();
  textureSearchPath.clear();
  initializing = nullptr;
  computing_.clear();
  types["transform"] = builtinType("transform", 0x5846524d, BuiltinKind::kTransform);
  types["camera"] = builtinType("camera", 0x4443414d, BuiltinKind::kCamera);
  types["mesh"] = builtinType("mesh", 0x444d5348, BuiltinKind::kMesh);
  types["shadingEngine"] = dependencyType("shadingEngine", 0x5348454e, BuiltinKind::kShadingEngine);
  types["lambert"] = dependencyType("lambert", 0x524c414d, BuiltinKind::kLambert);
  types["groupId"] = dependencyType("groupId", 0x47504944, BuiltinKind::kGroupId);
}

NodeType* Graph::typeByName(const std::string& name) const {
  auto found = types.find(name);
  return found == types.end() ? nullptr : found->second.get();
}

NodeType* Graph::typeById(const MTypeId& id) const {
  for (const auto& [name, type] : types) {
    if (!type->unknown && type->id == id) return type.get();
  }
  return nullptr;
}

Node* Graph::nodeByName(const std::string& name) const {
  for (const auto& node : nodes) {
    if (node->name == name) return node.get();
  }
  return nullptr;
}

MStatus Graph::registerType(std::shared_ptr<NodeType> type) {
  // A scene may have kept nodes of the type before its plug-in came: they
  // stay unknown, and new nodes are the plug-in's.
  const NodeType* same = typeByName(type->name);
  if (type->name.empty() || (same && !same->unknown) || typeById(type->id) || !type->creator) {
    return MS::kFailure;
  }
  if (type->initialize) {
    initializing = type.get();
    const MStatus status = type->initialize();
    initializing = nullptr;
    if (status.error()) return status;
  }
  types[type->name] = std::move(type);
  return MS::kSuccess;
}

MStatus Graph::deregisterType(const MTypeId& id) {
  NodeType* type = typeById(id);
  if (!type || type->builtin != BuiltinKind::kNone) return MS::kFailure;
  // The instances run code of the library that is about to go.
  std::vector<Node*> doomed;
  for (const auto& node : nodes) {
    if (node->type.get() == type) doomed.push_back(node.get());
  }
  for (Node* node : doomed) deleteNode(node);
  types.erase(type->name);
  return MS::kSuccess;
}

Node* Graph::createNode(const std::string& typeName, const std::string& name, Node* parent) {
  auto type = types.find(typeName);
  if (type == types.end()) return nullptr;
  if (parent && !parent->type->takesChild(*type->second)) {
    return nullptr;
  }
  std::string unique = name;
  if (unique.empty() || nodeByName(unique)) {
    std::string stem = name.empty() ? typeName : name;
    while (!stem.empty() && std::isdigit(static_cast<unsigned char>(stem.back()))) stem.pop_back();
    for (int i = 1; nodeByName(unique = stem + std::to_string(i)); ++i) {
    }
  }
  auto node = std::make_shared<Node>();
  node->name = unique;
  node->type = type->second;
  if (node->type->creator) {
    node->user.reset(static_cast<MPxNode*>(node->type->creator()));
    if (!node->user) return nullptr;
    NodeAccess::bind(*node->user, node.get());
  }
  // Outputs start unevaluated, so their first read computes them.
  for (const auto& [input, outputs] : node->type->affects) {
    for (const Attribute* output : outputs) node->dirty.insert(output->root());
  }
  if (node->type->builtin == BuiltinKind::kMesh) {
    node->elements[node->type->find("worldMesh")].insert(0);
  }
  if (node->type->isDag()) {
    for (const auto& attribute : node->type->attributes) {
      if (attribute->longName == "worldMatrix" || attribute->longName == "worldInverseMatrix") {
        node->dirty.insert(attribute.get());
      }
    }
  }
  if (parent) {
    node->parent = parent;
    parent->children.push_back(node.get());
  }
  nodes.push_back(node);
  if (node->user) node->user->postConstructor();
  return node.get();
}

void Graph::deleteNode(Node* node) {
  while (!node->children.empty()) deleteNode(node->children.back());
  node->deleting = true;
  for (NodeObserver* observer : std::vector<NodeObserver*>(nodeObservers)) {
    observer->nodeGoing(*node);
  }
  // What a node fed keeps the last value it had, as in Maya.
  for (const Connection& connection : std::vector<Connection>(connections)) {
    if (connection.source.node == node || connection.destination.node == node) {
      disconnect(connection.source, connection.destination);
    }
  }
  if (node->parent) {
    auto& siblings = node->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), node), siblings.end());
    node->parent = nullptr;
  }
  node->alive = false;
  node->user.reset();
  auto self = std::find_if(nodes.begin(), nodes.end(),
                           [&](const std::shared_ptr<Node>& n) { return n.get() == node; });
  if (self != nodes.end()) nodes.erase(self);
}

void Graph::makeUnknown(Node* node, std::shared_ptr<NodeType> unknown) {
  for (NodeObserver* observer : std::vector<NodeObserver*>(nodeObservers)) {
    observer->nodeGoing(*node);
  }
  node->user.reset();
  node->type = std::move(unknown);
}

namespace {

bool related(const Attribute* a, const Attribute* b) {
  for (const Attribute* p = a; p; p = p->parent) {
    if (p == b) return true;
  }
  for (const Attribute* p = b; p; p = p->parent) {
    if (p == a) return true;
  }
  return false;
}

bool sameShape(const Attribute& a, const Attribute& b) {
  if (a.children.size() != b.children.size()) return false;
  if (a.isLeaf()) {
    return a.kind == b.kind && (a.kind != AttributeKind::kTyped || a.dataType == b.dataType);
  }
  for (size_t i = 0; i < a.children.size(); ++i) {
    if (!sameShape(*a.children[i], *b.children[i])) return false;
  }
  return true;
}

}  // namespace

MStatus Graph::connect(const PlugRef& source, const PlugRef& destination) {
  if (!source.node || !destination.node || !source.attribute || !destination.attribute ||
      !source.node->alive || !destination.node->alive) {
    return MS::kInvalidParameter;
  }
  // An array of leaves connects by its elements.
  if (!source.attribute->readable || !destination.attribute->writable ||
      !sameShape(*source.attribute, *destination.attribute) || source.attribute->hasElements() ||
      destination.attribute->hasElements()) {
    return MS::kInvalidParameter;
  }
  for (const Connection& connection : connections) {
    if (connection.destination.node == destination.node &&
        related(connection.destination.attribute, destination.attribute)) {
      return MS::kFailure;
    }
  }
  connections.push_back({source, destination});
  addElement(*source.node, *source.attribute);
  addElement(*destination.node, *destination.attribute);
  const Attribute* root = destination.attribute->root();
  if (destination.node->dirty.count(root)) {
    propagate(*destination.node, *root);
  } else {
    markDirty(*destination.node, *root);
  }
  return MS::kSuccess;
}

MStatus Graph::disconnect(const PlugRef& source, const PlugRef& destination) {
  auto found = std::find_if(connections.begin(), connections.end(), [&](const Connection& c) {
    return c.source == source && c.destination == destination;
  });
  if (found == connections.end()) return MS::kFailure;
  evaluate(*destination.node, *destination.attribute);
  connections.erase(found);
  const Attribute* root = destination.attribute->root();
  destination.node->dirty.erase(root);
  propagate(*destination.node, *root);
  return MS::kSuccess;
}

const Connection* Graph::incoming(const PlugRef& destination) const {
  for (const Connection& connection : connections) {
    if (connection.destination == destination) return &connection;
  }
  return nullptr;
}

void Graph::evaluate(Node& node, const Attribute& attribute) {
  const Attribute* root = attribute.root();
  if (!node.dirty.count(root) || computing_.count({&node, root})) return;
  // Connections may run in a cycle (translateX into translateY of the same
  // node, a into b and b into a): as in Maya, a value on a cycle is read as
  // it stands when the evaluation comes round to it again.
  computing_.insert({&node, root});

  // A leaf's source is its own connection's, or the matching descendant of
  // the source of the nearest connected ancestor.
  bool connected = false;
  std::vector<const Attribute*> leaves;
  if (root->hasElements()) {
    leaves = elementsOf(node, *root);
  } else {
    collectLeaves(*root, leaves);
  }
  for (const Attribute* leaf : leaves) {
    std::vector<int> path;
    const Attribute* at = leaf;
    const Connection* connection = nullptr;
    for (; at; at = at->parent) {
      if ((connection = incoming({&node, at}))) break;
      path.push_back(at->indexInParent());
    }
    if (!connection) continue;
    connected = true;
    const Attribute* source = connection->source.attribute;
    for (auto index = path.rbegin(); index != path.rend(); ++index) {
      source = source->children[static_cast<size_t>(*index)].get();
    }
    Node& from = *connection->source.node;
    evaluate(from, *source);
    if (leaf->kind == AttributeKind::kTyped) {
      node.texts[leaf] = text(from, *source);
      node.data[leaf] = data(from, *source);
    } else if (leaf->kind == AttributeKind::kMatrix) {
      node.matrices[leaf] = matrix(from, *source);
    } else {
      // A connection may join attributes of different numeric types.
      node.numbers[leaf] = storedValue(leaf->numericType, number(from, *source));
    }
  }
  if (connected) {
    node.dirty.erase(root);
    computing_.erase({&node, root});
    return;
  }

  if (node.user) {
    MPlug plug(objectOf(node), objectOf(attribute));
    MDataBlock block = BlockAccess::make(&node);
    const MStatus status = node.user->compute(plug, block);
    // Results written through references into the block, with or without
    // a setClean after them.
    storeBlock(node);
    // Maya takes a plug that compute declines as clean, keeping its value.
    if (status.error()) node.dirty.erase(root);
  } else {
    computeBuiltin(node, *root);
    node.dirty.erase(root);
  }
  computing_.erase({&node, root});
}

void Graph::computeBuiltin(Node& node, const Attribute& root) {
  if (node.type->builtin == BuiltinKind::kLambert && !root.writable) {
    // Unlit, as the preview draws a surface: the colour the material has.
    const Attribute* input =
        node.type->find(root.longName == "outColor" ? "color" : "transparency");
    evaluate(node, *input);
    for (size_t i = 0; i < root.children.size(); ++i) {
      node.numbers[root.children[i].get()] = number(node, *input->children[i]);
    }
    return;
  }
  if (node.type->builtin == BuiltinKind::kMesh && root.dataType == MFnData::kMesh) {
    computeMesh(node, root);
    return;
  }
  if (root.kind != AttributeKind::kMatrix) return;
  MMatrix local = localMatrix(*this, node);
  if (root.longName == "matrix") {
    node.matrices[&root] = local;
    return;
  }
  if (root.longName == "worldInverseMatrix") {
    const Attribute* world = node.type->find("worldMatrix");
    evaluate(node, *world);
    node.matrices[&root] = matrix(node, *world).inverse();
    return;
  }
  // A transform that does not inherit sits in the world as its own matrix
  // places it, whatever is above it; an unknown parent (a joint, say)
  // places nothing, its matrix not being known here.
  const Attribute* inherits = node.type->find("inheritsTransform");
  const Attribute* parentWorld = node.parent ? node.parent->type->find("worldMatrix") : nullptr;
  if (parentWorld && (!inherits || number(node, *inherits) != 0.0)) {
    evaluate(*node.parent, *parentWorld);
    local = local * matrix(*node.parent, *parentWorld);
  }
  node.matrices[&root] = local;
}

void Graph::valueChanged(Node& node, const Attribute& attribute) {
  propagate(node, *attribute.root());
}

void Graph::markDirty(Node& node, const Attribute& root) {
  if (!node.dirty.insert(&root).second) return;
  propagate(node, root);
}

void Graph::propagate(Node& node, const Attribute& root) {
  std::vector<PlugRef> targets;
  auto affected = node.type->affects.find(&root);
  if (affected != node.type->affects.end()) {
    for (const Attribute* output : affected->second) targets.push_back({&node, output});
  }
  if (node.user) {
    MPlugArray extra;
    node.user->setDependentsDirty(MPlug(objectOf(node), objectOf(root)), extra);
    for (unsigned int i = 0; i < extra.length(); ++i) {
      Node* other = nodeOf(extra[i].node());
      const Attribute* attribute = attributeOf(extra[i].attribute());
      if (other && attribute) targets.push_back({other, attribute});
    }
  }
  for (const Connection& connection : connections) {
    if (connection.source.node == &node && connection.source.attribute->root() == &root) {
      targets.push_back(connection.destination);
    }
  }
  if (node.type->isDag() && root.longName == "worldMatrix") {
    targets.push_back({&node, node.type->find("worldInverseMatrix")});
    // worldMesh's data carries the matrix.
    if (const Attribute* worldMesh = node.type->find("worldMesh"))
      targets.push_back({&node, worldMesh});
    for (Node* child : node.children) {
      if (const Attribute* world = child->type->find("worldMatrix"))
        targets.push_back({child, world});
    }
  }
  for (const PlugRef& target : targets) markDirty(*target.node, *target.attribute->root());
}

double Graph::number(const Node& node, const Attribute& leaf) const {
  auto found = node.numbers.find(&leaf);
  return found == node.numbers.end() ? leaf.defaultNumber : found->second;
}

const std::string& Graph::text(const Node& node, const Attribute& attribute) const {
  auto found = node.texts.find(&attribute);
  return found == node.texts.end() ? attribute.defaultText : found->second;
}

const MMatrix& Graph::matrix(const Node& node, const Attribute& attribute) const {
  auto found = node.matrices.find(&attribute);
  return found == node.matrices.end() ? attribute.defaultMatrix : found->second;
}

std::shared_ptr<Object> Graph::data(const Node& node, const Attribute& attribute) const {
  auto found = node.data.find(&attribute);
  return found == node.data.end() ? nullptr : found->second;
}

std::vector<const Attribute*> Graph::elementsOf(const Node& node, const Attribute& array) const {
  std::vector<const Attribute*> elements;
  auto found = node.elements.find(&array);
  if (!array.hasElements() || found == node.elements.end()) return elements;
  for (unsigned int index : found->second) elements.push_back(array.element(index));
  return elements;
}

bool Graph::addElement(Node& node, const Attribute& element) {
  if (!element.arrayOf) return false;
  node.elements[element.arrayOf].insert(element.logicalIndex);
  return true;
}

void Graph::meshChanged(Node& mesh) {
  if (mesh.type->builtin != BuiltinKind::kMesh) return;
  for (const char* output : {"outMesh", "worldMesh"}) {
    if (const Attribute* attribute = mesh.type->find(output)) markDirty(mesh, *attribute);
  }
}

void Graph::computeMesh(Node& node, const Attribute& root) {
  auto mesh = std::make_shared<MeshData>();
  std::string error;
  bool read = !meshReader || meshReader(node, &mesh->polygons, &error);
  if (read && !wellFormed(mesh->polygons)) {
    read = false;
    error = "its faces do not add up to its vertex list";
  }
  if (!read) {
    // Maya's data handle of a mesh it cannot build holds no mesh at all.
    MGlobal::displayWarning(
        MString((node.name + "." + root.longName + ": no polygons: " + error).c_str()));
    mesh.reset();
  }
  if (!root.hasElements()) {
    node.data[&root] = mesh;
    return;
  }
  if (mesh) {
    const Attribute* world = node.type->find("worldMatrix");
    evaluate(node, *world);
    mesh->world = matrix(node, *world);
  }
  node.data[root.element(0)] = mesh;
}

bool Graph::injected(const char* function, MStatus* status) {
  for (auto it = injections.begin(); it != injections.end(); ++it) {
    if (it->function != function || --it->remaining > 0) continue;
    const MStatus failure(it->code);
    injections.erase(it);
    if (status) *status = failure;
    return true;
  }
  return false;
}

}  // namespace qv::maya::detail

namespace qv::maya::detail {

namespace {

bool hasIncoming(const Graph& graph, const Node& node, const Attribute& attribute) {
  for (const Connection& connection : graph.connections) {
    if (connection.destination.node == &node &&
        related(connection.destination.attribute, &attribute)) {
      return true;
    }
  }
  return false;
}

}  // namespace

MStatus Graph::setNumbers(Node& node, const Attribute& attribute, const std::vector<double>& values,
                          std::string* problem) {
  std::vector<const Attribute*> leaves;
  collectLeaves(attribute, leaves);
  if (!node.alive || leaves.size() != values.size()) return MS::kInvalidParameter;
  for (const Attribute* leaf : leaves) {
    if (leaf->kind != AttributeKind::kNumeric) return MS::kInvalidParameter;
  }
  for (size_t i = 0; i < leaves.size(); ++i) {
    const std::string why = misfit(leaves[i]->numericType, values[i]);
    if (why.empty()) continue;
    if (problem) {
      char value[32];
      std::snprintf(value, sizeof value, "%.15g", values[i]);
      *problem =
          "cannot set " + node.name + "." + leaves[i]->longName + " to " + value + ": " + why;
    }
    return MS::kInvalidParameter;
  }
  if (hasIncoming(*this, node, attribute)) return MS::kFailure;
  for (size_t i = 0; i < leaves.size(); ++i) {
    const Attribute& leaf = *leaves[i];
    double value = values[i];
    if (leaf.hasMin) value = std::max(value, leaf.min);
    if (leaf.hasMax) value = std::min(value, leaf.max);
    node.numbers[&leaf] = storedValue(leaf.numericType, value);
  }
  addElement(node, attribute);
  valueChanged(node, attribute);
  return MS::kSuccess;
}

MStatus Graph::setText(Node& node, const Attribute& attribute, const std::string& value) {
  if (!node.alive || attribute.kind != AttributeKind::kTyped) return MS::kInvalidParameter;
  if (hasIncoming(*this, node, attribute)) return MS::kFailure;
  node.texts[&attribute] = value;
  addElement(node, attribute);
  valueChanged(node, attribute);
  return MS::kSuccess;
}

MStatus Graph::setMatrix(Node& node, const Attribute& attribute, const MMatrix& value) {
  if (!node.alive || attribute.kind != AttributeKind::kMatrix) return MS::kInvalidParameter;
  if (hasIncoming(*this, node, attribute)) return MS::kFailure;
  node.matrices[&attribute] = value;
  addElement(node, attribute);
  valueChanged(node, attribute);
  return MS::kSuccess;
}

std::string misfit(MFnNumericData::Type type, double value) {
  double low = 0.0, high = 0.0;
  if (type == MFnNumericData::kBoolean) {
    return std::isfinite(value) ? ""
                                : "a bool attribute takes finite numbers (0 is off, any other on)";
  }
  if (integerRange(type, &low, &high)) {
    if (std::isfinite(value) && std::trunc(value) >= low && std::trunc(value) <= high) return "";
    char range[64];
    std::snprintf(range, sizeof range, "%.0f to %.0f", low, high);
    return std::string("a ") + scalarTypeName(type) + " attribute takes whole numbers from " +
           range;
  }
  if (type == MFnNumericData::kFloat && std::isfinite(value) && std::fabs(value) > FLT_MAX) {
    char range[64];
    std::snprintf(range, sizeof range, "%g to %g", -FLT_MAX, FLT_MAX);
    return std::string("a float attribute takes numbers from ") + range + " (or infinity, or NaN)";
  }
  return "";
}

}  // namespace qv::maya::detail
