// The WAV parser over any bytes, as a recording resource or a file of the same name reaches it: every
// part it hands out lies inside the image.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "module/sound/sound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that AddressSanitizer sees a read one byte past the end.
  std::unique_ptr<uint8_t[]> image(new uint8_t[size]);
  if (size != 0) std::memcpy(image.get(), data, size);
  const uint8_t *format = nullptr, *samples = nullptr;
  uint32_t sampleBytes = 0, formatBytes = 0;
  if (kvr::ParseWave(image.get(), size, &format, &samples, &sampleBytes, &formatBytes)) {
    const uint8_t* end = image.get() + size;
    if (format < image.get() || format + formatBytes > end || formatBytes < 14) std::abort();
    if (samples < image.get() || samples + sampleBytes > end) std::abort();
  }
  kvr::ParseWave(image.get(), size, nullptr, &samples, &sampleBytes);  // the data alone
  kvr::ParseWave(image.get(), size, &format, nullptr, nullptr);        // the format alone
  return 0;
}
