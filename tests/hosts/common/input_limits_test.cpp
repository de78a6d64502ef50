// What the shared readers refuse before reading: files that are no regular
// files, text files beyond their size, images beyond their pixels, and
// what a message quotes of the offending text. And what they still take: a
// 16k painting, kept at its own depth.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "command_test.h"
#include "dynamic_library.h"
#include "image_file.h"
#include "input_file.h"
#include "input_limits.h"
#include "obj_reader.h"
#include "text_file.h"
#include "text_lexer.h"

namespace qv::host {
namespace {

namespace fs = std::filesystem;
using qv::test::contains;

// A file of `size` bytes that takes no room on disk.
std::string sparseFile(const fs::path& path, std::uint64_t size) {
  std::ofstream(path.string()) << "v 0 0 0\n";
  fs::resize_file(path, size);
  return path.string();
}

// Text files ---------------------------------------------------------------

TEST(TextFileLimits, ALargerFileIsRefusedWithItsSizeAndTheLimit) {
  qv::test::ScratchDir dir("text_limits");
  const std::string path = sparseFile(dir.path() / "huge.obj", kMaxTextFileBytes + 1);
  std::string text = "untouched", error;
  EXPECT_FALSE(readTextFile(path, &text, &error));
  EXPECT_EQ(text, "untouched");
  EXPECT_EQ(error, path + ": 256 MiB (268435457 bytes), more than the 256 MiB (268435456 bytes) " +
                       "a text file may have");
  // The mesh reader goes through the same door.
  TriangleMesh mesh;
  EXPECT_FALSE(readObj(path, &mesh, &error));
  EXPECT_TRUE(contains(error, path + ": 256 MiB")) << error;
}

TEST(TextFileLimits, AFileOfExactlyTheLimitIsRead) {
  qv::test::ScratchDir dir("text_limits");
  const std::string path = dir.write("small.txt", "0123456789");
  std::string text, error;
  EXPECT_TRUE(readTextFile(path, &text, &error, 10)) << error;
  EXPECT_EQ(text, "0123456789");
  EXPECT_FALSE(readTextFile(path, &text, &error, 9));
  EXPECT_EQ(error, path + ": 10 bytes, more than the 9 bytes a text file may have");
}

TEST(TextFileLimits, AFileThatGrowsWhileReadStopsAtTheLimit) {
  qv::test::ScratchDir dir("text_limits");
  const std::string path = dir.write("growing.txt", "0123456789");
  InputFile file;
  std::string error;
  ASSERT_TRUE(file.open(path, 16, "a text file", &error)) << error;
  std::ofstream(path, std::ios::app) << std::string(100, 'x');
  std::vector<char> buffer(256);
  std::size_t total = 0;
  for (std::size_t n; (n = file.read(buffer.data() + total, buffer.size() - total)) > 0;) {
    total += n;
  }
  EXPECT_EQ(total, 16u);
  EXPECT_TRUE(file.overLimit());
  EXPECT_EQ(file.overLimitMessage(),
            path + ": grew beyond the 16 bytes a text file may have while it was read");
}

TEST(TextFileKinds, FoldersPipesAndDevicesAreRefusedByName) {
  qv::test::ScratchDir dir("text_kinds");
  const std::string fifo = (dir.path() / "scene.fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = dir.path().string();
  const struct {
    std::string path;
    const char* why;
  } cases[] = {
      {folder, "is a folder, not a file"},
      // No writer: reading would wait for ever; it must not even block.
      {fifo, "is a pipe (FIFO), not a regular file"},
      {"/dev/zero", "is a device, not a regular file"},
  };
  for (const auto& c : cases) {
    std::string text = "untouched", error;
    EXPECT_FALSE(readTextFile(c.path, &text, &error)) << c.path;
    EXPECT_EQ(error, c.path + ": " + c.why);
    EXPECT_EQ(text, "untouched");
    image::Picture picture;
    EXPECT_FALSE(image::read(c.path, &picture, &error)) << c.path;
    EXPECT_EQ(error, c.path + ": " + c.why);
  }
  std::string text, error;
  const std::string missing = (dir.path() / "missing.obj").string();
  EXPECT_FALSE(readTextFile(missing, &text, &error));
  EXPECT_EQ(error, missing + ": cannot open file");
}

// Messages -----------------------------------------------------------------

TEST(QuotedText, LongTokensAndBinaryAreCappedAndEscaped) {
  qv::test::ScratchDir dir("quoted");
  const std::string path = dir.write("long.obj", "v 1 2 " + std::string(100000, '7') + "x\n");
  TriangleMesh mesh;
  std::string error;
  EXPECT_FALSE(readObj(path, &mesh, &error));
  EXPECT_EQ(error, path + ":1: malformed number '" + std::string(40, '7') + "...'");

  const std::string binary = dir.write(
      "binary.obj", std::string("v 1 2 \x01\x7f\xff", 9) + std::string(500, '\xee') + "\n");
  EXPECT_FALSE(readObj(binary, &mesh, &error));
  EXPECT_TRUE(contains(error, binary + ":1: malformed number '\\x01\\x7F\\xFF\\xEE")) << error;
  EXPECT_LT(error.size(), binary.size() + 220) << error;
  EXPECT_EQ(shown(std::string(41, 'a')), std::string(40, 'a') + "...");
  EXPECT_EQ(shown("tab\there"), "tab\\x09here");
}

// Images -------------------------------------------------------------------

void put32(std::string* out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>(v >> shift));
}

void chunk(std::string* png, const char* type, const std::string& data) {
  put32(png, static_cast<std::uint32_t>(data.size()));
  const std::string body = type + data;
  png->append(body);
  put32(png, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                              static_cast<uInt>(body.size()))));
}

