// The image reader of the stand-in hosts (PNG, JPEG, TGA, BMP through stb,
// OpenEXR through the OpenEXR library), which reads from a file: the bytes
// go to one, named .exr when they start as an OpenEXR file does. An image
// it accepts has as many pixels as its size says; a refusal names the file.
#include "fuzz_support.h"
#include "image_file.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

namespace {
std::string picture;
std::string exr;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qv::fuzz::quietStreams();
  picture = (qv::fuzz::scratchFolder() / "fuzz.img").string();
  exr = (qv::fuzz::scratchFolder() / "fuzz.exr").string();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const unsigned char kExrMagic[4] = {0x76, 0x2f, 0x31, 0x01};
  const std::string& path = size >= 4 && std::memcmp(data, kExrMagic, 4) == 0 ? exr : picture;
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!file.flush()) std::abort();
  }
  // As the hosts read paintings: at the file's own depth. A few bytes may
  // claim a picture of the largest size (a gigabyte as bytes); widening that
  // to float as well would pass the fuzzer's memory limit, so only small
  // pictures are widened, to check that the two reads agree.
  qv::image::Picture image;
  std::string error;
  if (!qv::image::read(path, &image, &error)) {
    QV_FUZZ_CHECK(qv::fuzz::startsWith(error, path));
    return 0;
  }
  QV_FUZZ_CHECK(image.width() > 0 && image.height() > 0);
  if (std::int64_t{image.width()} * image.height() <= (std::int64_t{1} << 20)) {
    const qv::image::Rgba widened = image.toRgba();
    QV_FUZZ_CHECK(widened.pixels.size() ==
                  static_cast<std::size_t>(image.width()) * image.height() * 4);
    // Bit for bit: a file may hold NaNs, which equal nothing, themselves
    // included, and both reads must give them back as the file has them.
    const std::array<float, 4> texel = image.texel(image.width() - 1, image.height() - 1);
    QV_FUZZ_CHECK(std::memcmp(widened.at(image.width() - 1, image.height() - 1), texel.data(),
                              sizeof texel) == 0);
  }
  return 0;
}
