#include "mi_declaration.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <utility>

#include "text_file.h"

namespace qv::mrhost {

// The host's declaration file, compiled in (base.mi).
extern const char base_mi[];

namespace {

using host::shown;
using host::Tok;
using host::Token;
using Failure = host::TextFailure;

// What `apply` may name: the uses mental ray puts shaders to.
const char* const kApplyWords[] = {
    "lens",      "material", "light",    "shadow",  "environment", "volume",   "texture", "photon",
    "photonvol", "geometry", "displace", "emitter", "output",      "lightmap", "contour", "state",
};

const char* const kTypeList =
    "boolean, integer, scalar, vector, color, transform, color texture, struct or array";

bool isPlain(ParamKind kind) {
  return kind != ParamKind::Texture && kind != ParamKind::Struct && kind != ParamKind::Array;
}

// Lays the parameters out one after another from `offset`; each gets its
// size and its default words, a structure its members'.
std::size_t layOut(std::vector<ParamDecl>* params, std::size_t offset) {
  for (ParamDecl& p : *params) {
    p.offset = offset;
    if (p.kind == ParamKind::Struct) {
      p.size = layOut(&p.members, 0);
      std::vector<std::uint32_t> words(p.size / 4, 0u);
      for (const ParamDecl& m : p.members) {
        std::copy(m.defaults.begin(), m.defaults.end(), words.begin() + m.offset / 4);
      }
      p.defaults = std::move(words);
    } else {
      if (p.kind == ParamKind::Array) layOut(&p.members, 0);
      p.size = plainSize(p.kind);
      if (p.defaults.empty()) p.defaults.assign(p.size / 4, 0u);
    }
    offset += p.size;
  }
  return offset;
}

bool sameParam(const ParamDecl& a, const ParamDecl& b) {
  if (a.name != b.name || a.kind != b.kind || a.offset != b.offset || a.size != b.size ||
      a.defaults != b.defaults || a.members.size() != b.members.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.members.size(); ++i) {
    if (!sameParam(a.members[i], b.members[i])) return false;
  }
  return true;
}

std::string where(const ShaderDecl& decl) {
  return decl.file + ":" + std::to_string(decl.line);
}

// Reads a file of declarations only.
class DeclarationFile : public DeclarationReader {
 public:
  DeclarationFile(const std::string& text, const std::string& file)
      : DeclarationReader(text, file) {}

