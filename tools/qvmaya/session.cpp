#include "session.h"

#include "command_error.h"
#include "qvmaya.h"
#include "scene_surfaces.h"
#include "scene_writer.h"
#include "text_file.h"

#include <maya/MFnAttribute.h>
#include <maya/MFnDependencyNode.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace qv::qvmaya {

namespace {

namespace fs = std::filesystem;

// Maya's own plug-in ending, which loadPlugin adds to a name without one.
#if defined(_WIN32)
const char* const kPluginSuffix = ".mll";
#elif defined(__APPLE__)
const char* const kPluginSuffix = ".bundle";
#else
const char* const kPluginSuffix = ".so";
#endif

// How deep `file -open` may nest, a scene opening a scene that opens one
// ...: past this a scene that opens itself, directly or through others,
// would recurse until the stack runs out.
constexpr int kMaxSceneNesting = 16;

}  // namespace

std::string Session::findPlugin(const std::string& file) const {
  for (const std::string& folder : pluginSearchPath()) {
    const fs::path candidate = fs::path(folder) / file;
    std::error_code ignored;
    if (fs::is_regular_file(candidate, ignored)) return candidate.string();
  }
  return "";
}

void Session::loadPlugin(const std::string& path) {
  const std::vector<std::string> loaded = host_.plugins();
  // Loading a loaded plug-in again is harmless in Maya, so scripts do it.
  if (std::find(loaded.begin(), loaded.end(), fs::path(path).stem().string()) != loaded.end()) {
    return;
  }
  std::string error;
  if (!host_.loadPlugin(path, &error)) fail("loadPlugin: " + error);
}

void Session::execute(const Statement& statement) {
  const std::string& command = statement.words[0].text;
  result_.clear();
  if (statement.words[0].quoted) fail("Syntax error: a command name cannot be a string");
  if (command == "loadPlugin") {
    const Arguments a = parse(statement, {{"qt", "quiet", 0}}, 1, 1);
    // As Maya takes it: the platform's ending added to a name without one,
    // and a name without a folder looked for in the working folder, then on
    // the plug-in path.
    std::string path = a.positional[0].text;
    if (fs::path(path).extension().empty()) path += kPluginSuffix;
    std::error_code ignored;
    if (path.find_first_of("/\\") == std::string::npos && !fs::is_regular_file(path, ignored)) {
      const std::string found = findPlugin(path);
      if (!found.empty()) path = found;
    }
    loadPlugin(path);
  } else if (command == "unloadPlugin") {
    const Arguments a = parse(statement, {{"f", "force", 0}}, 1, 1);
    std::string error;
    if (!host_.unloadPlugin(a.positional[0].text, &error, a.has("force"))) {
      fail("unloadPlugin: " + error);
    }
  } else if (command == "requires") {
    require(statement);
  } else if (command == "createNode") {
    createNode(statement);
  } else if (command == "setAttr") {
    setAttr(statement);
  } else if (command == "getAttr") {
    getAttr(statement);
  } else if (command == "connectAttr" || command == "disconnectAttr") {
    connection(statement, command == "connectAttr");
  } else if (command == "delete") {
    deleteNodes(statement);
  } else if (command == "file") {
    file(statement);
  } else if (command == "ogs") {
    ogs(statement);
  } else if (command == "pluginInfo") {
    pluginInfo(statement);
  } else if (command == "select") {
    select(statement);
  } else if (command == "rename") {
    rename(statement);
  } else if (command == "addAttr") {
    addAttr(statement);
  } else if (command == "lockNode") {
    lockNode(statement);
  } else if (command == "parent") {
    instance(statement);
  } else if (command == "fileInfo" || command == "relationship" || command == "dataStructure" ||
             command == "applyMetadata") {
    // Maya's bookkeeping: links, metadata, the file's own notes. Saved again.
    keepStatement(statement);
  } else if (command == "currentUnit") {
    const Arguments a =
        parse(statement, {{"l", "linear", 1}, {"a", "angle", 1}, {"t", "time", 1}}, 0, 0);
    if (a.has("linear") && a.value("linear") != "centimeter" && a.value("linear") != "cm") {
      warn("currentUnit: values are read as centimetres, not as " + quoteWord(a.value("linear")));
    }
    if (a.has("angle") && a.value("angle") != "degree" && a.value("angle") != "deg") {
      warn("currentUnit: angles are read as degrees, not as " + quoteWord(a.value("angle")));
    }
  } else if (!editor_.execute(statement)) {
    fail("Cannot find procedure \"" + quoteWord(command) + "\".");
  }
}

