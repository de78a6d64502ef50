// The session written out as Maya ASCII, the way Maya saves a scene, so that
// running the file again rebuilds it.
#pragma once

#include <iosfwd>
#include <string>

namespace qv::maya {
class Host;
}

namespace qv::qvmaya {

struct KeptStatements;

// `name` goes into the header and footer comments only. What the scene's
// files held beyond nodes and connections (`kept`) is written back where
// Maya writes it: before the nodes, or after the connections.
void writeMayaAscii(const maya::Host& host, const std::string& name, const KeptStatements& kept,
                    std::ostream& out);

// What a saved value must be written as to read back as the same double.
std::string exactNumber(double value);

// A double-quoted MEL string literal.
std::string quote(const std::string& text);

}  // namespace qv::qvmaya
