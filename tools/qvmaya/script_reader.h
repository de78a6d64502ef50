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

  // False at the end of the script, or with `error` set (and the statement's
  // line) when the rest cannot be read; an empty statement (";") is skipped.
  bool next(Statement* statement, std::string* error);

 private:
  char at(std::size_t i) const { return i < text_.size() ? text_[i] : '\0'; }
  void skipSpaceAndComments();
  bool quoted(Word* word, std::string* error);

  const std::string& text_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

}  // namespace qv::qvmaya