void Session::require(const Statement& statement) {
  const Arguments a = parse(statement, {{"nt", "nodeType", 1}, {"dt", "dataType", 1}}, 2, 2);
  const std::string& name = a.positional[0].text;
  const std::vector<std::string> loaded = host_.plugins();
  if (name == "maya" || std::find(loaded.begin(), loaded.end(), name) != loaded.end()) return;
  const std::string path = findPlugin(name + kPluginSuffix);
  if (!path.empty()) {
    loadPlugin(path);
    return;
  }
  // As Maya opens a scene without one of its plug-ins: the plug-in's nodes
  // are kept as unknown nodes, and the requirement is saved again.
  std::string folders;
  for (const std::string& folder : pluginSearchPath()) {
    folders += (folders.empty() ? "" : ", ") + folder;
  }
  if (a.flags.count("nodeType")) {
    for (const std::string& type : a.flags.at("nodeType")) pluginOfType_[type] = name;
  }
  keepStatement(statement);
  warn("requires: plug-in " + quoteWord(name) + " not found in " +
       (folders.empty() ? "no folder" : folders) + "; its nodes are kept as unknown nodes");
}

void Session::createNode(const Statement& statement) {
  // Until it succeeds, the relative setAttr lines below it belong to no node:
  // never to the one made before.
  const std::string before = current_;
  current_.clear();
  notCreated_ = "the node of a createNode that failed";
  const Arguments a = parse(
      statement,
      {{"n", "name", 1}, {"p", "parent", 1}, {"s", "shared", 0}, {"ss", "skipSelect", 0}}, 1, 1);
  const std::string& type = a.positional[0].text;
  std::string name = a.value("name");
  notCreated_ = a.has("name") ? name : "the " + type + " node";
  sawNode_ = true;
  const std::string parent = a.has("parent") ? resolveNode(a.value("parent")) : "";
  bool several = false;
  const std::string existing =
      name.empty() ? ""
                   : findNode(parent.empty() ? name : a.value("parent") + "|" + name, &several);
  std::string made;
  if (a.has("shared") && !existing.empty()) {
    // Shared: the node every scene of Maya's has, which the file sets.
    if (host_.typeOf(existing) != type) {
      fail("createNode: " + quoteWord(name) + " exists, and is no " + quoteWord(type));
    }
    made = existing;
  } else {
    // A DAG node keeps the name the file gives it under its parent, however
    // many others have it: later lines name it by its path.
    std::string internal = name;
    if (!name.empty() && !host_.typeOf(name).empty() && !parent.empty()) {
      if (!existing.empty()) fail("createNode: " + quoteWord(name) + " exists under " + parent);
      internal = name + "@" + parent;
    }
    auto plugin = pluginOfType_.find(type);
    if (host_.nodeType(type)) {
      made = host_.createNode(type, internal, parent);
    } else if (!savedByMaya_ && plugin == pluginOfType_.end()) {
      // A file Maya saved names only types Maya knew, built in or of a
      // plug-in; anywhere else an unknown type is a mistake.
      fail("Unknown object type: " + quoteWord(type));
    } else {
      // Construction history the preview evaluates is read where it needs
      // the mesh; other types are only kept.
      if (!maya::isEvaluatedHistory(type) && warnedTypes_.insert(type).second) {
        warn("Unrecognized node type '" + quoteWord(type) +
             "'; preserving node information during this session.");
      }
      made = host_.createUnknownNode(type, internal, parent,
                                     plugin == pluginOfType_.end() ? "" : plugin->second);
    }
    if (made.empty()) fail("createNode: a " + type + " cannot be parented under " + parent);
    if (internal != name) {
      recordOf(made)->readName = name;
      aliases_.emplace(name, made);
    }
  }
  if (a.has("shared")) recordOf(made)->shared = true;
  current_ = a.has("skipSelect") ? before : made;
  notCreated_.clear();
  result_ = made;
}

