#include "viewport_network.h"

#include "graph.h"

#if QV_HAVE_PUGIXML
#include <pugixml.hpp>
#endif

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

namespace qv::maya::preview {
namespace {

using detail::graph;

struct Property {
  std::string type;  // the element's name: the type tag
  std::string name;
  std::string semantic;
  std::string ref;  // a graph's: "instance.property"
};

// What the preview reads of a shade fragment's document.
struct ShadeFragment {
  std::string name;
  std::string kind;
  std::vector<Property> properties;
  std::map<std::string, std::string> values;  // defaults by property
  std::string result;                         // struct_name of its <struct> output
  std::string function;                       // the implementation's function, in the language
  bool implemented = false;                   // whether it has one in the language
  std::vector<Member> members;                // its outputs other than structures
  std::string vertexSource;                   // an interpolant's vertex stage, in the language
};

// One fragment of what a shader was built from, under its name in the
// graph ("" for a lone shade fragment).
struct Instance {
  std::string name;
  ShadeFragment fragment;
};

// What a shader was built from: the graph (or the lone shade fragment) of
// that name, its fragments, its properties, what feeds what inside it, and
// the outputs it exports.
struct BuiltFrom {
  std::vector<Instance> instances;
  std::vector<Property> bound;
  std::map<std::string, std::string> feeds;  // "instance.property" -> "instance.output"
  std::vector<Property> outputs;             // ref "instance.output"
};

#if QV_HAVE_PUGIXML

std::vector<Property> properties(const pugi::xml_node& list) {
  std::vector<Property> result;
  for (const pugi::xml_node& element : list.children()) {
    if (element.type() != pugi::node_element) continue;
    result.push_back({element.name(), element.attribute("name").value(),
                      element.attribute("semantic").value(), element.attribute("ref").value()});
  }
  return result;
}

bool loadDocument(const std::string& name, pugi::xml_document* document, std::string* error) {
  std::string xml;
  if (!fragmentXml(name, &xml)) {
    *error = "no fragment named " + name + " is registered";
    return false;
  }
  if (!document->load_string(xml.c_str())) {
    *error = "the document of fragment " + name + " cannot be read";
    return false;
  }
  return true;
}

bool readShadeFragment(const std::string& name, const std::string& language,
                       ShadeFragment* fragment, std::string* error) {
  pugi::xml_document document;
  if (!loadDocument(name, &document, error)) return false;
  const pugi::xml_node root = document.child("fragment");
  if (!root) {
    *error = name + " is no shade fragment";
    return false;
  }
  fragment->name = name;
  fragment->kind = root.attribute("type").value();
  fragment->properties = properties(root.child("properties"));
  for (const pugi::xml_node& value : root.child("values").children()) {
    fragment->values[value.attribute("name").value()] = value.attribute("value").value();
  }
  for (const pugi::xml_node& output : root.child("outputs").children()) {
    const std::string type = output.name();
    if (type == "struct") fragment->result = output.attribute("struct_name").value();
    if (type != "struct" && type != "alias") {
      fragment->members.push_back({output.attribute("name").value(), type});
    }
  }
  for (const pugi::xml_node& implementation :
       root.child("implementation").children("implementation")) {
    if (implementation.attribute("language").value() == language) {
      fragment->implemented = true;
      fragment->function = implementation.child("function_name").attribute("val").value();
      fragment->vertexSource = implementation.child("vertex_source").text().get();
    }
  }
  return true;
}

bool readBuiltFrom(const std::string& name, const std::string& language, BuiltFrom* built,
                   std::string* error) {
  pugi::xml_document document;
  if (!loadDocument(name, &document, error)) return false;
  if (const pugi::xml_node root = document.child("fragment_graph")) {
    built->bound = properties(root.child("properties"));
    built->outputs = properties(root.child("outputs"));
    for (const pugi::xml_node& connect : root.child("connections").children("connect")) {
      built->feeds[connect.attribute("to").value()] = connect.attribute("from").value();
    }
    for (const pugi::xml_node& reference : root.child("fragments").children("fragment_ref")) {
      Instance instance;
      instance.name = reference.attribute("name").value();
      if (!readShadeFragment(reference.attribute("ref").value(), language, &instance.fragment,
                             error)) {
        return false;
      }
      built->instances.push_back(std::move(instance));
    }
    return true;
  }
  built->instances.emplace_back();
  return readShadeFragment(name, language, &built->instances.back().fragment, error);
}

#else

// Debian has no Windows build of pugixml; there no fragment is registered
// either, so nothing reaches these but a clear answer.
bool readShadeFragment(const std::string& name, const std::string&, ShadeFragment*,
                       std::string* error) {
  *error = "the document of fragment " + name + " cannot be read in this build (no pugixml)";
  return false;
}

bool readBuiltFrom(const std::string& name, const std::string& language, BuiltFrom*,
                   std::string* error) {
  return readShadeFragment(name, language, nullptr, error);
}

#endif

bool isValueType(const std::string& type) {
  return type == "bool" || type == "int" || type == "float" || type == "float2" ||
         type == "float3" || type == "float4";
}

size_t components(const std::string& type) {
  if (type == "float4x4") return 16;
  if (type == "float2") return 2;
  if (type == "float3") return 3;
  if (type == "float4") return 4;
  return 1;
}

// Numbers separated by spaces or commas, as a ShaderView or a <values> entry
// holds them.
bool parseNumbers(const std::string& text, size_t count, std::vector<float>* values) {
  std::string spaced = text;
  for (char& c : spaced) {
    if (c == ',') c = ' ';
  }
  std::istringstream in(spaced);
  values->clear();
  for (std::string word; in >> word;) {
    char* end = nullptr;
    const double value = std::strtod(word.c_str(), &end);
    if (end != word.c_str() + word.size()) return false;
    values->push_back(static_cast<float>(value));
  }
  return values->size() == count;
}

// The entry a built shader holds for a property: resolved names are
// "s<build>_<property>".
template <typename T>
const T* resolved(const std::map<std::string, T>& entries, const std::string& property) {
  for (const auto& [name, value] : entries) {
    const size_t underscore = name.find('_');
    if (name.size() > 1 && name[0] == 's' && underscore != std::string::npos && underscore > 1 &&
        name.compare(underscore + 1, std::string::npos, property) == 0 &&
        name.find_first_not_of("0123456789", 1) == underscore) {
      return &value;
    }
  }
  return nullptr;
}

gpu::Sampler samplerOf(const MHWRender::MSamplerStateDesc& desc) {
  using MHWRender::MSamplerState;
  gpu::Sampler sampler;
  // A whole-pixel draw samples at level 0, where the magnification filter
  // decides.
  switch (desc.filter) {
    case MSamplerState::kMinMagMipPoint:
    case MSamplerState::kMinMagPoint_MipLinear:
    case MSamplerState::kMinLinear_MagMipPoint:
    case MSamplerState::kMinLinear_MagPoint_MipLinear:
      sampler.filter = gpu::Filter::kNearest;
      break;
    case MSamplerState::kAnisotropic:
      sampler.filter = gpu::Filter::kAnisotropic;
      break;
    default:
      sampler.filter = gpu::Filter::kLinear;
      break;
  }
  // The runner has one addressing for both axes; u's stands for both.
  switch (desc.addressU) {
    case MSamplerState::kTexWrap:
      sampler.address = gpu::Address::kWrap;
      break;
    case MSamplerState::kTexClamp:
      sampler.address = gpu::Address::kClamp;
      break;
    case MSamplerState::kTexBorder:
      sampler.address = gpu::Address::kBorder;
      break;
    default:  // kTexMirror
      sampler.address = gpu::Address::kMirror;
      break;
  }
  sampler.maxAnisotropy = static_cast<float>(desc.maxAnisotropy);
  return sampler;
}

// The camera's matrices, by their semantics as Maya spells them in any case.
const char* const kCameraMatrices[] = {"view", "projection", "viewprojection", "worldview",
                                       "worldviewprojection"};

const char* varyingOf(const std::string& semantic) {
  if (semantic == "mayaUvCoordSemantic") return "uv";
  if (semantic == "Pm") return "Pm";
  if (semantic == "Pw") return "Pw";
  if (semantic == "Nw") return "Nw";
  if (semantic == "world") return "world";
  std::string lower = semantic;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* matrix : kCameraMatrices) {
    if (lower == matrix) return matrix;
  }
  return nullptr;
}

const char* varyingType(const std::string& varying) {
  if (varying == "uv") return "float2";
  if (varying == "Pm" || varying == "Pw" || varying == "Nw") return "float3";
  return "float4x4";
}

// The textures and samplers of one call, in parameter order.
struct CallTextures {
  std::vector<std::string> files;
  std::vector<bool> memory;
  std::vector<gpu::Sampler> samplers;
};

// "instance.member" split at its last dot.
std::pair<std::string, std::string> splitPath(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return {std::string(), path};
  return {path.substr(0, dot), path.substr(dot + 1)};
}

class Linker {
 public:
  Linker(const Viewport& viewport, Network* network) : viewport_(viewport), network_(*network) {}

