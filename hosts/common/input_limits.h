// What the stand-in hosts and the tools take from a scene, an image or the
// command line. Beyond these a mutated or hostile input would exhaust
// memory or reach code (Embree above all) that aborts instead of saying
// why; within them every real production scene fits.
#pragma once

#include <cstdint>
#include <string>

namespace qv::host {

// Scenes and meshes are text; the largest a set's OBJ export reaches is a
// few tens of MiB.
constexpr std::uint64_t kMaxTextFileBytes = std::uint64_t{256} << 20;

// An image file, compressed: bounds what a decoder reads into memory before
// it knows the picture's size.
constexpr std::uint64_t kMaxImageFileBytes = std::uint64_t{4} << 30;

// Pixels of an image read (16384 x 16384, a 16k painting, is the largest)
// and of a rendered frame.
constexpr std::int64_t kMaxImagePixels = std::int64_t{1} << 28;
constexpr std::int64_t kMaxRenderPixels = std::int64_t{1} << 28;

// How many bytes of decoded pixels (four a pixel) an image file may claim
// for each of its own bytes. The most a real image packs is a 1-bit PNG of
// one colour, about 33,000 to 1 (deflate's limit of about 1032 to 1, times
// 32); beyond this a file of a few hundred bytes could claim a picture of
// gigabytes and keep the decoder busy filling it with nothing.
constexpr std::int64_t kMaxDecodedBytesPerFileByte = 65536;

// "W x H pixels are more than a file of N bytes holds" when an image file of
// fileBytes claims more than kMaxDecodedBytesPerFileByte allows, or "".
inline std::string claimedPixelsMessage(std::int64_t width, std::int64_t height,
                                        std::uint64_t fileBytes) {
  const std::int64_t pixels = width > 0 && height > 0 ? width * height : 0;
  const double allowed = static_cast<double>(fileBytes) * kMaxDecodedBytesPerFileByte / 4.0;
  if (static_cast<double>(pixels) <= allowed) return {};
  return std::to_string(width) + " x " + std::to_string(height) +
         " pixels are more than a file of " + std::to_string(fileBytes) + " bytes holds";
}

// Largest |coordinate| of scene geometry. Embree asserts on ray origins
// beyond about 1.8e18 and loses all precision well before: this keeps
// three orders of magnitude of margin and is still far beyond any set.
constexpr double kMaxCoordinate = 1e15;

// "W x H is N pixels, more than the LIMIT WHAT may have" when width x height
// exceeds limit (the product cannot overflow for sides of int range), or ""
// when it does not. widthName/heightName, when given, precede the values
// ("img_width 5 x img_height 7 ...").
inline std::string pixelLimitMessage(std::int64_t width, std::int64_t height, std::int64_t limit,
                                     const char* what, const char* widthName = nullptr,
                                     const char* heightName = nullptr) {
  const bool fits = width <= 0 || height <= 0 || width <= limit / height;
  if (fits) return {};
  const auto named = [](const char* name, std::int64_t value) {
    return (name ? std::string(name) + " " : std::string()) + std::to_string(value);
  };
  // Sides up to 2^31 keep the product below 2^62.
  const bool exact = width <= (std::int64_t{1} << 31) && height <= (std::int64_t{1} << 31);
  const std::string product = exact ? std::to_string(width * height) : "more than 4e18";
  return named(widthName, width) + " x " + named(heightName, height) + " is " + product +
         " pixels, more than the " + std::to_string(limit) + " " + what + " may have";
}

// Why an image file whose header says width x height may not be decoded
// (no pixels, more than an image may have, more than the file can hold),
// or "". Every image reader asks this before it decodes.
inline std::string imageSizeRefusal(std::int64_t width, std::int64_t height,
                                    std::uint64_t fileBytes) {
  if (width <= 0 || height <= 0) {
    return "the image has no pixels (" + std::to_string(width) + " x " + std::to_string(height) +
           ")";
  }
  std::string why = pixelLimitMessage(width, height, kMaxImagePixels, "an image");
  return why.empty() ? claimedPixelsMessage(width, height, fileBytes) : why;
}

}  // namespace qv::host