void Session::setAttr(const Statement& statement) {
  const Arguments a = parse(statement,
                            {{"typ", "type", 1},
                             {"k", "keyable", 1},
                             {"l", "lock", 1},
                             {"cb", "channelBox", 1},
                             {"s", "size", 1},
                             {"ch", "capacityHint", 1},
                             {"av", "alteredValue", 0},
                             {"ca", "caching", 1},
                             {"c", "clamp", 0}},
                            1, statement.words.size());
  const PlugName target = plug(a.positional[0]);
  const bool flagsOnly = a.positional.size() < 2;
  if (flagsOnly && a.flags.empty()) fail("setAttr: no value given for " + target.text());
  if (!target.modelled || flagsOnly) {
    // Kept as read, replacing what the same plug was set to before: a
    // modelled attribute's flags alone (-k, -l, -cb) as well, which the
    // graph does not hold.
    maya::KeptValue value;
    value.plug = "." + target.attribute;
    value.type = a.value("type");
    for (size_t i = 1; i < a.positional.size(); ++i) value.words.push_back(a.positional[i].text);
    Statement relative = statement;
    for (Word& word : relative.words) {
      if (&word - relative.words.data() > 0 && word.text == a.positional[0].text) {
        word = Word{value.plug, true};
        break;
      }
    }
    value.statement = "\t" + melText(relative);
    auto& values = recordOf(target.node)->values;
    auto same = std::find_if(values.begin(), values.end(), [&](const maya::KeptValue& v) {
      return v.plug == value.plug && v.words.empty() == value.words.empty();
    });
    if (same != values.end()) {
      *same = std::move(value);
    } else {
      values.push_back(std::move(value));
    }
    // A mesh's inline data or a creator's setting: what the mesh hands on.
    host_.historyChanged(target.node);
    return;
  }
  std::string error;
  if (a.value("type") == "string") {
    if (a.positional.size() != 2) fail("setAttr: one string expected for " + target.text());
    if (!host_.setAttr(target.text(), a.positional[1].text, &error)) fail("setAttr: " + error);
    return;
  }
  std::vector<double> values;
  for (size_t i = 1; i < a.positional.size(); ++i) {
    double value = 0.0;
    if (a.positional[i].quoted || !parseNumber(a.positional[i].text, &value)) {
      fail("setAttr: not a number: " + quoteWord(a.positional[i].text));
    }
    values.push_back(value);
  }
  if (!host_.setAttr(target.text(), values, &error)) fail("setAttr: " + error);
}