// An 8-bit PNG of `colorType` (0 grey, 6 RGBA) whose header claims width x
// height; `idat` is its compressed data, if any.
std::string png(std::uint32_t width, std::uint32_t height, int colorType, const std::string& idat) {
  std::string out("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  put32(&header, width);
  put32(&header, height);
  header += std::string{8, static_cast<char>(colorType), 0, 0, 0};
  chunk(&out, "IHDR", header);
  if (!idat.empty()) chunk(&out, "IDAT", idat);
  chunk(&out, "IEND", "");
  return out;
}

TEST(ImageLimits, AnImageClaimingMorePixelsIsRefusedBeforeDecoding) {
  qv::test::ScratchDir dir("image_limits");
  // 2^30 grey bytes pass the decoder's own check, not the pixel limit; no
  // pixel data follows, so only the header could be read.
  const std::string path = dir.write("huge.png", png(32768, 32768, 0, ""));
  image::Picture picture;
  std::string error;
  EXPECT_FALSE(image::read(path, &picture, &error));
  EXPECT_EQ(error, path + ": 32768 x 32768 is 1073741824 pixels, more than the 268435456 an " +
                       "image may have");
  image::Rgba widened;
  EXPECT_FALSE(image::read(path, &widened, &error));
  EXPECT_TRUE(contains(error, "more than the 268435456")) << error;

  // Beyond what the decoder itself takes, the message still names the file.
  const std::string wider = dir.write("wider.png", png(100000, 100000, 6, ""));
  EXPECT_FALSE(image::read(wider, &picture, &error));
  EXPECT_EQ(error.rfind(wider + ": ", 0), 0u) << error;
  EXPECT_TRUE(picture.empty());
}

// A few hundred bytes may claim a picture of gigabytes that the decoder
// would spend seconds filling with nothing (the fuzzers' find); no real
// image packs more than about 33,000 bytes of pixels into one of its own.
TEST(ImageLimits, AFileTooSmallForThePixelsItClaimsIsRefused) {
  const std::string path =
      std::string(QV_SOURCE_DIR) + "/fuzz/regressions/image/tga_claims_more_than_it_holds.tga";
  image::Picture picture;
  std::string error;
  EXPECT_FALSE(image::read(path, &picture, &error));
  EXPECT_TRUE(contains(error, path + ": ")) << error;
  EXPECT_TRUE(contains(error, " pixels are more than a file of 197 bytes holds")) << error;
  EXPECT_EQ(claimedPixelsMessage(16384, 16384, 16384), "");
  EXPECT_EQ(claimedPixelsMessage(16384, 16385, 16384),
            "16384 x 16385 pixels are more than a file of 16384 bytes holds");
}

// stb takes a BMP of no rows as read; the hosts would divide by its height.
TEST(ImageLimits, AnImageOfNoPixelsIsRefused) {
  const std::string path = std::string(QV_SOURCE_DIR) + "/fuzz/regressions/image/bmp_no_rows.bmp";
  image::Picture picture;
  std::string error;
  EXPECT_FALSE(image::read(path, &picture, &error));
  EXPECT_EQ(error, path + ": the image has no pixels (3 x 0)");
}

// A PNG whose chunks once reached memcpy with a null buffer (the fuzzers'
// find) is refused by name.
TEST(ImageLimits, AMalformedPngIsRefusedByName) {
  const std::string path =
      std::string(QV_SOURCE_DIR) + "/fuzz/regressions/image/png_empty_chunk.png";
  image::Picture picture;
  std::string error;
  EXPECT_FALSE(image::read(path, &picture, &error));
  EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
}

// A PNG chunk of a hundred-byte file claimed two gigabytes, which stb would
// allocate before reading any of it (the fuzzers' find).
TEST(ImageLimits, APngChunkLongerThanTheFileIsRefused) {
  const std::string path =
      std::string(QV_SOURCE_DIR) + "/fuzz/regressions/image/png_chunk_longer_than_the_file.png";
  image::Picture picture;
  std::string error;
  EXPECT_FALSE(image::read(path, &picture, &error));
  EXPECT_TRUE(contains(error, path + ": a PNG chunk claims ")) << error;
  EXPECT_TRUE(contains(error, " left in the file")) << error;
}

TEST(ImageLimits, AnImageFileLargerThanTheLimitIsRefused) {
  qv::test::ScratchDir dir("image_limits");
  const std::string path = sparseFile(dir.path() / "huge.png", kMaxImageFileBytes + 1);
  image::Picture picture;
  std::string error;
  EXPECT_FALSE(image::read(path, &picture, &error));
  EXPECT_EQ(error, path + ": 4 GiB (4294967297 bytes), more than the 4 GiB (4294967296 bytes) " +
                       "an image file may have");
}

// A 16384 x 16384 grey PNG, black but for a ramp along its first row and a
// white last pixel, compressed well because it is nearly all zeros.
std::string sixteenK() {
  constexpr std::uint32_t kSide = 16384;
  const std::size_t row = kSide + 1;  // the filter byte, then the pixels
  std::vector<unsigned char> raw(row * kSide, 0);
  for (std::uint32_t x = 0; x < kSide; ++x) raw[1 + x] = static_cast<unsigned char>(x % 256);
  raw.back() = 255;
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(size, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(&packed[0]), &size, raw.data(),
                      static_cast<uLong>(raw.size()), 1),
            Z_OK);
  packed.resize(size);
  return png(kSide, kSide, 0, packed);
}

