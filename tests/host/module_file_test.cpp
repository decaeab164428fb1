// Reading a module file as a host does, from files that lie: a resource pack with a bad entry among good
// ones, and an ELF file whose symbol table states an entry size smaller than a symbol.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/platform/posix/elf_file.h"
#include "module/platform/resource_pack.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;
namespace pack = resource_pack;

template <typename T>
void Put(std::vector<uint8_t>& bytes, size_t at, T value) {
  if (bytes.size() < at + sizeof value) bytes.resize(at + sizeof value);
  std::memcpy(bytes.data() + at, &value, sizeof value);
}

// A pack of `entries` whose data follow the entry table in the order given.
std::vector<uint8_t> Pack(const std::vector<pack::Entry>& entries) {
  std::vector<uint8_t> bytes;
  pack::Header header{};
  std::memcpy(header.magic, pack::kMagic, sizeof header.magic);
  header.count = static_cast<uint32_t>(entries.size());
  Put(bytes, 0, header);
  for (size_t i = 0; i < entries.size(); ++i) Put(bytes, sizeof header + i * sizeof(pack::Entry), entries[i]);
  bytes.resize(bytes.size() + 64, 0xAB);  // the data of every good entry lies here
  return bytes;
}

pack::Entry DataEntry(const char* name, uint32_t offset, uint32_t size) {
  pack::Entry e{};
  e.kind = pack::kKindData;
  std::strncpy(e.name, name, sizeof e.name - 1);
  e.offset = offset;
  e.size = size;
  return e;
}

TEST(ResourcePack, AnEntryWhoseDataLieOutsideThePackIsSkippedNotTheEnd) {
  const uint32_t data = 16 + 4 * 64;
  pack::Entry bitmap{};
  bitmap.kind = pack::kKindBitmap;
  bitmap.id = 0x1100;
  bitmap.offset = data + 8;
  bitmap.size = 8;
  const std::vector<uint8_t> bytes = Pack({DataEntry("WAV_Broken", data, 1u << 20),      // past the end
                                           DataEntry("WAV_Wrapped", 0xFFFFFFF0u, 0x20),  // offset + size wraps
                                           DataEntry("WAV_Climb", data, 8), bitmap});
  const pack::Bytes whole{bytes.data(), bytes.size()};
  EXPECT_EQ(pack::FindData(whole, "WAV_Broken").data, nullptr);
  EXPECT_EQ(pack::FindData(whole, "WAV_Wrapped").data, nullptr);
  const pack::Bytes climb = pack::FindData(whole, "wav_climb");
  EXPECT_EQ(climb.data, bytes.data() + data);
  EXPECT_EQ(climb.size, 8u);
  EXPECT_EQ(pack::FindBitmap(whole, 0x1100).data, bytes.data() + data + 8);
}

// A minimal little-endian ELF64 file: a null section, a dynamic symbol table of one `entrySize`-byte entry
// naming "Linkage", its string table and the section name table.
std::vector<uint8_t> ElfWithSymbolEntrySize(uint64_t entrySize) {
  const std::string names("\0.dynsym\0.dynstr\0.shstrtab\0", 27);
  const std::string strings("\0Linkage\0", 9);
  std::vector<uint8_t> file(64, 0);
  std::memcpy(file.data(),
              "\x7F"
              "ELF\x02\x01\x01",
              7);
  const uint64_t symbolsAt = 64, stringsAt = symbolsAt + 24, namesAt = stringsAt + strings.size();
  const uint64_t sectionsAt = (namesAt + names.size() + 7) / 8 * 8;
  Put<uint32_t>(file, symbolsAt, 1);        // name "Linkage"
  Put<uint8_t>(file, symbolsAt + 4, 0x11);  // global object
  Put<uint16_t>(file, symbolsAt + 6, 1);    // defined
  file.resize(stringsAt);
  file.insert(file.end(), strings.begin(), strings.end());
  file.insert(file.end(), names.begin(), names.end());
  file.resize(sectionsAt + 4 * 64, 0);
  Put<uint64_t>(file, 0x28, sectionsAt);
  Put<uint16_t>(file, 0x3A, 64);
  Put<uint16_t>(file, 0x3C, 4);
  Put<uint16_t>(file, 0x3E, 3);
  // name, type, offset, size, link, entry size of sections 1 to 3
  const struct {
    uint32_t name, type;
    uint64_t offset, size;
    uint32_t link;
    uint64_t entrySize;
  } sections[] = {{1, 11, symbolsAt, 24, 2, entrySize},
                  {9, 3, stringsAt, strings.size(), 0, 0},
                  {17, 3, namesAt, names.size(), 0, 0}};
  for (size_t i = 0; i < 3; ++i) {
    const uint64_t at = sectionsAt + (i + 1) * 64;
    Put(file, at, sections[i].name);
    Put(file, at + 4, sections[i].type);
    Put(file, at + 0x18, sections[i].offset);
    Put(file, at + 0x20, sections[i].size);
    Put(file, at + 0x28, sections[i].link);
    Put(file, at + 0x38, sections[i].entrySize);
  }
  return file;
}

TEST(ElfFile, ASymbolEntrySizeSmallerThanASymbolIsAMalformedFile) {
  const fs::path file = fs::temp_directory_path() / ("kvr_elf_" + std::to_string(::getpid()) + ".so");
  for (uint64_t entrySize : {24u, 4u, 7u, 12u}) {
    SCOPED_TRACE(entrySize);
    const std::vector<uint8_t> bytes = ElfWithSymbolEntrySize(entrySize);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const ElfFile elf(file);
    if (entrySize == 24) {
      EXPECT_EQ(elf.ExportedNames(), std::vector<std::string>{"Linkage"});
      continue;
    }
    try {
      elf.ExportedNames();
      ADD_FAILURE() << "read";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(file.string() + ": dynamic symbol table entry size"), std::string::npos)
          << e.what();
    }
  }
  fs::remove(file);
}

}  // namespace
}  // namespace kvr::host
