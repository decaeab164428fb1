// The FSUIPC server window and the request-block protocol. A block is checked whole before anything is
// done, so a malformed one is refused (answer 0) with neither the block nor the offset space touched.
#include "host/fsuipc/fsuipc_server.h"

#include <bit>

#include "module/platform/window_registry.h"

namespace kvr::host {
namespace {

static_assert(std::endian::native == std::endian::little, "the offset space and the blocks are little-endian");

constexpr uint32_t kMessage = 0x47F;
constexpr char kWindowClass[] = "UIPCMAIN";
constexpr uint32_t kReadKind = 1;
constexpr uint32_t kWriteKind = 2;
constexpr uint32_t kReadHeaderBytes = 16;   // kind, offset, size, destination
constexpr uint32_t kWriteHeaderBytes = 12;  // kind, offset, size
constexpr uint32_t kIdentificationMark = 0xFADE0000;
// Bytes clients may not change: the version word and the identification word.
constexpr uint32_t kReadOnlyBegin = FsuipcServer::kVersionOffset;
constexpr uint32_t kReadOnlyEnd = FsuipcServer::kIdentificationOffset + 4;

uint32_t LoadU32(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

struct Record {
  uint32_t kind;
  uint32_t offset;
  uint32_t size;
  uint64_t dataPosition;  // bytes from the block's start to the record's data
  uint64_t endPosition;   // bytes from the block's start to the next record
};

// Decodes the record at `position` of a `length`-byte block; false when it is not a whole read or write
// record inside the block whose range lies inside the offset space.
bool DecodeRecord(const uint8_t* block, uint64_t length, uint64_t position, Record* record) {
  if (length - position < 4) return false;
  record->kind = LoadU32(block + position);
  const uint32_t headerBytes = record->kind == kReadKind    ? kReadHeaderBytes
                               : record->kind == kWriteKind ? kWriteHeaderBytes
                                                            : 0;
  if (headerBytes == 0 || length - position < headerBytes) return false;
  record->offset = LoadU32(block + position + 4);
  record->size = LoadU32(block + position + 8);
  record->dataPosition = position + headerBytes;
  if (length - record->dataPosition < record->size) return false;
  record->endPosition = record->dataPosition + record->size;
  return uint64_t{record->offset} + record->size <= FsuipcServer::kSpaceBytes;
}

// Whether the block is whole: records back to back that fill exactly `length` bytes. Counts the writes.
bool ValidateBlock(const uint8_t* block, uint64_t length, size_t* writeCount) {
  *writeCount = 0;
  Record record;
  for (uint64_t position = 0; position < length; position = record.endPosition) {
    if (!DecodeRecord(block, length, position, &record)) return false;
    if (record.kind == kWriteKind) ++*writeCount;
  }
  return true;
}

}  // namespace

FsuipcServer::FsuipcServer(FsuipcServerOptions options) : space_(kSpaceBytes, 0) {
  Poke<uint32_t>(kVersionOffset, options.versionWord);
  Poke<uint32_t>(kIdentificationOffset, kIdentificationMark | options.simulator);
  window_ = KvrCreateWindow(kWindowClass, &FsuipcServer::Procedure, this);
  if (window_ == nullptr) throw std::runtime_error("cannot create the FSUIPC server window");
}

FsuipcServer::~FsuipcServer() { KvrDestroyWindow(window_); }

void FsuipcServer::SetReachable(bool reachable) {
  if (reachable == Reachable()) return;
  if (!reachable) {
    KvrDestroyWindow(window_);
    window_ = nullptr;
    return;
  }
  window_ = KvrCreateWindow(kWindowClass, &FsuipcServer::Procedure, this);
  if (window_ == nullptr) throw std::runtime_error("cannot create the FSUIPC server window");
}

uintptr_t FsuipcServer::Procedure(void* context, uint32_t message, uintptr_t wParam, intptr_t lParam) noexcept {
  if (message != kMessage) return 0;
  return static_cast<FsuipcServer*>(context)->Serve(wParam, lParam);
}

uintptr_t FsuipcServer::Serve(uintptr_t length, intptr_t address) noexcept {
  if (forcedAnswer_) {
    ++blocksRefused_;
    return *forcedAnswer_;
  }
  auto* const block = reinterpret_cast<uint8_t*>(address);
  size_t writeCount = 0;
  if (block == nullptr || !ValidateBlock(block, length, &writeCount)) {
    ++blocksRefused_;
    return 0;
  }
  try {
    writes_.clear();
    writes_.reserve(writeCount);  // the only step that can fail, and it comes before any change
  } catch (...) {
    ++blocksRefused_;
    return 0;
  }

  // Records run in block order, so a read sees the writes queued before it in the same block.
  Record record{};
  for (uint64_t position = 0; position < length; position = record.endPosition) {
    DecodeRecord(block, length, position, &record);
    if (record.kind == kReadKind) {
      std::memmove(block + record.dataPosition, space_.data() + record.offset, record.size);
    } else {
      StoreFromClient(record.offset, block + record.dataPosition, record.size);
      writes_.push_back(FsuipcWrite{record.offset, record.size});
    }
  }
  ++blocksServed_;
  if (writeHook_) {
    try {
      writeHook_(std::span<const FsuipcWrite>(writes_));
    } catch (...) {
      // The answer stands: the block has been carried out.
    }
  }
  return 1;
}

void FsuipcServer::StoreFromClient(uint32_t offset, const uint8_t* data, uint32_t size) noexcept {
  const uint64_t end = uint64_t{offset} + size;
  if (end <= kReadOnlyBegin || offset >= kReadOnlyEnd) {
    std::memmove(space_.data() + offset, data, size);
    return;
  }
  // The write touches the version or identification word: those bytes stay, and the two at 0x330A are
  // taken as the client's version.
  for (uint32_t i = 0; i < size; ++i) {
    const uint32_t at = offset + i;
    if (at < kReadOnlyBegin || at >= kReadOnlyEnd) {
      space_[at] = data[i];
    } else if (at == kClientVersionOffset) {
      clientVersion_ = static_cast<uint16_t>((clientVersion_ & 0xFF00) | data[i]);
    } else if (at == kClientVersionOffset + 1) {
      clientVersion_ = static_cast<uint16_t>((clientVersion_ & 0x00FF) | (data[i] << 8));
    }
  }
}

}  // namespace kvr::host