  // The index of the node's call, linked with the calls it reads.
  int link(const std::string& node, std::string* error);

 private:
  // One node's shader while its fragments are linked, each fragment of its
  // graph one call.
  struct Shader {
    std::string node;
    const ShaderView* view = nullptr;
    BuiltFrom built;
    std::map<std::string, int> linked;  // instance -> call
    std::set<std::string> linking;
  };

  int linkInstance(Shader& shader, const std::string& instance, std::string* error);
  bool argument(const std::string& node, const ShaderView& view, const Property& property,
                const Property& bound, const ShadeFragment& fragment, Call* call,
                CallTextures* textures, std::string* error);

  const Viewport& viewport_;
  Network& network_;
  std::map<std::string, int> linked_;
  std::set<std::string> linking_;
  std::set<std::string> declared_;
};

int Linker::link(const std::string& node, std::string* error) {
  if (auto done = linked_.find(node); done != linked_.end()) return done->second;
  if (!linking_.insert(node).second) {
    *error = "the shading network through " + node + " is a cycle";
    return -1;
  }
  const ShaderView* view = viewport_.shader(node);
  if (!view || view->fragmentName.empty() || !view->buildError.empty()) {
    *error = node + " has no Viewport 2.0 shader" +
             (view && !view->buildError.empty() ? ": " + view->buildError : std::string());
    return -1;
  }
  Shader shader;
  shader.node = node;
  shader.view = view;
  if (!readBuiltFrom(view->fragmentName, network_.language, &shader.built, error)) {
    *error = node + ": " + *error;
    return -1;
  }
  // The node's result is that of the fragment the graph's outputs export
  // (through a structure fragment, the one that fills it).
  std::string result;
  if (!shader.built.instances.front().name.empty()) {
    bool first = true;
    for (const Property& output : shader.built.outputs) {
      const auto [instance, member] = splitPath(output.ref);
      if (output.type != "struct" && member != output.name) {
        *error = node + ": " + view->fragmentName + " exports " + output.ref + " as " +
                 output.name + ", a renaming the preview does not link";
        return -1;
      }
      if (!first && instance != result) {
        *error = node + ": the outputs of " + view->fragmentName +
                 " come from several fragments, which the preview does not link";
        return -1;
      }
      result = instance;
      first = false;
    }
    if (first) {
      *error = node + ": " + view->fragmentName + " exports no output";
      return -1;
    }
  }
  const int index = linkInstance(shader, result, error);
  if (index < 0) return -1;
  linking_.erase(node);
  linked_[node] = index;
  return index;
}

int Linker::linkInstance(Shader& shader, const std::string& instance, std::string* error) {
  const std::string& node = shader.node;
  const ShaderView& view = *shader.view;
  const BuiltFrom& built = shader.built;
  const auto fail = [&](const std::string& what) {
    *error = node + ": " + what;
    return -1;
  };
  if (auto done = shader.linked.find(instance); done != shader.linked.end()) return done->second;
  const Instance* found = nullptr;
  for (const Instance& candidate : built.instances) {
    if (candidate.name == instance) found = &candidate;
  }
  if (!found) return fail(view.fragmentName + " has no fragment " + instance);
  if (!shader.linking.insert(instance).second) {
    return fail("the connections of " + view.fragmentName + " through " + instance +
                " are a cycle");
  }
  const ShadeFragment& fragment = found->fragment;
  if (fragment.kind == "structure") {
    // A structure fragment computes nothing: it is the structure that the
    // fragment connected into it returns.
    for (const Property& property : fragment.properties) {
      auto feed = built.feeds.find(instance + "." + property.name);
      if (property.type != "struct" || feed == built.feeds.end()) continue;
      const int from = linkInstance(shader, splitPath(feed->second).first, error);
      if (from < 0) return -1;
      if (network_.calls[static_cast<size_t>(from)].resultType != fragment.name) {
        return fail(feed->second + " is no " + fragment.name + " for " + instance);
      }
      shader.linking.erase(instance);
      shader.linked[instance] = from;
      return from;
    }
    return fail("nothing in " + view.fragmentName + " fills the structure " + instance);
  }
  if (fragment.function.empty()) {
    return fail("fragment " + fragment.name + " has no " + network_.language + " implementation");
  }
  Call call;
  call.node = node;
  call.fragment = fragment.name;
  call.function = fragment.function;
  if (fragment.kind == "interpolant") {
    // The vertex stage computes the value that the pixel stage receives
    // interpolated; the preview shades each point on its own, so it runs
    // both there, which is what the interpolation gives for a value affine
    // in the position.
    if (fragment.vertexSource.empty() || fragment.members.size() != 1) {
      return fail(
          "the preview links interpolant fragments with a vertex stage and one output, "
          "and " +
          fragment.name + " is not one");
    }
    call.vertexFunction = "i" + fragment.function;
  }
  if (!fragment.result.empty()) {
    ShadeFragment structure;
    if (!readShadeFragment(fragment.result, network_.language, &structure, error)) {
      return fail(*error);
    }
    call.resultType = fragment.result;
    call.members = structure.members;
  } else if (fragment.members.size() == 1 && isValueType(fragment.members[0].type)) {
    // A function that returns its one output itself.
    call.single = true;
    call.resultType = fragment.members[0].type;
    call.members = fragment.members;
  } else {
    return fail("the preview links functions that return a structure or one value, and " +
                fragment.name + "'s returns neither");
  }
  CallTextures textures;
  for (const Property& property : fragment.properties) {
    const std::string path = instance + "." + property.name;
    if (auto feed = built.feeds.find(path); !instance.empty() && feed != built.feeds.end()) {
      // Connected inside the graph: the result of the fragment it comes from.
      const auto [source, output] = splitPath(feed->second);
      const int from = linkInstance(shader, source, error);
      if (from < 0) return -1;
      Argument argument;
      argument.parameter = property.name;
      argument.type = property.type;
      for (const Member& member : network_.calls[static_cast<size_t>(from)].members) {
        if (member.name == output && member.type == property.type) {
          argument.kind = ArgumentKind::kLink;
          argument.call = from;
          argument.member = output;
        }
      }
      if (argument.kind != ArgumentKind::kLink) {
        return fail("parameter " + property.name + " of " + fragment.name + " is fed by " +
                    feed->second + ", which is no " + property.type);
      }
      call.arguments.push_back(std::move(argument));
      continue;
    }
    // The shader names a graph's properties as the graph does.
    Property named = property;
    named.ref.clear();
    if (!instance.empty()) {
      bool exported = false;
      for (const Property& outer : built.bound) {
        if (outer.ref != path) continue;
        exported = true;
        named = outer;
        if (named.semantic.empty()) named.semantic = property.semantic;
      }
      if (!exported) named.name.clear();  // no shader property: its default
    }
    if (!argument(node, view, property, named, fragment, &call, &textures, error)) return -1;
  }
  // The call's slots follow those of the calls it reads: its nth texture
  // and nth sampler share one.
  const int firstSlot = static_cast<int>(network_.slots.size());
  for (size_t i = 0; i < std::max(textures.files.size(), textures.samplers.size()); ++i) {
    Slot slot;
    if (i < textures.files.size()) {
      slot.file = textures.files[i];
      slot.memory = textures.memory[i];
    }
    if (i < textures.samplers.size()) slot.sampler = textures.samplers[i];
    network_.slots.push_back(slot);
  }
  for (Argument& argument : call.arguments) {
    if (argument.kind == ArgumentKind::kTexture || argument.kind == ArgumentKind::kSampler) {
      argument.slot += firstSlot;
    }
  }
  for (const std::string& name : {fragment.result, fragment.name}) {
    if (name.empty() || !declared_.insert(name).second) continue;
    if (name == fragment.name && !call.vertexFunction.empty()) {
      network_.declarations.push_back(fragment.vertexSource);
    }
    network_.declarations.push_back(fragmentSource(name, network_.language));
  }
  shader.linking.erase(instance);
  network_.calls.push_back(std::move(call));
  const int index = static_cast<int>(network_.calls.size()) - 1;
  shader.linked[instance] = index;
  return index;
}

bool Linker::argument(const std::string& node, const ShaderView& view, const Property& property,
                      const Property& bound, const ShadeFragment& fragment, Call* call,
                      CallTextures* textures, std::string* error) {
  Argument argument;
  argument.parameter = property.name;
  argument.type = property.type;
  const auto fail = [&](const std::string& what) {
    *error = node + ": parameter " + property.name + " of " + fragment.name + ": " + what;
    return false;
  };
  if (!bound.semantic.empty()) {
    const char* varying = varyingOf(bound.semantic);
    if (!varying) return fail("the preview provides no semantic " + bound.semantic);
    if (property.type != varyingType(varying)) {
      return fail("semantic " + bound.semantic + " is a " + varyingType(varying) + ", not a " +
                  property.type);
    }
    argument.kind = ArgumentKind::kVarying;
    argument.semantic = varying;
  } else if (property.type == "texture2") {
    // Numbered within the call until it is complete.
    argument.kind = ArgumentKind::kTexture;
    argument.slot = static_cast<int>(textures->files.size());
    const std::string* file = bound.name.empty() ? nullptr : resolved(view.textures, bound.name);
    textures->files.push_back(file ? *file : "");
    textures->memory.push_back(file && resolved(view.memoryTextures, bound.name));
  } else if (property.type == "sampler") {
    argument.kind = ArgumentKind::kSampler;
    argument.slot = static_cast<int>(textures->samplers.size());
    const MHWRender::MSamplerStateDesc* desc =
        bound.name.empty() ? nullptr : resolved(view.samplers, bound.name);
    textures->samplers.push_back(samplerOf(desc ? *desc : MHWRender::MSamplerStateDesc()));
  } else if (property.type != "bool" && property.type != "int" &&
             property.type.compare(0, 5, "float") != 0) {
    return fail("the preview cannot pass a " + property.type);
  } else {
    // Connected from another viewport node's output: that node's result.
    if (!bound.name.empty()) {
      detail::Node* maya = graph().nodeByName(node);
      const detail::Attribute* attribute = maya ? maya->type->find(bound.name) : nullptr;
      const detail::Connection* connection =
          attribute ? graph().incoming({maya, attribute}) : nullptr;
      const ShaderView* source =
          connection ? viewport_.shader(connection->source.node->name) : nullptr;
      if (source) {
        const int from = link(connection->source.node->name, error);
        if (from < 0) return false;
        const std::string& member = connection->source.attribute->longName;
        for (const Member& candidate : network_.calls[static_cast<size_t>(from)].members) {
          if (candidate.name == member && candidate.type == property.type) {
            argument.kind = ArgumentKind::kLink;
            argument.call = from;
            argument.member = member;
          }
        }
      }
    }
    if (argument.kind != ArgumentKind::kLink) {
      const std::string* text =
          bound.name.empty() ? nullptr : resolved(view.parameters, bound.name);
      auto fallback = fragment.values.find(property.name);
      const size_t count = components(property.type);
      if (text) {
        if (!parseNumbers(*text, count, &argument.values)) {
          return fail("the shader holds '" + *text + "', not " + std::to_string(count) +
                      (count == 1 ? " number" : " numbers"));
        }
      } else if (fallback != fragment.values.end()) {
        if (!parseNumbers(fallback->second, count, &argument.values)) {
          return fail("its default '" + fallback->second + "' is not " + std::to_string(count) +
                      (count == 1 ? " number" : " numbers"));
        }
      } else {
        argument.values.assign(count, 0.0f);
      }
      if (count == 16) {
        // The MMatrix as Maya hands it over: transposed, so that the
        // fragment's mul(m, v) is the row vector v times the MMatrix.
        std::vector<float> rows(16);
        for (int r = 0; r < 4; ++r) {
          for (int c = 0; c < 4; ++c) rows[r * 4 + c] = argument.values[c * 4 + r];
        }
        argument.values = rows;
      }
    }
  }
  call->arguments.push_back(std::move(argument));
  return true;
}

// A type of the fragments' XML as the language writes it.
std::string typeName(const std::string& type, bool glsl) {
  if (!glsl) return type;
  if (type == "float2") return "vec2";
  if (type == "float3") return "vec3";
  if (type == "float4") return "vec4";
  if (type == "float4x4") return "mat4";
  return type;
}

std::string literal(float value, bool glsl) {
  if (!std::isfinite(value)) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    char text[48];
    std::snprintf(text, sizeof text, glsl ? "uintBitsToFloat(0x%08xu)" : "asfloat(0x%08xu)", bits);
    return text;
  }
  char text[48];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  std::string result = text;
  if (result.find_first_of(".e") == std::string::npos) result += ".0";
  return result;
}

