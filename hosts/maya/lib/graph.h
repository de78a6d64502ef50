// The stand-in's dependency graph, shared by the OpenMaya classes and the
// host-side API. Maya keeps one graph per process, and so does this.
#pragma once

#include <maya/MDataHandle.h>
#include <maya/MFloatVector.h>
#include <maya/MFn.h>
#include <maya/MFnData.h>
#include <maya/MFnNumericData.h>
#include <maya/MMatrix.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypeId.h>
#include <maya/MTypes.h>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace qv::maya::detail {

struct Object : std::enable_shared_from_this<Object> {
  virtual ~Object() = default;
  virtual MFn::Type apiType() const = 0;
  virtual bool hasFn(MFn::Type type) const { return type == MFn::kBase || type == apiType(); }
};

// The handles the host gives out, and the object behind one.
struct ObjectAccess {
  static MObject wrap(std::shared_ptr<Object> object) {
    MObject handle;
    handle.object_ = std::move(object);
    return handle;
  }
  static Object* get(const MObject& handle) { return handle.object_.get(); }
  static const std::shared_ptr<Object>& shared(const MObject& handle) { return handle.object_; }
};

inline MObject wrap(std::shared_ptr<Object> object) {
  return ObjectAccess::wrap(std::move(object));
}

inline Object* get(const MObject& handle) {
  return ObjectAccess::get(handle);
}

inline const std::shared_ptr<Object>& shared(const MObject& handle) {
  return ObjectAccess::shared(handle);
}

enum class AttributeKind { kNumeric, kCompound, kTyped, kMatrix };

struct Attribute : Object {
  std::string longName;
  std::string shortName;
  AttributeKind kind = AttributeKind::kNumeric;
  MFnNumericData::Type numericType = MFnNumericData::kInvalid;
  MFnData::Type dataType = MFnData::kInvalid;
  int matrixType = 1;
  double defaultNumber = 0.0;
  std::string defaultText;
  MMatrix defaultMatrix;
  bool hasMin = false;
  bool hasMax = false;
  double min = 0.0;
  double max = 0.0;
  bool hasSoftMin = false;
  bool hasSoftMax = false;
  double softMin = 0.0;
  double softMax = 0.0;
  bool keyable = false;
  bool storable = true;
  bool readable = true;
  bool writable = true;
  bool hidden = false;
  bool usedAsColor = false;
  bool usedAsFilename = false;
  // A multi. Elements are modelled for arrays of leaves (numbers, text,
  // matrices, data such as meshes): each is an attribute of its own, made on
  // first use and shared by the type's nodes, so that values, connections and
  // data handles take an element as they take any leaf. A compound array has
  // no elements here.
  bool array = false;
  // Recorded only, as set: false when an element's index means nothing (as
  // `connectAttr -na` takes it), and MFnAttribute::DisconnectBehavior
  // (kNothing, 2, until set).
  bool indexMatters = true;
  int disconnectBehavior = 2;
  // One element per instance of the shape (worldMesh): the stand-in's
  // shapes have one, element 0.
  bool perInstance = false;
  // Set on an element: the array it belongs to, and its logical index.
  const Attribute* arrayOf = nullptr;
  unsigned int logicalIndex = 0;
  // A compound made by MFnLightDataAttribute.
  bool lightData = false;
  std::vector<std::shared_ptr<Attribute>> children;
  Attribute* parent = nullptr;
  // Set by addAttribute: a type's attribute set cannot change once in use.
  bool added = false;

  MFn::Type apiType() const override;
  bool hasFn(MFn::Type type) const override;
  // The top of the attribute tree: through parents, and from an element to
  // its array.
  const Attribute* root() const;
  bool hasElements() const { return array && isLeaf() && !parent; }
  // The element at the logical index; null where the array has none.
  const Attribute* element(unsigned int index) const;
  bool isLeaf() const { return children.empty(); }
  // This attribute or one of its descendants, by long or short name.
  const Attribute* find(const std::string& name) const;
  int indexInParent() const;

 private:
  mutable std::map<unsigned int, std::shared_ptr<Attribute>> elements_;
};

// A polygon mesh as mesh data carries it: points in object space, and the
// faces as corner counts and the vertex ids of each face in turn.
struct MeshPolygons {
  std::vector<std::array<double, 3>> points;
  std::vector<int> counts;
  std::vector<int> vertices;
};

// What a mesh's outMesh and worldMesh hold. The shape's world matrix travels
// with worldMesh's data, the points staying in object space.
struct MeshData : Object {
  MeshPolygons polygons;
  MMatrix world;
  MFn::Type apiType() const override { return MFn::kMeshData; }
  bool hasFn(MFn::Type type) const override {
    return type == MFn::kData || type == MFn::kGeometryData || Object::hasFn(type);
  }
};

struct StringData : Object {
  std::string text;
  MFn::Type apiType() const override { return MFn::kStringData; }
  bool hasFn(MFn::Type type) const override { return type == MFn::kData || Object::hasFn(type); }
};

struct Plugin;

