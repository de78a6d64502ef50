// The parts of a session that Maya ASCII files need beyond plain commands:
// names as saved files give them, the default nodes of every scene, and the
// commands whose effect is Maya's own bookkeeping, kept to be saved again.
#include "command_error.h"
#include "default_nodes.h"
#include "scene_writer.h"
#include "session.h"

#include <maya/MFnAttribute.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MPlug.h>

#include <algorithm>
#include <functional>
#include <ostream>

namespace qv::qvmaya {

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    const auto end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

// An attribute name as it starts a plug: "iog" of "iog[0].og[1]".
std::string rootName(const std::string& attribute) {
  return attribute.substr(0, attribute.find_first_of(".["));
}

}  // namespace

Session::Session(std::ostream& out, std::ostream& err)
    : out_(&out), err_(err), editor_(host_, out, [this](const Statement& s) { execute(s); }) {
  host_.setCommandRunner([this](const std::string& command, std::string* result) {
    return runForPlugin(command, result);
  });
  createDefaultNodes();
}

void Session::createDefaultNodes() {
  for (const DefaultNode& node : defaultNodes()) {
    const std::string name = host_.nodeType(node.type)
                                 ? host_.createNode(node.type, node.name)
                                 : host_.createUnknownNode(node.type, node.name, "", "");
    if (maya::NodeRecord* record = host_.record(name)) record->sceneDefault = true;
  }
  // What a new scene's objects show until assigned: the default material.
  host_.connectAttr("lambert1.outColor", "initialShadingGroup.surfaceShader");
  for (const StartupCamera& camera : startupCameras()) {
    const std::string transform = host_.createNode("transform", camera.name);
    const std::string shape = host_.createNode("camera", transform + "Shape", transform);
    host_.setAttr(transform + ".translate", camera.translate);
    host_.setAttr(transform + ".rotate", camera.rotate);
    host_.setAttr(transform + ".visibility", 0.0);
    host_.setAttr(shape + ".orthographic", camera.orthographic ? 1.0 : 0.0);
    host_.setAttr(shape + ".centerOfInterest", camera.centerOfInterest);
    host_.record(transform)->shared = true;
    host_.record(shape)->shared = true;
  }
}

void Session::warn(const std::string& what) {
  err_ << "// Warning: " << scriptName_ << " line " << scriptLine_ << ": " << what << '\n';
}

void Session::keepStatement(const Statement& statement) {
  (sawNode_ ? kept_.trailer : kept_.header).push_back(melText(statement));
}

std::string Session::findNode(const std::string& text, bool* several) const {
  *several = false;
  // The root namespace's ':' names the same node as no namespace.
  std::string path = text;
  while (!path.empty() && path[0] == ':') path.erase(0, 1);
  const bool absolute = !path.empty() && path[0] == '|';
  std::vector<std::string> parts = split(absolute ? path.substr(1) : path, '|');
  for (std::string& part : parts) {
    while (!part.empty() && part[0] == ':') part.erase(0, 1);
  }
  const std::string& last = parts.back();
  if (last.empty()) return "";
  // The name each node was given by the file, which is its own unless that
  // was taken (a shape named as another transform's shape).
  const auto fileName = [&](const std::string& node) {
    const maya::NodeRecord* record = host_.findRecord(node);
    return record && !record->readName.empty() ? record->readName : node;
  };
  std::vector<std::string> candidates;
  if (!host_.typeOf(last).empty() && fileName(last) == last) candidates.push_back(last);
  if (auto alias = aliases_.equal_range(last); alias.first != alias.second) {
    for (auto it = alias.first; it != alias.second; ++it) candidates.push_back(it->second);
  }
  // Whether `node`'s parents, its own or those it is instanced under, are
  // named by parts[0..end).
  const std::function<bool(const std::string&, size_t)> fits = [&](const std::string& node,
                                                                   size_t end) {
    if (end == 0) return !absolute || host_.parentOf(node).empty();
    std::vector<std::string> parents = {host_.parentOf(node)};
    for (auto [it, last] = instanceParents_.equal_range(node); it != last; ++it) {
      parents.push_back(it->second);
    }
    return std::any_of(parents.begin(), parents.end(), [&](const std::string& parent) {
      return !parent.empty() && fileName(parent) == parts[end - 1] && fits(parent, end - 1);
    });
  };
  std::vector<std::string> matches;
  for (const std::string& candidate : candidates) {
    if (fits(candidate, parts.size() - 1)) matches.push_back(candidate);
  }
  if (matches.size() > 1) *several = true;
  return matches.size() == 1 ? matches.front() : "";
}