// A matrix of the camera, for a fragment as Maya hands it over: in HLSL
// element [row][column] is that of Maya's matrix, for mul(p, matrix); in
// GLSL the same numbers column by column, for matrix * p. (The wrapper's
// qvWorld is the other way round in HLSL, the `world` semantic's own
// convention.)
std::string cameraMatrix(const std::string& semantic, bool glsl) {
  const std::string world = glsl ? "qvWorld" : "transpose(qvWorld)";
  const auto product = [&](const std::string& a, const std::string& b) {
    return glsl ? "(" + b + " * " + a + ")" : "mul(" + a + ", " + b + ")";
  };
  if (semantic == "view") return "qvView";
  if (semantic == "projection") return "qvProjection";
  if (semantic == "viewprojection") return product("qvView", "qvProjection");
  if (semantic == "worldview") return product(world, "qvView");
  return product(product(world, "qvView"), "qvProjection");
}

// The wrapper's constants qvView and qvProjection.
std::string cameraConstants(const Network& network, bool glsl) {
  std::string text;
  for (const auto& [name, values] :
       {std::pair<const char*, const std::vector<float>*>{"qvView", &network.view},
        {"qvProjection", &network.projection}}) {
    text += std::string(glsl ? "  mat4 " : "  float4x4 ") + name + " = " +
            (glsl ? "mat4(" : "float4x4(");
    for (size_t i = 0; i < values->size(); ++i) {
      text += (i ? ", " : "") + literal((*values)[i], glsl);
    }
    text += ");\n";
  }
  return text;
}

