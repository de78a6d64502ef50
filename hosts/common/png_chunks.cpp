#include "png_chunks.h"

#include <cstdint>
#include <cstring>

#include "input_file.h"

namespace qv::host {

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t bigEndian(const unsigned char* b) {
  return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 |
         std::uint32_t{b[3]};
}

}  // namespace

bool pngChunksFit(InputFile& file, std::string* why) {
  unsigned char signature[8];
  if (file.read(signature, sizeof signature) != sizeof signature ||
      std::memcmp(signature, kSignature, sizeof signature) != 0) {
    return true;  // no PNG
  }
  std::uint64_t at = sizeof signature;
  const std::uint64_t size = file.size();
  for (;;) {
    unsigned char header[8];
    if (file.read(header, sizeof header) != sizeof header) return true;  // the decoder says why
    at += sizeof header;
    const std::uint64_t length = bigEndian(header);
    // The data and the four bytes of its check sum.
    if (length + 4 > size - at) {
      *why = "a PNG chunk claims " + std::to_string(length) + " bytes, more than the " +
             std::to_string(size - at) + " left in the file";
      return false;
    }
    if (std::memcmp(header + 4, "IEND", 4) == 0) return true;
    file.skip(static_cast<long long>(length + 4));
    at += length + 4;
  }
}

}  // namespace qv::host