maya::NodeRecord* Session::recordOf(const std::string& node) {
  maya::NodeRecord* record = host_.record(node);
  if (!record) fail("No object matches name: " + quoteWord(node));
  return record;
}

std::string Session::resolveNode(const std::string& text) const {
  bool several = false;
  const std::string node = findNode(text, &several);
  if (several) fail("More than one object matches name: " + quoteWord(text));
  if (node.empty()) fail("No object matches name: " + quoteWord(text));
  return node;
}

PlugName Session::plug(const Word& word) const {
  const std::string& text = word.text;
  PlugName plug;
  const size_t dot = text.find('.');
  if (dot == 0) {
    if (current_.empty() && !notCreated_.empty()) {
      fail("No object matches name: " + quoteWord(notCreated_ + text) + " (it was not created)");
    }
    if (current_.empty()) fail("No object is selected for " + quoteWord(text));
    if (host_.typeOf(current_).empty()) {
      fail("No object matches name: " + quoteWord(current_ + text) + " (it was deleted)");
    }
    plug.node = current_;
  } else if (dot == std::string::npos || dot + 1 == text.size()) {
    fail("Not a plug (NODE.ATTR): " + quoteWord(text));
  } else {
    bool several = false;
    plug.node = findNode(text.substr(0, dot), &several);
    if (several) fail("More than one object matches name: " + quoteWord(text));
    if (plug.node.empty()) fail("No object matches name: " + quoteWord(text));
  }
  if (dot + 1 == text.size()) fail("Not a plug (NODE.ATTR): " + quoteWord(text));
  plug.attribute = text.substr(dot + 1);
  // "ocl[3]": an element of an array the graph holds values of.
  const size_t open = plug.attribute.find('[');
  if (open != std::string::npos && plug.attribute.back() == ']' &&
      plug.attribute.find_first_of(".[]", open + 1) == plug.attribute.size() - 1 &&
      plug.attribute.find('.') == std::string::npos) {
    const std::string digits = plug.attribute.substr(open + 1, plug.attribute.size() - open - 2);
    MFnDependencyNode fn(host_.node(plug.node));
    const MObject attribute = fn.attribute(plug.attribute.substr(0, open).c_str());
    // The graph holds elements of arrays of plain values; a compound
    // array's elements, or an instance the stand-in's shapes do not have
    // (worldMesh[1]), are kept as read.
    plug.modelled = !attribute.isNull() && MFnAttribute(attribute).isArray() &&
                    !attribute.hasFn(MFn::kCompoundAttribute) && !digits.empty() &&
                    digits.size() <= 10 &&
                    digits.find_first_not_of("0123456789") == std::string::npos &&
                    std::stoull(digits) <= 0xffffffffULL &&
                    !MPlug(host_.node(plug.node), attribute)
                         .elementByLogicalIndex(static_cast<unsigned int>(std::stoull(digits)))
                         .isNull();
    if (plug.modelled) return plug;
  }
  if (plug.attribute.find('[') == std::string::npos) {
    // "t" or "t.tx": the last part names the attribute.
    const std::string name = plug.attribute.substr(plug.attribute.rfind('.') + 1);
    plug.modelled = MFnDependencyNode(host_.node(plug.node)).hasAttribute(name.c_str());
    if (plug.modelled) {
      plug.attribute = name;
      return plug;
    }
  }
  // Not modelled: kept as read where Maya has such a plug. Every node has
  // message; a node of a type not modelled has whatever the file names, and
  // so has a built-in one in a file Maya saved; any node has what addAttr
  // gave it.
  const std::string root = rootName(plug.attribute);
  const auto type = host_.nodeType(host_.typeOf(plug.node));
  const maya::NodeRecord* record = host_.findRecord(plug.node);
  const bool dynamic =
      record && std::find(record->dynamicAttributes.begin(), record->dynamicAttributes.end(),
                          root) != record->dynamicAttributes.end();
  // What a file set is there to read back, from any script.
  const bool set = record && std::any_of(record->values.begin(), record->values.end(),
                                         [&](const maya::KeptValue& value) {
                                           return value.plug == "." + plug.attribute;
                                         });
  // A file Maya saved names only attributes Maya's types have; elsewhere
  // an attribute a built-in type does not model here is a mistake.
  const bool keptByType =
      host_.unknownTypeOf(plug.node) || (savedByMaya_ && type && type->plugin.empty());
  if (root.empty() || !(root == "message" || root == "msg" || dynamic || set || keptByType)) {
    fail("No object matches name: " + quoteWord(text));
  }
  return plug;
}

