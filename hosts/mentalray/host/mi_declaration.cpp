#include "mi_declaration.h"

#include <algorithm>
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

// The requirements mental ray's declarations may state after their
// parameters, each followed by its values (on, off, front, a number ...).
// The host renders as the scene's own options say and reads them no further.
const char* const kOptionWords[] = {
    "scanline", "trace",     "shadow",      "face",     "derivative", "object",
    "camera",   "world",     "volume",      "parallel", "hardware",   "photon",
    "caustic",  "globillum", "finalgather", "lightmap", "motion",     "merge",
    "displace", "shadowmap", "ambient",     "task",
};

bool isOptionWord(const std::string& word) {
  for (const char* known : kOptionWords) {
    if (word == known) return true;
  }
  return false;
}

const char* const kParamKeywords = "default, min, max, softmin, softmax, shortname or hidden";

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
      p.size = plainSize(p.kind);
      if (p.defaults.empty()) p.defaults.assign(p.size / 4, 0u);
      if (p.kind == ParamKind::Array) {
        layOut(&p.members, 0);
        // The shader's record holds one element after the header wherever
        // the array stands.
        offset += p.element().size;
      }
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
    for (;;) {
      strayKeywordComments(true);
      if (tok().kind == Tok::End) return;
      if (!isWord("declare")) unexpected("'declare shader'");
      const std::shared_ptr<ShaderDecl> decl = declaration();
      std::string problem;
      int line = decl->line;
      if (!into->add(decl, &problem, &line)) throw Failure{line, problem};
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
  if (a.name != b.name || a.version != b.version || a.apply != b.apply || a.nodeId != b.nodeId ||
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

bool Declarations::add(const std::shared_ptr<const ShaderDecl>& decl, std::string* error,
                       int* line) {
  if (line) *line = decl->line;
  const auto known = byName_.find(decl->name);
  if (known != byName_.end()) {
    if (sameDeclaration(*known->second, *decl)) return true;
    *error = "shader '" + shown(decl->name) + "' is declared again, differently (first at " +
             where(*known->second) + ")";
    return false;
  }
  if (decl->nodeId != 0) {
    for (const auto& [name, other] : byName_) {
      if (other->nodeId != decl->nodeId) continue;
      if (line) *line = decl->nodeIdLine;
      *error = "nodeid " + std::to_string(decl->nodeId) + " of shader '" + shown(decl->name) +
               "' is already that of shader '" + shown(name) + "' (" + other->file + ":" +
               std::to_string(other->nodeIdLine) + "); expected a node ID of its own";
      return false;
    }
  }
  byName_.emplace(decl->name, decl);
  return true;
}

bool Declarations::add(const Declarations& other, std::string* error) {
  for (const auto& [name, decl] : other.byName_) {
    int line = 0;
    if (!add(decl, error, &line)) {
      *error = decl->file + ":" + std::to_string(line) + ": " + *error;
      return false;
    }
  }
  return true;
}

DeclarationReader::DeclarationReader(const std::string& text, std::string file)
    : TokenReader(text, kMiStyle), file_(std::move(file)) {
  // As the lexer reads it: a '#' outside a string opens a comment to the end
  // of the line, and a string ends at its line's end if not before.
  int line = 1;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') {
      ++line;
      inString = false;
    } else if (inString) {
      if (c == '\\') {
        if (i + 1 < text.size() && text[i + 1] != '\n') ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '#') {
      const std::size_t end = std::min(text.find('\n', i), text.size());
      if (i + 1 < end && text[i + 1] == ':') {
        keywordComments_.push_back({line, text.substr(i + 2, end - i - 2)});
      }
      i = end - 1;
    }
  }
}

bool DeclarationReader::keywordCommentPending() const {
  if (nextKeywordComment_ >= keywordComments_.size()) return false;
  return tok().kind == Tok::End || keywordComments_[nextKeywordComment_].line < tok().line;
}

void DeclarationReader::strayKeywordComments(bool strict) {
  while (keywordCommentPending()) {
    const KeywordComment& c = keywordComments_[nextKeywordComment_++];
    if (strict) {
      throw Failure{c.line,
                    "expected no '#:' comment here: mental ray for Maya reads them after a "
                    "parameter or among a declaration's options, and refuses them elsewhere"};
    }
  }
}

namespace {

// The tokens of one "#:" comment, read whole; failures are placed at its line
// by the caller.
class KeywordTokens {
 public:
  explicit KeywordTokens(const std::string& text) {
    host::Lexer lex(text, kMiStyle);
    for (Token t = lex.next(); t.kind != Tok::End; t = lex.next()) tokens_.push_back(t);
  }
  bool done() const { return at_ >= tokens_.size(); }
  const Token& peek() const { return tokens_[at_]; }
  Token take() { return tokens_[at_++]; }
  bool nextIsNumber() const {
    return !done() && (peek().kind == Tok::Int || peek().kind == Tok::Float);
  }
  std::string found() const { return done() ? "the end of the comment" : host::describe(peek()); }

 private:
  std::vector<Token> tokens_;
  std::size_t at_ = 0;
};

float keywordNumber(KeywordTokens* t, const std::string& what) {
  if (!t->nextIsNumber()) throw Failure{0, "expected " + what + ", found " + t->found()};
  const Token n = t->take();
  double v = 0.0;
  if (!host::toDouble(n, &v) || !(std::fabs(v) <= std::numeric_limits<float>::max())) {
    throw Failure{0, "number " + shown(n.text) + " is out of range for " + what};
  }
  return static_cast<float>(v);
}

// Runs `read` on the comment's tokens, placing what it throws at the line.
template <class Read>
void readKeywordComment(int line, const std::string& text, Read&& read) {
  try {
    KeywordTokens tokens(text);
    read(&tokens);
  } catch (const Failure& f) {
    throw Failure{line, f.what};
  }
}

}  // namespace

void DeclarationReader::paramKeywords(ParamDecl* param, const std::string& where) {
  while (keywordCommentPending()) {
    const KeywordComment& c = keywordComments_[nextKeywordComment_++];
    // A plain result has no name of its own.
    const std::string subject =
        param->name.empty() ? where : "'" + shown(param->name) + "' in " + where;
    const std::string after = "after " + subject;
    readKeywordComment(c.line, c.text, [&](KeywordTokens* t) {
      std::unordered_map<std::string, bool> seen;
      while (!t->done()) {
        if (t->peek().kind != Tok::Word) {
          throw Failure{0, "expected " + std::string(kParamKeywords) + " in the '#:' comment " +
                               after + ", found " + t->found()};
        }
        const Token key = t->take();
        const std::string& k = key.text;
        std::vector<float>* numbers = k == "default"   ? &param->maya.defaults
                                      : k == "min"     ? &param->maya.min
                                      : k == "max"     ? &param->maya.max
                                      : k == "softmin" ? &param->maya.softMin
                                      : k == "softmax" ? &param->maya.softMax
                                                       : nullptr;
        if (!numbers && k != "shortname" && k != "hidden") {
          throw Failure{0, "unknown keyword '" + shown(k) + "' in the '#:' comment " + after +
                               " (expected " + kParamKeywords + ")"};
        }
        if (!seen.emplace(k, true).second) {
          throw Failure{0, "'" + k + "' is given twice in the '#:' comment " + after};
        }
        const std::string what = "a number for '" + k + "' of " + subject;
        if (numbers) {
          numbers->push_back(keywordNumber(t, what));
          // default, min and max take up to three, for colours and vectors.
          const std::size_t most = k.rfind("soft", 0) == 0 ? 1 : 3;
          while (numbers->size() < most && t->nextIsNumber()) {
            numbers->push_back(keywordNumber(t, what));
          }
        } else if (k == "shortname") {
          if (t->done() || t->peek().kind != Tok::String) {
            throw Failure{0, "expected the short name in quotes after 'shortname' " + after +
                                 ", found " + t->found()};
          }
          param->maya.shortName = t->take().text;
        } else {
          const bool on = !t->done() && (t->peek().text == "on" || t->peek().text == "true" ||
                                         t->peek().text == "1");
          const bool off = !t->done() && (t->peek().text == "off" || t->peek().text == "false" ||
                                          t->peek().text == "0");
          if (!on && !off) {
            throw Failure{0,
                          "expected on or off after 'hidden' " + after + ", found " + t->found()};
          }
          t->take();
          param->maya.hidden = on;
        }
      }
    });
  }
}

void DeclarationReader::requirementKeywords(ShaderDecl* decl, const std::string& where) {
  while (keywordCommentPending()) {
    const KeywordComment& c = keywordComments_[nextKeywordComment_++];
    readKeywordComment(c.line, c.text, [&](KeywordTokens* t) {
      while (!t->done()) {
        if (t->peek().kind != Tok::Word || t->peek().text != "nodeid") {
          throw Failure{0, "expected nodeid in the '#:' comment among the options of " + where +
                               ", found " + t->found()};
        }
        t->take();
        if (decl->nodeIdLine != 0) {
          throw Failure{0, "nodeid is given twice in the declaration of " + where +
                               " (first at line " + std::to_string(decl->nodeIdLine) + ")"};
        }
        const char* const range = "a whole number from 1 to 4294967295 after 'nodeid'";
        if (t->done() || t->peek().kind != Tok::Int) {
          throw Failure{0, std::string("expected ") + range + " in the declaration of " + where +
                               ", found " + t->found()};
        }
        const Token n = t->take();
        // By its digits, so that no integer type's limit decides the range.
        const bool negative = n.text[0] == '-';
        std::string digits = n.text.substr(n.text[0] == '-' || n.text[0] == '+' ? 1 : 0);
        digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
        if (negative || digits.empty() || digits.size() > 10 ||
            (digits.size() == 10 && digits > "4294967295")) {
          throw Failure{0, "nodeid " + shown(n.text) + " of " + where +
                               " is out of range: " + "expected " + range};
        }
        decl->nodeId = static_cast<std::uint32_t>(std::stoull(digits));
        decl->nodeIdLine = c.line;
      }
    });
  }
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
  // A fixed count of numbers; a colour may leave its alpha, which mental
  // ray's parameter syntax then makes 0.
  const auto count = [&](std::size_t wanted, const char* kindText) {
    const int line = tok().line;
    std::vector<float> v = numbers(what, wanted);
    if (kind == ParamKind::Color && v.size() == 3) v.push_back(0.0f);
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
                              " cannot be laid out: this host keeps arrays among a shader's own "
                              "parameters only"};
    }
    ParamDecl element = std::move(decl);
    element.name.clear();
    decl = ParamDecl{name.text, ParamKind::Array, {std::move(element)}, 0, 0, {}, line, {}};
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
    strayKeywordComments(true);
    ParamDecl p = param(where, inStructure);
    const auto [it, fresh] = seen.emplace(p.name, p.line);
    if (!fresh) {
      throw Failure{p.line, "'" + shown(p.name) + "' is declared twice in " + where +
                                " (first at line " + std::to_string(it->second) + ")"};
    }
    list.push_back(std::move(p));
    const bool last = isPunct(closing);
    if (!last) {
      expect(",", std::string("',' or '") + closing + "' after '" + shown(list.back().name) +
                      "' in " + where);
    }
    // Maya's keywords follow the parameter, after its comma if it has one.
    paramKeywords(&list.back(), where);
    if (last) break;
  }
  advance();
  return list;
}

