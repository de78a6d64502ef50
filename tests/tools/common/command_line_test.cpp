#include "command_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace qv::tools {
namespace {

const Tool kTool = {"tool", "usage: tool probe A B [--n N]\n"};

TEST(ParseWholeNumber, TakesOnlyAWholeNumberInRange) {
  long v = -1;
  EXPECT_TRUE(parseWholeNumber("7", 1, 8, &v));
  EXPECT_EQ(v, 7);
  for (const char* bad : {"", "9", "0", "7x", "x", "7.0"}) {
    EXPECT_FALSE(parseWholeNumber(bad, 1, 8, &v)) << bad;
  }
  EXPECT_EQ(v, 7);
}

TEST(ParseThreads, SaysWhatIsWrong) {
  int threads = 3;
  EXPECT_EQ(parseThreads("1025", &threads),
            "--threads takes a whole number from 1 to 1024, not '1025'");
  EXPECT_EQ(threads, 3);
  EXPECT_EQ(parseThreads("16", &threads), "");
  EXPECT_EQ(threads, 16);
}

struct Scan {
  bool ok = false;
  std::vector<std::string> positional;
  std::string n;
  std::string err;
};

Scan scan(const std::vector<std::string>& args) {
  Scan s;
  std::ostringstream err;
  const auto set = [&](const std::string&, const std::string& value) {
    s.n = value;
    return value == "bad" ? std::string("--n is bad") : std::string();
  };
  s.ok = scanArguments(kTool, args, {"--n"}, set, 2, &s.positional, err);
  s.err = err.str();
  return s;
}

TEST(ScanArguments, SeparatesOptionsFromPositionalArguments) {
  const Scan s = scan({"probe", "a", "--n", "5", "b"});
  EXPECT_TRUE(s.ok);
  EXPECT_EQ(s.positional, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(s.n, "5");
  EXPECT_EQ(s.err, "");
}

TEST(ScanArguments, ComplainsWithTheUsage) {
  EXPECT_EQ(scan({"probe", "a", "b", "--n"}).err,
            std::string("tool: --n needs a value\n") + kTool.usage);
  EXPECT_EQ(scan({"probe", "--m", "a", "b"}).err,
            std::string("tool: unknown option '--m'\n") + kTool.usage);
  EXPECT_EQ(scan({"probe", "a", "b", "--n", "bad"}).err,
            std::string("tool: --n is bad\n") + kTool.usage);
  EXPECT_EQ(scan({"probe", "a"}).err, kTool.usage);
  EXPECT_FALSE(scan({"probe", "a", "b", "c"}).ok);
}

TEST(RunCommand, DispatchesProbeAndHelp) {
  std::ostringstream out, err;
  EXPECT_EQ(runCommand(kTool, {"probe"}, out, err, [] { return 7; }), 7);
  EXPECT_EQ(runCommand(kTool, {"-h"}, out, err, [] { return 7; }), 0);
  EXPECT_EQ(out.str(), kTool.usage);
  EXPECT_EQ(runCommand(kTool, {"render"}, out, err, [] { return 7; }), 2);
  EXPECT_EQ(runCommand(kTool, {}, out, err, [] { return 7; }), 2);
  EXPECT_EQ(err.str(), std::string("tool: unknown command 'render'\n") + kTool.usage + kTool.usage);
}

}  // namespace
}  // namespace qv::tools
