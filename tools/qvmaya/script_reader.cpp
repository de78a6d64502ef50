#include "script_reader.h"

#include <algorithm>
#include <cctype>

namespace qv::qvmaya {

bool isFlag(const Word& word) {
  return !word.quoted && word.text.size() > 1 && word.text[0] == '-' &&
         std::isalpha(static_cast<unsigned char>(word.text[1]));
}

bool ScriptReader::skipSpaceAndComments(int* line, std::string* error) {
  for (;;) {
    const char c = at(pos_);
    if (c == '\n') {
      ++line_;
      ++pos_;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      ++pos_;
    } else if (c == '/' && at(pos_ + 1) == '/') {
      while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
    } else if (c == '/' && at(pos_ + 1) == '*') {
      // An unclosed comment would silently swallow the rest of the scene.
      const int start = line_;
      for (pos_ += 2; pos_ < text_.size() && !(text_[pos_] == '*' && at(pos_ + 1) == '/'); ++pos_) {
        if (text_[pos_] == '\n') ++line_;
      }
      if (pos_ >= text_.size()) {
        *line = start;
        *error = "Unterminated comment: the '/*' here has no '*/'";
        return false;
      }
      pos_ += 2;
    } else {
      return true;
    }
  }
}

bool ScriptReader::quoted(Word* word, std::string* error) {
  word->quoted = true;
  for (++pos_; pos_ < text_.size(); ++pos_) {
    char c = text_[pos_];
    if (c == '"') {
      ++pos_;
      return true;
    }
    if (c == '\n') break;
    if (c == '\\' && pos_ + 1 < text_.size()) {
      c = text_[++pos_];
      c = c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
    word->text += c;
  }
  *error = "Unterminated string";
  return false;
}

bool ScriptReader::next(Statement* statement, std::string* error) {
  error->clear();
  *statement = Statement();
  if (!checkedBinary_) {
    checkedBinary_ = true;
    const std::size_t nul = text_.find('\0');
    if (nul != std::string::npos) {
      statement->line =
          1 + static_cast<int>(std::count(text_.begin(),
                                          text_.begin() + static_cast<std::ptrdiff_t>(nul), '\n'));
      *error = "Not a MEL script or Maya ASCII file: it holds binary data";
      pos_ = text_.size();
      return false;
    }
  }
  for (;;) {
    if (!skipSpaceAndComments(&statement->line, error)) return false;
    if (statement->words.empty()) statement->line = line_;
    const char c = at(pos_);
    if (pos_ >= text_.size()) {
      if (statement->words.empty()) return false;
      *error = "Syntax error: the statement has no ';' at its end";
      return false;
    }
    if (c == ';') {
      ++pos_;
      if (!statement->words.empty()) return true;
      continue;
    }
    Word word;
    if (c == '"') {
      if (!quoted(&word, error)) return false;
    } else {
      // A comment may follow a word without a space between them.
      while (pos_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[pos_])) &&
             text_[pos_] != ';' && text_[pos_] != '"' &&
             !(text_[pos_] == '/' && (at(pos_ + 1) == '/' || at(pos_ + 1) == '*'))) {
        word.text += text_[pos_++];
      }
    }
    statement->words.push_back(std::move(word));
  }
}

}  // namespace qv::qvmaya
