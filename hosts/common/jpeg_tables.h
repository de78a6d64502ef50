// A check of a JPEG's Huffman tables before stb_image decodes it. The stb of
// Debian 12 (v2.27) builds a table from the 16 code counts of a DHT segment
// without checking that they add up to at most 256, the table's room, and
// writes past it when they do. Every decoder of the stand-ins runs this
// first; a JPEG whose tables overflow is refused, anything else goes on to
// the decoder, which judges the rest.
#pragma once

#include <string>

namespace qv::host {

class InputFile;

// Reads `file` from where it stands and walks the JPEG's segments, scans
// included, to its end. True when the file is no JPEG or its Huffman tables
// fit; otherwise false with the reason in `why`. The caller rewinds the file
// before decoding.
bool jpegTablesFit(InputFile& file, std::string* why);

}  // namespace qv::host
