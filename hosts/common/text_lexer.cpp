#include "text_lexer.h"

#include <charconv>
#include <cstdio>
#include <system_error>
#include <utility>

namespace qv::host {
namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isWordStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

// from_chars rejects the '+' that the formats allow.
const char* afterPlus(const std::string& text) {
  return text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
}

}  // namespace

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

std::int64_t toInt64(const Token& t) {
  const char* last = t.text.data() + t.text.size();
  std::int64_t v = 0;
  const auto r = std::from_chars(afterPlus(t.text), last, v);
  if (r.ec != std::errc() || r.ptr != last) {
    throw TextFailure{t.line, "whole number " + shown(t.text) + " is out of range"};
  }
  return v;
}

bool toDouble(const Token& t, double* value) {
  const char* last = t.text.data() + t.text.size();
  const auto r = std::from_chars(afterPlus(t.text), last, *value);
  return r.ec == std::errc() && r.ptr == last;
}

Token Lexer::next() {
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
  for (std::size_t i = 0; i + 1 < style_.pairs.size(); i += 2) {
    if (c == style_.pairs[i] && at(pos_ + 1) == style_.pairs[i + 1]) {
      pos_ += 2;
      t.kind = Tok::Punct;
      t.text = std::string(style_.pairs.substr(i, 2));
      return t;
    }
  }
  if (style_.punctuation.find(c) != std::string_view::npos) {
    ++pos_;
    t.kind = Tok::Punct;
    t.text = std::string(1, c);
    return t;
  }
  throw TextFailure{line_, "unexpected character '" + shown(std::string_view(&s_[pos_], 1)) + "'"};
}

bool Lexer::isWordChar(char c) const {
  return isWordStart(c) || isDigit(c) || style_.moreWordChars.find(c) != std::string_view::npos;
}

void Lexer::skipSpaceAndComments() {
  while (pos_ < s_.size()) {
    const char c = s_[pos_];
    if (c == '\n') {
      ++line_;
      ++pos_;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
      ++pos_;
    } else if (std::string_view(s_).substr(pos_, style_.lineComment.size()) == style_.lineComment) {
      while (pos_ < s_.size() && s_[pos_] != '\n') ++pos_;
    } else {
      return;
    }
  }
}

bool Lexer::startsNumber() const {
  std::size_t i = pos_;
  if (s_[i] == '-' || s_[i] == '+') ++i;
  return isDigit(at(i)) || (at(i) == '.' && isDigit(at(i + 1)));
}

void Lexer::digits() {
  while (isDigit(at(pos_))) ++pos_;
}

Token Lexer::number(Token t) {
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
    throw TextFailure{t.line, "malformed number '" + shown(s_.substr(start, pos_ - start)) + "'"};
  }
  t.kind = isFloat ? Tok::Float : Tok::Int;
  t.text = s_.substr(start, pos_ - start);
  return t;
}

Token Lexer::quoted(Token t) {
  ++pos_;
  for (;;) {
    if (pos_ >= s_.size() || (!style_.stringsSpanLines && s_[pos_] == '\n')) unterminated(t);
    const char c = s_[pos_++];
    if (c == '"') break;
    if (c == '\n') ++line_;
    if (c != '\\') {
      t.text += c;
      continue;
    }
    // A one-line string's backslash at the very end reads the end of the
    // file as the character it escapes, and so reports it as unknown.
    if (style_.stringsSpanLines && pos_ >= s_.size()) unterminated(t);
    const std::size_t escape = style_.escapes.find(at(pos_));
    if (escape == std::string_view::npos) {
      throw TextFailure{line_, "unknown escape '\\" + shown(std::string(1, at(pos_))) +
                                   "' in a string (write '\\\\' for a backslash)"};
    }
    t.text += style_.escaped[escape];
    ++pos_;
  }
  t.kind = Tok::String;
  return t;
}

void Lexer::unterminated(const Token& t) const {
  throw TextFailure{t.line, std::string("unterminated string (no closing '\"'") +
                                (style_.stringsSpanLines ? ")" : " on its line)")};
}

Token TokenReader::take() {
  Token t = std::move(tok_);
  advance();
  return t;
}

void TokenReader::unexpected(const std::string& wanted) const {
  if (tok_.kind == Tok::End) {
    throw TextFailure{tok_.line, "unexpected end of file, expected " + wanted};
  }
  throw TextFailure{tok_.line, "expected " + wanted + ", found " + describe(tok_)};
}

void TokenReader::expect(const char* punct, const std::string& wanted) {
  if (!isPunct(punct)) unexpected(wanted);
  advance();
}

}  // namespace qv::host
