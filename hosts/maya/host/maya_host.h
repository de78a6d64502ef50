// The stand-in Maya session as the batch driver and the tests drive it: plug-in
// loading, nodes, attributes by "node.attribute" and connections, as MEL's
// loadPlugin, createNode, setAttr, getAttr and connectAttr offer them.
#pragma once

#include <maya/MMatrix.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MTypeId.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qv::maya {

namespace detail {
struct PlugRef;
// An entry point of a plug-in: what messages call it, what is looked up.
struct EntryName {
  const char* name;
  const char* symbol;
};
}  // namespace detail

// What a scene file said of a node beyond what the stand-in models, kept so
// that `file -save` writes it back as it was read.
struct KeptValue {
  std::string plug;                // after the node's name, as written: ".vt[0:7]"
  std::string type;                // setAttr's -type, "" when none
  std::vector<std::string> words;  // the values as read, quotes removed
  std::string statement;           // the whole setAttr as MEL text, to write back
};

struct NodeRecord {
  std::string uuid;           // rename -uid
  std::string readName;       // the name the file gave a node whose name was taken
  bool shared = false;        // createNode -s: the node every scene has, reused
  bool sceneDefault = false;  // a node every scene starts with, saved by `select -ne :NAME`
  std::vector<std::string> declarations;       // addAttr statements, in order
  std::vector<KeptValue> values;               // setAttr of plugs not modelled, and of flags alone
  std::vector<std::string> locks;              // lockNode statements
  std::vector<std::string> dynamicAttributes;  // names addAttr gave the node, long and short
};

// A connection of plugs the graph does not model: array elements
// ("iog[0].og[1]"), message, anything of an unknown node.
struct KeptConnection {
  std::string sourceNode;
  std::string sourcePlug;  // after the node's name and its dot
  std::string destinationNode;
  std::string destinationPlug;
  std::string flags;  // as read: "-na", "-f", "" ...
};

struct UnknownType {
  std::string plugin;
  std::string version;
};

struct NodeTypeInfo {
  std::string name;
  MTypeId id;
  std::string classification;
  std::string vendor;
  std::string version;
  std::string plugin;  // empty for the built-in types
};

// An attribute as `file -save` writes it back: numeric compounds whole, other
// compounds through their children.
struct AttributeState {
  std::string longName;
  std::string shortName;
  std::string type;  // setAttr's -type: "" for a number, "double3", "string", "matrix", ...
  bool storable = true;
  std::vector<double> value;  // components, or a matrix's 16 by row
  std::vector<double> defaultValue;
  std::string text;
  std::string defaultText;
};

// One session per process, as Maya has: a new Host starts from a fresh graph
// holding only the built-in types transform, camera and mesh, and a fresh
// Viewport 2.0 renderer (see viewport.h).
class Host {
 public:
  Host();
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Opens the library, requires initializePlugin, uninitializePlugin and
  // MApiVersion, and calls initializePlugin. A failing initializePlugin
  // leaves nothing of the plug-in behind. The plug-in's name is the file name
  // without directory and suffix.
  bool loadPlugin(const std::string& path, std::string* error = nullptr);
  // Deletes the plug-in's nodes, then calls uninitializePlugin; a failure
  // there keeps the plug-in loaded, as Maya does.
  // Refused while nodes of the plug-in's types exist, unless forced: then
  // they stay as unknown nodes (unknownTypeOf).
  bool unloadPlugin(const std::string& name, std::string* error = nullptr, bool force = false);
  std::vector<std::string> plugins() const;
  // The node types the loaded plug-in registered, by name.
  std::vector<std::string> pluginNodeTypes(const std::string& plugin) const;
  // What the last entry point call returned.
  MStatus lastEntryStatus() const { return lastEntryStatus_; }
  std::string pluginApiVersion(const std::string& name) const;
  // Vendor and version given by the plug-in's latest MFnPlugin attach.
  std::pair<std::string, std::string> pluginVendor(const std::string& name) const;
  void* pluginSymbol(const std::string& name, const char* symbol) const;

  std::optional<NodeTypeInfo> nodeType(const std::string& name) const;

  // A node of a type not modelled here: a built-in Maya type the stand-in
  // does not need, or a type of a plug-in that is not installed (`plugin`
  // names it, "" where none is known). It takes any value and connection
  // by name and runs no code. Its name as createNode gives it, or empty
  // when the parent cannot take it.
  std::string createUnknownNode(const std::string& type, const std::string& name,
                                const std::string& parent, const std::string& plugin);
  // What the scene file said of the node beyond what is modelled: made on
  // the first ask, null for no such node. It goes with the node.
  NodeRecord* record(const std::string& node);
  const NodeRecord* findRecord(const std::string& node) const;
  // Kept in the order made; they go with either node.
  // Kept connections that change what a mesh's history makes tell the
  // graph, as historyChanged does.
  void keepConnection(KeptConnection connection);
  bool dropKeptConnection(const KeptConnection& connection);
  const std::vector<KeptConnection>& keptConnections() const;
  // What the node keeps beyond the graph (a value of a mesh's inline data, a
  // creator's setting) changed: the meshes it feeds hand on new polygons
  // through outMesh and worldMesh, dirtying what they are connected to.
  void historyChanged(const std::string& node);

