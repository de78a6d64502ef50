// A check of a PNG's chunk lengths before stb_image decodes it. stb sizes
// its buffer for a chunk's data by the length the chunk claims, before it
// reads any of it, so a file of a hundred bytes whose chunk claims two
// gigabytes would have it allocate them. PNG chunks follow one another
// without gaps, so the check is exact: every length must fit in what the
// file still holds.
#pragma once

#include <string>

namespace qv::host {

class InputFile;

// Reads `file` from its start. True when the file is no PNG or every chunk
// up to IEND fits in the file; otherwise false with the reason in `why`.
// The caller rewinds the file before decoding.
bool pngChunksFit(InputFile& file, std::string* why);

}  // namespace qv::host
