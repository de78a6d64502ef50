// MEL statements as qvmaya runs them, one at a time, so that everything
// before a part of a script that cannot be read still runs.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qv::qvmaya {

struct Word {
  std::string text;  // quotes removed and escapes decoded
  bool quoted = false;
};

struct Statement {
  int line = 0;  // where its first word is
  std::vector<Word> words;
};

// A flag is "-" and a letter, unquoted; "-5" stays a number.
bool isFlag(const Word& word);

class ScriptReader {
 public:
  // `text` must outlive the reader.
  explicit ScriptReader(const std::string& text) : text_(text) {}

  // False at the end of the script, or with `error` set when the rest
  // cannot be read, and the statement's line then where the unreadable part
  // starts (a block comment's "/*", else the statement's first word). An
  // empty statement (";") is skipped. A file with a NUL byte is binary
  // (a Maya binary scene, say), which nothing of it runs from.
  bool next(Statement* statement, std::string* error);

 private:
  char at(std::size_t i) const { return i < text_.size() ? text_[i] : '\0'; }
  // False, with `error` and `*line` set, at a block comment that never ends.
  bool skipSpaceAndComments(int* line, std::string* error);
  bool quoted(Word* word, std::string* error);

  const std::string& text_;
  std::size_t pos_ = 0;
  int line_ = 1;
  bool checkedBinary_ = false;
};

}  // namespace qv::qvmaya
