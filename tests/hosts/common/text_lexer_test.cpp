#include "text_lexer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv::host {
namespace {

// Deliberately unlike either scene format, so that nothing here holds only
// because one of them happens to be built in.
constexpr LexerStyle kStyle = {
    ";;",      // lineComment
    "@-",      // moreWordChars
    "::->",    // pairs
    "{}=",     // punctuation
    "\"\\n",   // escapes
    "\"\\\n",  // escaped
    true,      // stringsSpanLines
};

std::vector<Token> lexed(const std::string& text, const LexerStyle& style = kStyle) {
  Lexer lex(text, style);
  std::vector<Token> tokens;
  for (Token t = lex.next(); t.kind != Tok::End; t = lex.next()) tokens.push_back(t);
  return tokens;
}

std::string failureOf(const std::string& text, const LexerStyle& style = kStyle) {
  try {
    lexed(text, style);
  } catch (const TextFailure& f) {
    return std::to_string(f.line) + ": " + f.what;
  }
  ADD_FAILURE() << "no failure for " << text;
  return "";
}

TEST(TextLexer, FollowsTheStyle) {
  const auto t = lexed("a@b-c :: -> {=} ;; x y z\n\"p\\nq\" 1 -2.5e3");
  ASSERT_EQ(t.size(), 9u);
  EXPECT_EQ(t[0].kind, Tok::Word);
  EXPECT_EQ(t[0].text, "a@b-c");
  EXPECT_EQ(t[1].text, "::");
  EXPECT_EQ(t[2].text, "->");
  EXPECT_EQ(t[3].kind, Tok::Punct);
  EXPECT_EQ(t[6].kind, Tok::String);
  EXPECT_EQ(t[6].text, "p\nq");
  EXPECT_EQ(t[6].line, 2);
  EXPECT_EQ(t[7].kind, Tok::Int);
  EXPECT_EQ(t[8].kind, Tok::Float);
  EXPECT_EQ(t[8].text, "-2.5e3");
}

TEST(TextLexer, ReportsTheOffendingLine) {
  EXPECT_EQ(failureOf("a\n:"), "2: unexpected character ':'");
  EXPECT_EQ(failureOf("\n12ab"), "2: malformed number '12ab'");
  EXPECT_EQ(failureOf("\"a\\t\""),
            "1: unknown escape '\\t' in a string (write '\\\\' for a backslash)");
  EXPECT_EQ(failureOf("\n\"a\nb"), "2: unterminated string (no closing '\"')");
}

TEST(TextLexer, OneLineStringsEndAtTheLine) {
  LexerStyle oneLine = kStyle;
  oneLine.stringsSpanLines = false;
  EXPECT_EQ(failureOf("\n\"a\nb\"", oneLine),
            "2: unterminated string (no closing '\"' on its line)");
  EXPECT_EQ(failureOf("\"a\\", oneLine),
            "1: unknown escape '\\\\x00' in a string (write '\\\\' for a backslash)");
}

TEST(TextLexer, QuotesOffendingTextReadably) {
  EXPECT_EQ(shown(std::string("a\x01\xff", 3)), "a\\x01\\xFF");
  EXPECT_EQ(shown(std::string(50, 'x')), std::string(40, 'x') + "...");
}

TEST(TextLexer, ConvertsNumbers) {
  EXPECT_EQ(toInt64(Token{Tok::Int, "+42", 1}), 42);
  EXPECT_THROW(toInt64(Token{Tok::Int, "99999999999999999999", 1}), TextFailure);
  double v = 0.0;
  EXPECT_TRUE(toDouble(Token{Tok::Float, "+1.5", 1}, &v));
  EXPECT_EQ(v, 1.5);
  EXPECT_FALSE(toDouble(Token{Tok::Float, "1e999", 1}, &v));
}

TEST(TextLexer, CatchReadFailureNamesTheFileAndLine) {
  EXPECT_EQ(catchReadFailure("f.txt", [] {}), "");
  EXPECT_EQ(catchReadFailure("f.txt", [] { throw TextFailure{3, "bad"}; }), "f.txt:3: bad");
}

}  // namespace
}  // namespace qv::host
