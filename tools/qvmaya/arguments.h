// The words of a MEL command as qvmaya reads them: its flags, by their long
// names, and the rest in order.
#pragma once

#include "script_reader.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace qv::qvmaya {

struct Flag {
  const char* shortName;
  const char* longName;
  int values;
};

struct Arguments {
  std::map<std::string, std::vector<std::string>> flags;  // by long name
  std::vector<Word> positional;

  bool has(const char* flag) const { return flags.count(flag) > 0; }
  std::string value(const char* flag) const {
    auto found = flags.find(flag);
    return found == flags.end() || found->second.empty() ? "" : found->second.front();
  }
};

// The statement's flags (each of `known`, by short or long name, with its
// values) and between `least` and `most` other words; anything else fails
// the command.
Arguments parse(const Statement& statement, const std::vector<Flag>& known, size_t least,
                size_t most);

// A number as MEL reads one, "on"/"off", "yes"/"no" and "true"/"false" too.
bool parseNumber(const std::string& text, double* value);

// A number as getAttr prints it.
std::string format(double value);

// A word of the script as a message quotes it: a runaway token or a binary
// file's bytes must not bury the message, so it is cut short and its
// unprintable bytes are escaped.
std::string quoteWord(const std::string& text);

// A statement as MEL text again, each word quoted as it was, with its ';'.
std::string melText(const Statement& statement);

// A file name is worth showing whole, unless it is no file name at all.
std::string quotePath(const std::string& path);

}  // namespace qv::qvmaya
