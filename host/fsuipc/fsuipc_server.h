// The host's FSUIPC server: a 64 KiB offset space served through a window of class "UIPCMAIN" that answers
// message 0x47F (wParam = length of the records, lParam = address of the request block). It implements the
// block protocol, the version and identification words and the client-version word; what lives at the
// other offsets (pause, slew, traffic tables, the outside program's bytes) is put there by the host.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace kvr::host {

// One write record that a served block carried out: `size` bytes from FSUIPC `offset`.
struct FsuipcWrite {
  uint32_t offset;
  uint32_t size;
};

struct FsuipcServerOptions {
  uint32_t versionWord = 0x39990000;  // answered at 0x3304; clients want at least 0x19980005
  uint16_t simulator = 7;             // low half of the identification word 0xFADExxxx at 0x3308 (7 = FS2004)
};

class FsuipcServer {
 public:
  static constexpr uint32_t kSpaceBytes = 0x10000;           // offsets 0..0xFFFF
  static constexpr uint32_t kVersionOffset = 0x3304;         // u32, read-only to clients
  static constexpr uint32_t kIdentificationOffset = 0x3308;  // u32, read-only to clients
  static constexpr uint32_t kClientVersionOffset = 0x330A;   // u16 a client writes; kept apart, see ClientVersion

  // Called after each served block with its write records in block order; not called for refused blocks.
  // It runs inside the message, so it must not throw (an exception is swallowed there).
  using WriteHook = std::function<void(std::span<const FsuipcWrite> writes)>;

  // Creates the server window; throws std::runtime_error when the window cannot be created.
  explicit FsuipcServer(FsuipcServerOptions options = {});
  ~FsuipcServer();
  FsuipcServer(const FsuipcServer&) = delete;
  FsuipcServer& operator=(const FsuipcServer&) = delete;

  // The offset space, kSpaceBytes long, little-endian. The host may change any byte, including the
  // version and identification words that clients cannot write.
  uint8_t* Bytes() { return space_.data(); }
  const uint8_t* Bytes() const { return space_.data(); }

  // Typed access for the host; throws std::out_of_range when the value would leave the space.
  template <typename T>
  T Peek(uint32_t offset) const {
    static_assert(std::is_trivially_copyable_v<T>);
    CheckRange(offset, sizeof(T));
    T value;
    std::memcpy(&value, space_.data() + offset, sizeof(T));
    return value;
  }
  template <typename T>
  void Poke(uint32_t offset, T value) {
    static_assert(std::is_trivially_copyable_v<T>);
    CheckRange(offset, sizeof(T));
    std::memcpy(space_.data() + offset, &value, sizeof(T));
  }

  // The u16 the last client wrote to 0x330A (0 until one does). Such a write is kept here and does not
  // change the identification word, whose high half lies at the same offset.
  uint16_t ClientVersion() const { return clientVersion_; }

  uint64_t BlocksServed() const { return blocksServed_; }
  uint64_t BlocksRefused() const { return blocksRefused_; }  // malformed blocks and forced answers

  void SetWriteHook(WriteHook hook) { writeHook_ = std::move(hook); }

  // Test aid: while set, every block is answered with this value and left unserved and untouched.
  void ForceAnswer(std::optional<uintptr_t> answer) { forcedAnswer_ = answer; }

  void* Window() const { return window_; }

  // Closes or opens again the server window, as a server that goes away and comes back: while closed no
  // client finds it, and blocks sent to the closed window are not answered. A reopened window is a new
  // window; clients that kept the old one do not reach it. Throws std::runtime_error when it cannot be made.
  void SetReachable(bool reachable);
  bool Reachable() const { return window_ != nullptr; }

 private:
  static uintptr_t Procedure(void* context, uint32_t message, uintptr_t wParam, intptr_t lParam) noexcept;
  uintptr_t Serve(uintptr_t length, intptr_t address) noexcept;
  void StoreFromClient(uint32_t offset, const uint8_t* data, uint32_t size) noexcept;
  static void CheckRange(uint32_t offset, size_t size) {
    if (uint64_t{offset} + size > kSpaceBytes) throw std::out_of_range("FSUIPC offset outside the space");
  }

  std::vector<uint8_t> space_;
  std::vector<FsuipcWrite> writes_;  // the writes of the block being served, handed to the hook
  WriteHook writeHook_;
  std::optional<uintptr_t> forcedAnswer_;
  uint16_t clientVersion_ = 0;
  uint64_t blocksServed_ = 0;
  uint64_t blocksRefused_ = 0;
  void* window_ = nullptr;
};

}  // namespace kvr::host
