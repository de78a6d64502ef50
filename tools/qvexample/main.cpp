// qvexample FOLDER: writes the bundled example scene into FOLDER.
#include <iostream>
#include <string>

#include "scene_files.h"

int main(int argc, char** argv) {
  if (argc != 2 || std::string(argv[1]) == "-h") {
    std::cerr << "usage: qvexample FOLDER\n"
                 "  Writes the example scene (painting, meshes and the scene file of each host)\n"
                 "  into FOLDER, which must exist.\n";
    return argc == 2 ? 0 : 2;
  }
  std::string error;
  if (!qv::example::writeExample(qv::example::scene(), argv[1], &error)) {
    std::cerr << "qvexample: " << error << '\n';
    return 1;
  }
  return 0;
}
