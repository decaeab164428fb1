#include "host/bitmap_info.h"

#include <cstring>
#include <string>

namespace kvr::host {

namespace {
constexpr uint32_t kInfoHeaderBytes = 40;

template <typename T>
T Read(std::span<const uint8_t> bytes, size_t at) {
  T value;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}
}  // namespace

BitmapInfo ReadBitmapInfo(std::span<const uint8_t> bytes) {
  if (bytes.size() < kInfoHeaderBytes) throw BitmapError("shorter than its 40-byte header");
  BitmapInfo info;
  info.headerBytes = Read<uint32_t>(bytes, 0);
  if (info.headerBytes < kInfoHeaderBytes || info.headerBytes > bytes.size())
    throw BitmapError("header size " + std::to_string(info.headerBytes) + " is not a BITMAPINFOHEADER");
  info.width = Read<int32_t>(bytes, 4);
  const int32_t rawHeight = Read<int32_t>(bytes, 8);
  info.bitsPerPixel = Read<uint16_t>(bytes, 14);
  info.compression = Read<uint32_t>(bytes, 16);
  info.imageBytes = Read<uint32_t>(bytes, 20);
  info.coloursUsed = Read<uint32_t>(bytes, 32);
  info.topDown = rawHeight < 0;
  info.height = rawHeight == INT32_MIN ? 0 : rawHeight < 0 ? -rawHeight : rawHeight;
  if (info.width <= 0 || info.height <= 0 || info.width > kMaxBitmapSide || info.height > kMaxBitmapSide)
    throw BitmapError("size " + std::to_string(info.width) + "x" + std::to_string(rawHeight) + " is out of range");
  return info;
}

}  // namespace kvr::host
