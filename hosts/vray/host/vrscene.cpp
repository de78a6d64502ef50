#include "vrscene.h"

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>

namespace qv::vrscene {
namespace {

// Thrown inside the reader only; parse() turns it into the one message.
struct Failure {
  int line;
  std::string what;
};

enum class Tok { End, Ident, Int, Float, String, Punct };

struct Token {
  Tok kind = Tok::End;
  std::string text;  // as written, except strings, which are kept decoded
  int line = 1;
};

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isIdentStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool isIdentChar(char c) {
  return isIdentStart(c) || isDigit(c) || c == '@';
}

// Offending text is quoted back to the artist; binary garbage or a runaway
// token must not turn the message into an unreadable wall.
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
    if (isIdentStart(c)) {
      const size_t start = pos_;
      while (pos_ < s_.size() && isIdentChar(s_[pos_])) ++pos_;
      t.kind = Tok::Ident;
      t.text = s_.substr(start, pos_ - start);
      return t;
    }
    if (startsNumber()) return number(std::move(t));
    if (c == '"') return quoted(std::move(t));
    if (c == ':' && at(pos_ + 1) == ':') {
      pos_ += 2;
      t.kind = Tok::Punct;
      t.text = "::";
      return t;
    }
    if (std::string_view("{}()=;,").find(c) != std::string_view::npos) {
      ++pos_;
      t.kind = Tok::Punct;
      t.text = std::string(1, c);
      return t;
    }
    throw Failure{line_, "unexpected character '" + shown(std::string_view(&s_[pos_], 1)) + "'"};
  }

 private:
  char at(size_t i) const { return i < s_.size() ? s_[i] : '\0'; }

  void skipSpaceAndComments() {
    while (pos_ < s_.size()) {
      const char c = s_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
        ++pos_;
      } else if (c == '/' && at(pos_ + 1) == '/') {
        while (pos_ < s_.size() && s_[pos_] != '\n') ++pos_;
      } else {
        return;
      }
    }
  }

  bool startsNumber() const {
    size_t i = pos_;
    if (s_[i] == '-' || s_[i] == '+') ++i;
    return isDigit(at(i)) || (at(i) == '.' && isDigit(at(i + 1)));
  }

  void digits() {
    while (isDigit(at(pos_))) ++pos_;
  }

  Token number(Token t) {
    const size_t start = pos_;
    bool isFloat = false;
    if (s_[pos_] == '-' || s_[pos_] == '+') ++pos_;
    digits();
    if (at(pos_) == '.') {
      ++pos_;
      isFloat = true;
      digits();
    }
    if (at(pos_) == 'e' || at(pos_) == 'E') {
      size_t i = pos_ + 1;
      if (at(i) == '+' || at(i) == '-') ++i;
      if (isDigit(at(i))) {
        pos_ = i;
        digits();
        isFloat = true;
      }
    }
    // "12abc" or "1.2.3" is one mistyped token, not a number and a name.
    if (isIdentChar(at(pos_)) || at(pos_) == '.') {
      while (isIdentChar(at(pos_)) || at(pos_) == '.') ++pos_;
      throw Failure{t.line, "malformed number '" + shown(s_.substr(start, pos_ - start)) + "'"};
    }
    t.kind = isFloat ? Tok::Float : Tok::Int;
    t.text = s_.substr(start, pos_ - start);
    return t;
  }

  Token quoted(Token t) {
    ++pos_;
    for (;;) {
      if (pos_ >= s_.size()) throw Failure{t.line, "unterminated string (no closing '\"')"};
      const char c = s_[pos_++];
      if (c == '"') break;
      if (c == '\n') ++line_;
      if (c != '\\') {
        t.text += c;
        continue;
      }
      if (pos_ >= s_.size()) throw Failure{t.line, "unterminated string (no closing '\"')"};
      const size_t escape = std::string_view("\"\\nt").find(s_[pos_]);
      if (escape == std::string_view::npos) {
        throw Failure{line_, "unknown escape '\\" + shown(std::string_view(&s_[pos_], 1)) +
                                 "' in a string (write '\\\\' for a backslash)"};
      }
      t.text += "\"\\\n\t"[escape];
      ++pos_;
    }
    t.kind = Tok::String;
    return t;
  }

  const std::string& s_;
  size_t pos_ = 0;
  int line_ = 1;
};

// Every construct has a fixed nesting depth, so the descent is bounded no
// matter how deeply the input tries to nest.
class Parser {
 public:
  explicit Parser(const std::string& text) : lex_(text) { advance(); }

  std::vector<PluginBlock> run() {
    std::vector<PluginBlock> plugins;
    std::unordered_map<std::string, int> firstLine;
    while (tok_.kind != Tok::End) {
      PluginBlock block;
      block.line = tok_.line;
      block.type = expectIdent("a plug-in type");
      const int nameLine = tok_.line;
      block.name = expectIdent("a plug-in name after '" + block.type + "'");
      const auto [it, fresh] = firstLine.emplace(block.name, nameLine);
      if (!fresh) {
        throw Failure{nameLine, "plug-in '" + block.name + "' is defined twice (first at line " +
                                    std::to_string(it->second) + ")"};
      }
      expect("{", "'{' after plug-in name '" + block.name + "'");
      params(block);
      plugins.push_back(std::move(block));
    }
    return plugins;
  }