void Session::getAttr(const Statement& statement) {
  const Arguments a = parse(statement, {{"s", "size", 0}}, 1, 1);
  const PlugName target = plug(a.positional[0]);
  std::string error;
  if (a.has("size")) {
    const auto size = target.modelled ? host_.numElements(target.text(), &error) : std::nullopt;
    if (!size) fail("getAttr: " + (error.empty() ? target.text() + " is not modelled" : error));
    result_ = std::to_string(*size);
    *out_ << result_ << '\n';
    return;
  }
  if (!target.modelled) {
    // A kept value reads back as it was set.
    const maya::NodeRecord* record = host_.findRecord(target.node);
    if (record) {
      for (const maya::KeptValue& value : record->values) {
        if (value.plug != "." + target.attribute || value.words.empty()) continue;
        for (const std::string& word : value.words) result_ += (result_.empty() ? "" : " ") + word;
        *out_ << result_ << '\n';
        return;
      }
    }
    fail("getAttr: " + target.text() + " holds no value set here");
  }
  if (auto values = host_.getAttr(target.text(), &error)) {
    std::string line;
    for (double value : *values) line += (line.empty() ? "" : " ") + format(value);
    *out_ << line << '\n';
    result_ = line;
  } else if (auto text = host_.getStringAttr(target.text())) {
    *out_ << *text << '\n';
    result_ = *text;
  } else {
    fail("getAttr: " + error);
  }
}

void Session::connection(const Statement& statement, bool connect) {
  const Arguments a = parse(
      statement,
      {{"na", "nextAvailable", 0}, {"f", "force", 0}, {"l", "lock", 1}, {"rd", "referenceDest", 1}},
      2, 2);
  const PlugName source = plug(a.positional[0]);
  const PlugName destination = plug(a.positional[1]);
  const std::string& command = statement.words[0].text;
  std::string error;
  if (source.modelled && destination.modelled) {
    const bool next = a.has("nextAvailable");
    if (connect && a.has("force") && !next) {
      // Forced: whatever fed the destination lets go of it first.
      if (const auto from = host_.sourceOf(destination.text())) {
        host_.disconnectAttr(*from, destination.text());
      }
    }
    if (connect && !next && host_.isConnected(source.text(), destination.text())) {
      warn(quoteWord(source.text()) + " is already connected to " + quoteWord(destination.text()));
      return;
    }
    const bool done = connect ? host_.connectAttr(source.text(), destination.text(), next, &error)
                              : host_.disconnectAttr(source.text(), destination.text(), &error);
    if (!done) fail(command + ": " + error);
    return;
  }
  maya::KeptConnection kept{source.node, source.attribute, destination.node, destination.attribute,
                            ""};
  if (!connect) {
    if (!host_.dropKeptConnection(kept)) {
      fail("disconnectAttr: " + source.text() + " is not connected to " + destination.text());
    }
    return;
  }
  // The flags, to be saved again as Maya writes them.
  const std::pair<const char*, const char*> kFlags[] = {
      {"nextAvailable", "-na"}, {"force", "-f"}, {"lock", "-l"}, {"referenceDest", "-rd"}};
  for (const auto& [flag, shortName] : kFlags) {
    if (!a.has(flag)) continue;
    kept.flags += (kept.flags.empty() ? "" : " ") + std::string(shortName);
    for (const std::string& value : a.flags.at(flag)) kept.flags += " " + value;
  }
  if (!a.has("nextAvailable")) {
    for (const maya::KeptConnection& other : host_.keptConnections()) {
      if (other.destinationNode != kept.destinationNode ||
          other.destinationPlug != kept.destinationPlug) {
        continue;
      }
      if (!a.has("force")) {
        fail("connectAttr: " + destination.text() + " already has an incoming connection from " +
             other.sourceNode + "." + other.sourcePlug);
      }
      host_.dropKeptConnection(other);
      break;
    }
  }
  host_.keepConnection(std::move(kept));
}

void Session::deleteNodes(const Statement& statement) {
  const Arguments a = parse(statement, {}, 1, statement.words.size());
  for (const Word& word : a.positional) {
    const std::string node = resolveNode(word.text);
    const maya::NodeRecord* record = host_.findRecord(node);
    if (record && record->sceneDefault) fail("Cannot delete the default node " + node);
    host_.deleteNode(node);
    // What goes with the node, its children included, is no longer selected.
    if (!current_.empty() && host_.typeOf(current_).empty()) current_.clear();
  }
}

