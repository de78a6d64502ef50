#include "arguments.h"

#include "command_error.h"
#include "scene_writer.h"
#include "text_lexer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace qv::qvmaya {

std::string quoteWord(const std::string& text) {
  return host::shown(text);
}

std::string quotePath(const std::string& path) {
  constexpr std::size_t kLongestShown = 240;
  const bool plain = std::none_of(path.begin(), path.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
  });
  return plain && path.size() <= kLongestShown ? path : quoteWord(path);
}

std::string melText(const Statement& statement) {
  std::string text;
  for (const Word& word : statement.words) {
    if (!text.empty()) text += ' ';
    text += word.quoted ? quote(word.text) : word.text;
  }
  return text + ";";
}

Arguments parse(const Statement& statement, const std::vector<Flag>& known, size_t least,
                size_t most) {
  const std::string& command = statement.words[0].text;
  Arguments arguments;
  for (size_t i = 1; i < statement.words.size(); ++i) {
    const Word& word = statement.words[i];
    if (!isFlag(word)) {
      arguments.positional.push_back(word);
      continue;
    }
    auto flag = std::find_if(known.begin(), known.end(), [&](const Flag& f) {
      return word.text.substr(1) == f.shortName || word.text.substr(1) == f.longName;
    });
    if (flag == known.end()) fail(command + ": Invalid flag '" + quoteWord(word.text) + "'");
    auto& values = arguments.flags[flag->longName];
    for (int n = 0; n < flag->values; ++n) {
      if (++i >= statement.words.size())
        fail(command + ": flag " + quoteWord(word.text) + " needs a value");
      values.push_back(statement.words[i].text);
    }
  }
  const size_t count = arguments.positional.size();
  if (count < least || count > most) {
    fail(command + ": wrong number of arguments (" + std::to_string(count) + ")");
  }
  return arguments;
}

bool parseNumber(const std::string& text, double* value) {
  static const std::map<std::string, double> kWords = {{"on", 1},    {"off", 0}, {"true", 1},
                                                       {"false", 0}, {"yes", 1}, {"no", 0}};
  if (auto word = kWords.find(text); word != kWords.end()) {
    *value = word->second;
    return true;
  }
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size();
}

std::string format(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

}  // namespace qv::qvmaya
