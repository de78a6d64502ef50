// The command-line conventions the qv tools share: `TOOL probe ARGS...`,
// options that take the argument after them as their value, and bad usage
// answered with "TOOL: what is wrong", the usage and exit status 2.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace qv::tools {

struct Tool {
  const char* name;   // starts every complaint
  const char* usage;  // printed after every complaint
};

// A whole number in base 10 from low to high, with nothing around it.
bool parseWholeNumber(const std::string& text, long low, long high, long* value);

// --threads: sets `threads` and returns "", or returns what is wrong.
std::string parseThreads(const std::string& text, int* threads);

// Prints "NAME: complaint" (unless there is none) and the usage; returns 2.
int usageError(const Tool& tool, std::ostream& err, const std::string& complaint = "");

// Stores an option's value and returns "", or returns what is wrong with it.
using OptionSetter =
    std::function<std::string(const std::string& option, const std::string& value)>;

// Reads the command's arguments, args[1] on. Each of `options` takes a value,
// which goes to `set`; any other argument that starts with "--" is unknown;
// the rest must be exactly `count` positional arguments. Returns false after
// printing what is wrong.
bool scanArguments(const Tool& tool, const std::vector<std::string>& args,
                   const std::vector<std::string>& options, const OptionSetter& set,
                   std::size_t count, std::vector<std::string>* positional, std::ostream& err);

// `NAME probe ...` runs `probe`; `NAME --help` or `-h` prints the usage.
int runCommand(const Tool& tool, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err, const std::function<int()>& probe);

}  // namespace qv::tools
