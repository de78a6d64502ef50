#include "scene_writer.h"

#include "maya_host.h"
#include "session.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <ostream>
#include <set>
#include <sstream>

namespace qv::qvmaya {

std::string exactNumber(double value) {
  char text[32];
  for (int digits : {6, 15, 17}) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  return text;
}

std::string quote(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (c == '\n') {
      quoted += "\\n";
    } else if (c == '\t') {
      quoted += "\\t";
    } else if (c == '\r') {
      quoted += "\\r";
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

namespace {

void writeValues(const maya::Host& host, const std::string& node, std::ostream& out) {
  for (const maya::AttributeState& state : host.attributes(node)) {
    if (!state.storable || (state.value == state.defaultValue && state.text == state.defaultText)) {
      continue;
    }
    // Only strings have a text form that setAttr reads back.
    if (state.type == "data") continue;
    out << "\tsetAttr \"." << state.shortName << '"';
    if (!state.type.empty()) out << " -type " << quote(state.type);
    if (state.type == "string") out << ' ' << quote(state.text);
    for (double number : state.value) out << ' ' << exactNumber(number);
    out << ";\n";
  }
}

// The name the file gave the node, which is its own unless that was taken.
std::string fileName(const maya::Host& host, const std::string& node) {
  const maya::NodeRecord* record = host.findRecord(node);
  return record && !record->readName.empty() ? record->readName : node;
}

// How many nodes go by each file name.
using NameCounts = std::map<std::string, int>;

NameCounts countNames(const maya::Host& host, const std::vector<std::string>& nodes) {
  NameCounts counts;
  for (const std::string& node : nodes) ++counts[fileName(host, node)];
  return counts;
}

// How the file names a node: by its name, or by its DAG path where other
// nodes have the same name.
std::string pathOf(const maya::Host& host, const NameCounts& counts, const std::string& node) {
  const std::string name = fileName(host, node);
  auto count = counts.find(name);
  if (count == counts.end() || count->second < 2) return name;
  const std::string parent = host.parentOf(node);
  return (parent.empty() ? "" : pathOf(host, counts, parent)) + "|" + name;
}

// Plugs of a default node are ':'-rooted, as Maya writes them.
std::string plugOf(const maya::Host& host, const NameCounts& counts, const std::string& node,
                   const std::string& plug) {
  const maya::NodeRecord* record = host.findRecord(node);
  return (record && record->sceneDefault ? ":" : "") + pathOf(host, counts, node) + "." + plug;
}

void writeNode(const maya::Host& host, const std::string& node, std::ostream& out) {
  const maya::NodeRecord* record = host.findRecord(node);
  if (record && !record->uuid.empty()) out << "\trename -uid " << quote(record->uuid) << ";\n";
  if (record) {
    for (const std::string& line : record->declarations) out << '\t' << line << '\n';
  }
  writeValues(host, node, out);
  if (!record) return;
  for (const maya::KeptValue& value : record->values) out << value.statement << "\n";
  for (const std::string& line : record->locks) out << '\t' << line << '\n';
}

bool startsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

}  // namespace

void writeMayaAscii(const maya::Host& host, const std::string& name, const KeptStatements& kept,
                    std::ostream& out) {
  const std::vector<std::string> nodes = host.listNodes();
  const NameCounts names = countNames(host, nodes);
  std::set<std::string> inUse;
  for (const std::string& node : nodes) inUse.insert(host.typeOf(node));

  out << "//Maya ASCII 2015 scene\n//Name: " << name << "\n//Codeset: UTF-8\n";
  out << "requires maya \"2015\";\n";
  for (const std::string& plugin : host.plugins()) {
    for (const std::string& type : inUse) {
      auto info = host.nodeType(type);
      if (info && info->plugin == plugin) {
        out << "requires " << quote(plugin) << ' ' << quote(info->version) << ";\n";
        break;
      }
    }
  }
  // Nodes of a plug-in unloaded by force keep naming it, so that the scene
  // loads them again where the plug-in is installed; a plug-in the scene
  // required but that was missing is named by its own requires, kept below.
  std::set<std::string> unknownTypes;
  for (const std::string& node : nodes) {
    const auto unknown = host.unknownTypeOf(node);
    if (!unknown || unknown->plugin.empty() || !unknownTypes.insert(host.typeOf(node)).second) {
      continue;
    }
    const std::string required = "requires " + quote(unknown->plugin) + ' ';
    const bool keptAlready =
        std::any_of(kept.header.begin(), kept.header.end(), [&](const std::string& line) {
          return startsWith(line, "requires ") &&
                 line.find(quote(unknown->plugin)) != std::string::npos;
        });
    if (keptAlready) continue;
    out << "requires -nodeType " << quote(host.typeOf(node)) << ' ' << quote(unknown->plugin) << ' '
        << quote(unknown->version) << ";\n";
  }
  for (const std::string& line : kept.header) {
    if (startsWith(line, "fileInfo \"application\"")) continue;
    out << line << '\n';
  }
  out << "currentUnit -l centimeter -a degree -t film;\n";
  out << "fileInfo \"application\" \"qvmaya\";\n";
  // Nodes come in the order they were made, so a parent precedes its children.
  std::vector<std::string> defaults;
  for (const std::string& node : nodes) {
    const maya::NodeRecord* record = host.findRecord(node);
    if (record && record->sceneDefault) {
      defaults.push_back(node);
      continue;
    }
    out << "createNode " << host.typeOf(node) << (record && record->shared ? " -s" : "") << " -n "
        << quote(fileName(host, node));
    const std::string parent = host.parentOf(node);
    if (!parent.empty()) out << " -p " << quote(pathOf(host, names, parent));
    out << ";\n";
    writeNode(host, node, out);
  }
  // The nodes every scene has are written only where the scene changed them.
  for (const std::string& node : defaults) {
    std::ostringstream body;
    writeNode(host, node, body);
    if (!body.str().empty()) out << "select -ne :" << node << ";\n" << body.str();
  }
  const auto isDefault = [&](const std::string& plug) {
    const maya::NodeRecord* record = host.findRecord(plug.substr(0, plug.find('.')));
    return record && record->sceneDefault;
  };
  for (const auto& [source, destination] : host.connections()) {
    // Default nodes come connected among themselves with every scene.
    if (isDefault(source) && isDefault(destination)) continue;
    const auto split = [&](const std::string& plug) {
      const size_t dot = plug.find('.');
      return plugOf(host, names, plug.substr(0, dot), plug.substr(dot + 1));
    };
    out << "connectAttr " << quote(split(source)) << ' ' << quote(split(destination)) << ";\n";
  }
  for (const maya::KeptConnection& c : host.keptConnections()) {
    out << "connectAttr " << quote(plugOf(host, names, c.sourceNode, c.sourcePlug)) << ' '
        << quote(plugOf(host, names, c.destinationNode, c.destinationPlug))
        << (c.flags.empty() ? "" : " " + c.flags) << ";\n";
  }
  for (const std::string& line : kept.trailer) out << line << '\n';
  out << "// End of " << name << "\n";
}

}  // namespace qv::qvmaya
