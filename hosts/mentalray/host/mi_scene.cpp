#include "mi_scene.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "obj_reader.h"

namespace qv::mrhost {

namespace {

// Every connection nests one shader call inside another on the render
// thread's stack; a chain this long is far beyond any real shading network.
constexpr int kMaxConnectionDepth = 64;

const ParamDecl kLayerMembers[] = {
    {"color", ParamKind::Color},
    {"mask", ParamKind::Scalar},
    {"colorOffset", ParamKind::Color},
    {"placementMatrix", ParamKind::Transform},
    {"passThrough", ParamKind::Boolean},
    {"distanceThreshold", ParamKind::Scalar},
    {"useShadowOcclusion", ParamKind::Boolean},
    {"dilate", ParamKind::Scalar},
    {"samples", ParamKind::Integer},
    {"softEdge", ParamKind::Scalar},
    {"power", ParamKind::Scalar},
    {"useFacingRatio", ParamKind::Boolean},
    {"angleThreshold", ParamKind::Scalar},
    // As on the Maya node: no label is excluded until one is chosen, where 0
    // would exclude every object that was never given a label.
    {"labelExclude", ParamKind::Integer, nullptr, 0, -1},
    {"premult", ParamKind::Boolean},
};

const ParamDecl kShotWeaveParams[] = {
    {"layers", ParamKind::Array, kLayerMembers, std::size(kLayerMembers)},
};

const ParamDecl kConstParams[] = {
    {"color", ParamKind::Color},
    {"opacity", ParamKind::Scalar},
    {"alphaOverride", ParamKind::Boolean},
    {"alphaValue", ParamKind::Scalar},
};

// qv_shotWeave's result: outColor, outTransparency, outMatte, outAlpha and
// twenty masks; a colour parameter takes outColor, a scalar one outAlpha.
const ShaderDecl kShaderDecls[] = {
    {"qv_shotWeave", 22, kShotWeaveParams, std::size(kShotWeaveParams), {132, 0, 48}},
    {"qv_const", 13, kConstParams, std::size(kConstParams), {16, 0, -1}},
};

std::size_t membersSize(const ParamDecl* members, std::size_t count) {
  std::size_t size = 0;
  for (std::size_t i = 0; i < count; ++i) size += paramSize(members[i].kind);
  return size;
}

// Thrown inside the reader only; parseMi() turns it into the one message.
struct Failure {
  int line;
  std::string what;
};

enum class Tok { End, Word, Int, Float, String, Punct };

struct Token {
  Tok kind = Tok::End;
  std::string text;  // as written, except strings, which are kept decoded
  int line = 1;
};

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isWordStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool isWordChar(char c) {
  return isWordStart(c) || isDigit(c);
}

// Offending text is quoted back; binary garbage or a runaway token must not
// turn the message into an unreadable wall.
std::string shown(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (out.size() >= 40) return out + "...";
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7f) {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", u);
      out += hex;
    }
  }
  return out;
}

std::string describe(const Token& t) {
  if (t.kind == Tok::End) return "the end of the file";
  if (t.kind == Tok::String) return "the string \"" + shown(t.text) + "\"";
  return "'" + shown(t.text) + "'";
}

class Lexer {
 public:
  explicit Lexer(const std::string& text) : s_(text) {}

  Token next() {
    skipSpaceAndComments();
    Token t;
    t.line = line_;
    if (pos_ >= s_.size()) return t;
    const char c = s_[pos_];
    if (isWordStart(c)) {
      const std::size_t start = pos_;
      while (pos_ < s_.size() && isWordChar(s_[pos_])) ++pos_;
      t.kind = Tok::Word;
      t.text = s_.substr(start, pos_ - start);
      return t;
    }
    if (startsNumber()) return number(std::move(t));
    if (c == '"') return quoted(std::move(t));
    if (std::string_view("()[]{},=").find(c) != std::string_view::npos) {
      ++pos_;
      t.kind = Tok::Punct;
      t.text = std::string(1, c);
      return t;
    }
    throw Failure{line_, "unexpected character '" + shown(std::string_view(&s_[pos_], 1)) + "'"};
  }

 private:
  char at(std::size_t i) const { return i < s_.size() ? s_[i] : '\0'; }

