#include "session.h"

#include "command_error.h"
#include "qvmaya.h"
#include "scene_writer.h"
#include "text_file.h"

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

std::string Session::plug(const Word& word) const {
  std::string text = word.text;
  if (!text.empty() && text[0] == '.') {
    if (current_.empty() && !notCreated_.empty()) {
      fail("No object matches name: " + quoteWord(notCreated_ + text) + " (it was not created)");
    }
    if (current_.empty()) fail("No object is selected for " + quoteWord(text));
    text = current_ + text;
  }
  const size_t dot = text.find('.');
  if (dot == std::string::npos || dot + 1 == text.size())
    fail("Not a plug (NODE.ATTR): " + quoteWord(text));
  // A DAG path names the same node as its last part: names are unique here.
  std::string node = text.substr(0, dot);
  node = node.substr(node.rfind('|') + 1);
  const std::string attribute = text.substr(text.rfind('.') + 1);
  if (host_.typeOf(node).empty() ||
      !MFnDependencyNode(host_.node(node)).hasAttribute(attribute.c_str())) {
    fail("No object matches name: " + quoteWord(text));
  }
  return node + text.substr(dot);
}

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
  } else if (!editor_.execute(statement) && command != "fileInfo" && command != "currentUnit") {
    fail("Cannot find procedure \"" + quoteWord(command) + "\".");
  }
}

void Session::require(const Statement& statement) {
  const Arguments a = parse(statement, {{"nt", "nodeType", 1}, {"dt", "dataType", 1}}, 2, 2);
  const std::string& name = a.positional[0].text;
  const std::vector<std::string> loaded = host_.plugins();
  if (name == "maya" || std::find(loaded.begin(), loaded.end(), name) != loaded.end()) return;
  const std::string path = findPlugin(name + kPluginSuffix);
  if (path.empty()) {
    std::string folders;
    for (const std::string& folder : pluginSearchPath()) {
      folders += (folders.empty() ? "" : ", ") + folder;
    }
    fail("requires: plug-in " + quoteWord(name) + " not found in " +
         (folders.empty() ? "no folder" : folders));
  }
  loadPlugin(path);
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
  notCreated_ = a.has("name") ? a.value("name") : "the " + type + " node";
  if (!host_.nodeType(type)) fail("Unknown object type: " + quoteWord(type));
  std::string parent = a.value("parent");
  parent = parent.substr(parent.rfind('|') + 1);
  if (a.has("parent") && host_.typeOf(parent).empty())
    fail("No object matches name: " + quoteWord(parent));
  const std::string name = host_.createNode(type, a.value("name"), parent);
  if (name.empty()) fail("createNode: a " + type + " cannot be parented under " + parent);
  current_ = a.has("skipSelect") ? before : name;
  notCreated_.clear();
  result_ = name;
}

void Session::setAttr(const Statement& statement) {
  const Arguments a =
      parse(statement,
            {{"typ", "type", 1}, {"k", "keyable", 1}, {"l", "lock", 1}, {"cb", "channelBox", 1}}, 1,
            statement.words.size());
  const std::string target = plug(a.positional[0]);
  if (a.positional.size() < 2) fail("setAttr: no value given for " + target);
  std::string error;
  if (a.value("type") == "string") {
    if (a.positional.size() != 2) fail("setAttr: one string expected for " + target);
    if (!host_.setAttr(target, a.positional[1].text, &error)) fail("setAttr: " + error);
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
  if (!host_.setAttr(target, values, &error)) fail("setAttr: " + error);
}

void Session::getAttr(const Statement& statement) {
  const Arguments a = parse(statement, {}, 1, 1);
  const std::string target = plug(a.positional[0]);
  std::string error;
  if (auto values = host_.getAttr(target, &error)) {
    std::string line;
    for (double value : *values) line += (line.empty() ? "" : " ") + format(value);
    *out_ << line << '\n';
    result_ = line;
  } else if (auto text = host_.getStringAttr(target)) {
    *out_ << *text << '\n';
    result_ = *text;
  } else {
    fail("getAttr: " + error);
  }
}

void Session::connection(const Statement& statement, bool connect) {
  const Arguments a = parse(statement, {}, 2, 2);
  const std::string source = plug(a.positional[0]);
  const std::string destination = plug(a.positional[1]);
  std::string error;
  const bool done = connect ? host_.connectAttr(source, destination, &error)
                            : host_.disconnectAttr(source, destination, &error);
  if (!done) fail(statement.words[0].text + ": " + error);
}

void Session::deleteNodes(const Statement& statement) {
  const Arguments a = parse(statement, {}, 1, statement.words.size());
  for (const Word& word : a.positional) {
    const std::string node = word.text.substr(word.text.rfind('|') + 1);
    if (!host_.deleteNode(node)) fail("No object matches name: " + quoteWord(word.text));
  }
}

void Session::file(const Statement& statement) {
  const Arguments a = parse(statement,
                            {{"s", "save", 0},
                             {"o", "open", 0},
                             {"f", "force", 0},
                             {"typ", "type", 1},
                             {"rn", "rename", 1}},
                            0, 1);
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
  writeMayaAscii(host_, fs::path(path).filename().string(), text);
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
    const std::string& name = a.value("dump");
    const std::string node = name.substr(name.rfind('|') + 1);
    if (host_.typeOf(node).empty()) fail("No object matches name: " + quoteWord(name));
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
