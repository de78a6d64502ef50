// The stream names Maya's headers use unqualified, declared without the
// streams themselves.
#pragma once

#include <iosfwd>

using std::ios;
using std::iostream;
using std::istream;
using std::ostream;
using std::streampos;