  void skipSpaceAndComments() {
    while (pos_ < s_.size()) {
      const char c = s_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
        ++pos_;
      } else if (c == '#') {
        while (pos_ < s_.size() && s_[pos_] != '\n') ++pos_;
      } else {
        return;
      }
    }
  }

  bool startsNumber() const {
    std::size_t i = pos_;
    if (s_[i] == '-' || s_[i] == '+') ++i;
    return isDigit(at(i)) || (at(i) == '.' && isDigit(at(i + 1)));
  }

  void digits() {
    while (isDigit(at(pos_))) ++pos_;
  }

  Token number(Token t) {
    const std::size_t start = pos_;
    bool isFloat = false;
    if (s_[pos_] == '-' || s_[pos_] == '+') ++pos_;
    digits();
    if (at(pos_) == '.') {
      ++pos_;
      isFloat = true;
      digits();
    }
    if (at(pos_) == 'e' || at(pos_) == 'E') {
      std::size_t i = pos_ + 1;
      if (at(i) == '+' || at(i) == '-') ++i;
      if (isDigit(at(i))) {
        pos_ = i;
        digits();
        isFloat = true;
      }
    }
    // "12abc" or "1.2.3" is one mistyped token, not a number and a word.
    if (isWordChar(at(pos_)) || at(pos_) == '.') {
      while (isWordChar(at(pos_)) || at(pos_) == '.') ++pos_;
      throw Failure{t.line, "malformed number '" + shown(s_.substr(start, pos_ - start)) + "'"};
    }
    t.kind = isFloat ? Tok::Float : Tok::Int;
    t.text = s_.substr(start, pos_ - start);
    return t;
  }

  Token quoted(Token t) {
    ++pos_;
    for (;;) {
      if (pos_ >= s_.size() || s_[pos_] == '\n') {
        throw Failure{t.line, "unterminated string (no closing '\"' on its line)"};
      }
      const char c = s_[pos_++];
      if (c == '"') break;
      if (c != '\\') {
        t.text += c;
        continue;
      }
      const std::size_t escape = std::string_view("\"\\").find(at(pos_));
      if (escape == std::string_view::npos) {
        throw Failure{line_, "unknown escape '\\" + shown(std::string_view(&s_[pos_], 1)) +
                                 "' in a string (write '\\\\' for a backslash)"};
      }
      t.text += "\"\\"[escape];
      ++pos_;
    }
    t.kind = Tok::String;
    return t;
  }

  const std::string& s_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

// A connection as written, resolved once every shader of the file is known.
struct PendingConnection {
  std::size_t from;
  std::size_t offset;  // bytes into the block
  ParamKind kind;
  std::string param;
  std::string target;
  int line;
};

// Every construct has a fixed nesting depth, so the descent is bounded no
// matter how deeply the input tries to nest.
class Parser {
 public:
  Parser(const std::string& text, std::filesystem::path folder)
      : lex_(text), folder_(std::move(folder)) {
    advance();
  }

  void run(MiScene* scene) {
    scene_ = scene;
    while (tok_.kind != Tok::End) {
      if (isWord("shader")) {
        shader();
      } else if (isWord("object")) {
        object();
      } else {
        unexpected("'shader' or 'object'");
      }
    }
    resolveConnections();
    checkConnectionGraph();
  }

 private:
  void advance() { tok_ = lex_.next(); }

  Token take() {
    Token t = std::move(tok_);
    advance();
    return t;
  }

  bool isPunct(const char* p) const { return tok_.kind == Tok::Punct && tok_.text == p; }
  bool isWord(const char* w) const { return tok_.kind == Tok::Word && tok_.text == w; }
  bool isNumber() const { return tok_.kind == Tok::Int || tok_.kind == Tok::Float; }

  [[noreturn]] void unexpected(const std::string& wanted) const {
    if (tok_.kind == Tok::End) {
      throw Failure{tok_.line, "unexpected end of file, expected " + wanted};
    }
    throw Failure{tok_.line, "expected " + wanted + ", found " + describe(tok_)};
  }

  void expect(const char* punct, const std::string& wanted) {
    if (!isPunct(punct)) unexpected(wanted);
    advance();
  }

  Token expectString(const std::string& wanted) {
    if (tok_.kind != Tok::String) unexpected(wanted);
    return take();
  }

  static std::int64_t toInt64(const Token& t) {
    const char* first = t.text.data();
    const char* last = first + t.text.size();
    if (*first == '+') ++first;
    std::int64_t v = 0;
    const auto r = std::from_chars(first, last, v);
    if (r.ec != std::errc() || r.ptr != last) {
      throw Failure{t.line, "whole number " + shown(t.text) + " is out of range"};
    }
    return v;
  }

