#include "scene_writer.h"

#include "maya_host.h"

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <set>

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

}  // namespace

void writeMayaAscii(const maya::Host& host, const std::string& name, std::ostream& out) {
  const std::vector<std::string> nodes = host.listNodes();
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
  // loads them again where the plug-in is installed.
  std::set<std::string> unknownTypes;
  for (const std::string& node : nodes) {
    const auto unknown = host.unknownTypeOf(node);
    if (!unknown || !unknownTypes.insert(host.typeOf(node)).second) continue;
    out << "requires -nodeType " << quote(host.typeOf(node)) << ' ' << quote(unknown->plugin) << ' '
        << quote(unknown->version) << ";\n";
  }
  out << "currentUnit -l centimeter -a degree -t film;\n";
  out << "fileInfo \"application\" \"qvmaya\";\n";
  // Nodes come in the order they were made, so a parent precedes its children.
  for (const std::string& node : nodes) {
    out << "createNode " << host.typeOf(node) << " -n " << quote(node);
    const std::string parent = host.parentOf(node);
    if (!parent.empty()) out << " -p " << quote(parent);
    out << ";\n";
    writeValues(host, node, out);
  }
  for (const auto& [source, destination] : host.connections()) {
    out << "connectAttr " << quote(source) << ' ' << quote(destination) << ";\n";
  }
  out << "// End of " << name << "\n";
}

}  // namespace qv::qvmaya