// The stb of Debian 12 writes past a Huffman table whose code counts add up
// to more than 256; the fuzzers found it whole in a file, cut short by the
// file's end (where stb reads zeros) and behind fill bytes before the start
// marker. The hosts' copy of stb refuses such a table.
TEST(ImageJpeg, HuffmanTablesBeyondTheirRoomAreRefused) {
  for (const char* name : {"jpeg_huffman_counts_over_256.jpg", "jpeg_huffman_table_cut_short.jpg",
                           "jpeg_fill_before_start.jpg"}) {
    const std::string path = std::string(QV_SOURCE_DIR) + "/fuzz/regressions/image/" + name;
    image::Picture picture;
    std::string error;
    EXPECT_FALSE(image::read(path, &picture, &error));
    EXPECT_EQ(error, path + ": cannot read the image: bad DHT header");
    EXPECT_TRUE(picture.empty());
  }
}

// A segment that skips past the end of a short JPEG once left stb looking
// for its next marker for ever (the fuzzers' find): the end, once read,
// stays the end whatever is skipped after it.
TEST(ImageJpeg, SkippingPastTheEndEndsTheRead) {
  const std::string path =
      std::string(QV_SOURCE_DIR) + "/fuzz/regressions/image/jpeg_skip_past_the_end.jpg";
  image::Picture picture;
  std::string error;
  EXPECT_FALSE(image::read(path, &picture, &error));
  EXPECT_TRUE(contains(error, path + ": cannot read the image")) << error;

  InputFile file;
  ASSERT_TRUE(file.open(path, kMaxImageFileBytes, "an image file", &error)) << error;
  char buffer[256];
  EXPECT_EQ(file.read(buffer, sizeof buffer), file.size());
  EXPECT_EQ(file.read(buffer, sizeof buffer), 0u);
  EXPECT_TRUE(file.atEnd());
  file.skip(10);
  EXPECT_TRUE(file.atEnd());
  EXPECT_EQ(file.read(buffer, sizeof buffer), 0u);
  ASSERT_TRUE(file.rewind());
  EXPECT_FALSE(file.atEnd());
  EXPECT_EQ(file.read(buffer, 4), 4u);
}