  std::int32_t wholeNumber(const std::string& what) {
    if (tok_.kind != Tok::Int) unexpected("a whole number for " + what);
    const Token t = take();
    const std::int64_t v = toInt64(t);
    if (v < INT_MIN || v > INT_MAX) {
      throw Failure{t.line, "whole number " + shown(t.text) + " is out of range for " + what};
    }
    return static_cast<std::int32_t>(v);
  }

  float scalar(const std::string& what) {
    if (!isNumber()) unexpected("a number for " + what);
    const Token t = take();
    const char* first = t.text.data();
    const char* last = first + t.text.size();
    if (*first == '+') ++first;
    double v = 0.0;
    const auto r = std::from_chars(first, last, v);
    // Narrowing an out-of-range double to float is undefined behaviour.
    if (r.ec != std::errc() || r.ptr != last || !(std::fabs(v) <= FLT_MAX)) {
      throw Failure{t.line, "number " + shown(t.text) + " is out of range for " + what};
    }
    return static_cast<float>(v);
  }

  // As many numbers as follow, up to one more than `most`.
  std::vector<float> numbers(const std::string& what, std::size_t most) {
    std::vector<float> values;
    while (isNumber() && values.size() <= most) values.push_back(scalar(what));
    return values;
  }

  void checkDuplicate(std::unordered_map<std::string, int>* seen, const Token& name,
                      const std::string& what) {
    const auto [it, fresh] = seen->emplace(name.text, name.line);
    if (!fresh) {
      throw Failure{name.line, what + " '" + shown(name.text) +
                                   "' is defined twice (first at line " +
                                   std::to_string(it->second) + ")"};
    }
  }

  void shader() {
    const int line = tok_.line;
    advance();
    const Token name = expectString("a shader name in quotes after 'shader'");
    checkDuplicate(&shaderLines_, name, "shader");
    const Token type =
        expectString("the shader's type in quotes after \"" + shown(name.text) + "\"");
    const ShaderDecl* decl = findShaderDecl(type.text);
    if (!decl) {
      std::string known;
      for (const ShaderDecl& d : kShaderDecls) {
        known += std::string(known.empty() ? "" : ", ") + d.name;
      }
      throw Failure{type.line,
                    "unknown shader type '" + shown(type.text) + "' (known: " + known + ")"};
    }
    ShaderInstance instance;
    instance.name = name.text;
    instance.decl = decl;
    instance.line = line;
    std::size_t size = 0;
    for (std::size_t i = 0; i < decl->paramCount; ++i) {
      const ParamDecl& p = decl->params[i];
      size += paramSize(p.kind);
      if (p.kind == ParamKind::Array) size += membersSize(p.members, p.memberCount);
    }
    resize(instance, size);
    scene_->shaders.push_back(std::move(instance));
    const std::size_t index = scene_->shaders.size() - 1;
    expect("(", "'(' after the type of shader \"" + shown(name.text) + "\"");
    params(index, decl->params, decl->paramCount, 0, ")", std::string(decl->name));
  }

  static void resize(ShaderInstance& instance, std::size_t bytes) {
    instance.block.resize(bytes / 4, 0u);
    instance.ghost.resize(bytes / 4, 0);
  }

  void store(std::size_t index, std::size_t offset, std::uint32_t word) {
    scene_->shaders[index].block[offset / 4] = word;
  }

  void storeFloat(std::size_t index, std::size_t offset, float value) {
    std::uint32_t word;
    std::memcpy(&word, &value, sizeof word);
    store(index, offset, word);
  }