std::string expression(const Argument& argument, bool glsl) {
  switch (argument.kind) {
    case ArgumentKind::kVarying:
      if (argument.semantic == "uv") return "qvUv";
      if (argument.semantic == "Pm") return "qvPm";
      if (argument.semantic == "Pw") return "qvPw";
      if (argument.semantic == "Nw") return "qvNw";
      if (argument.semantic == "world") return "qvWorld";
      return cameraMatrix(argument.semantic, glsl);
    case ArgumentKind::kLink:
      return "qvCall" + std::to_string(argument.call) + "." + argument.member;
    case ArgumentKind::kTexture:
      return gpu::hlslTextureName(static_cast<uint32_t>(argument.slot));
    case ArgumentKind::kSampler:
      return glsl ? gpu::glslMapName(static_cast<uint32_t>(argument.slot))
                  : gpu::hlslSamplerName(static_cast<uint32_t>(argument.slot));
    case ArgumentKind::kConstant:
      break;
  }
  if (argument.type == "bool") return argument.values[0] != 0.0f ? "true" : "false";
  if (argument.type == "int") {
    const float value = argument.values[0];
    return std::to_string(std::fabs(value) < 2e9f ? static_cast<long>(value) : 0L);
  }
  if (argument.values.size() == 1) return literal(argument.values[0], glsl);
  std::vector<float> values = argument.values;
  if (glsl && values.size() == 16) {
    // The same matrix: GLSL's constructor takes it column by column.
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) values[c * 4 + r] = argument.values[r * 4 + c];
    }
  }
  std::string text = typeName(argument.type, glsl) + "(";
  for (size_t i = 0; i < values.size(); ++i) {
    text += (i ? ", " : "") + literal(values[i], glsl);
  }
  return text + ")";
}