void Session::file(const Statement& statement) {
  const Arguments a = parse(statement,
                            {{"s", "save", 0},
                             {"o", "open", 0},
                             {"f", "force", 0},
                             {"typ", "type", 1},
                             {"rn", "rename", 1},
                             {"rdi", "referenceDepthInfo", 1},
                             {"r", "reference", 0},
                             {"ns", "namespace", 1},
                             {"rfn", "referenceNode", 1},
                             {"op", "options", 1},
                             {"dr", "deferReference", 1},
                             {"shd", "sharedNodes", 1},
                             {"rpr", "renamingPrefix", 1},
                             {"gl", "groupLocator", 0},
                             {"mnc", "mergeNamespacesOnClash", 1},
                             {"iv", "ignoreVersion", 0}},
                            0, 1);
  if (a.has("referenceDepthInfo") || a.has("reference")) {
    if (a.positional.empty()) fail("file: a reference needs its file");
    reference(statement);
    return;
  }
  if (a.has("open")) {
    if (a.has("save") || a.positional.empty()) fail("file: -open takes one file and nothing else");
    open(a.positional[0].text);
    return;
  }
  if (a.has("rename")) sceneName_ = a.value("rename");
  if (!a.has("save")) {
    if (a.has("rename")) return;
    fail("file: only -open, -save and -rename are supported");
  }
  if (a.has("type") && a.value("type") != "mayaAscii") {
    fail("file: only Maya ASCII can be written, not " + quoteWord(a.value("type")));
  }
  const std::string path = a.positional.empty() ? sceneName_ : a.positional[0].text;
  if (path.empty()) fail("file: no file name to save to");
  std::ostringstream text;
  writeMayaAscii(host_, fs::path(path).filename().string(), kept_, text);
  std::ofstream stream(path, std::ios::binary);
  if (!(stream << text.str()) || !stream.flush()) fail("file: cannot write " + quotePath(path));
}

// Maya's file -open: the scene goes, the plug-ins stay, and the file's
// statements build the new one.
void Session::open(const std::string& path) {
  if (openDepth_ >= kMaxSceneNesting) {
    fail("file: cannot open " + quotePath(path) + ": scenes nest more than " +
         std::to_string(kMaxSceneNesting) + " deep here (does a scene open itself?)");
  }
  std::string text;
  std::string error;
  // The reader's own message says why (missing, a folder, too large ...).
  if (!host::readTextFile(path, &text, &error)) {
    fail(quotePath(path) == path ? "file: " + error : "file: cannot open " + quotePath(path));
  }
  for (const std::string& node : host_.listNodes()) {
    // Deleting a transform took its children with it.
    if (!host_.typeOf(node).empty()) host_.deleteNode(node);
  }
  createDefaultNodes();
  kept_ = KeptStatements();
  pluginOfType_.clear();
  warnedTypes_.clear();
  aliases_.clear();
  instanceParents_.clear();
  sawNode_ = false;
  current_.clear();
  notCreated_.clear();
  sceneName_ = path;
  ++openDepth_;
  runScript(path, text, path);
  --openDepth_;
}

bool Session::openScene(const std::string& path) {
  try {
    open(path);
  } catch (const CommandError& e) {
    ok_ = false;
    if (firstError_.empty()) firstError_ = e.what;
  }
  return ok_;
}

maya::Viewport& Session::viewport() {
  if (!viewport_) viewport_ = std::make_unique<maya::Viewport>(host_);
  return *viewport_;
}

void Session::ogs(const Statement& statement) {
  const Arguments a = parse(statement, {{"r", "refresh", 0}, {"d", "dump", 1}}, 0, 0);
  if (!a.has("refresh") && !a.has("dump")) fail("ogs: give -refresh or -dump NODE");
  if (a.has("refresh")) viewport().refresh();
  if (a.has("dump")) {
    const std::string node = resolveNode(a.value("dump"));
    const std::string text = viewport().dump(node);
    if (text.empty()) fail("ogs: " + node + " has no Viewport 2.0 shading override");
    *out_ << text;
  }
}

