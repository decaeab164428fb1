#include "host/platform/posix/elf_file.h"

#include <cstring>
#include <stdexcept>

#include "host/input_file.h"

namespace kvr::host {

namespace {

template <typename T>
T Load(const std::vector<uint8_t>& bytes, uint64_t offset) {
  T value{};
  if (offset > bytes.size() || sizeof(T) > bytes.size() - offset) throw std::out_of_range("read past the end");
  std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

constexpr uint32_t kSectionDynamicSymbols = 11;  // SHT_DYNSYM

}  // namespace

ElfFile::ElfFile(const std::filesystem::path& path) : path_(path) {
  try {
    const std::string text = ReadInputFile(path, kMaxModuleFileBytes);
    bytes_.assign(text.begin(), text.end());
  } catch (const InputFileError& e) {
    throw std::runtime_error(path.string() + ": " + e.what());
  }
  ReadSectionHeaders();
}

ElfFile::ElfFile(std::vector<uint8_t> bytes, const std::filesystem::path& path)
    : path_(path), bytes_(std::move(bytes)) {
  ReadSectionHeaders();
}

void ElfFile::ReadSectionHeaders() {
  const std::string where = path_.string() + ": ";
  if (bytes_.size() < 52 || std::memcmp(bytes_.data(),
                                        "\x7F"
                                        "ELF",
                                        4) != 0)
    throw std::runtime_error(where + "not an ELF file");
  if (bytes_[5] != 1) throw std::runtime_error(where + "not little-endian");
  is64_ = bytes_[4] == 2;
  try {
    const uint64_t shoff = is64_ ? Load<uint64_t>(bytes_, 0x28) : Load<uint32_t>(bytes_, 0x20);
    const uint16_t shentsize = Load<uint16_t>(bytes_, is64_ ? 0x3A : 0x2E);
    const uint16_t shnum = Load<uint16_t>(bytes_, is64_ ? 0x3C : 0x30);
    const uint16_t shstrndx = Load<uint16_t>(bytes_, is64_ ? 0x3E : 0x32);
    for (uint16_t i = 0; i < shnum; ++i) {
      const uint64_t at = shoff + uint64_t{i} * shentsize;
      SectionHeader s;
      s.name = std::to_string(Load<uint32_t>(bytes_, at));  // resolved below
      s.type = Load<uint32_t>(bytes_, at + 4);
      s.offset = is64_ ? Load<uint64_t>(bytes_, at + 0x18) : Load<uint32_t>(bytes_, at + 0x10);
      s.size = is64_ ? Load<uint64_t>(bytes_, at + 0x20) : Load<uint32_t>(bytes_, at + 0x14);
      s.link = Load<uint32_t>(bytes_, at + (is64_ ? 0x28 : 0x18));
      s.entrySize = is64_ ? Load<uint64_t>(bytes_, at + 0x38) : Load<uint32_t>(bytes_, at + 0x24);
      sections_.push_back(s);
    }
    if (shstrndx >= sections_.size()) throw std::runtime_error(where + "no section name table");
    const SectionHeader names = sections_[shstrndx];
    for (SectionHeader& s : sections_) {
      const uint64_t at = names.offset + std::stoull(s.name);
      std::string name;
      for (uint64_t p = at; p < names.offset + names.size && p < bytes_.size() && bytes_[p] != 0; ++p)
        name.push_back(static_cast<char>(bytes_[p]));
      s.name = name;
    }
  } catch (const std::out_of_range&) {
    throw std::runtime_error(where + "truncated section headers");
  }
}

std::vector<uint8_t> ElfFile::Slice(uint64_t offset, uint64_t size, const char* what) const {
  if (offset > bytes_.size() || size > bytes_.size() - offset)
    throw std::runtime_error(path_.string() + ": " + what + " runs past the end of the file");
  return {bytes_.begin() + static_cast<std::ptrdiff_t>(offset),
          bytes_.begin() + static_cast<std::ptrdiff_t>(offset + size)};
}

std::optional<std::vector<uint8_t>> ElfFile::Section(const std::string& name) const {
  for (const SectionHeader& s : sections_)
    if (s.name == name) return Slice(s.offset, s.size, name.c_str());
  return std::nullopt;
}

std::vector<ElfSymbol> ElfFile::DynamicSymbols() const {
  std::vector<ElfSymbol> symbols;
  for (const SectionHeader& table : sections_) {
    if (table.type != kSectionDynamicSymbols || table.link >= sections_.size()) continue;
    const std::vector<uint8_t> entries = Slice(table.offset, table.size, "dynamic symbol table");
    const SectionHeader& strings = sections_[table.link];
    const std::vector<uint8_t> names = Slice(strings.offset, strings.size, "dynamic string table");
    // A symbol record is 24 bytes in ELF64 and 16 in ELF32; a smaller stated entry size would make every
    // read below run past its record.
    const uint64_t recordBytes = is64_ ? 24 : 16;
    const uint64_t entrySize = table.entrySize != 0 ? table.entrySize : recordBytes;
    if (entrySize < recordBytes)
      throw std::runtime_error(path_.string() + ": dynamic symbol table entry size " + std::to_string(entrySize) +
                               " is smaller than a symbol record (" + std::to_string(recordBytes) + " bytes)");
    for (uint64_t at = 0; at + entrySize <= entries.size(); at += entrySize) {
      const uint32_t nameOffset = Load<uint32_t>(entries, at);
      const uint8_t info = Load<uint8_t>(entries, at + (is64_ ? 4 : 12));
      const uint16_t sectionIndex = Load<uint16_t>(entries, at + (is64_ ? 6 : 14));
      ElfSymbol symbol;
      for (uint64_t p = nameOffset; p < names.size() && names[p] != 0; ++p)
        symbol.name.push_back(static_cast<char>(names[p]));
      const uint8_t binding = info >> 4, type = info & 0xF;
      symbol.defined = sectionIndex != 0;
      symbol.global = binding == 1 || binding == 2;
      symbol.function = type == 2;
      symbol.object = type == 1;
      symbols.push_back(symbol);
    }
  }
  return symbols;
}

std::vector<std::string> ElfFile::ExportedNames() const {
  std::vector<std::string> names;
  for (const ElfSymbol& s : DynamicSymbols())
    if (s.defined && s.global && !s.name.empty()) names.push_back(s.name);
  return names;
}

}  // namespace kvr::host