// The calls of a wrapper's main, each "qvCall<i>" holding its result.
std::string callsText(const Network& network, bool glsl) {
  std::string text;
  for (size_t i = 0; i < network.calls.size(); ++i) {
    const Call& call = network.calls[i];
    text += "  " + typeName(call.resultType, glsl) + " qvCall" + std::to_string(i) + " = " +
            call.function + "(" + (call.vertexFunction.empty() ? "" : call.vertexFunction + "(");
    bool first = true;
    for (const Argument& argument : call.arguments) {
      // Maya's GLSL fragments take a texture as the sampler2D of its sampler.
      if (glsl && argument.kind == ArgumentKind::kTexture) continue;
      const bool whole = argument.kind == ArgumentKind::kLink &&
                         network.calls[static_cast<size_t>(argument.call)].single;
      text += (first ? "" : ", ") +
              (whole ? "qvCall" + std::to_string(argument.call) : expression(argument, glsl));
      first = false;
    }
    text += std::string(call.vertexFunction.empty() ? "" : ")") + ");  // " + call.node + "\n";
  }
  return text;
}

// The wrapper's last lines: the shown colour and alpha of the point written.
std::string writeText(const Network& network, bool glsl) {
  const Call& root = network.calls.back();
  const std::string result = "qvCall" + std::to_string(network.calls.size() - 1);
  const std::string shown = root.single ? result : result + "." + network.shown;
  const std::string u = glsl ? "u" : "";
  return "  if (qvWrites(qvPosition)) {\n"
         "    uint qvAt = qvInvocation(qvPosition) * " +
         std::to_string(kOutputFloats) + u + ";\n    qvOutputs[qvAt] = " + shown +
         ".x;\n    qvOutputs[qvAt + 1" + u + "] = " + shown + ".y;\n    qvOutputs[qvAt + 2" + u +
         "] = " + shown + ".z;\n    qvOutputs[qvAt + 3" + u +
         "] = " + (network.hasAlpha ? result + ".outAlpha" : "1.0") + ";\n  }\n}\n";
}

}  // namespace

