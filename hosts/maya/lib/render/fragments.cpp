// The fragment manager: shade fragments and fragment graphs are checked as
// they are added, so that a plug-in's broken document is caught when it
// registers it rather than when a shader is built from it. Maya reports a
// refused document as a warning and returns "", and so does this.
#include "render_state.h"

#include "graph.h"

#include <maya/MFragmentManager.h>
#include <maya/MGlobal.h>

#if QV_HAVE_PUGIXML
#include <pugixml.hpp>
#endif

#include <map>
#include <optional>
#include <set>

namespace qv::maya::detail {
namespace {

std::optional<Fragment> refuse(const std::string& problem) {
  MGlobal::displayWarning(("MFragmentManager: " + problem).c_str());
  return std::nullopt;
}

#if QV_HAVE_PUGIXML

// The document's root element, or a warning naming what is wrong with it.
bool load(pugi::xml_document& document, const char* buffer, const char* rootName,
          pugi::xml_node* root, std::string* name, std::string* problem) {
  if (!buffer) {
    *problem = "no document given";
    return false;
  }
  const pugi::xml_parse_result parsed = document.load_string(buffer);
  if (!parsed) {
    *problem = std::string("malformed XML: ") + parsed.description() + " at offset " +
               std::to_string(parsed.offset);
    return false;
  }
  *root = document.document_element();
  if (std::string(root->name()) != rootName) {
    *problem = std::string("expected a <") + rootName + "> document, not <" + root->name() + ">";
    return false;
  }
  *name = root->attribute("name").value();
  if (name->empty()) {
    *problem = std::string("<") + rootName + "> without a name";
    return false;
  }
  if (renderState().fragment(*name)) {
    *problem = "a fragment named " + *name + " is already registered";
    return false;
  }
  return true;
}

// The parameters listed under a <properties> or <outputs> element.
bool parameters(const pugi::xml_node& list, const std::string& fragment,
                std::vector<FragmentParameter>* result, std::string* problem) {
  std::set<std::string> seen;
  for (const pugi::xml_node& element : list.children()) {
    if (element.type() != pugi::node_element) continue;
    FragmentParameter parameter{element.attribute("name").value(), element.name(),
                                element.attribute("semantic").value()};
    if (parameter.name.empty()) {
      *problem = fragment + ": a <" + parameter.type + "> in <" + list.name() + "> has no name";
      return false;
    }
    if (!seen.insert(parameter.name).second) {
      *problem = fragment + ": " + parameter.name + " appears twice in <" + list.name() + ">";
      return false;
    }
    result->push_back(std::move(parameter));
  }
  return true;
}

std::optional<Fragment> shadeFragment(const char* buffer) {
  pugi::xml_document document;
  pugi::xml_node root;
  Fragment fragment;
  std::string problem;
  if (!load(document, buffer, "fragment", &root, &fragment.name, &problem)) return refuse(problem);
  fragment.document = buffer;
  fragment.kind = root.attribute("type").value();
  for (const char* part : {"properties", "outputs", "implementation"}) {
    if (!root.child(part)) return refuse(fragment.name + " has no <" + part + ">");
  }
  if (!parameters(root.child("properties"), fragment.name, &fragment.properties, &problem) ||
      !parameters(root.child("outputs"), fragment.name, &fragment.outputs, &problem)) {
    return refuse(problem);
  }
  // A structure fragment declares a type; every other kind holds code.
  const char* const code = fragment.kind == "structure" ? "declaration" : "source";
  bool any = false;
  for (const pugi::xml_node& implementation :
       root.child("implementation").children("implementation")) {
    any = true;
    const std::string language = implementation.attribute("language").value();
    const std::string which =
        language.empty() ? "an implementation" : "the " + language + " implementation";
    if (!implementation.child("function_name")) {
      return refuse(fragment.name + ": " + which + " has no <function_name>");
    }
    if (!implementation.child(code)) {
      return refuse(fragment.name + ": " + which + " has no <" + code + ">");
    }
    std::string& text = fragment.sources[language];
    for (const pugi::xml_node& part : implementation.children(code)) text += part.child_value();
  }
  if (!any) return refuse(fragment.name + " has no implementation in <implementation>");
  return fragment;
}

std::optional<Fragment> fragmentGraph(const char* buffer) {
  pugi::xml_document document;
  pugi::xml_node root;
  Fragment graph;
  std::string problem;
  if (!load(document, buffer, "fragment_graph", &root, &graph.name, &problem)) {
    return refuse(problem);
  }
  graph.document = buffer;
  graph.graph = true;

  std::map<std::string, const Fragment*> used;  // by the name the graph gives it
  for (const pugi::xml_node& reference : root.child("fragments").children("fragment_ref")) {
    const std::string name = reference.attribute("name").value();
    const std::string ref = reference.attribute("ref").value();
    const Fragment* fragment = renderState().fragment(ref);
    if (!fragment) {
      return refuse(graph.name + ": fragment_ref " + name + " refers to " + ref +
                    ", which is not registered");
    }
    if (name.empty() || !used.emplace(name, fragment).second) {
      return refuse(graph.name + ": fragment_ref to " + ref + " needs a name of its own");
    }
  }
  if (used.empty()) return refuse(graph.name + " has no fragment_ref in <fragments>");

  // "instance.parameter" -> that parameter of the referenced fragment.
  const auto resolve = [&](const std::string& path, bool output) -> const FragmentParameter* {
    const size_t dot = path.find('.');
    if (dot == std::string::npos) return nullptr;
    auto fragment = used.find(path.substr(0, dot));
    if (fragment == used.end()) return nullptr;
    const std::string name = path.substr(dot + 1);
    return output ? fragment->second->output(name) : fragment->second->property(name);
  };

  for (const pugi::xml_node& connect : root.child("connections").children("connect")) {
    const std::string from = connect.attribute("from").value();
    const std::string to = connect.attribute("to").value();
    if (!resolve(from, true)) {
      return refuse(graph.name + ": connection from " + from +
                    " names no output of a fragment in the graph");
    }
    if (!resolve(to, false)) {
      return refuse(graph.name + ": connection to " + to +
                    " names no property of a fragment in the graph");
    }
  }

  if (!parameters(root.child("properties"), graph.name, &graph.properties, &problem) ||
      !parameters(root.child("outputs"), graph.name, &graph.outputs, &problem)) {
    return refuse(problem);
  }
  for (FragmentParameter& property : graph.properties) {
    const pugi::xml_node element =
        root.child("properties").find_child_by_attribute("name", property.name.c_str());
    const std::string ref = element.attribute("ref").value();
    const FragmentParameter* inner = resolve(ref, false);
    if (!inner) {
      return refuse(graph.name + ": property " + property.name + " refers to " +
                    (ref.empty() ? std::string("nothing") : ref) +
                    ", no property of a fragment in the graph");
    }
    if (inner->type != property.type) {
      return refuse(graph.name + ": property " + property.name + " is a " + property.type +
                    " but " + ref + " is a " + inner->type);
    }
    if (property.semantic.empty()) property.semantic = inner->semantic;
  }
  for (const FragmentParameter& output : graph.outputs) {
    const pugi::xml_node element =
        root.child("outputs").find_child_by_attribute("name", output.name.c_str());
    const std::string ref = element.attribute("ref").value();
    if (!resolve(ref, true) && !resolve(ref, false)) {
      return refuse(graph.name + ": output " + output.name + " refers to " +
                    (ref.empty() ? std::string("nothing") : ref) +
                    ", nothing of a fragment in the graph");
    }
  }
  return graph;
}

#else

// Debian has no Windows build of pugixml: there the manager reads no
// document, and says so rather than calling the document malformed.
std::optional<Fragment> shadeFragment(const char*) {
  return refuse("fragment documents cannot be read in this build (no pugixml)");
}

std::optional<Fragment> fragmentGraph(const char*) {
  return refuse("fragment documents cannot be read in this build (no pugixml)");
}

#endif

MString add(std::optional<Fragment> fragment) {
  if (!fragment) return "";
  const std::string name = fragment->name;
  renderState().fragments.emplace(name, std::move(*fragment));
  return name.c_str();
}

}  // namespace
}  // namespace qv::maya::detail

using qv::maya::detail::graph;
using qv::maya::detail::renderState;

namespace MHWRender {

bool MFragmentManager::hasFragment(const MString& fragmentName) const {
  return renderState().fragment(fragmentName.asChar()) != nullptr;
}

MString MFragmentManager::addShadeFragmentFromBuffer(const char* buffer, bool) {
  if (graph().injected("MFragmentManager::addShadeFragmentFromBuffer", nullptr)) return "";
  return qv::maya::detail::add(qv::maya::detail::shadeFragment(buffer));
}

MString MFragmentManager::addFragmentGraphFromBuffer(const char* buffer) {
  if (graph().injected("MFragmentManager::addFragmentGraphFromBuffer", nullptr)) return "";
  return qv::maya::detail::add(qv::maya::detail::fragmentGraph(buffer));
}

bool MFragmentManager::removeFragment(const MString& fragmentName) {
  return renderState().fragments.erase(fragmentName.asChar()) > 0;
}

bool MFragmentManager::getFragmentXML(const MString& fragmentName, MString& buffer) const {
  const auto* fragment = renderState().fragment(fragmentName.asChar());
  if (!fragment) return false;
  buffer = fragment->document.c_str();
  return true;
}

}  // namespace MHWRender
