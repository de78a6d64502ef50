#include <iostream>

#include "output_files.h"
#include "qvray.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  // The commands turn bad input into one message each; this catches what
  // escapes them, so that no run ends in an uncaught exception.
  return qv::tools::guard("qvray", args.empty() ? "qvray" : "qvray " + args[0], std::cerr,
                          [&] { return qv::qvray::run(args, std::cin, std::cout, std::cerr); });
}
