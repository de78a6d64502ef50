#include <iostream>

#include "qvmray.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return qv::qvmray::run(args, std::cin, std::cout, std::cerr);
}
