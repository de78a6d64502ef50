#include <iostream>

#include "qvray.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return qv::qvray::run(args, std::cin, std::cout, std::cerr);
}
