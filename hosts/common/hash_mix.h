// The 64-bit finaliser both stand-in hosts hash shading points with. Header
// only: the V-Ray host library does not link the hosts' common library.
#pragma once

#include <cstdint>

namespace qv::host {

// SplitMix64's output mix: every input bit affects every output bit.
inline std::uint64_t mixBits(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  x ^= x >> 31;
  return x;
}

}  // namespace qv::host
