#include "export_table.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <utility>

namespace qv::test {
namespace {

// Little-endian fields of a file held in memory; every read is checked
// against the end, so a truncated or damaged file is refused, not overrun.
class Bytes {
 public:
  explicit Bytes(std::vector<unsigned char> data) : data_(std::move(data)) {}

  std::size_t size() const { return data_.size(); }

  template <class T>
  std::optional<T> read(std::uint64_t offset) const {
    if (offset > data_.size() || data_.size() - offset < sizeof(T)) return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
      value |= static_cast<std::uint64_t>(data_[offset + i]) << (8 * i);
    }
    return static_cast<T>(value);
  }

  // A zero-terminated string; null when no zero byte ends it within max.
  std::optional<std::string> text(std::uint64_t offset, std::size_t max) const {
    std::string result;
    for (std::uint64_t i = offset; i < data_.size() && result.size() < max; ++i) {
      if (data_[i] == 0) return result;
      result.push_back(static_cast<char>(data_[i]));
    }
    return std::nullopt;
  }

  // Bytes up to the first zero byte or max, whichever comes first.
  std::string prefix(std::uint64_t offset, std::size_t max) const {
    std::string result;
    for (std::uint64_t i = offset; i < data_.size() && result.size() < max && data_[i]; ++i) {
      result.push_back(static_cast<char>(data_[i]));
    }
    return result;
  }