bool linkNetwork(const Viewport& viewport, const std::string& root, const std::string& shown,
                 Network* network, std::string* error) {
  *network = Network();
  network->root = root;
  network->language = engineLanguage(viewport.engine());
  Linker linker(viewport, network);
  const int index = linker.link(root, error);
  if (index < 0) return false;
  const Call& last = network->calls.back();
  bool found = false;
  for (const Member& member : last.members) {
    if (member.name == shown && member.type == "float3") found = true;
    if (member.name == "outAlpha" && member.type == "float" && !last.single) {
      network->hasAlpha = true;
    }
  }
  if (!found) {
    *error = root + ": the result of " + last.function + " has no colour " + shown;
    return false;
  }
  network->shown = shown;
  return true;
}

std::string wrapperHlsl(const Network& network) {
  std::string text =
      gpu::hlslPrelude(static_cast<uint32_t>(std::max<size_t>(network.slots.size(), 1)));
  for (const std::string& declaration : network.declarations) text += declaration + "\n";
  text +=
      "void main(float4 qvPosition : SV_Position) {\n"
      "  uint qvBase = qvInvocation(qvPosition) * " +
      std::to_string(kInputFloats) +
      ";\n"
      "  float2 qvUv = float2(qvInputs[qvBase], qvInputs[qvBase + 1]);\n"
      "  float3 qvPm = float3(qvInputs[qvBase + 2], qvInputs[qvBase + 3], qvInputs[qvBase + 4]);\n"
      "  float3 qvPw = float3(qvInputs[qvBase + 5], qvInputs[qvBase + 6], qvInputs[qvBase + 7]);\n"
      "  float3 qvNw = float3(qvInputs[qvBase + 8], qvInputs[qvBase + 9], qvInputs[qvBase + 10]);\n"
      "  uint qvWorldAt = qvInvocationCount * " +
      std::to_string(kInputFloats) + " + uint(qvInputs[qvBase + " + std::to_string(kInputSurface) +
      "]) * 16;\n"
      "  float4x4 qvWorld;\n"
      "  for (uint qvRow = 0; qvRow < 4; ++qvRow)\n"
      "    for (uint qvColumn = 0; qvColumn < 4; ++qvColumn)\n"
      "      qvWorld[qvRow][qvColumn] = qvInputs[qvWorldAt + qvRow * 4 + qvColumn];\n";
  return text + cameraConstants(network, false) + callsText(network, false) +
         writeText(network, false);
}