  // The new node's name, or empty when the type is unknown or the parent is
  // no transform. A taken or empty name gets a number, as Maya gives one.
  std::string createNode(const std::string& type, const std::string& name = "",
                         const std::string& parent = "");
  bool deleteNode(const std::string& name);
  std::vector<std::string> listNodes(const std::string& type = "") const;
  MObject node(const std::string& name) const;
  // Empty for an unknown node, or a node without parent.
  std::string typeOf(const std::string& node) const;
  // Where the node is of a type whose plug-in went by force: that plug-in.
  std::optional<UnknownType> unknownTypeOf(const std::string& node) const;
  std::string parentOf(const std::string& node) const;
  // Values as stored, unevaluated: a saved scene holds what was set.
  std::vector<AttributeState> attributes(const std::string& node) const;
  // "node.shortName" pairs, source first, in the order they were made; an
  // element as "node.shortName[index]", except a mesh's worldMesh[0], its
  // one instance's, as "node.w" (Maya's files name it so).
  std::vector<std::pair<std::string, std::string>> connections() const;
  // What feeds the plug, named as connections() names it; none when nothing.
  std::optional<std::string> sourceOf(const std::string& destination) const;
  // The elements an array of values has (getAttr -size).
  std::optional<unsigned int> numElements(const std::string& plug,
                                          std::string* error = nullptr) const;

  // "node.attribute", long or short names, children included.
  bool setAttr(const std::string& plug, const std::vector<double>& values,
               std::string* error = nullptr);
  bool setAttr(const std::string& plug, double value, std::string* error = nullptr);
  bool setAttr(const std::string& plug, const std::string& text, std::string* error = nullptr);
  bool setAttr(const std::string& plug, const MMatrix& matrix, std::string* error = nullptr);
  // Evaluates first. Numbers in child order; a matrix as 16 numbers by row.
  std::optional<std::vector<double>> getAttr(const std::string& plug, std::string* error = nullptr);
  std::optional<std::string> getStringAttr(const std::string& plug, std::string* error = nullptr);
  // Whether the node's plug-in declared it safe for parallel evaluation.
  bool isMPSafe(const std::string& node) const;
  bool isDirty(const std::string& plug) const;
  // Calls the node's compute for the plug, dirty or not, and returns what it
  // returned (kInvalidParameter for an unknown plug or a built-in node).
  MStatus compute(const std::string& plug);

  // Plugs may name elements ("node.attr[3]"). A source array without an
  // index is its element 0; a destination array needs an index, or
  // `nextAvailable` (connectAttr -na): one past its last existing element.
  bool connectAttr(const std::string& source, const std::string& destination,
                   std::string* error = nullptr);
  bool connectAttr(const std::string& source, const std::string& destination, bool nextAvailable,
                   std::string* error = nullptr);
  bool disconnectAttr(const std::string& source, const std::string& destination,
                      std::string* error = nullptr);
  bool isConnected(const std::string& source, const std::string& destination) const;

  // Makes the nth call from now of an API function, named as
  // "MFnPlugin::MFnPlugin" or "MFnAttribute::setKeyable", fail with code.
  void failCall(const std::string& function, int nth = 1, MS::MStatusCode code = MS::kFailure);
  void clearFailures();

  // Where MRenderUtil::exactFileTextureName looks for a texture given by a
  // relative name that does not exist as given; qvmaya sets the scene's folder.
  void setTextureSearchPath(std::vector<std::string> folders);
  // The application's MEL interpreter, for plug-ins' MGlobal::executeCommand:
  // runs the text and puts the result of its last command in `result`. The
  // host drops it when it goes.
  using CommandRunner = std::function<MStatus(const std::string& command, std::string* result)>;
  void setCommandRunner(CommandRunner runner);

 private:
  std::optional<detail::PlugRef> plugRef(const std::string& plug, bool source, bool nextAvailable,
                                         std::string* error) const;
  struct LoadedPlugin;
  bool callEntry(LoadedPlugin& plugin, const detail::EntryName& entry, std::string* error);
  void dropTypes(LoadedPlugin& plugin);

  struct SceneRecords;
  std::vector<std::unique_ptr<LoadedPlugin>> plugins_;
  MStatus lastEntryStatus_;
  std::unique_ptr<SceneRecords> records_;
};

}  // namespace qv::maya
