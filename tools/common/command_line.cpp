#include "command_line.h"

#include <algorithm>
#include <cstdlib>
#include <ostream>

namespace qv::tools {

bool parseWholeNumber(const std::string& text, long low, long high, long* value) {
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

std::string parseThreads(const std::string& text, int* threads) {
  long value = 0;
  if (!parseWholeNumber(text, 1, 1024, &value)) {
    return "--threads takes a whole number from 1 to 1024, not '" + text + "'";
  }
  *threads = static_cast<int>(value);
  return "";
}

int usageError(const Tool& tool, std::ostream& err, const std::string& complaint) {
  if (!complaint.empty()) err << tool.name << ": " << complaint << "\n";
  err << tool.usage;
  return 2;
}

bool scanArguments(const Tool& tool, const std::vector<std::string>& args,
                   const std::vector<std::string>& options, const OptionSetter& set,
                   std::size_t count, std::vector<std::string>* positional, std::ostream& err) {
  const auto fail = [&](const std::string& complaint) {
    usageError(tool, err, complaint);
    return false;
  };
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (std::find(options.begin(), options.end(), arg) != options.end()) {
      if (i + 1 >= args.size()) return fail(arg + " needs a value");
      const std::string complaint = set(arg, args[++i]);
      if (!complaint.empty()) return fail(complaint);
    } else if (arg.rfind("--", 0) == 0) {
      return fail("unknown option '" + arg + "'");
    } else {
      positional->push_back(arg);
    }
  }
  if (positional->size() != count) return fail("");
  return true;
}

int runCommand(const Tool& tool, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err, const std::function<int()>& probe) {
  if (args.empty()) return usageError(tool, err);
  if (args[0] == "--help" || args[0] == "-h") {
    out << tool.usage;
    return 0;
  }
  if (args[0] == "probe") return probe();
  return usageError(tool, err, "unknown command '" + args[0] + "'");
}

}  // namespace qv::tools
