// The host's FSUIPC server facing a hostile client: any block, sent with its true length, is carried out
// or refused whole, and the server reads and writes only inside the block and its offset space.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "host/fsuipc/fsuipc_server.h"
#include "module/platform/window_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kvr::host::FsuipcServer server;
  // Every write the server reports carried out lies inside its offset space.
  server.SetWriteHook([](std::span<const kvr::host::FsuipcWrite> writes) {
    for (const kvr::host::FsuipcWrite& w : writes)
      if (uint64_t{w.offset} + w.size > kvr::host::FsuipcServer::kSpaceBytes) std::abort();
  });
  // The client's buffer, exactly as long as the block, so that a read past it is seen.
  std::unique_ptr<uint8_t[]> block(new uint8_t[size == 0 ? 1 : size]);
  for (size_t i = 0; i < size; ++i) block[i] = data[i];
  KvrSendMessage(server.Window(), 0x47F, size, reinterpret_cast<intptr_t>(size == 0 ? nullptr : block.get()));
  return 0;
}