std::string wrapperGlsl(const Network& network) {
  std::string text =
      gpu::glslPrelude(static_cast<uint32_t>(std::max<size_t>(network.slots.size(), 1)));
  for (const std::string& declaration : network.declarations) text += declaration + "\n";
  text +=
      "void main() {\n"
      "  vec4 qvPosition = gl_FragCoord;\n"
      "  uint qvBase = qvInvocation(qvPosition) * " +
      std::to_string(kInputFloats) +
      "u;\n"
      "  vec2 qvUv = vec2(qvInputs[qvBase], qvInputs[qvBase + 1u]);\n"
      "  vec3 qvPm = vec3(qvInputs[qvBase + 2u], qvInputs[qvBase + 3u], qvInputs[qvBase + 4u]);\n"
      "  vec3 qvPw = vec3(qvInputs[qvBase + 5u], qvInputs[qvBase + 6u], qvInputs[qvBase + 7u]);\n"
      "  vec3 qvNw = vec3(qvInputs[qvBase + 8u], qvInputs[qvBase + 9u], qvInputs[qvBase + 10u]);\n"
      "  uint qvWorldAt = qvInvocationCount * " +
      std::to_string(kInputFloats) + "u + uint(qvInputs[qvBase + " + std::to_string(kInputSurface) +
      "u]) * 16u;\n"
      "  // The HLSL wrapper's matrix: element [row][column] there is [column][row] here.\n"
      "  mat4 qvWorld;\n"
      "  for (uint qvRow = 0u; qvRow < 4u; ++qvRow)\n"
      "    for (uint qvColumn = 0u; qvColumn < 4u; ++qvColumn)\n"
      "      qvWorld[qvColumn][qvRow] = qvInputs[qvWorldAt + qvRow * 4u + qvColumn];\n";
  return text + cameraConstants(network, true) + callsText(network, true) +
         writeText(network, true);
}

gpu::ShaderCompile compileWrapper(const Network& network) {
  return network.language == "GLSL"
             ? gpu::compileGlsl(wrapperGlsl(network), gpu::Stage::kFragment)
             : gpu::compileHlsl(wrapperHlsl(network), "main", gpu::Stage::kFragment);
}

}  // namespace qv::maya::preview