std::shared_ptr<ShaderDecl> DeclarationReader::declaration() {
  // What lies before the declaration is the file's business.
  strayKeywordComments(false);
  auto decl = std::make_shared<ShaderDecl>();
  decl->file = file_;
  decl->line = tok().line;
  advance();
  if (!isWord("shader")) unexpected("'shader' after 'declare'");
  advance();
  strayKeywordComments(true);

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
  paramKeywords(&result, "the result");
  const Token name = expectString("the shader's name in quotes");
  decl->name = name.text;
  std::vector<ParamDecl> one{result};
  layOut(&one, 0);
  result = std::move(one.front());

  const std::string where = "shader '" + shown(decl->name) + "'";
  expect("(", "'(' to open the parameters of " + where);
  decl->params = members(")", where, false);
  decl->blockSize = layOut(&decl->params, 0);
  options(decl.get(), where);
  return decl;
}

// From the parameters' closing parenthesis to `end declare`.
void DeclarationReader::options(ShaderDecl* decl, const std::string& where) {
  std::unordered_map<std::string, int> seen;
  for (;;) {
    requirementKeywords(decl, where);
    if (isWord("end")) {
      advance();
      if (!isWord("declare")) unexpected("'declare' after 'end' in the declaration of " + where);
      advance();
      return;
    }
    const std::string wanted = "'version', 'apply', a declaration option (" +
                               std::string(kOptionWords[0]) + ", " + kOptionWords[1] +
                               " ...) or 'end declare' in the declaration of " + where;
    if (tok().kind != Tok::Word) unexpected(wanted);
    const Token key = take();
    if (key.text == "options") {
      // A block of global options, as in an options statement: the scene's
      // own options decide here, so it is passed over whole.
      for (;;) {
        if (tok().kind == Tok::End) unexpected("'end options' in the declaration of " + where);
        if (isWord("end")) {
          advance();
          if (isWord("options")) break;
          if (isWord("declare")) {
            unexpected("'end options' before 'end declare' in the declaration of " + where);
          }
          continue;
        }
        advance();
      }
      advance();
      continue;
    }
    if (key.text != "version" && key.text != "apply") {
      if (!isOptionWord(key.text)) {
        throw Failure{key.line, "expected " + wanted + ", found '" + shown(key.text) + "'"};
      }
      while (isNumber() || tok().kind == Tok::String ||
             (tok().kind == Tok::Word && !isOptionWord(tok().text) && !isWord("version") &&
              !isWord("apply") && !isWord("options") && !isWord("end"))) {
        advance();
      }
      continue;
    }
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