enum class BuiltinKind { kNone, kTransform, kCamera, kMesh, kShadingEngine, kLambert, kGroupId };

struct NodeType {
  std::string name;
  MTypeId id;
  MCreatorFunction creator = nullptr;
  MInitializeFunction initialize = nullptr;
  MPxNode::Type kind = MPxNode::kDependNode;
  std::string classification;
  std::string vendor;
  std::string version;
  Plugin* plugin = nullptr;
  BuiltinKind builtin = BuiltinKind::kNone;
  std::vector<std::shared_ptr<Attribute>> attributes;
  std::map<const Attribute*, std::vector<const Attribute*>> affects;
  // The type of nodes whose plug-in was unloaded by force or is missing, or
  // of a built-in type not modelled here: no code runs for them, and they
  // are saved as they were, under the type and plug-in (if any) named here.
  bool unknown = false;
  std::string pluginName;

  bool isDag() const {
    return builtin == BuiltinKind::kTransform || builtin == BuiltinKind::kCamera ||
           builtin == BuiltinKind::kMesh;
  }
  // Whether a node of `child` type may be parented under one of this type:
  // anything under a transform or an unknown node (a joint, say, of a type
  // not modelled here); a transform under a shape, in its underworld, as a
  // camera's image plane is.
  bool takesChild(const NodeType& child) const {
    if (!(child.isDag() || child.unknown)) return false;
    if (builtin == BuiltinKind::kTransform || unknown) return true;
    return isDag() && child.builtin == BuiltinKind::kTransform;
  }

  const Attribute* find(const std::string& name) const;
};

// One attribute's value in every form a data handle hands out by reference.
struct DataValues {
  bool b = false;
  char c = 0;
  unsigned char uc = 0;
  short s = 0;
  int i = 0;
  MInt64 i64 = 0;
  float f = 0.0f;
  double d = 0.0;
  short2 s2 = {0, 0};
  int2 i2 = {0, 0};
  float2 f2 = {0.0f, 0.0f};
  double2 d2 = {0.0, 0.0};
  short3 s3 = {0, 0, 0};
  int3 i3 = {0, 0, 0};
  float3 f3 = {0.0f, 0.0f, 0.0f};
  double3 d3 = {0.0, 0.0, 0.0};
  MFloatVector fv;
  MMatrix m;
  MString str;
  void* addr = nullptr;
};

// An attribute's place in a node's data block. Handles refer into `live`;
// `read` is what was last loaded from or stored to the node's values, so a
// write through any reference is told from the forms left alone.
struct DataSlot {
  DataValues live;
  DataValues read;
};

struct Node : Object {
  std::string name;
  std::shared_ptr<NodeType> type;
  std::unique_ptr<MPxNode> user;
  std::map<const Attribute*, double> numbers;
  std::map<const Attribute*, std::string> texts;
  std::map<const Attribute*, MMatrix> matrices;
  // Data other than text (a mesh), by typed attribute.
  std::map<const Attribute*, std::shared_ptr<Object>> data;
  // The logical indices of each array's elements that exist: connected or
  // set, as in Maya.
  std::map<const Attribute*, std::set<unsigned int>> elements;
  // The data block: one slot per attribute a handle was asked for, kept for
  // the node's life so that what a handle returned by reference stays valid.
  std::map<const Attribute*, DataSlot> block;
  std::set<const Attribute*> dirty;
  Node* parent = nullptr;
  std::vector<Node*> children;
  bool alive = true;
  bool deleting = false;  // while observers are told it goes

  MFn::Type apiType() const override;
  bool hasFn(MFn::Type type) const override;
};

struct Plugin : Object {
  std::string name;
  std::string path;
  std::string vendor;
  std::string version;
  std::string requiredApiVersion;
  MFn::Type apiType() const override { return MFn::kPlugin; }
};

struct PlugRef {
  Node* node = nullptr;
  const Attribute* attribute = nullptr;
  bool operator==(const PlugRef& o) const { return node == o.node && attribute == o.attribute; }
};

struct Connection {
  PlugRef source;
  PlugRef destination;
};

struct Injection {
  std::string function;
  int remaining = 0;
  MStatus::MStatusCode code = MS::kFailure;
};

// Told before a node is deleted, while it is still whole: what depends on
// the node (Viewport 2.0's override of it) goes first.
class NodeObserver {
 public:
  virtual void nodeGoing(Node& node) = 0;

 protected:
  ~NodeObserver() = default;
};

class Graph {
 public:
  // Back to a fresh session: no plug-in types, no nodes, only the built-ins.
  void reset();

