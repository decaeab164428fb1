// A reader of the parts of a Windows PE image that the checks of the built DLLs need: the headers, the
// sections (bytes by relative address), the named and ordinal exports, the imports per DLL, and the
// resource directory (type, id or name, bytes). Reads the file itself; throws std::runtime_error with
// the file name and the reason for anything malformed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace kvr::pe {

struct Import {
  std::string dll;                 // as written in the image
  std::vector<uint32_t> ordinals;  // imports by ordinal
  std::vector<std::string> names;  // imports by name
};

struct Resource {
  uint32_t type;     // numeric type (2 bitmap, 10 raw data)
  uint32_t id;       // numeric id, or 0 when named
  std::string name;  // the name, when named
  std::vector<uint8_t> bytes;
};

class PeFile {
 public:
  explicit PeFile(const std::filesystem::path& path);

  uint16_t Machine() const { return machine_; }  // 0x14C i386, 0x8664 x86-64
  bool Is32Bit() const { return magic_ == 0x10B; }
  uint64_t ImageBase() const { return imageBase_; }

  // `count` bytes at relative virtual address `rva` (zero past a section's raw data, as when loaded).
  std::vector<uint8_t> BytesAt(uint32_t rva, uint32_t count) const;
  uint32_t WordAt(uint32_t rva) const;
  std::string TextAt(uint32_t rva) const;  // NUL-terminated, at most 256 bytes

  std::map<std::string, uint32_t> NamedExports() const;  // name -> rva
  std::vector<uint32_t> ExportedOrdinals() const;        // every ordinal with an address
  std::vector<Import> Imports() const;
  std::vector<Resource> Resources() const;

 private:
  struct Section {
    uint32_t rva, virtualSize, rawOffset, rawSize;
  };
  uint32_t DirectoryRva(int index) const;
  [[noreturn]] void Fail(const std::string& reason) const;

  std::filesystem::path path_;
  std::vector<uint8_t> file_;
  std::vector<Section> sections_;
  uint16_t machine_ = 0, magic_ = 0;
  uint64_t imageBase_ = 0;
  std::vector<std::pair<uint32_t, uint32_t>> directories_;  // rva, size
};

}  // namespace kvr::pe