bool Session::runScript(const std::string& name, const std::string& text, const std::string& path) {
  if (!path.empty()) {
    std::error_code ignored;
    host_.setTextureSearchPath({fs::absolute(path, ignored).parent_path().string()});
  }
  bool ok = true;
  const bool savedBefore = savedByMaya_;
  savedByMaya_ = text.compare(0, 12, "//Maya ASCII") == 0;
  struct Restore {
    bool& flag;
    bool value;
    ~Restore() { flag = value; }
  } restore{savedByMaya_, savedBefore};
  ScriptReader reader(text);
  Statement statement;
  std::string error;
  const auto report = [&](const std::string& what) {
    ok = ok_ = false;
    if (stopAtError_) {
      if (firstError_.empty())
        firstError_ = name + " line " + std::to_string(statement.line) + ": " + what;
      return;
    }
    err_ << "// Error: " << name << " line " << statement.line << ": " << what << '\n';
  };
  while (reader.next(&statement, &error)) {
    scriptName_ = name;
    scriptLine_ = statement.line;
    try {
      execute(statement);
    } catch (const CommandError& e) {
      report(e.what);
    }
    // A failure in a scene this one opened ends this one too.
    if (stopAtError_ && !firstError_.empty()) return false;
  }
  if (!error.empty()) report(error);
  return ok;
}

// The queries scripts ask of a loaded plug-in: -loaded, -version, -vendor and
// -dependNode (its node types, by name, on one line).
void Session::pluginInfo(const Statement& statement) {
  const Arguments a = parse(statement,
                            {{"q", "query", 0},
                             {"l", "loaded", 0},
                             {"v", "version", 0},
                             {"vd", "vendor", 0},
                             {"dn", "dependNode", 0}},
                            1, 1);
  const int asked = a.has("loaded") + a.has("version") + a.has("vendor") + a.has("dependNode");
  if (!a.has("query") || asked != 1) {
    fail("pluginInfo: give -query and one of -loaded, -version, -vendor, -dependNode");
  }
  const std::string name = fs::path(a.positional[0].text).stem().string();
  const std::vector<std::string> loaded = host_.plugins();
  const bool isLoaded = std::find(loaded.begin(), loaded.end(), name) != loaded.end();
  if (a.has("loaded")) {
    result_ = isLoaded ? "1" : "0";
  } else if (!isLoaded) {
    fail("pluginInfo: Plug-in, \"" + quoteWord(name) + "\", was not found.");
  } else if (a.has("dependNode")) {
    for (const std::string& type : host_.pluginNodeTypes(name)) {
      result_ += (result_.empty() ? "" : " ") + type;
    }
  } else {
    const auto [vendor, version] = host_.pluginVendor(name);
    result_ = a.has("version") ? version : vendor;
  }
  *out_ << result_ << '\n';
}

MStatus Session::runForPlugin(const std::string& text, std::string* result) {
  std::ostringstream quiet;
  std::ostream* const out = out_;
  out_ = &quiet;
  // MEL takes the last statement of a command string without its ';'.
  std::string script = text;
  script.erase(script.find_last_not_of(" \t\r\n") + 1);
  if (!script.empty() && script.back() != ';') script += ';';
  ScriptReader reader(script);
  Statement statement;
  std::string error;
  MStatus status = MS::kSuccess;
  while (status && reader.next(&statement, &error)) {
    try {
      execute(statement);
    } catch (const CommandError& e) {
      error = e.what;
      status = MS::kFailure;
    }
  }
  out_ = out;
  if (!error.empty()) {
    err_ << "// Error: line " << statement.line << ": " << error << '\n';
    return MS::kFailure;
  }
  *result = result_;
  return MS::kSuccess;
}

}  // namespace qv::qvmaya