  // `( "name" value, ... )` or an array element's `{ ... }`: the parameters
  // `decls`, laid out from `base` on. `owner` names them in messages.
  void params(std::size_t index, const ParamDecl* decls, std::size_t count, std::size_t base,
              const char* closing, const std::string& owner) {
    std::size_t offset = base;
    for (std::size_t i = 0; i < count; ++i) {
      if (decls[i].kind == ParamKind::Integer && decls[i].integerDefault != 0) {
        store(index, offset, static_cast<std::uint32_t>(decls[i].integerDefault));
      }
      offset += paramSize(decls[i].kind);
    }
    std::unordered_map<std::string, int> seen;
    if (isPunct(closing)) {
      advance();
      return;
    }
    for (;;) {
      const Token name =
          expectString(std::string("a parameter name in quotes or '") + closing + "' in " + owner);
      std::size_t offset = base;
      const ParamDecl* decl = nullptr;
      for (std::size_t i = 0; i < count && !decl; ++i) {
        if (name.text == decls[i].name) {
          decl = &decls[i];
        } else {
          offset += paramSize(decls[i].kind);
        }
      }
      if (!decl) {
        throw Failure{name.line, owner + " has no parameter '" + shown(name.text) + "'"};
      }
      const auto [it, fresh] = seen.emplace(name.text, name.line);
      if (!fresh) {
        throw Failure{name.line, "'" + name.text + "' is set twice in " + owner +
                                     " (first at line " + std::to_string(it->second) + ")"};
      }
      if (isPunct("=")) {
        advance();
        if (decl->kind == ParamKind::Array) {
          throw Failure{name.line, "'" + name.text + "' is an array and cannot be connected"};
        }
        const Token target =
            expectString("the name in quotes of the shader connected to '" + name.text + "'");
        pending_.push_back({index, offset, decl->kind, name.text, target.text, name.line});
      } else {
        value(index, *decl, offset, name);
      }
      if (isPunct(closing)) break;
      expect(",", std::string("',' or '") + closing + "' after the value of '" + name.text + "'");
    }
    advance();
  }

  void value(std::size_t index, const ParamDecl& decl, std::size_t offset, const Token& name) {
    const std::string what = "'" + name.text + "'";
    switch (decl.kind) {
      case ParamKind::Integer:
        store(index, offset, static_cast<std::uint32_t>(wholeNumber(what)));
        return;
      case ParamKind::Scalar:
        storeFloat(index, offset, scalar(what));
        return;
      case ParamKind::Boolean:
        if (!isWord("on") && !isWord("off")) unexpected("on or off for " + what);
        store(index, offset, take().text == "on" ? 1u : 0u);
        return;
      case ParamKind::Color: {
        const int line = tok_.line;
        std::vector<float> c = numbers(what, 4);
        if (c.size() == 3) c.push_back(1.0f);
        if (c.size() != 4) {
          if (c.empty()) unexpected("a colour (r g b [a]) for " + what);
          throw Failure{line, what + " takes a colour of 3 or 4 numbers, found " +
                                  (c.size() > 4 ? std::string("more") : std::to_string(c.size()))};
        }
        for (std::size_t i = 0; i < 4; ++i) storeFloat(index, offset + 4 * i, c[i]);
        return;
      }
      case ParamKind::Transform: {
        const int line = tok_.line;
        const std::vector<float> m = numbers(what, 16);
        if (m.empty()) unexpected("a transform of 16 numbers for " + what);
        if (m.size() != 16) {
          throw Failure{line, what + " takes a transform of 16 numbers, found " +
                                  (m.size() > 16 ? std::string("more") : std::to_string(m.size()))};
        }
        for (std::size_t i = 0; i < 16; ++i) storeFloat(index, offset + 4 * i, m[i]);
        return;
      }
      case ParamKind::Array:
        array(index, decl, offset, name);
        return;
    }
  }

  // The elements follow the header; one element's room is always there, as
  // the shader's record declares it, even when the array is empty.
  void array(std::size_t index, const ParamDecl& decl, std::size_t offset, const Token& name) {
    expect("[", "'[' to open the elements of '" + name.text + "'");
    const std::size_t elementSize = membersSize(decl.members, decl.memberCount);
    const std::size_t first = offset + paramSize(ParamKind::Array);
    const std::string owner = "an element of '" + name.text + "'";
    std::int32_t count = 0;
    if (!isPunct("]")) {
      for (;;) {
        if (count == INT_MAX) throw Failure{tok_.line, "too many elements in '" + name.text + "'"};
        const std::size_t base = first + elementSize * static_cast<std::size_t>(count);
        if (base + elementSize > scene_->shaders[index].block.size() * 4) {
          resize(scene_->shaders[index], base + elementSize);
        }
        expect("{", "'{' to open " + owner);
        params(index, decl.members, decl.memberCount, base, "}", owner);
        ++count;
        if (isPunct("]")) break;
        expect(",", "',' or ']' after " + owner);
      }
    }
    advance();
    store(index, offset, 0u);  // the elements start the array storage
    store(index, offset + 4, static_cast<std::uint32_t>(count));
  }

