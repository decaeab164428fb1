// Resources on POSIX: the pack that the build places in the module's ".kvr_resources" section. The two
// symbols are weak so that a test linking the platform layer without a pack simply finds no resources.
#include "module/platform/platform.h"
#include "module/platform/resource_pack.h"

extern "C" {
extern const uint8_t kvr_resource_pack_begin[] __attribute__((weak, visibility("hidden")));
extern const uint8_t kvr_resource_pack_end[] __attribute__((weak, visibility("hidden")));
}

namespace kvr::platform {

namespace {
resource_pack::Bytes OwnPack() {
  if (kvr_resource_pack_begin == nullptr || kvr_resource_pack_end == nullptr) return {};
  return {kvr_resource_pack_begin, static_cast<size_t>(kvr_resource_pack_end - kvr_resource_pack_begin)};
}
}  // namespace

ResourceBytes FindBitmapResource(uint32_t id) {
  const auto found = resource_pack::FindBitmap(OwnPack(), id);
  return {found.data, found.size};
}

ResourceBytes FindDataResource(const char* name) {
  const auto found = resource_pack::FindData(OwnPack(), name);
  return {found.data, found.size};
}

}  // namespace kvr::platform
