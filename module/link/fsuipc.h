// The module's one link to the FSUIPC server: a request block of read and write records built in a
// module-wide buffer, handed to the server's "UIPCMAIN" window by address in one synchronous message, and
// the read answers copied back to the requesters afterwards.
//
// Every function is called on the simulator's panel thread only; the state behind them is module-wide and
// unlocked.
#pragma once

#include <cstdint>

namespace kvr {

// Written to the caller's error variable by every protocol-level operation. Codes 3, 4, 5, 11, 12 and 14
// are never produced.
enum FsuipcError : uint32_t {
  FsuipcOk = 0,
  FsuipcErrAlreadyOpen = 1,     // Open while the link is open
  FsuipcErrNoServer = 2,        // no window of class "UIPCMAIN"
  FsuipcErrBuffer = 6,          // Open given no buffer, or one under 32 bytes
  FsuipcErrVersion = 7,         // server version under 0x19980005, or the 0xFADE mark missing
  FsuipcErrWrongSimulator = 8,  // the required simulator is not the server's
  FsuipcErrNotOpen = 9,         // Read, Write or Process while the link is closed
  FsuipcErrNothingQueued = 10,  // Process with an empty queue
  FsuipcErrServerRefused = 13,  // the server answered anything but 1
  FsuipcErrNoRoom = 15,         // the record and the end marker do not fit in the buffer
};

inline constexpr uint32_t kFsuipcMessage = 0x47F;         // window message that carries a block
inline constexpr char kFsuipcWindowClass[] = "UIPCMAIN";  // class of the server's window
inline constexpr uint32_t kFsuipcBufferBytes = 5712;      // size of the module's own request buffer
inline constexpr uint32_t kFsuipcMaxCapacity = 32512;     // most bytes of any buffer that are used

// Wire format of the request block (little-endian, records back to back, no padding):
//   read  record: u32 kind 1, u32 offset, u32 size, u32 destination, then `size` bytes the server fills;
//   write record: u32 kind 2, u32 offset, u32 size, then the `size` bytes to store;
//   after the last record a u32 0 that is not counted in the length sent with the message.
// The destination field carries the low 32 bits of the requester's address for information only: the
// client keeps the destinations on its own side and never takes them back from the block.
inline constexpr uint32_t kFsuipcReadKind = 1;
inline constexpr uint32_t kFsuipcWriteKind = 2;
inline constexpr uint32_t kFsuipcReadHeaderBytes = 16;
inline constexpr uint32_t kFsuipcWriteHeaderBytes = 12;
inline constexpr uint32_t kFsuipcEndMarkerBytes = 4;

namespace fsuipc {

// ---- Protocol level: each reports an FsuipcError through `error` (ignored when null) ---------------------

// Opens the link over `buffer` (at least 32 bytes; only the first 32512 are used), finds the server,
// checks its version and simulator words and announces the client's version. `requiredSimulator` 0
// accepts any simulator. On failure the link is left closed.
bool Open(uint32_t requiredSimulator, uint32_t* error, uint8_t* buffer, uint32_t bufferSize);

// Forgets the server and the buffer. Nothing is sent; queued records are dropped.
void Close();

// Queues a read of `size` bytes at FSUIPC `offset`; after a successful Process they are copied to
// `destination`, which must stay valid until then. A null destination or size 0 is sent but not copied.
bool Read(uint32_t offset, uint32_t size, void* destination, uint32_t* error);

// Queues a write of `size` bytes taken from `source` now, to be stored at FSUIPC `offset`.
bool Write(uint32_t offset, uint32_t size, const void* source, uint32_t* error);

// Sends the queued block and, when the server answers 1, copies each read's answer to its destination in
// queue order (a later read to the same destination wins). The queue is empty afterwards in every case.
bool Process(uint32_t* error);

// Read-only views for tests and diagnostics.
bool IsOpen();
uint32_t Capacity();          // usable bytes of the open buffer, 0 when closed
uint32_t ServerVersion();     // the server's version word from the last Open
uint32_t SimulatorVersion();  // the simulator identifier (low 16 bits) after a successful Open

}  // namespace fsuipc

// ---- Link level: what the gauges use ---------------------------------------------------------------------
// The link is usable from a successful open at load until the first failing queue or process operation;
// after that every one of these returns false until the module is unloaded.

bool IsLinked();
bool QueueRead(uint32_t offset, uint32_t size, void* destination);
bool QueueWrite(uint32_t offset, uint32_t size, const void* source);
bool ProcessQueue();

// Called from the module's static initialisation: opens the link over the module's 5712-byte buffer for
// any simulator; the link is usable exactly when that succeeds.
void OpenLinkAtLoad();

// Called at unload: closes the link if it is still usable.
void CloseLinkAtUnload();

namespace fsuipc::testing {
// Test-only: closes the link and clears every module-wide value, as if the module had just been loaded
// without a server. Never called by the module itself.
void Reset();
}  // namespace fsuipc::testing

}  // namespace kvr
