// Reader for the subset of V-Ray's .vrscene text format that the stand-in
// host understands: plug-in blocks `Type name { param=value; ... }` with the
// value forms V-Ray writes, and `//` comments.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "vraybase.h"

namespace qv::vrscene {

// `name` or `name::output`.
struct PluginRef {
  std::string plugin;
  std::string output;  // empty when the whole plug-in is referenced
};

struct ListInt {
  std::vector<int> values;
};

struct ListVector {
  std::vector<VUtils::Vector> values;
};

// Integers are kept apart from floats so that a later conversion can tell
// them apart ("1" vs "1.0").
using Value =
    std::variant<std::int64_t, double, VUtils::Color, VUtils::AColor, VUtils::Vector,
                 VUtils::Matrix, VUtils::Transform, std::string, ListInt, ListVector, PluginRef>;

struct Param {
  std::string name;
  Value value;
  int line = 0;  // 1-based line of the parameter's name
};

struct PluginBlock {
  std::string type;
  std::string name;
  std::vector<Param> params;
  int line = 0;  // 1-based line of the type name

  const Param* find(const std::string& paramName) const;
};

struct Scene {
  std::string file;  // as given to the reader, used in messages
  std::vector<PluginBlock> plugins;

  const PluginBlock* find(const std::string& pluginName) const;
};

// On failure: no scene, and `error` holds one message "FILE:LINE: what".
struct ParseResult {
  std::optional<Scene> scene;
  std::string error;
};

ParseResult parse(const std::string& text, const std::string& fileName);
ParseResult parseFile(const std::string& path);

// Human-readable name of a value's kind, for messages ("float", "Color" ...).
const char* kindName(const Value& value);

}  // namespace qv::vrscene
