// The lexical layer the stand-ins' scene readers share: words, numbers,
// quoted strings and punctuation, each with its line for messages, and the
// one-token lookahead their recursive descent reads them through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace qv::host {

// Thrown inside a reader only; catchReadFailure() turns it into the one
// message the reader's caller sees.
struct TextFailure {
  int line;
  std::string what;
};

enum class Tok { End, Word, Int, Float, String, Punct };

struct Token {
  Tok kind = Tok::End;
  std::string text;  // as written, except strings, which are kept decoded
  int line = 1;
};

// What sets one format's tokens apart from another's. Words start with a
// letter or '_' and go on with those and digits in every format.
struct LexerStyle {
  std::string_view lineComment;    // opens a comment that runs to the end of the line
  std::string_view moreWordChars;  // also allowed in a word after its first character
  std::string_view pairs;          // two-character punctuation, one pair after another ("::")
  std::string_view punctuation;    // one-character punctuation
  std::string_view escapes;        // what may follow a backslash in a string ...
  std::string_view escaped;        // ... and what each of them stands for
  bool stringsSpanLines;           // else a newline inside a string leaves it unterminated
};

// Offending text is quoted back to the artist; binary garbage or a runaway
// token must not turn the message into an unreadable wall.
std::string shown(std::string_view text);

// A token as a message names it: "'x'", "the string \"x\"", "the end of the file".
std::string describe(const Token& t);

// An Int token's value; throws when it does not fit.
std::int64_t toInt64(const Token& t);

// An Int or Float token's value, or false when it does not fit a double.
bool toDouble(const Token& t, double* value);

class Lexer {
 public:
  // `text` must outlive the lexer.
  Lexer(const std::string& text, const LexerStyle& style) : s_(text), style_(style) {}

  // Throws TextFailure on text that is no token; the end gives Tok::End.
  Token next();

 private:
  char at(std::size_t i) const { return i < s_.size() ? s_[i] : '\0'; }
  bool isWordChar(char c) const;
  void skipSpaceAndComments();
  bool startsNumber() const;
  void digits();
  Token number(Token t);
  Token quoted(Token t);
  [[noreturn]] void unterminated(const Token& t) const;

  const std::string& s_;
  LexerStyle style_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

// Base of a reader that descends through the tokens with one of lookahead.
class TokenReader {
 protected:
  TokenReader(const std::string& text, const LexerStyle& style) : lex_(text, style) { advance(); }

  const Token& tok() const { return tok_; }
  void advance() { tok_ = lex_.next(); }
  Token take();

  bool isPunct(const char* p) const { return tok_.kind == Tok::Punct && tok_.text == p; }
  bool isWord(const char* w) const { return tok_.kind == Tok::Word && tok_.text == w; }
  bool isNumber() const { return tok_.kind == Tok::Int || tok_.kind == Tok::Float; }

  // Throws "expected WANTED, found ..." at the current token.
  [[noreturn]] void unexpected(const std::string& wanted) const;
  void expect(const char* punct, const std::string& wanted);

 private:
  Lexer lex_;
  Token tok_;
};

// Runs `read` and returns "" or, for what it threw, the message
// "FILE:LINE: what" (anything else, such as running out of memory, gives
// "FILE: cannot read the scene (...)").
template <class Read>
std::string catchReadFailure(const std::string& fileName, Read&& read) {
  try {
    read();
  } catch (const TextFailure& f) {
    return fileName + ":" + std::to_string(f.line) + ": " + f.what;
  } catch (const std::exception& e) {
    return fileName + ": cannot read the scene (" + e.what() + ")";
  }
  return {};
}

}  // namespace qv::host