void Session::select(const Statement& statement) {
  const Arguments a =
      parse(statement, {{"ne", "noExpand", 0}, {"r", "replace", 0}, {"cl", "clear", 0}}, 0, 1);
  if (a.has("clear") || a.positional.empty()) {
    current_.clear();
    return;
  }
  current_ = resolveNode(a.positional[0].text);
  notCreated_.clear();
}

void Session::rename(const Statement& statement) {
  const Arguments a = parse(statement, {{"uid", "uuid", 0}}, 1, 2);
  if (!a.has("uuid")) fail("rename: only -uuid is supported");
  const std::string node = a.positional.size() == 2 ? resolveNode(a.positional[0].text) : current_;
  if (node.empty()) fail("rename: no object is selected");
  recordOf(node)->uuid = a.positional.back().text;
}

// addAttr's flags are many and most matter only to Maya's UI: the names it
// gives are what later commands refer to, and the statement is saved again.
void Session::addAttr(const Statement& statement) {
  if (current_.empty()) fail("addAttr: no object is selected");
  maya::NodeRecord* record = recordOf(current_);
  const auto& words = statement.words;
  for (size_t i = 1; i + 1 < words.size(); ++i) {
    const std::string& flag = words[i].text;
    if (!words[i].quoted &&
        (flag == "-sn" || flag == "-shortName" || flag == "-ln" || flag == "-longName")) {
      record->dynamicAttributes.push_back(words[++i].text);
    }
  }
  record->declarations.push_back(melText(statement));
}

void Session::lockNode(const Statement& statement) {
  const Arguments a =
      parse(statement,
            {{"l", "lock", 1}, {"lu", "lockUnpublished", 1}, {"ic", "ignoreComponents", 0}}, 0, 1);
  const std::string node = a.positional.empty() ? current_ : resolveNode(a.positional[0].text);
  if (node.empty()) fail("lockNode: no object is selected");
  recordOf(node)->locks.push_back(melText(statement));
}

// A reference's nodes live in its own file, which this session does not
// load: the statement is saved again, and what the scene does to the
// referenced nodes fails as it would for any missing node.
void Session::reference(const Statement& statement) {
  keepStatement(statement);
  warn("file: the reference to " + quotePath(statement.words.back().text) +
       " is kept but not loaded");
}

// Saved files instance a shape under more transforms with `parent -add`.
// Instances are kept and saved again; the shape is drawn where it itself is.
void Session::instance(const Statement& statement) {
  const Arguments a = parse(statement,
                            {{"s", "shape", 0},
                             {"nc", "noConnections", 0},
                             {"r", "relative", 0},
                             {"add", "addObject", 0},
                             {"w", "world", 0}},
                            2, 2);
  if (!a.has("addObject")) fail("parent: only instancing (-add) is supported");
  instanceParents_.emplace(resolveNode(a.positional[0].text), resolveNode(a.positional[1].text));
  keepStatement(statement);
  if (warnedTypes_.insert("parent -add").second) {
    warn("parent: instances are kept, but drawn only where the shape itself is");
  }
}

}  // namespace qv::qvmaya
