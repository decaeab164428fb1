#include "host/bitmap_info.h"

#include <string>

namespace kvr::host {

namespace {
constexpr uint32_t kInfoHeaderBytes = 40;
}  // namespace

BitmapInfo ReadBitmapInfo(std::span<const uint8_t> bytes) {
  if (bytes.size() < kInfoHeaderBytes) throw BitmapError("shorter than its 40-byte header");
  BitmapInfo info;
  info.headerBytes = ReadField<uint32_t>(bytes, 0);
  if (info.headerBytes < kInfoHeaderBytes || info.headerBytes > bytes.size())
    throw BitmapError("header size " + std::to_string(info.headerBytes) + " is not a BITMAPINFOHEADER");
  info.width = ReadField<int32_t>(bytes, 4);
  const int32_t rawHeight = ReadField<int32_t>(bytes, 8);
  info.bitsPerPixel = ReadField<uint16_t>(bytes, 14);
  info.compression = ReadField<uint32_t>(bytes, 16);
  info.imageBytes = ReadField<uint32_t>(bytes, 20);
  info.coloursUsed = ReadField<uint32_t>(bytes, 32);
  info.topDown = rawHeight < 0;
  info.height = rawHeight == INT32_MIN ? 0 : rawHeight < 0 ? -rawHeight : rawHeight;
  if (info.width <= 0 || info.height <= 0)
    throw BitmapError("size " + std::to_string(info.width) + "x" + std::to_string(rawHeight) + " is out of range");
  if (info.width > kMaxBitmapSide || info.height > kMaxBitmapSide)
    throw BitmapError("size " + std::to_string(info.width) + "x" + std::to_string(info.height) + " is larger than " +
                      std::to_string(kMaxBitmapSide) + " pixels a side, the panel's own limit");
  return info;
}

}  // namespace kvr::host
