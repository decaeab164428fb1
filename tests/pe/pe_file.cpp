// The PE reader: every offset read from the file is checked against its size before use.
#include "tests/pe/pe_file.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace kvr::pe {

namespace {

uint32_t Le(const std::vector<uint8_t>& bytes, size_t at, int width) {
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[at + i];
  return value;
}

}  // namespace

void PeFile::Fail(const std::string& reason) const { throw std::runtime_error(path_.string() + ": " + reason); }

PeFile::PeFile(const std::filesystem::path& path) : path_(path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot be read");
  file_.assign(std::istreambuf_iterator<char>(in), {});
  auto need = [&](size_t at, size_t count) {
    if (at > file_.size() || count > file_.size() - at) Fail("truncated header");
  };
  need(0, 64);
  if (file_[0] != 'M' || file_[1] != 'Z') Fail("not an MZ image");
  const uint32_t nt = Le(file_, 60, 4);
  need(nt, 24);
  if (Le(file_, nt, 4) != 0x4550) Fail("no PE signature");
  machine_ = static_cast<uint16_t>(Le(file_, nt + 4, 2));
  const uint32_t sectionCount = Le(file_, nt + 6, 2);
  const uint32_t optionalSize = Le(file_, nt + 20, 2);
  const uint32_t optional = nt + 24;
  need(optional, optionalSize);
  magic_ = static_cast<uint16_t>(Le(file_, optional, 2));
  if (magic_ != 0x10B && magic_ != 0x20B) Fail("unknown optional header");
  imageBase_ = magic_ == 0x10B ? Le(file_, optional + 28, 4)
                               : uint64_t{Le(file_, optional + 24, 4)} | uint64_t{Le(file_, optional + 28, 4)} << 32;
  const uint32_t directoryStart = optional + (magic_ == 0x10B ? 96 : 112);
  const uint32_t directoryCount = Le(file_, directoryStart - 4, 4);
  for (uint32_t i = 0; i < std::min(directoryCount, 16u); ++i) {
    need(directoryStart + 8 * i, 8);
    directories_.push_back({Le(file_, directoryStart + 8 * i, 4), Le(file_, directoryStart + 8 * i + 4, 4)});
  }
  const uint32_t table = optional + optionalSize;
  need(table, size_t{sectionCount} * 40);
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const uint32_t at = table + 40 * i;
    sections_.push_back({Le(file_, at + 12, 4), Le(file_, at + 8, 4), Le(file_, at + 20, 4), Le(file_, at + 16, 4)});
  }
}

std::vector<uint8_t> PeFile::BytesAt(uint32_t rva, uint32_t count) const {
  for (const Section& section : sections_) {
    const uint32_t span = std::max(section.virtualSize, section.rawSize);
    if (rva < section.rva || rva - section.rva >= span) continue;
    if (count > span - (rva - section.rva)) Fail("read past the end of a section");
    std::vector<uint8_t> bytes(count, 0);
    const uint32_t inSection = rva - section.rva;
    for (uint32_t i = 0; i < count && inSection + i < section.rawSize; ++i) {
      const size_t at = size_t{section.rawOffset} + inSection + i;
      if (at >= file_.size()) Fail("section data past the end of the file");
      bytes[i] = file_[at];
    }
    return bytes;
  }
  Fail("address " + std::to_string(rva) + " lies in no section");
}

uint32_t PeFile::WordAt(uint32_t rva) const { return Le(BytesAt(rva, 4), 0, 4); }

std::string PeFile::TextAt(uint32_t rva) const {
  std::string text;
  for (uint32_t i = 0; i < 256; ++i) {
    const uint8_t byte = BytesAt(rva + i, 1)[0];
    if (byte == 0) return text;
    text.push_back(static_cast<char>(byte));
  }
  Fail("unterminated text");
}

uint32_t PeFile::DirectoryRva(int index) const {
  return index < static_cast<int>(directories_.size()) ? directories_[index].first : 0;
}