  void object() {
    const int line = tok_.line;
    advance();
    const Token name = expectString("an object name in quotes after 'object'");
    checkDuplicate(&objectLines_, name, "object");
    ObjectStatement object;
    object.name = name.text;
    object.line = line;
    std::unordered_map<std::string, int> seen;
    const std::string owner = "object '" + shown(name.text) + "'";
    bool hasFile = false;
    for (;;) {
      if (isWord("end")) break;
      if (tok_.kind != Tok::Word)
        unexpected("file, label, opacity, color or 'end object' in " + owner);
      const Token key = tok_;
      if (key.text != "file" && key.text != "label" && key.text != "opacity" &&
          key.text != "color") {
        unexpected("file, label, opacity, color or 'end object' in " + owner);
      }
      const auto [it, fresh] = seen.emplace(key.text, key.line);
      if (!fresh) {
        throw Failure{key.line, key.text + " is given twice in " + owner + " (first at line " +
                                    std::to_string(it->second) + ")"};
      }
      advance();
      if (key.text == "file") {
        const std::filesystem::path path(expectString("a file name in quotes after 'file'").text);
        object.path = (path.is_absolute() ? path : folder_ / path).string();
        hasFile = true;
      } else if (key.text == "label") {
        object.label = wholeNumber("the label of " + owner);
      } else if (key.text == "opacity") {
        const int valueLine = tok_.line;
        object.opacity = scalar("the opacity of " + owner);
        if (!(object.opacity >= 0.0f && object.opacity <= 1.0f)) {
          throw Failure{valueLine, "the opacity of " + owner + " must lie between 0 and 1"};
        }
      } else {
        for (float& c : object.color) c = scalar("the color (r g b) of " + owner);
      }
    }
    advance();
    if (!isWord("object")) unexpected("'object' after 'end' in " + owner);
    advance();
    if (!hasFile) throw Failure{line, owner + " names no mesh (file \"PATH.obj\")"};
    scene_->objects.push_back(std::move(object));
  }

  void resolveConnections() {
    std::unordered_map<std::string, std::size_t> indices;
    for (std::size_t i = 0; i < scene_->shaders.size(); ++i) {
      indices.emplace(scene_->shaders[i].name, i);
    }
    for (const PendingConnection& p : pending_) {
      const auto found = indices.find(p.target);
      if (found == indices.end()) {
        throw Failure{p.line, "'" + p.param + "' is connected to '" + shown(p.target) +
                                  "', which is no shader of this file"};
      }
      const std::size_t to = found->second;
      const ShaderInstance& target = scene_->shaders[to];
      const ResultDecl& result = target.decl->result;
      const int resultOffset = p.kind == ParamKind::Color    ? result.colorOffset
                               : p.kind == ParamKind::Scalar ? result.scalarOffset
                                                             : -1;
      if (resultOffset < 0) {
        throw Failure{p.line, "'" + p.param + "' (" + kindName(p.kind) +
                                  ") cannot take the result of " + target.decl->name + " '" +
                                  shown(target.name) + "'"};
      }
      scene_->connections.push_back({p.from, to, static_cast<std::size_t>(resultOffset), p.line});
      const auto entry = static_cast<miInteger>(scene_->connections.size());
      ShaderInstance& from = scene_->shaders[p.from];
      for (std::size_t w = 0; w < paramSize(p.kind) / 4; ++w) from.ghost[p.offset / 4 + w] = entry;
      from.connected = true;
    }
  }

  // Connections form a graph over the shaders; shading follows it depth
  // first, so it must have no loop and bounded depth.
  void checkConnectionGraph() {
    const std::size_t n = scene_->shaders.size();
    edges_.assign(n, {});
    for (std::size_t c = 0; c < scene_->connections.size(); ++c) {
      edges_[scene_->connections[c].from].push_back(c);
    }
    mark_.assign(n, Mark::New);
    height_.assign(n, 1);
    for (std::size_t i = 0; i < n; ++i) {
      if (mark_[i] == Mark::New) visit(i, 1);
    }
  }

  enum class Mark { New, OnPath, Done };