  void run(Declarations* into) {
    while (tok().kind != Tok::End) {
      if (!isWord("declare")) unexpected("'declare shader'");
      const std::shared_ptr<ShaderDecl> decl = declaration();
      std::string problem;
      if (!into->add(decl, &problem)) throw Failure{decl->line, problem};
    }
  }
};

}  // namespace

const host::LexerStyle kMiStyle = {
    "#",          // lineComment
    "",           // moreWordChars
    "",           // pairs
    "()[]{},=$",  // punctuation
    "\"\\",       // escapes
    "\"\\",       // escaped
    false,        // stringsSpanLines
};

bool sameDeclaration(const ShaderDecl& a, const ShaderDecl& b) {
  if (a.name != b.name || a.version != b.version || a.apply != b.apply ||
      a.blockSize != b.blockSize || a.params.size() != b.params.size() ||
      !sameParam(a.result, b.result)) {
    return false;
  }
  for (std::size_t i = 0; i < a.params.size(); ++i) {
    if (!sameParam(a.params[i], b.params[i])) return false;
  }
  return true;
}

std::size_t plainSize(ParamKind kind) {
  switch (kind) {
    case ParamKind::Vector:
      return 12;
    case ParamKind::Color:
      return 16;
    case ParamKind::Transform:
      return 64;
    case ParamKind::Array:
      return 8;
    default:
      return 4;
  }
}

const char* kindName(ParamKind kind) {
  switch (kind) {
    case ParamKind::Boolean:
      return "a boolean";
    case ParamKind::Integer:
      return "an integer";
    case ParamKind::Scalar:
      return "a scalar";
    case ParamKind::Vector:
      return "a vector";
    case ParamKind::Color:
      return "a colour";
    case ParamKind::Transform:
      return "a transform";
    case ParamKind::Texture:
      return "a colour texture";
    case ParamKind::Struct:
      return "a structure";
    case ParamKind::Array:
      return "an array";
  }
  return "nothing";
}

const ParamDecl* findResultMember(const ShaderDecl& decl, const std::string& name) {
  if (decl.result.kind != ParamKind::Struct) return nullptr;
  for (const ParamDecl& member : decl.result.members) {
    if (member.name == name) return &member;
  }
  return nullptr;
}

int connectionOffset(const ShaderDecl& decl, ParamKind kind) {
  const ParamDecl& result = decl.result;
  if (result.kind == ParamKind::Struct) {
    for (const ParamDecl& member : result.members) {
      if (member.kind == kind) return static_cast<int>(member.offset);
    }
    return -1;
  }
  if (result.kind == kind) return 0;
  if (result.kind == ParamKind::Color && kind == ParamKind::Scalar) return 12;
  return -1;
}

bool Declarations::add(const std::shared_ptr<const ShaderDecl>& decl, std::string* error) {
  const auto [it, fresh] = byName_.emplace(decl->name, decl);
  if (fresh || sameDeclaration(*it->second, *decl)) return true;
  *error = "shader '" + shown(decl->name) + "' is declared again, differently (first at " +
           where(*it->second) + ")";
  return false;
}

bool Declarations::add(const Declarations& other, std::string* error) {
  for (const auto& [name, decl] : other.byName_) {
    if (!add(decl, error)) {
      *error = where(*decl) + ": " + *error;
      return false;
    }
  }
  return true;
}

std::shared_ptr<const ShaderDecl> Declarations::find(const std::string& name) const {
  const auto it = byName_.find(name);
  return it == byName_.end() ? nullptr : it->second;
}

std::string Declarations::names() const {
  std::string names;
  for (const auto& [name, decl] : byName_) names += (names.empty() ? "" : ", ") + name;
  return names;
}

Token DeclarationReader::expectString(const std::string& wanted) {
  if (tok().kind != Tok::String) unexpected(wanted);
  return take();
}

std::int32_t DeclarationReader::wholeNumber(const std::string& what) {
  if (tok().kind != Tok::Int) unexpected("a whole number for " + what);
  const Token t = take();
  const std::int64_t v = host::toInt64(t);
  if (v < std::numeric_limits<std::int32_t>::min() ||
      v > std::numeric_limits<std::int32_t>::max()) {
    throw Failure{t.line, "whole number " + shown(t.text) + " is out of range for " + what};
  }
  return static_cast<std::int32_t>(v);
}

float DeclarationReader::scalar(const std::string& what) {
  if (!isNumber()) unexpected("a number for " + what);
  const Token t = take();
  double v = 0.0;
  // Narrowing an out-of-range double to float is undefined behaviour.
  if (!host::toDouble(t, &v) || !(std::fabs(v) <= std::numeric_limits<float>::max())) {
    throw Failure{t.line, "number " + shown(t.text) + " is out of range for " + what};
  }
  return static_cast<float>(v);
}

std::vector<float> DeclarationReader::numbers(const std::string& what, std::size_t most) {
  std::vector<float> values;
  while (isNumber() && values.size() <= most) values.push_back(scalar(what));
  return values;
}

std::vector<std::uint32_t> DeclarationReader::literal(ParamKind kind, const std::string& what) {
  const auto words = [](const std::vector<float>& values) {
    std::vector<std::uint32_t> out(values.size());
    std::memcpy(out.data(), values.data(), values.size() * sizeof(float));
    return out;
  };
  // A fixed count of numbers; a colour may leave its alpha, which is then 1.
  const auto count = [&](std::size_t wanted, const char* kindText) {
    const int line = tok().line;
    std::vector<float> v = numbers(what, wanted);
    if (kind == ParamKind::Color && v.size() == 3) v.push_back(1.0f);
    if (v.size() != wanted) {
      if (v.empty()) unexpected(std::string(kindText) + " for " + what);
      const std::string found = v.size() > wanted ? "more" : std::to_string(v.size());
      throw Failure{line, what + " takes " + kindText + ", found " + found};
    }
    return words(v);
  };
  switch (kind) {
    case ParamKind::Integer:
      return {static_cast<std::uint32_t>(wholeNumber(what))};
    case ParamKind::Scalar:
      return words({scalar(what)});
    case ParamKind::Boolean: {
      const bool on = isWord("on") || isWord("true");
      if (!on && !isWord("off") && !isWord("false")) unexpected("on or off for " + what);
      advance();
      return {on ? 1u : 0u};
    }
    case ParamKind::Vector:
      return count(3, "a vector of 3 numbers");
    case ParamKind::Color:
      return count(4, "a colour of 3 or 4 numbers");
    case ParamKind::Transform:
      return count(16, "a transform of 16 numbers");
    default:
      break;
  }
  throw Failure{tok().line, what + " (" + kindName(kind) + ") has no value of its own"};
}

ParamKind DeclarationReader::type(bool* isArray, const std::string& where) {
  *isArray = false;
  if (isWord("array")) {
    advance();
    *isArray = true;
    if (isWord("array")) {
      throw Failure{tok().line, "an array of arrays in " + where + " cannot be laid out"};
    }
  }
  if (tok().kind != Tok::Word) unexpected("a parameter type (" + std::string(kTypeList) + ")");
  const Token t = take();
  static const std::pair<const char*, ParamKind> kWords[] = {
      {"boolean", ParamKind::Boolean}, {"integer", ParamKind::Integer},
      {"scalar", ParamKind::Scalar},   {"vector", ParamKind::Vector},
      {"color", ParamKind::Color},     {"transform", ParamKind::Transform},
      {"struct", ParamKind::Struct},
  };
  for (const auto& [word, kind] : kWords) {
    if (t.text != word) continue;
    if (isWord("texture")) {
      if (kind != ParamKind::Color) {
        throw Failure{t.line, "'" + t.text + " texture' in " + where +
                                  " is no type this host stores; it stores color textures"};
      }
      advance();
      return ParamKind::Texture;
    }
    return kind;
  }
  throw Failure{t.line,
                "unknown type '" + shown(t.text) + "' in " + where + " (known: " + kTypeList + ")"};
}

// `type "name" [{ members }] [default value]`.
ParamDecl DeclarationReader::param(const std::string& where, bool inStructure) {
  const int line = tok().line;
  bool isArray = false;
  const ParamKind kind = type(&isArray, where);
  const Token name = expectString("the parameter's name in quotes in " + where);
  const std::string what = "'" + shown(name.text) + "'";
  ParamDecl decl;
  decl.name = name.text;
  decl.kind = kind;
  decl.line = line;
  if (kind == ParamKind::Struct) {
    expect("{", "'{' to open the members of " + what);
    decl.members = members("}", "structure " + what, true);
  }
  if (isArray) {
    if (inStructure) {
      throw Failure{line, "array " + what + " in " + where +
                              " cannot be laid out: an array's elements follow the block, so it "
                              "can only be a shader's last parameter"};
    }
    ParamDecl element = std::move(decl);
    element.name.clear();
    decl = ParamDecl{name.text, ParamKind::Array, {std::move(element)}, 0, 0, {}, line};
  }
  if (isWord("default")) {
    const int defaultLine = tok().line;
    advance();
    if (!isPlain(decl.kind)) {
      throw Failure{defaultLine, what + " (" + std::string(kindName(decl.kind)) +
                                     ") takes no default" +
                                     (decl.kind == ParamKind::Texture ? "" : "; its members may")};
    }
    decl.defaults = literal(decl.kind, "the default of " + what);
  }
  return decl;
}

std::vector<ParamDecl> DeclarationReader::members(const char* closing, const std::string& where,
                                                  bool inStructure) {
  std::vector<ParamDecl> list;
  std::unordered_map<std::string, int> seen;
  if (isPunct(closing)) {
    advance();
    return list;
  }
  for (;;) {
    ParamDecl p = param(where, inStructure);
    const auto [it, fresh] = seen.emplace(p.name, p.line);
    if (!fresh) {
      throw Failure{p.line, "'" + shown(p.name) + "' is declared twice in " + where +
                                " (first at line " + std::to_string(it->second) + ")"};
    }
    list.push_back(std::move(p));
    if (isPunct(closing)) break;
    expect(",", std::string("',' or '") + closing + "' after '" + shown(list.back().name) +
                    "' in " + where);
  }
  advance();
  return list;
}

std::shared_ptr<ShaderDecl> DeclarationReader::declaration() {
  auto decl = std::make_shared<ShaderDecl>();
  decl->file = file_;
  decl->line = tok().line;
  advance();
  if (!isWord("shader")) unexpected("'shader' after 'declare'");
  advance();

  // The result: a structure, one value, or (when the name comes first) a colour.
  ParamDecl& result = decl->result;
  result.kind = ParamKind::Color;
  result.line = tok().line;
  if (tok().kind != Tok::String) {
    bool isArray = false;
    result.kind = type(&isArray, "the result");
    if (isArray || result.kind == ParamKind::Texture) {
      throw Failure{result.line, "a shader's result cannot be " +
                                     std::string(isArray ? "an array" : "a colour texture")};
    }
    if (result.kind == ParamKind::Struct) {
      expect("{", "'{' to open the members of the result");
      result.members = members("}", "the result", true);
      for (const ParamDecl& m : result.members) {
        if (!isPlain(m.kind)) {
          throw Failure{m.line, "result member '" + shown(m.name) + "' cannot be " +
                                    kindName(m.kind) + ": a result holds plain values"};
        }
        if (m.defaults.size() != 0) {
          throw Failure{m.line, "result member '" + shown(m.name) +
                                    "' takes no default: the shader fills it"};
        }
      }
    }
  }
  const Token name = expectString("the shader's name in quotes");
  decl->name = name.text;
  std::vector<ParamDecl> one{result};
  layOut(&one, 0);
  result = std::move(one.front());

  const std::string where = "shader '" + shown(decl->name) + "'";
  expect("(", "'(' to open the parameters of " + where);
  decl->params = members(")", where, false);
  for (std::size_t i = 0; i + 1 < decl->params.size(); ++i) {
    if (decl->params[i].kind == ParamKind::Array) {
      throw Failure{decl->params[i].line, "array '" + shown(decl->params[i].name) +
                                              "' must be the last parameter of " + where +
                                              ": its elements follow the block"};
    }
  }
  decl->blockSize = layOut(&decl->params, 0);
  if (!decl->params.empty() && decl->params.back().kind == ParamKind::Array) {
    decl->blockSize += decl->params.back().element().size;
  }

  std::unordered_map<std::string, int> seen;
  for (;;) {
    if (isWord("end")) {
      advance();
      if (!isWord("declare")) unexpected("'declare' after 'end' in the declaration of " + where);
      advance();
      return decl;
    }
    if (tok().kind != Tok::Word || (!isWord("version") && !isWord("apply"))) {
      unexpected("'version', 'apply' or 'end declare' in the declaration of " + where);
    }
    const Token key = take();
    const auto [it, fresh] = seen.emplace(key.text, key.line);
    if (!fresh) {
      throw Failure{key.line, key.text + " is given twice in the declaration of " + where +
                                  " (first at line " + std::to_string(it->second) + ")"};
    }
    if (key.text == "version") {
      decl->version = wholeNumber("the version of " + where);
      continue;
    }
    for (;;) {
      if (tok().kind != Tok::Word) unexpected("what " + where + " applies to (material, ...)");
      const Token use = take();
      bool known = false;
      for (const char* word : kApplyWords) known = known || use.text == word;
      if (!known) {
        throw Failure{use.line, "'" + shown(use.text) + "' is nothing a shader applies to"};
      }
      decl->apply.push_back(use.text);
      if (!isPunct(",")) break;
      advance();
    }
  }
}

bool parseDeclarations(const std::string& text, const std::string& fileName, Declarations* into,
                       std::string* error) {
  Declarations read = *into;
  *error = host::catchReadFailure(fileName, [&] { DeclarationFile(text, fileName).run(&read); });
  if (!error->empty()) return false;
  *into = std::move(read);
  return true;
}

bool readDeclarations(const std::string& path, Declarations* into, std::string* error) {
  std::string text;
  if (!host::readTextFile(path, &text, error)) return false;
  return parseDeclarations(text, path, into, error);
}

bool addHostDeclarations(Declarations* into, std::string* error) {
  return parseDeclarations(base_mi, "base.mi", into, error);
}

}  // namespace qv::mrhost
