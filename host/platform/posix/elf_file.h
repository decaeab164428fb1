// Reads what a host needs from a module file without loading it: its sections by name (the resource pack)
// and its dynamic symbol table (what the file exports). ELF64 and ELF32, little-endian.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kvr::host {

// The largest module file read; the module with all its pictures and voices is under a megabyte.
inline constexpr uintmax_t kMaxModuleFileBytes = 64 * 1024 * 1024;

struct ElfSymbol {
  std::string name;
  bool defined = false;   // has a section (not an import)
  bool global = false;    // global or weak binding
  bool function = false;  // STT_FUNC
  bool object = false;    // STT_OBJECT
};

class ElfFile {
 public:
  // Throws std::runtime_error naming the file and what is wrong with it.
  explicit ElfFile(const std::filesystem::path& path);
  // The same over a file's bytes already read; `path` names it in messages.
  ElfFile(std::vector<uint8_t> bytes, const std::filesystem::path& path);

  // The bytes of the named section, or nothing when the file has no such section.
  std::optional<std::vector<uint8_t>> Section(const std::string& name) const;

  std::vector<ElfSymbol> DynamicSymbols() const;

  // Names of the symbols this file exports: defined, global, and not the loader's own markers.
  std::vector<std::string> ExportedNames() const;

 private:
  struct SectionHeader {
    std::string name;
    uint32_t type;
    uint64_t offset;
    uint64_t size;
    uint32_t link;
    uint64_t entrySize;
  };

  void ReadSectionHeaders();
  std::vector<uint8_t> Slice(uint64_t offset, uint64_t size, const char* what) const;

  std::filesystem::path path_;
  std::vector<uint8_t> bytes_;
  bool is64_ = true;
  std::vector<SectionHeader> sections_;
};

}  // namespace kvr::host
