// ParseWave: finds the format record and the samples of a RIFF WAVE image without copying them.
#include "module/sound/sound.h"

#include <algorithm>

namespace kvr {

namespace {

constexpr uint32_t kRiffTag = 0x46464952;      // "RIFF"
constexpr uint32_t kWaveForm = 0x45564157;     // "WAVE"
constexpr uint32_t kFormatChunk = 0x20746D66;  // "fmt "
constexpr uint32_t kDataChunk = 0x61746164;    // "data"
constexpr uint32_t kMinimumFormatBytes = 14;   // a wave format record without its bits-per-sample field

uint32_t ReadU32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

}  // namespace

bool ParseWave(const uint8_t* image, size_t imageBytes, const uint8_t** format, const uint8_t** data,
               uint32_t* dataBytes, uint32_t* formatBytes) {
  if (format != nullptr) *format = nullptr;
  if (data != nullptr) *data = nullptr;
  if (dataBytes != nullptr) *dataBytes = 0;
  if (formatBytes != nullptr) *formatBytes = 0;
  if (image == nullptr || imageBytes < 12) return false;
  if (ReadU32(image) != kRiffTag || ReadU32(image + 8) != kWaveForm) return false;

  // The chunks run from offset 12 to the end the RIFF length gives, but never past the image's real end.
  // 64-bit arithmetic: lengths near 4 GiB must not wrap.
  const uint64_t end = std::min<uint64_t>(8 + uint64_t{ReadU32(image + 4)}, imageBytes);
  const auto dataFound = [&] {
    return (data == nullptr || *data != nullptr) && (dataBytes == nullptr || *dataBytes != 0);
  };
  bool formatFound = false;
  uint64_t cursor = 12;
  while (cursor < end) {
    if (end - cursor < 8) return false;  // a chunk header cut off by the end
    const uint32_t id = ReadU32(image + cursor);
    const uint32_t length = ReadU32(image + cursor + 4);
    cursor += 8;
    const uint8_t* payload = image + cursor;
    const auto present = static_cast<uint32_t>(std::min<uint64_t>(length, end - cursor));

    if (id == kFormatChunk && format != nullptr && !formatFound) {
      if (present < kMinimumFormatBytes) return false;
      *format = payload;
      if (formatBytes != nullptr) *formatBytes = present;
      formatFound = true;
      if (dataFound()) return true;
    } else if (id == kDataChunk &&
               ((data != nullptr && *data == nullptr) || (dataBytes != nullptr && *dataBytes == 0))) {
      // A data chunk of length 0 leaves the size at 0, so a later data chunk still replaces it.
      if (data != nullptr) *data = payload;
      if (dataBytes != nullptr) *dataBytes = present;
      if (format == nullptr || formatFound) return true;
    }
    cursor += uint64_t{length} + (length & 1);  // payloads are padded to an even length
  }
  return false;
}

}  // namespace kvr
