#include "qv_attribute_flags.h"

#include "qv_status_check.h"

namespace qv::maya {

void setInputFlags(MFnAttribute& attribute, const char* file, int line) {
  checkStatus(attribute.setKeyable(true), file, line);
  checkStatus(attribute.setStorable(true), file, line);
  checkStatus(attribute.setReadable(true), file, line);
  checkStatus(attribute.setWritable(true), file, line);
}

void setOutputFlags(MFnAttribute& attribute, const char* file, int line) {
  checkStatus(attribute.setKeyable(false), file, line);
  checkStatus(attribute.setStorable(false), file, line);
  checkStatus(attribute.setReadable(true), file, line);
  checkStatus(attribute.setWritable(false), file, line);
}

}  // namespace qv::maya
