#include "jpeg_tables.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "input_file.h"

namespace qv::host {

namespace {

// Bytes of the file in order, read in blocks.
class ByteReader {
 public:
  explicit ByteReader(InputFile& file) : file_(file), block_(std::size_t{1} << 16) {}

  // The next byte, or -1 at the end.
  int next() {
    if (at_ == size_) {
      size_ = file_.read(block_.data(), block_.size());
      at_ = 0;
      if (size_ == 0) return -1;
    }
    return block_[at_++];
  }

  // Skips n bytes; false when the file ends first.
  bool skip(std::size_t n) {
    for (; n > 0; --n) {
      if (next() < 0) return false;
    }
    return true;
  }

 private:
  InputFile& file_;
  std::vector<unsigned char> block_;
  std::size_t size_ = 0;
  std::size_t at_ = 0;
};

constexpr int kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kDht = 0xC4, kTem = 0x01;
constexpr int kMaxCodes = 256;

bool isRestart(int marker) {
  return marker >= 0xD0 && marker <= 0xD7;
}

// The marker after the 0xFF that introduced it (fill bytes skipped), or -1.
int markerAfterFf(ByteReader& in) {
  int b = in.next();
  while (b == 0xFF) b = in.next();
  return b;
}

// Skips entropy-coded data up to the next marker that is neither a stuffed
// zero nor a restart; returns that marker, or -1 at the end.
int markerAfterScan(ByteReader& in) {
  for (;;) {
    int b = in.next();
    if (b < 0) return -1;
    if (b != 0xFF) continue;
    const int marker = markerAfterFf(in);
    if (marker < 0) return -1;
    if (marker != 0x00 && !isRestart(marker)) return marker;
  }
}

// The tables of one DHT segment of `length` bytes after its length field.
bool dhtFits(ByteReader& in, int length, std::string* why) {
  while (length > 0) {
    if (length < 17 || !in.skip(1)) return true;  // malformed: the decoder refuses it
    int codes = 0;
    for (int i = 0; i < 16; ++i) {
      const int count = in.next();
      if (count < 0) return true;
      codes += count;
    }
    if (codes > kMaxCodes) {
      *why = "a Huffman table of the JPEG claims " + std::to_string(codes) +
             " codes, more than the " + std::to_string(kMaxCodes) + " a table holds";
      return false;
    }
    length -= 17 + codes;
    if (length < 0 || !in.skip(static_cast<std::size_t>(codes))) return true;
  }
  return true;
}

}  // namespace

bool jpegTablesFit(InputFile& file, std::string* why) {
  ByteReader in(file);
  if (in.next() != 0xFF || in.next() != kSoi) return true;  // no JPEG
  int marker = -1;
  for (;;) {
    if (marker < 0) {
      // stb takes bytes between segments as padding and looks on for the
      // next marker; so does the check.
      int b = in.next();
      while (b >= 0 && b != 0xFF) b = in.next();
      if (b < 0) return true;
      marker = markerAfterFf(in);
    }
    if (marker < 0 || marker == kEoi) return true;
    if (isRestart(marker) || marker == kTem || marker == kSoi) {
      marker = -1;
      continue;
    }
    const int high = in.next(), low = in.next();
    if (high < 0 || low < 0) return true;
    const int length = (high << 8 | low) - 2;
    if (length < 0) return true;
    if (marker == kDht) {
      if (!dhtFits(in, length, why)) return false;
    } else if (!in.skip(static_cast<std::size_t>(length))) {
      return true;
    }
    // A scan's header is followed by its entropy-coded data; progressive
    // files bring more tables between scans.
    marker = marker == kSos ? markerAfterScan(in) : -1;
  }
}

}  // namespace qv::host