std::map<std::string, uint32_t> PeFile::NamedExports() const {
  std::map<std::string, uint32_t> exports;
  const uint32_t directory = DirectoryRva(0);
  if (directory == 0) return exports;
  const uint32_t functions = WordAt(directory + 28), names = WordAt(directory + 32), ordinals = WordAt(directory + 36);
  const uint32_t nameCount = WordAt(directory + 24);
  if (nameCount > 65536) Fail("too many export names");
  for (uint32_t i = 0; i < nameCount; ++i) {
    const uint32_t index = Le(BytesAt(ordinals + 2 * i, 2), 0, 2);
    exports[TextAt(WordAt(names + 4 * i))] = WordAt(functions + 4 * index);
  }
  return exports;
}

std::vector<uint32_t> PeFile::ExportedOrdinals() const {
  std::vector<uint32_t> ordinals;
  const uint32_t directory = DirectoryRva(0);
  if (directory == 0) return ordinals;
  const uint32_t base = WordAt(directory + 16), count = WordAt(directory + 20), functions = WordAt(directory + 28);
  if (count > 65536) Fail("too many exports");
  for (uint32_t i = 0; i < count; ++i)
    if (WordAt(functions + 4 * i) != 0) ordinals.push_back(base + i);
  return ordinals;
}

std::vector<Import> PeFile::Imports() const {
  std::vector<Import> imports;
  const uint32_t directory = DirectoryRva(1);
  if (directory == 0) return imports;
  const uint32_t thunkBytes = Is32Bit() ? 4 : 8;
  for (uint32_t descriptor = directory;; descriptor += 20) {
    const uint32_t lookup = WordAt(descriptor) != 0 ? WordAt(descriptor) : WordAt(descriptor + 16);
    const uint32_t name = WordAt(descriptor + 12);
    if (name == 0) return imports;
    Import dll{TextAt(name), {}, {}};
    for (uint32_t thunk = lookup;; thunk += thunkBytes) {
      const std::vector<uint8_t> entry = BytesAt(thunk, thunkBytes);
      const bool byOrdinal = (entry[thunkBytes - 1] & 0x80) != 0;
      const uint32_t low = Le(entry, 0, 4);
      if (!byOrdinal && low == 0 && (thunkBytes == 4 || Le(entry, 4, 4) == 0)) break;
      if (byOrdinal) dll.ordinals.push_back(low & 0xFFFF);
      else dll.names.push_back(TextAt(low + 2));
      if (dll.ordinals.size() + dll.names.size() > 100000) Fail("endless import list");
    }
    imports.push_back(std::move(dll));
  }
}

// Three levels: type, then id or name, then language; the leaves point at the data by address.
std::vector<Resource> PeFile::Resources() const {
  std::vector<Resource> resources;
  const uint32_t root = DirectoryRva(2);
  if (root == 0) return resources;
  auto entries = [&](uint32_t table, auto&& visit) {
    const uint32_t count = Le(BytesAt(table + 12, 2), 0, 2) + Le(BytesAt(table + 14, 2), 0, 2);
    for (uint32_t i = 0; i < count; ++i) visit(WordAt(table + 16 + 8 * i), WordAt(table + 20 + 8 * i));
  };
  auto nameOf = [&](uint32_t key) {
    const uint32_t at = root + (key & 0x7FFFFFFF);
    const uint32_t length = Le(BytesAt(at, 2), 0, 2);
    std::string name;
    for (uint32_t i = 0; i < length; ++i) name.push_back(static_cast<char>(BytesAt(at + 2 + 2 * i, 1)[0]));
    return name;
  };
  entries(root, [&](uint32_t typeKey, uint32_t typeTarget) {
    if ((typeTarget & 0x80000000) == 0) Fail("resource type without a table");
    entries(root + (typeTarget & 0x7FFFFFFF), [&](uint32_t idKey, uint32_t idTarget) {
      if ((idTarget & 0x80000000) == 0) Fail("resource without a language table");
      entries(root + (idTarget & 0x7FFFFFFF), [&](uint32_t, uint32_t leaf) {
        const uint32_t data = root + (leaf & 0x7FFFFFFF);
        Resource resource{typeKey & 0x7FFFFFFF, 0, {}, {}};
        if (idKey & 0x80000000) resource.name = nameOf(idKey);
        else resource.id = idKey;
        resource.bytes = BytesAt(WordAt(data), WordAt(data + 4));
        resources.push_back(std::move(resource));
      });
    });
  });
  return resources;
}

}  // namespace kvr::pe