  std::map<std::string, std::shared_ptr<NodeType>> types;
  std::vector<std::shared_ptr<Node>> nodes;
  std::vector<Connection> connections;
  NodeType* initializing = nullptr;
  // The plug-in whose entry point runs, for registrations made without one.
  Plugin* loading = nullptr;
  std::vector<Injection> injections;
  // Where MRenderUtil looks for a texture file given by a relative name.
  std::vector<std::string> textureSearchPath;
  // Not reset: they belong to the host side, not to the session.
  std::vector<NodeObserver*> nodeObservers;
  // The host application's command interpreter, which MGlobal::executeCommand
  // runs MEL through: the result of the text's last command comes back as
  // text. Unset where the application has none.
  std::function<MStatus(const std::string& command, std::string* result)> commandRunner;
  // Where a built-in mesh's polygons come from (its objFile, or the data and
  // history a saved scene gives it), which the host side reads. False with
  // `error` when they cannot be read; unset, every mesh is empty.
  std::function<bool(const Node& mesh, MeshPolygons* polygons, std::string* error)> meshReader;

  NodeType* typeByName(const std::string& name) const;
  NodeType* typeById(const MTypeId& id) const;
  Node* nodeByName(const std::string& name) const;

  MStatus registerType(std::shared_ptr<NodeType> type);
  MStatus deregisterType(const MTypeId& id);
  // Creator, then postConstructor. Null when the type is unknown or the
  // name taken; an empty name asks for type name plus a number.
  Node* createNode(const std::string& typeName, const std::string& name, Node* parent);
  void deleteNode(Node* node);
  // Turns the node into one of `unknown`, an unknown type: it keeps its
  // name, values and connections, but loses its overrides and the plug-in's
  // object, which the plug-in's code must still be loaded to destroy.
  void makeUnknown(Node* node, std::shared_ptr<NodeType> unknown);

  MStatus connect(const PlugRef& source, const PlugRef& destination);
  MStatus disconnect(const PlugRef& source, const PlugRef& destination);
  const Connection* incoming(const PlugRef& destination) const;

  // Brings the attribute's value up to date: through its incoming
  // connection, or by the node's compute when dirty.
  void evaluate(Node& node, const Attribute& attribute);
  // Writes happen on leaves; the caller then calls valueChanged.
  void valueChanged(Node& node, const Attribute& attribute);
  void markDirty(Node& node, const Attribute& root);

  // Writes from outside compute: refused on a connected destination or for a
  // value its leaf's type cannot hold (kInvalidParameter, with `problem`
  // naming the leaf, the value and the type's range), kept within the
  // attribute's range, then dirtying what depends on the value.
  MStatus setNumbers(Node& node, const Attribute& attribute, const std::vector<double>& values,
                     std::string* problem = nullptr);
  MStatus setText(Node& node, const Attribute& attribute, const std::string& value);
  MStatus setMatrix(Node& node, const Attribute& attribute, const MMatrix& value);

  double number(const Node& node, const Attribute& leaf) const;
  const std::string& text(const Node& node, const Attribute& attribute) const;
  const MMatrix& matrix(const Node& node, const Attribute& attribute) const;
  // Null where the attribute holds no data.
  std::shared_ptr<Object> data(const Node& node, const Attribute& attribute) const;
  // The array's existing elements in logical-index order (none for an
  // attribute that is no array of leaves).
  std::vector<const Attribute*> elementsOf(const Node& node, const Attribute& array) const;
  // Makes the element exist on the node; false where it is no element.
  bool addElement(Node& node, const Attribute& element);
  // Marks what a mesh's polygons feed as out of date: its history changed.
  void meshChanged(Node& mesh);

  // True when the next call of this API function is to fail, with its code.
  bool injected(const char* function, MStatus* status);

 private:
  void propagate(Node& node, const Attribute& root);
  void computeBuiltin(Node& node, const Attribute& root);
  void computeMesh(Node& node, const Attribute& root);
  std::set<std::pair<const Node*, const Attribute*>> computing_;
};

Graph& graph();

// Leaves of an attribute in child order (the attribute itself when a leaf).
void collectLeaves(const Attribute& attribute, std::vector<const Attribute*>& leaves);

// The slot of the attribute, loaded afresh from the node's values after
// whatever was written into it is stored.
DataSlot& loadSlot(Node& node, const Attribute& attribute);
// Stores what was written through the slot's references into the node's
// values (without dirtying anything: compute is writing its results).
void storeSlot(Node& node, const Attribute& attribute, DataSlot& slot);
// All of the node's slots, once compute is done.
void storeBlock(Node& node);

// What the graph knows of a plug-in's node instance beyond Maya's API.
struct NodeAccess {
  static void bind(MPxNode& user, Node* node) { user.node_ = node; }
  static bool mpSafe(const MPxNode& user) { return user.mpSafe_; }
};

// The attribute a plug holds: for an element, the element's own.
struct PlugAccess {
  static const MObject& attribute(const MPlug& plug) { return plug.attribute_; }
  static MPlug make(Node* node, const Attribute* attribute);
};

// Makes the handle of an attribute's (or an element's) value in the block.
struct HandleAccess {
  static MDataHandle make(Node* node, const Attribute* attribute) {
    return MDataHandle(node, attribute);
  }
};

// Makes the data block compute is handed.
struct BlockAccess {
  static MDataBlock make(Node* node);
};

Attribute* attributeOf(const MObject& object);
Node* nodeOf(const MObject& object);

}  // namespace qv::maya::detail
