#include "vrscene.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <iterator>
#include <unordered_map>
#include <utility>

#include "text_file.h"
#include "text_lexer.h"

namespace qv::vrscene {
namespace {

using host::shown;
using host::Tok;
using host::Token;
using Failure = host::TextFailure;

constexpr host::LexerStyle kStyle = {
    "//",        // lineComment
    "@",         // moreWordChars
    "::",        // pairs
    "{}()=;,",   // punctuation
    "\"\\nt",    // escapes
    "\"\\\n\t",  // escaped
    true,        // stringsSpanLines
};

// Every construct has a fixed nesting depth, so the descent is bounded no
// matter how deeply the input tries to nest.
class Parser : host::TokenReader {
 public:
  explicit Parser(const std::string& text) : TokenReader(text, kStyle) {}

  std::vector<PluginBlock> run() {
    std::vector<PluginBlock> plugins;
    std::unordered_map<std::string, int> firstLine;
    while (tok().kind != Tok::End) {
      PluginBlock block;
      block.line = tok().line;
      block.type = expectIdent("a plug-in type");
      const int nameLine = tok().line;
      block.name = expectIdent("a plug-in name after '" + shown(block.type) + "'");
      const auto [it, fresh] = firstLine.emplace(block.name, nameLine);
      if (!fresh) {
        throw Failure{nameLine, "plug-in '" + shown(block.name) +
                                    "' is defined twice (first at line " +
                                    std::to_string(it->second) + ")"};
      }
      expect("{", "'{' after plug-in name '" + shown(block.name) + "'");
      params(block);
      plugins.push_back(std::move(block));
    }
    return plugins;
  }

 private:
  std::string expectIdent(const std::string& wanted) {
    if (tok().kind != Tok::Word) unexpected(wanted);
    return take().text;
  }

  void params(PluginBlock& block) {
    std::unordered_map<std::string, int> firstLine;
    while (!isPunct("}")) {
      if (tok().kind == Tok::End) {
        throw Failure{tok().line, "unexpected end of file inside plug-in '" + shown(block.name) +
                                      "' (missing '}')"};
      }
      Param p;
      p.line = tok().line;
      p.name = expectIdent("a parameter name or '}' in plug-in '" + shown(block.name) + "'");
      const auto [it, fresh] = firstLine.emplace(p.name, p.line);
      if (!fresh) {
        throw Failure{p.line, "parameter '" + shown(p.name) + "' is set twice in plug-in '" +
                                  shown(block.name) + "' (first at line " +
                                  std::to_string(it->second) + ")"};
      }
      expect("=", "'=' after parameter '" + shown(p.name) + "'");
      p.value = value(p.name);
      expect(";", "';' after the value of '" + shown(p.name) + "'");
      block.params.push_back(std::move(p));
    }
    advance();
  }

  Value value(const std::string& param) {
    if (tok().kind == Tok::String) return take().text;
    if (tok().kind == Tok::Int) return host::toInt64(take());
    if (tok().kind == Tok::Float) return toDouble(take());
    if (tok().kind != Tok::Word) unexpected("a value for '" + param + "'");
    const Token t = take();
    const std::string& k = t.text;
    if (k == "Color") {
      const auto n = numbers(t, 3);
      return VUtils::Color(n[0], n[1], n[2]);
    }
    if (k == "AColor") {
      const auto n = numbers(t, 4);
      return VUtils::AColor(n[0], n[1], n[2], n[3]);
    }
    if (k == "Vector") return vector(t);
    if (k == "Matrix") return matrix(t);
    if (k == "Transform") return transform(t);
    if (k == "ListInt") return listInt(t);
    if (k == "ListVector") return listVector(t);
    if (isPunct("(")) {
      throw Failure{t.line, "unknown value '" + shown(k) +
                                "(': expected a number, a string, Color, AColor, Vector, Matrix, "
                                "Transform, ListInt, ListVector or a plug-in reference"};
    }
    PluginRef ref{k, ""};
    if (isPunct("::")) {
      advance();
      ref.output = expectIdent("an output name after '" + k + "::'");
    }
    return ref;
  }

  // Reads `( item, item, ... )` after the keyword `kw`.
  template <class Item>
  void args(const Token& kw, Item item) {
    expect("(", "'(' after '" + shown(kw.text) + "'");
    if (isPunct(")")) {
      advance();
      return;
    }
    for (;;) {
      item();
      if (isPunct(")")) break;
      expect(",", "',' or ')' in " + shown(kw.text) + "(...)");
    }
    advance();
  }

