
#include <maya/MGlobal.h>

#include <iostream>

void MGlobal::displayInfo(const MString& text) {
  std::cout << text << std::endl;
}
void MGlobal::displayWarning(const MString& text) {
  std::cerr << "// Warning: " << text << std::endl;
}
void MGlobal::displayError(const MString& text) {
  std::cerr << "// Error: " << text << std::endl;
}
