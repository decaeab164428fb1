// The module's FSUIPC client facing a hostile server: a "UIPCMAIN" window that answers what the input
// says and overwrites each block it is sent with the input's next bytes. The client opens its link,
// queues reads into guarded destinations and writes, and processes them: no copy may leave a destination
// or the client's buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "module/link/fsuipc.h"
#include "module/platform/window_registry.h"

namespace {

const uint8_t* input = nullptr;
size_t inputLeft = 0;

uint8_t Take() {
  if (inputLeft == 0) return 0;
  --inputLeft;
  return *input++;
}

uintptr_t Hostile(void*, uint32_t, uintptr_t length, intptr_t address) {
  // The answer: 1 (carried out) most of the time, anything else otherwise.
  const uint8_t choice = Take();
  const uintptr_t answer = choice < 200 ? 1 : choice;
  auto* block = reinterpret_cast<uint8_t*>(address);
  for (uintptr_t i = 0; i < length + 4 && inputLeft > 0; ++i) block[i] = Take();
  return answer;
}

struct Guarded {
  uint8_t before[16];
  uint8_t value[64];
  uint8_t after[16];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static void* window = KvrCreateWindow(kvr::kFsuipcWindowClass, &Hostile, nullptr);
  (void)window;
  input = data;
  inputLeft = size;
  kvr::fsuipc::testing::Reset();
  static uint8_t buffer[kvr::kFsuipcBufferBytes];
  uint32_t error = 0;
  if (kvr::fsuipc::Open(0, &error, buffer, sizeof buffer)) {
    for (int round = 0; round < 3 && inputLeft > 0; ++round) {
      Guarded destinations[4];
      std::memset(destinations, 0xCC, sizeof destinations);
      for (Guarded& d : destinations) {
        const uint32_t bytes = Take() % (sizeof d.value + 1);
        kvr::fsuipc::Read(Take() * 256u, bytes, d.value, &error);
        const uint8_t source[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        kvr::fsuipc::Write(0x7B90, Take() % 9, source, &error);
      }
      kvr::fsuipc::Process(&error);
      for (const Guarded& d : destinations)
        for (size_t i = 0; i < 16; ++i)
          if (d.before[i] != 0xCC || d.after[i] != 0xCC) std::abort();
    }
  }
  kvr::fsuipc::Close();
  return 0;
}
