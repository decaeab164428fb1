// The format of the resource pack that a POSIX build of the module carries in its ELF section
// ".kvr_resources": the counterpart of a Windows DLL's resource directory. The module reads the section in
// its own memory; a host reads it from the file, as a simulator reads a DLL's resources. Header-only and
// free of OS headers so that the module, the host and the packing tool share one definition.
//
// Layout (little-endian): a 16-byte header, `count` 64-byte entries, then the resources' bytes. Bitmaps
// are found by id and hold the bytes of a Windows bitmap resource (BITMAPINFOHEADER, palette, pixels);
// data resources are found by name without regard to case. The header's checksum is the CRC-32 of every
// byte after the header, so that a damaged pack is refused instead of showing altered pictures and sound.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kvr::resource_pack {

inline constexpr char kSectionName[] = ".kvr_resources";
inline constexpr char kMagic[8] = {'K', 'V', 'R', 'R', 'E', 'S', '0', '2'};
inline constexpr uint32_t kKindBitmap = 1;
inline constexpr uint32_t kKindData = 2;
inline constexpr size_t kNameBytes = 48;

struct Header {
  char magic[8];
  uint32_t count;
  uint32_t checksum;  // Checksum() of the pack
};

struct Entry {
  uint32_t kind;          // kKindBitmap or kKindData
  uint32_t id;            // bitmaps: the resource id; data: 0
  char name[kNameBytes];  // data: the resource name, zero-padded; bitmaps: empty
  uint32_t offset;        // from the start of the pack
  uint32_t size;          // bytes
};

static_assert(sizeof(Header) == 16);
static_assert(sizeof(Entry) == 64);

struct Bytes {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// CRC-32 as zlib computes it (reflected polynomial 0xEDB88320) of the bytes after the header; 0 for a
// pack too short to have a header.
inline uint32_t Checksum(Bytes pack) {
  static constexpr auto kTable = [] {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int bit = 0; bit < 8; ++bit) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    return table;
  }();
  if (pack.data == nullptr || pack.size < sizeof(Header)) return 0;
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = sizeof(Header); i < pack.size; ++i) crc = kTable[(crc ^ pack.data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

// Whether `pack` has a pack's header and the checksum it states matches its bytes.
inline bool ChecksumMatches(Bytes pack) {
  if (pack.data == nullptr || pack.size < sizeof(Header)) return false;
  Header header;
  std::memcpy(&header, pack.data, sizeof header);
  return std::memcmp(header.magic, kMagic, sizeof kMagic) == 0 && header.checksum == Checksum(pack);
}

inline bool EqualsIgnoringCase(const char* a, const char* b, size_t limit) {
  for (size_t i = 0; i < limit; ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb - 'A' + 'a');
    if (ca != cb) return false;
    if (ca == 0) return true;
  }
  return true;
}

// Number of entries whose records lie inside the pack; 0 for anything that is not a pack.
inline uint32_t EntryCount(Bytes pack) {
  if (pack.data == nullptr || pack.size < sizeof(Header)) return 0;
  Header header;
  std::memcpy(&header, pack.data, sizeof header);
  if (std::memcmp(header.magic, kMagic, sizeof kMagic) != 0) return 0;
  const size_t room = (pack.size - sizeof(Header)) / sizeof(Entry);
  return header.count <= room ? header.count : 0;
}

// Entry `index`, with `bytes` set to its data when the data lies inside the pack. False both past the last
// entry and for an entry whose data lies outside the pack; callers walking the entries use EntryCount for
// the end, so that one bad entry does not hide the ones after it.
inline bool EntryAt(Bytes pack, uint32_t index, Entry& entry, Bytes& bytes) {
  if (index >= EntryCount(pack)) return false;
  std::memcpy(&entry, pack.data + sizeof(Header) + size_t{index} * sizeof(Entry), sizeof entry);
  if (entry.offset > pack.size || entry.size > pack.size - entry.offset) return false;
  bytes = {pack.data + entry.offset, entry.size};
  return true;
}

inline Bytes FindBitmap(Bytes pack, uint32_t id) {
  Entry entry;
  Bytes bytes;
  const uint32_t count = EntryCount(pack);
  for (uint32_t i = 0; i < count; ++i)
    if (EntryAt(pack, i, entry, bytes) && entry.kind == kKindBitmap && entry.id == id) return bytes;
  return {};
}

inline Bytes FindData(Bytes pack, const char* name) {
  if (name == nullptr || std::strlen(name) >= kNameBytes) return {};
  Entry entry;
  Bytes bytes;
  const uint32_t count = EntryCount(pack);
  for (uint32_t i = 0; i < count; ++i)
    if (EntryAt(pack, i, entry, bytes) && entry.kind == kKindData && EqualsIgnoringCase(entry.name, name, kNameBytes))
      return bytes;
  return {};
}

}  // namespace kvr::resource_pack