 private:
  std::vector<unsigned char> data_;
};

constexpr std::size_t kMaxName = 4096;
constexpr std::size_t kMaxText = 64;

// ---------------------------------------------------------------------------
// PE (Windows DLL)

struct PeSection {
  std::uint32_t address = 0;  // RVA
  std::uint32_t virtualSize = 0;
  std::uint32_t rawSize = 0;
  std::uint32_t rawOffset = 0;
  std::uint32_t flags = 0;
};

constexpr std::uint32_t kExecutableSection = 0x20000000;  // IMAGE_SCN_MEM_EXECUTE

const PeSection* sectionOf(const std::vector<PeSection>& sections, std::uint32_t rva) {
  for (const PeSection& s : sections) {
    const std::uint32_t extent = std::max(s.virtualSize, s.rawSize);
    if (rva >= s.address && rva - s.address < extent) return &s;
  }
  return nullptr;
}

// The file offset of an RVA, when the file holds its bytes.
std::optional<std::uint64_t> offsetOf(const std::vector<PeSection>& sections, std::uint32_t rva) {
  const PeSection* s = sectionOf(sections, rva);
  if (!s || rva - s->address >= s->rawSize) return std::nullopt;
  return std::uint64_t{s->rawOffset} + (rva - s->address);
}

bool readPe(const Bytes& file, std::vector<ExportedSymbol>* exports, std::string* problem) {
  const auto peOffset = file.read<std::uint32_t>(0x3C);
  const auto signature = peOffset ? file.read<std::uint32_t>(*peOffset) : std::nullopt;
  if (!signature || *signature != 0x00004550) {  // "PE\0\0"
    *problem = "no PE header";
    return false;
  }
  const std::uint64_t header = *peOffset + 4;
  const auto sectionCount = file.read<std::uint16_t>(header + 2);
  const auto optionalSize = file.read<std::uint16_t>(header + 16);
  const std::uint64_t optional = header + 20;
  const auto magic = file.read<std::uint16_t>(optional);
  if (!sectionCount || !optionalSize || !magic || *magic != 0x20B) {
    *problem = "not a 64-bit (PE32+) image";
    return false;
  }
  const auto directoryCount = file.read<std::uint32_t>(optional + 108);
  const auto exportRva = file.read<std::uint32_t>(optional + 112);
  const auto exportSize = file.read<std::uint32_t>(optional + 116);
  if (!directoryCount || !exportRva || !exportSize) {
    *problem = "truncated optional header";
    return false;
  }

  std::vector<PeSection> sections;
  const std::uint64_t table = optional + *optionalSize;
  for (std::uint16_t i = 0; i < *sectionCount; ++i) {
    const std::uint64_t at = table + 40u * i;
    const auto virtualSize = file.read<std::uint32_t>(at + 8);
    const auto address = file.read<std::uint32_t>(at + 12);
    const auto rawSize = file.read<std::uint32_t>(at + 16);
    const auto rawOffset = file.read<std::uint32_t>(at + 20);
    const auto flags = file.read<std::uint32_t>(at + 36);
    if (!virtualSize || !address || !rawSize || !rawOffset || !flags) {
      *problem = "truncated section table";
      return false;
    }
    sections.push_back({*address, *virtualSize, *rawSize, *rawOffset, *flags});
  }

  exports->clear();
  if (*directoryCount == 0 || *exportRva == 0) return true;  // exports nothing
  const auto directory = offsetOf(sections, *exportRva);
  const auto nameCount = directory ? file.read<std::uint32_t>(*directory + 24) : std::nullopt;
  const auto functions = directory ? file.read<std::uint32_t>(*directory + 28) : std::nullopt;
  const auto names = directory ? file.read<std::uint32_t>(*directory + 32) : std::nullopt;
  const auto ordinals = directory ? file.read<std::uint32_t>(*directory + 36) : std::nullopt;
  if (!nameCount || !functions || !names || !ordinals) {
    *problem = "export directory outside the file";
    return false;
  }
  for (std::uint32_t i = 0; i < *nameCount; ++i) {
    const auto nameRvaAt = offsetOf(sections, *names + 4 * i);
    const auto nameRva = nameRvaAt ? file.read<std::uint32_t>(*nameRvaAt) : std::nullopt;
    const auto nameAt = nameRva ? offsetOf(sections, *nameRva) : std::nullopt;
    const auto name = nameAt ? file.text(*nameAt, kMaxName) : std::nullopt;
    const auto ordinalAt = offsetOf(sections, *ordinals + 2 * i);
    const auto ordinal = ordinalAt ? file.read<std::uint16_t>(*ordinalAt) : std::nullopt;
    const auto addressAt = ordinal ? offsetOf(sections, *functions + 4u * *ordinal) : std::nullopt;
    const auto address = addressAt ? file.read<std::uint32_t>(*addressAt) : std::nullopt;
    if (!name || !address) {
      *problem = "export " + std::to_string(i) + " lies outside the file";
      return false;
    }
    ExportedSymbol symbol;
    symbol.name = *name;
    // A forwarder points back into the export directory; it is no code here.
    const bool forwarder = *address >= *exportRva && *address - *exportRva < *exportSize;
    const PeSection* section = sectionOf(sections, *address);
    symbol.code = !forwarder && section && (section->flags & kExecutableSection) != 0;
    if (!symbol.code) {
      if (const auto at = offsetOf(sections, *address)) symbol.text = file.prefix(*at, kMaxText);
    }
    exports->push_back(std::move(symbol));
  }
  return true;
}

// ---------------------------------------------------------------------------
// ELF (shared object)

struct ElfSection {
  std::uint32_t type = 0;
  std::uint64_t address = 0;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint32_t link = 0;
};

constexpr std::uint32_t kDynamicSymbols = 11;  // SHT_DYNSYM
constexpr std::uint32_t kNoBits = 8;           // SHT_NOBITS

bool readElf(const Bytes& file, std::vector<ExportedSymbol>* exports, std::string* problem) {
  const auto elfClass = file.read<std::uint8_t>(4);
  const auto order = file.read<std::uint8_t>(5);
  if (!elfClass || *elfClass != 2 || !order || *order != 1) {
    *problem = "not a 64-bit little-endian ELF file";
    return false;
  }
  const auto tableAt = file.read<std::uint64_t>(0x28);
  const auto entrySize = file.read<std::uint16_t>(0x3A);
  const auto count = file.read<std::uint16_t>(0x3C);
  if (!tableAt || !entrySize || !count || *entrySize < 64) {
    *problem = "truncated ELF header";
    return false;
  }
  std::vector<ElfSection> sections;
  for (std::uint16_t i = 0; i < *count; ++i) {
    const std::uint64_t at = *tableAt + std::uint64_t{*entrySize} * i;
    const auto type = file.read<std::uint32_t>(at + 4);
    const auto address = file.read<std::uint64_t>(at + 16);
    const auto offset = file.read<std::uint64_t>(at + 24);
    const auto size = file.read<std::uint64_t>(at + 32);
    const auto link = file.read<std::uint32_t>(at + 40);
    if (!type || !address || !offset || !size || !link) {
      *problem = "truncated section table";
      return false;
    }
    sections.push_back({*type, *address, *offset, *size, *link});
  }

  exports->clear();
  for (const ElfSection& symbols : sections) {
    if (symbols.type != kDynamicSymbols) continue;
    if (symbols.link >= sections.size() || symbols.offset > file.size() ||
        symbols.size > file.size() - symbols.offset) {
      *problem = "dynamic symbol table outside the file";
      return false;
    }
    const ElfSection& strings = sections[symbols.link];
    for (std::uint64_t at = symbols.offset; at + 24 <= symbols.offset + symbols.size; at += 24) {
      const auto nameIndex = file.read<std::uint32_t>(at);
      const auto info = file.read<std::uint8_t>(at + 4);
      const auto other = file.read<std::uint8_t>(at + 5);
      const auto sectionIndex = file.read<std::uint16_t>(at + 6);
      const auto value = file.read<std::uint64_t>(at + 8);
      const int binding = *info >> 4, type = *info & 0xF, visibility = *other & 0x3;
      // Defined, global or weak, and visible from outside (default or protected).
      if (*sectionIndex == 0 || (binding != 1 && binding != 2 && binding != 10) ||
          (visibility != 0 && visibility != 3)) {
        continue;
      }
      const auto name = *nameIndex < strings.size ? file.text(strings.offset + *nameIndex, kMaxName)
                                                  : std::nullopt;
      if (!name) {
        *problem = "a symbol name lies outside the string table";
        return false;
      }
      if (name->empty()) continue;
      ExportedSymbol symbol;
      symbol.name = *name;
      symbol.code = type == 2 || type == 10;  // STT_FUNC, STT_GNU_IFUNC
      if (!symbol.code && *sectionIndex < sections.size()) {
        const ElfSection& home = sections[*sectionIndex];
        if (home.type != kNoBits && *value >= home.address && *value - home.address < home.size) {
          symbol.text = file.prefix(home.offset + (*value - home.address), kMaxText);
        }
      }
      exports->push_back(std::move(symbol));
    }
  }
  return true;
}

}  // namespace

bool readExports(const std::string& path, std::vector<ExportedSymbol>* exports,
                 std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot open the file";
    return false;
  }
  const Bytes file(std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {}));
  std::string problem;
  bool read = false;
  if (file.read<std::uint16_t>(0) == std::optional<std::uint16_t>(0x5A4D)) {  // "MZ"
    read = readPe(file, exports, &problem);
  } else if (file.read<std::uint32_t>(0) == std::optional<std::uint32_t>(0x464C457F)) {
    read = readElf(file, exports, &problem);  // "\x7F" "ELF"
  } else {
    problem = "neither a PE nor an ELF file";
  }
  if (!read) *error = path + ": " + problem;
  return read;
}

}  // namespace qv::test