 private:
  void advance() { tok_ = lex_.next(); }

  Token take() {
    Token t = std::move(tok_);
    advance();
    return t;
  }

  bool isPunct(const char* p) const { return tok_.kind == Tok::Punct && tok_.text == p; }

  [[noreturn]] void unexpected(const std::string& wanted) const {
    if (tok_.kind == Tok::End)
      throw Failure{tok_.line, "unexpected end of file, expected " + wanted};
    throw Failure{tok_.line, "expected " + wanted + ", found " + describe(tok_)};
  }

  void expect(const char* punct, const std::string& wanted) {
    if (!isPunct(punct)) unexpected(wanted);
    advance();
  }

  std::string expectIdent(const std::string& wanted) {
    if (tok_.kind != Tok::Ident) unexpected(wanted);
    return take().text;
  }

  void params(PluginBlock& block) {
    std::unordered_map<std::string, int> firstLine;
    while (!isPunct("}")) {
      if (tok_.kind == Tok::End) {
        throw Failure{tok_.line,
                      "unexpected end of file inside plug-in '" + block.name + "' (missing '}')"};
      }
      Param p;
      p.line = tok_.line;
      p.name = expectIdent("a parameter name or '}' in plug-in '" + block.name + "'");
      const auto [it, fresh] = firstLine.emplace(p.name, p.line);
      if (!fresh) {
        throw Failure{p.line, "parameter '" + p.name + "' is set twice in plug-in '" + block.name +
                                  "' (first at line " + std::to_string(it->second) + ")"};
      }
      expect("=", "'=' after parameter '" + p.name + "'");
      p.value = value(p.name);
      expect(";", "';' after the value of '" + p.name + "'");
      block.params.push_back(std::move(p));
    }
    advance();
  }

  Value value(const std::string& param) {
    if (tok_.kind == Tok::String) return take().text;
    if (tok_.kind == Tok::Int) return toInt64(take());
    if (tok_.kind == Tok::Float) return toDouble(take());
    if (tok_.kind != Tok::Ident) unexpected("a value for '" + param + "'");
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
    expect("(", "'(' after '" + kw.text + "'");
    if (isPunct(")")) {
      advance();
      return;
    }
    for (;;) {
      item();
      if (isPunct(")")) break;
      expect(",", "',' or ')' in " + kw.text + "(...)");
    }
    advance();
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

  static double toDouble(const Token& t) {
    const char* first = t.text.data();
    const char* last = first + t.text.size();
    if (*first == '+') ++first;
    double v = 0.0;
    const auto r = std::from_chars(first, last, v);
    if (r.ec != std::errc() || r.ptr != last || !std::isfinite(v)) {
      throw Failure{t.line, "number " + shown(t.text) + " is out of range"};
    }
    return v;
  }

  std::vector<float> numbers(const Token& kw, size_t count) {
    std::vector<float> n;
    args(kw, [&] {
      if (tok_.kind != Tok::Int && tok_.kind != Tok::Float) unexpected("a number in " + kw.text);
      const Token t = take();
      const double v = toDouble(t);
      // Narrowing an out-of-range double to float is undefined behaviour.
      if (std::fabs(v) > FLT_MAX) {
        throw Failure{t.line, "number " + shown(t.text) + " is too large for " + kw.text};
      }
      n.push_back(static_cast<float>(v));
    });
    if (n.size() != count) {
      throw Failure{kw.line, kw.text + " takes " + std::to_string(count) + " numbers, got " +
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
    if (tok_.kind != Tok::Ident || tok_.text != name) {
      unexpected(std::string(name) + "(...) in " + outer.text);
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
      if (tok_.kind != Tok::Int) unexpected("a whole number in ListInt");
      const Token t = take();
      const std::int64_t v = toInt64(t);
      if (v < INT_MIN || v > INT_MAX) {
        throw Failure{t.line, "whole number " + t.text + " is out of range for ListInt"};
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

  Lexer lex_;
  Token tok_;
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
  try {
    Parser parser(text);
    Scene scene;
    scene.file = fileName;
    scene.plugins = parser.run();
    result.scene = std::move(scene);
  } catch (const Failure& f) {
    result.error = fileName + ":" + std::to_string(f.line) + ": " + f.what;
  } catch (const std::exception& e) {
    result.error = fileName + ": cannot read the scene (" + e.what() + ")";
  }
  return result;
}

ParseResult parseFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text;
  if (in) {
    try {
      text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
      in.setstate(std::ios::badbit);
    }
  }
  if (!in.is_open() || in.bad()) return ParseResult{std::nullopt, path + ": cannot open file"};
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