TEST(ImageJpeg, SoundJpegsStillRead) {
  const std::string path = std::string(QV_SOURCE_DIR) + "/fuzz/corpus/image/tiny.jpg";
  image::Picture picture;
  std::string error;
  ASSERT_TRUE(image::read(path, &picture, &error)) << error;
  EXPECT_EQ(picture.width(), 3);
  EXPECT_EQ(picture.height(), 2);
  EXPECT_EQ(picture.texel(2, 1)[3], 1.0f);
}

TEST(ImageDepth, A16kPaintingIsReadAndKeptAtFourBytesAPixel) {
  qv::test::ScratchDir dir("image_depth");
  const std::string path = dir.write("painting16k.png", sixteenK());
  image::Picture picture;
  std::string error;
  ASSERT_TRUE(image::read(path, &picture, &error)) << error;
  EXPECT_EQ(picture.width(), 16384);
  EXPECT_EQ(picture.height(), 16384);
  EXPECT_FALSE(picture.isFloat());
  EXPECT_EQ(picture.byteSize(), std::size_t{16384} * 16384 * 4);
  const std::array<float, 4> ramp = picture.texel(200, 0);
  EXPECT_EQ(ramp, (std::array<float, 4>{200 / 255.0f, 200 / 255.0f, 200 / 255.0f, 1.0f}));
  EXPECT_EQ(picture.texel(16383, 16383), (std::array<float, 4>{1.0f, 1.0f, 1.0f, 1.0f}));
  EXPECT_EQ(picture.texel(5, 9000), (std::array<float, 4>{0.0f, 0.0f, 0.0f, 1.0f}));
}

TEST(ImageDepth, EightBitTexelsAreExactlyTheWidenedPixels) {
  qv::test::ScratchDir dir("image_depth");
  image::Rgba source(7, 5);
  for (std::size_t i = 0; i < source.pixels.size(); ++i) {
    source.pixels[i] = static_cast<float>((i * 37) % 256) / 255.0f;
  }
  const std::string path = (dir.path() / "small.png").string();
  std::string error;
  ASSERT_TRUE(image::write(path, source, &error)) << error;
  image::Picture picture;
  image::Rgba widened;
  ASSERT_TRUE(image::read(path, &picture, &error)) << error;
  ASSERT_TRUE(image::read(path, &widened, &error)) << error;
  float lo[4] = {2.0f, 2.0f, 2.0f, 2.0f}, hi[4] = {-1.0f, -1.0f, -1.0f, -1.0f};
  picture.channelRange(lo, hi);
  float wantLo[4] = {2.0f, 2.0f, 2.0f, 2.0f}, wantHi[4] = {-1.0f, -1.0f, -1.0f, -1.0f};
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) {
      const std::array<float, 4> t = picture.texel(x, y);
      for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(t[c], widened.at(x, y)[c]) << x << "," << y;
        EXPECT_EQ(t[c], source.at(x, y)[c]) << x << "," << y;
        wantLo[c] = std::min(wantLo[c], t[c]);
        wantHi[c] = std::max(wantHi[c], t[c]);
      }
    }
  }
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(lo[c], wantLo[c]);
    EXPECT_EQ(hi[c], wantHi[c]);
  }
}

// Libraries ----------------------------------------------------------------

TEST(LibraryNames, ALibraryNamedRelativeToTheCurrentFolderIsFound) {
  const fs::path plugins(QV_PLUGIN_DIR);
  const std::string file = std::string("vray_qvShotWeave") + QV_MODULE_SUFFIX;
  ASSERT_TRUE(fs::exists(plugins / file));
  const fs::path before = fs::current_path();
  fs::current_path(plugins);
  DynamicLibrary bare, relative;
  std::string error;
  EXPECT_TRUE(bare.open(file, &error)) << error;
  EXPECT_NE(bare.symbol("getLibDesc"), nullptr);
  fs::current_path(plugins.parent_path());
  EXPECT_TRUE(relative.open(plugins.filename().string() + "/" + file, &error)) << error;
  DynamicLibrary missing;
  EXPECT_FALSE(missing.open("no_such_library" + std::string(QV_MODULE_SUFFIX), &error));
  EXPECT_TRUE(contains(error, "no_such_library")) << error;
  fs::current_path(before);
}

}  // namespace
}  // namespace qv::host