  static double toDouble(const Token& t) {
    double v = 0.0;
    if (!host::toDouble(t, &v) || !std::isfinite(v)) {
      throw Failure{t.line, "number " + shown(t.text) + " is out of range"};
    }
    return v;
  }

  std::vector<float> numbers(const Token& kw, size_t count) {
    std::vector<float> n;
    args(kw, [&] {
      if (!isNumber()) unexpected("a number in " + shown(kw.text));
      const Token t = take();
      const double v = toDouble(t);
      // Narrowing an out-of-range double to float is undefined behaviour.
      if (std::fabs(v) > FLT_MAX) {
        throw Failure{t.line, "number " + shown(t.text) + " is too large for " + shown(kw.text)};
      }
      n.push_back(static_cast<float>(v));
    });
    if (n.size() != count) {
      throw Failure{kw.line, shown(kw.text) + " takes " + std::to_string(count) + " numbers, got " +
                                 std::to_string(n.size())};
    }
    return n;
  }

  VUtils::Vector vector(const Token& kw) {
    const auto n = numbers(kw, 3);
    return VUtils::Vector(n[0], n[1], n[2]);
  }

  // An argument that must itself be the constructor `name(...)`.
  Token nested(const char* name, const Token& outer) {
    if (tok().kind != Tok::Word || tok().text != name) {
      unexpected(std::string(name) + "(...) in " + shown(outer.text));
    }
    return take();
  }

  VUtils::Matrix matrix(const Token& kw) {
    std::vector<VUtils::Vector> cols;
    args(kw, [&] { cols.push_back(vector(nested("Vector", kw))); });
    if (cols.size() != 3) {
      throw Failure{kw.line, "Matrix takes 3 Vectors, got " + std::to_string(cols.size())};
    }
    VUtils::Matrix m;
    for (int i = 0; i < 3; ++i) m.f[i] = cols[i];
    return m;
  }

  VUtils::Transform transform(const Token& kw) {
    VUtils::Transform tm;
    int count = 0;
    args(kw, [&] {
      if (count == 0) tm.m = matrix(nested("Matrix", kw));
      if (count == 1) tm.offs = vector(nested("Vector", kw));
      if (count >= 2) unexpected("')' after the offset Vector in Transform");
      ++count;
    });
    if (count != 2) throw Failure{kw.line, "Transform takes a Matrix(...) and a Vector(...)"};
    return tm;
  }

  ListInt listInt(const Token& kw) {
    ListInt list;
    args(kw, [&] {
      if (tok().kind != Tok::Int) unexpected("a whole number in ListInt");
      const Token t = take();
      const std::int64_t v = host::toInt64(t);
      if (v < INT_MIN || v > INT_MAX) {
        throw Failure{t.line, "whole number " + shown(t.text) + " is out of range for ListInt"};
      }
      list.values.push_back(static_cast<int>(v));
    });
    return list;
  }

  ListVector listVector(const Token& kw) {
    ListVector list;
    args(kw, [&] { list.values.push_back(vector(nested("Vector", kw))); });
    return list;
  }
};

}  // namespace

const Param* PluginBlock::find(const std::string& paramName) const {
  for (const Param& p : params) {
    if (p.name == paramName) return &p;
  }
  return nullptr;
}

const PluginBlock* Scene::find(const std::string& pluginName) const {
  for (const PluginBlock& b : plugins) {
    if (b.name == pluginName) return &b;
  }
  return nullptr;
}

ParseResult parse(const std::string& text, const std::string& fileName) {
  ParseResult result;
  result.error = host::catchReadFailure(fileName, [&] {
    Parser parser(text);
    Scene scene;
    scene.file = fileName;
    scene.plugins = parser.run();
    result.scene = std::move(scene);
  });
  return result;
}

ParseResult parseFile(const std::string& path) {
  std::string text;
  std::string error;
  if (!host::readTextFile(path, &text, &error)) return ParseResult{std::nullopt, error};
  return parse(text, path);
}

const char* kindName(const Value& value) {
  static const char* const names[] = {
      "integer",   "float",  "Color",   "AColor",     "Vector",           "Matrix",
      "Transform", "string", "ListInt", "ListVector", "plug-in reference"};
  static_assert(std::size(names) == std::variant_size_v<Value>);
  return value.index() < std::size(names) ? names[value.index()] : "nothing";
}

}  // namespace qv::vrscene