  // `depth` counts the shaders on the path down to node, node included.
  void visit(std::size_t node, int depth) {
    mark_[node] = Mark::OnPath;
    path_.push_back(node);
    for (std::size_t c : edges_[node]) {
      const Connection& connection = scene_->connections[c];
      const std::size_t to = connection.to;
      if (mark_[to] == Mark::OnPath) {
        std::string loop;
        for (auto it = std::find(path_.begin(), path_.end(), to); it != path_.end(); ++it) {
          loop += "'" + shown(scene_->shaders[*it].name) + "' -> ";
        }
        throw Failure{connection.line,
                      "connection loop: " + loop + "'" + shown(scene_->shaders[to].name) + "'"};
      }
      if (mark_[to] == Mark::New) {
        if (depth + 1 > kMaxConnectionDepth) tooDeep(connection);
        visit(to, depth + 1);
      } else if (depth + height_[to] > kMaxConnectionDepth) {
        tooDeep(connection);
      }
      height_[node] = std::max(height_[node], 1 + height_[to]);
    }
    path_.pop_back();
    mark_[node] = Mark::Done;
  }

  [[noreturn]] static void tooDeep(const Connection& connection) {
    throw Failure{connection.line, "shaders are connected more than " +
                                       std::to_string(kMaxConnectionDepth) + " deep"};
  }

  Lexer lex_;
  Token tok_;
  std::filesystem::path folder_;
  MiScene* scene_ = nullptr;
  std::unordered_map<std::string, int> shaderLines_;
  std::unordered_map<std::string, int> objectLines_;
  std::vector<PendingConnection> pending_;
  std::vector<std::vector<std::size_t>> edges_;
  std::vector<Mark> mark_;
  std::vector<int> height_;
  std::vector<std::size_t> path_;
};

}  // namespace

const ShaderDecl* findShaderDecl(const std::string& name) {
  for (const ShaderDecl& decl : kShaderDecls) {
    if (name == decl.name) return &decl;
  }
  return nullptr;
}

std::size_t paramSize(ParamKind kind) {
  switch (kind) {
    case ParamKind::Integer:
    case ParamKind::Boolean:
    case ParamKind::Scalar:
      return 4;
    case ParamKind::Color:
      return 16;
    case ParamKind::Transform:
      return 64;
    case ParamKind::Array:
      return 8;
  }
  return 0;
}

const char* kindName(ParamKind kind) {
  switch (kind) {
    case ParamKind::Integer:
      return "an integer";
    case ParamKind::Boolean:
      return "a boolean";
    case ParamKind::Scalar:
      return "a scalar";
    case ParamKind::Color:
      return "a colour";
    case ParamKind::Transform:
      return "a transform";
    case ParamKind::Array:
      return "an array";
  }
  return "nothing";
}

long MiScene::findShader(const std::string& name) const {
  for (std::size_t i = 0; i < shaders.size(); ++i) {
    if (shaders[i].name == name) return static_cast<long>(i);
  }
  return -1;
}

MiParseResult parseMi(const std::string& text, const std::string& fileName) {
  MiParseResult result;
  try {
    MiScene scene;
    scene.file = fileName;
    Parser(text, std::filesystem::path(fileName).parent_path()).run(&scene);
    result.scene = std::move(scene);
  } catch (const Failure& f) {
    result.error = fileName + ":" + std::to_string(f.line) + ": " + f.what;
  } catch (const std::exception& e) {
    result.error = fileName + ": cannot read the scene (" + e.what() + ")";
  }
  return result;
}

MiParseResult readMi(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text;
  if (in) {
    try {
      text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
      in.setstate(std::ios::badbit);
    }
  }
  if (!in.is_open() || in.bad()) return MiParseResult{std::nullopt, path + ": cannot open file"};
  return parseMi(text, path);
}

bool loadObjects(const MiScene& scene, std::vector<host::SceneObject>* objects,
                 std::string* error) {
  std::vector<host::SceneObject> loaded;
  for (const ObjectStatement& statement : scene.objects) {
    host::SceneObject object;
    std::string meshError;
    if (!host::readObj(statement.path, &object.mesh, &meshError)) {
      *error = scene.file + ":" + std::to_string(statement.line) + ": object '" + statement.name +
               "': " + meshError;
      return false;
    }
    object.name = statement.name;
    object.opacity = statement.opacity;
    object.color = {statement.color[0], statement.color[1], statement.color[2]};
    object.label = statement.label;
    loaded.push_back(std::move(object));
  }
  *objects = std::move(loaded);
  return true;
}

}  // namespace qv::mrhost
