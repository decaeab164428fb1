// The resource pack over any bytes, as a host reads it from a module file: every entry's data lie inside
// the pack, and lookups by id and by name stay inside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "module/platform/resource_pack.h"

namespace pack = kvr::resource_pack;

namespace {
void Inside(pack::Bytes whole, pack::Bytes part) {
  if (part.data == nullptr) return;
  if (part.data < whole.data || part.size > whole.size || part.data + part.size > whole.data + whole.size) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size]);
  if (size != 0) std::memcpy(copy.get(), data, size);
  const pack::Bytes whole{copy.get(), size};
  (void)pack::ChecksumMatches(whole);  // reads every byte after the header, and none past the end
  const uint32_t count = pack::EntryCount(whole);
  for (uint32_t i = 0; i < count; ++i) {
    pack::Entry entry;
    pack::Bytes bytes;
    if (!pack::EntryAt(whole, i, entry, bytes)) continue;
    Inside(whole, bytes);
    Inside(whole, pack::FindBitmap(whole, entry.id));
    char name[pack::kNameBytes + 1] = {};
    std::memcpy(name, entry.name, pack::kNameBytes);
    Inside(whole, pack::FindData(whole, name));
  }
  Inside(whole, pack::FindData(whole, "WAV_Climb"));
  Inside(whole, pack::FindBitmap(whole, 0x1000));
  return 0;
}
