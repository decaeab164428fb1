// The FSUIPC client against the host's server, and against a stand-in window in front of it where a test
// must see the exact bytes on the wire or have the server answer falsely or tamper with the block.
#include <array>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "host/fsuipc/fsuipc_server.h"
#include "module/link/fsuipc.h"
#include "module/platform/window_registry.h"

namespace kvr {
namespace {

using host::FsuipcServer;
using host::FsuipcServerOptions;

uint32_t U32At(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, 4);
  return value;
}

// A "UIPCMAIN" window that hides the real server: records each block (with the 4 bytes behind it), passes
// it on to the server, then lets the test tamper with the answered block or replace the answer.
class ServerInFront {
 public:
  explicit ServerInFront(FsuipcServer& server) : server_(server) {
    window_ = KvrCreateWindow(kFsuipcWindowClass, &Procedure, this);
  }
  ~ServerInFront() { KvrDestroyWindow(window_); }

  std::vector<uint8_t> lastBlock;  // length bytes plus the end marker
  uintptr_t lastLength = 0;
  std::function<void(uint8_t* block)> tamper;

 private:
  static uintptr_t Procedure(void* context, uint32_t message, uintptr_t length, intptr_t address) {
    auto* self = static_cast<ServerInFront*>(context);
    auto* block = reinterpret_cast<uint8_t*>(address);
    self->lastLength = length;
    self->lastBlock.assign(block, block + length + 4);
    const uintptr_t answer = KvrSendMessage(self->server_.Window(), message, length, address);
    if (self->tamper) self->tamper(block);
    return answer;
  }
  FsuipcServer& server_;
  void* window_;
};

// A destination with guard bytes on both sides, to show that a copy stays inside the 4 bytes.
struct Guarded {
  std::array<uint8_t, 16> before;
  uint32_t value;
  std::array<uint8_t, 16> after;
  Guarded() { std::memset(this, 0xCC, sizeof *this); }
  bool GuardsIntact() const {
    for (size_t i = 0; i < 16; ++i)
      if (before[i] != 0xCC || after[i] != 0xCC) return false;
    return true;
  }
};

class FsuipcClient : public ::testing::Test {
 protected:
  void SetUp() override { fsuipc::testing::Reset(); }
  void TearDown() override { fsuipc::testing::Reset(); }
  uint32_t error = 0xDEAD;
};

TEST_F(FsuipcClient, OpenChecksBufferServerVersionAndSimulator) {
  std::vector<uint8_t> buffer(40000);
  EXPECT_FALSE(fsuipc::Open(0, &error, buffer.data(), 5712));
  EXPECT_EQ(error, FsuipcErrNoServer);

  FsuipcServer server;
  EXPECT_FALSE(fsuipc::Open(0, &error, buffer.data(), 31));
  EXPECT_EQ(error, FsuipcErrBuffer);
  EXPECT_FALSE(fsuipc::Open(0, &error, nullptr, 5712));
  EXPECT_EQ(error, FsuipcErrBuffer);

  ASSERT_TRUE(fsuipc::Open(0, &error, buffer.data(), 40000));
  EXPECT_EQ(error, FsuipcOk);
  EXPECT_EQ(fsuipc::Capacity(), kFsuipcMaxCapacity);
  EXPECT_EQ(fsuipc::ServerVersion(), 0x39990000u);
  EXPECT_EQ(fsuipc::SimulatorVersion(), 7u);
  EXPECT_EQ(server.ClientVersion(), 1100);
  EXPECT_EQ(server.Peek<uint32_t>(0x3308), 0xFADE0007u);  // the client's version did not land on the mark
  EXPECT_FALSE(fsuipc::Open(0, &error, buffer.data(), 40000));
  EXPECT_EQ(error, FsuipcErrAlreadyOpen);
  fsuipc::Close();
  EXPECT_FALSE(fsuipc::IsOpen());

  server.Poke<uint32_t>(0x3304, 0x19980004);
  EXPECT_FALSE(fsuipc::Open(0, &error, buffer.data(), 5712));
  EXPECT_EQ(error, FsuipcErrVersion);
  EXPECT_FALSE(fsuipc::IsOpen());
  server.Poke<uint32_t>(0x3304, 0x19980005);
  server.Poke<uint32_t>(0x3308, 0xFADF0007);
  EXPECT_FALSE(fsuipc::Open(0, &error, buffer.data(), 5712));
  EXPECT_EQ(error, FsuipcErrVersion);

  server.Poke<uint32_t>(0x3308, 0xFADE0009);
  ASSERT_TRUE(fsuipc::Open(0, &error, buffer.data(), 5712));
  EXPECT_EQ(fsuipc::SimulatorVersion(), 9u);
  fsuipc::Close();
  EXPECT_FALSE(fsuipc::Open(8, &error, buffer.data(), 5712));
  EXPECT_EQ(error, FsuipcErrWrongSimulator);
  EXPECT_FALSE(fsuipc::IsOpen());
  EXPECT_TRUE(fsuipc::Open(9, &error, buffer.data(), 5712));
  fsuipc::Close();

  server.ForceAnswer(0);
  EXPECT_FALSE(fsuipc::Open(0, &error, buffer.data(), 5712));
  EXPECT_EQ(error, FsuipcErrServerRefused);
  EXPECT_FALSE(fsuipc::IsOpen());
}

TEST_F(FsuipcClient, RecordsNeedRoomForThemselvesAndTheEndMarker) {
  FsuipcServer server;
  OpenLinkAtLoad();
  ASSERT_TRUE(IsLinked());
  ASSERT_EQ(fsuipc::Capacity(), kFsuipcBufferBytes);
  std::vector<uint8_t> bytes(6000);

  EXPECT_FALSE(fsuipc::Read(0, 5693, bytes.data(), &error));
  EXPECT_EQ(error, FsuipcErrNoRoom);
  EXPECT_FALSE(fsuipc::Write(0, 5697, bytes.data(), &error));
  EXPECT_EQ(error, FsuipcErrNoRoom);
  for (uint32_t huge : {0xFFFFFFFFu, 0xFFFFFFF0u, 0xFFFFFFECu}) {  // would wrap a 32-bit sum
    EXPECT_FALSE(fsuipc::Read(0, huge, bytes.data(), &error));
    EXPECT_EQ(error, FsuipcErrNoRoom);
    EXPECT_FALSE(fsuipc::Write(0, huge, bytes.data(), &error));
    EXPECT_EQ(error, FsuipcErrNoRoom);
  }
  EXPECT_FALSE(fsuipc::Write(0, 4, nullptr, &error));  // a write needs its bytes
  EXPECT_EQ(error, FsuipcErrBuffer);

  EXPECT_TRUE(fsuipc::Read(0, 5692, bytes.data(), &error));
  EXPECT_TRUE(fsuipc::Process(&error));
  EXPECT_TRUE(fsuipc::Write(0, 5696, bytes.data(), &error));
  EXPECT_TRUE(fsuipc::Process(&error));

  // A refused request leaves what was queued before it as it was.
  uint32_t answer = 0;
  server.Poke<uint32_t>(0x4000, 0x12345678);
  EXPECT_TRUE(fsuipc::Read(0x4000, 4, &answer, &error));
  EXPECT_FALSE(fsuipc::Read(0, 5677, bytes.data(), &error));
  EXPECT_TRUE(fsuipc::Process(&error));
  EXPECT_EQ(answer, 0x12345678u);
  EXPECT_TRUE(IsLinked());
}

TEST_F(FsuipcClient, BlockOnTheWireIsPackedAndEndsWithZeroWord) {
  FsuipcServer server;
  ServerInFront front(server);
  std::vector<uint8_t> buffer(256, 0xAA);  // stale bytes where the end marker must go
  ASSERT_TRUE(fsuipc::Open(0, &error, buffer.data(), 256));

  uint32_t version = 0;
  ASSERT_TRUE(fsuipc::Read(0x3304, 4, &version, &error));
  ASSERT_TRUE(fsuipc::Process(&error));
  ASSERT_EQ(front.lastLength, 20u);
  const uint8_t* b = front.lastBlock.data();
  EXPECT_EQ(U32At(b), 1u);
  EXPECT_EQ(U32At(b + 4), 0x3304u);
  EXPECT_EQ(U32At(b + 8), 4u);
  EXPECT_EQ(U32At(b + 12), static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&version)));
  EXPECT_EQ(U32At(b + 16), 0u);  // data area sent zeroed
  EXPECT_EQ(U32At(b + 20), 0u);  // end marker
  EXPECT_EQ(version, 0x39990000u);

  const uint16_t pause = 1;
  ASSERT_TRUE(fsuipc::Write(0x0264, 2, &pause, &error));
  ASSERT_TRUE(fsuipc::Read(0x0264, 2, nullptr, &error));
  ASSERT_TRUE(fsuipc::Process(&error));
  ASSERT_EQ(front.lastLength, 14u + 18u);
  b = front.lastBlock.data();
  EXPECT_EQ(U32At(b), 2u);
  EXPECT_EQ(U32At(b + 4), 0x0264u);
  EXPECT_EQ(U32At(b + 8), 2u);
  EXPECT_EQ(b[12], 1);
  EXPECT_EQ(b[13], 0);
  EXPECT_EQ(U32At(b + 14), 1u);
  EXPECT_EQ(U32At(b + 32), 0u);
}

TEST_F(FsuipcClient, AnswersAreCopiedInQueueOrder) {
  FsuipcServer server;
  server.Poke<uint32_t>(0x1000, 0x11111111);
  server.Poke<uint32_t>(0x2000, 0x22222222);
  OpenLinkAtLoad();

  uint32_t both = 0, untouched = 0xCAFEF00D, written = 0;
  const uint32_t stored = 0x0BADBEEF;
  ASSERT_TRUE(QueueRead(0x1000, 4, &both));
  ASSERT_TRUE(QueueRead(0x2000, 4, &both));
  ASSERT_TRUE(QueueRead(0x1000, 0, &untouched));
  ASSERT_TRUE(QueueRead(0x1000, 4, nullptr));
  ASSERT_TRUE(QueueWrite(0x3000, 4, &stored));
  ASSERT_TRUE(QueueRead(0x3000, 4, &written));
  ASSERT_TRUE(ProcessQueue());
  EXPECT_EQ(both, 0x22222222u);
  EXPECT_EQ(untouched, 0xCAFEF00Du);
  EXPECT_EQ(written, stored);
  EXPECT_EQ(server.Peek<uint32_t>(0x3000), stored);
  EXPECT_TRUE(IsLinked());
}

TEST_F(FsuipcClient, RefusedBlockDropsRecordsAndGivesUpLink) {
  FsuipcServer server;
  server.Poke<uint32_t>(0x1000, 0x11111111);
  OpenLinkAtLoad();
  uint32_t value = 7;
  server.ForceAnswer(2);
  ASSERT_TRUE(QueueRead(0x1000, 4, &value));
  EXPECT_FALSE(ProcessQueue());
  EXPECT_EQ(value, 7u);
  EXPECT_FALSE(IsLinked());

  server.ForceAnswer(std::nullopt);
  EXPECT_FALSE(QueueRead(0x1000, 4, &value));
  EXPECT_FALSE(IsLinked());
  EXPECT_TRUE(fsuipc::IsOpen());  // the protocol link stays open; only unload would close it
  EXPECT_FALSE(fsuipc::Process(&error));
  EXPECT_EQ(error, FsuipcErrNothingQueued);  // the refused records were dropped
  CloseLinkAtUnload();
  EXPECT_TRUE(fsuipc::IsOpen());
}

TEST_F(FsuipcClient, LinkFallsAtFirstFailureAndNeverRises) {
  OpenLinkAtLoad();  // no server
  EXPECT_FALSE(IsLinked());
  EXPECT_FALSE(fsuipc::IsOpen());

  fsuipc::testing::Reset();
  FsuipcServer server;
  OpenLinkAtLoad();
  ASSERT_TRUE(IsLinked());
  EXPECT_FALSE(ProcessQueue());  // nothing queued
  EXPECT_FALSE(IsLinked());
  uint32_t value = 0;
  EXPECT_FALSE(QueueRead(0x3304, 4, &value));
  EXPECT_FALSE(QueueWrite(0x0264, 4, &value));
  EXPECT_FALSE(ProcessQueue());
  EXPECT_FALSE(IsLinked());
  EXPECT_EQ(value, 0u);
  EXPECT_TRUE(fsuipc::Read(0x3304, 4, &value, &error));  // the protocol level still works
  EXPECT_TRUE(fsuipc::Process(&error));
  EXPECT_FALSE(IsLinked());

  fsuipc::testing::Reset();
  OpenLinkAtLoad();
  ASSERT_TRUE(IsLinked());
  CloseLinkAtUnload();
  EXPECT_FALSE(fsuipc::IsOpen());
  EXPECT_FALSE(IsLinked());
}

TEST_F(FsuipcClient, TamperedBlockCannotSteerCopies) {
  FsuipcServer server;
  server.Poke<uint32_t>(0x1000, 0x11111111);
  server.Poke<uint32_t>(0x2000, 0x22222222);
  ServerInFront front(server);
  std::vector<uint8_t> buffer(256);
  ASSERT_TRUE(fsuipc::Open(0, &error, buffer.data(), 256));

  // Two reads of 4 bytes at block positions 0 and 20, a write of 4 at 40; the end marker at 56.
  Guarded victim;
  struct Case {
    const char* name;
    std::function<void(uint8_t*)> tamper;
    bool firstDelivered, secondDelivered;
  };
  const auto put = [](uint8_t* at, uint32_t v) { std::memcpy(at, &v, 4); };
  const Case cases[] = {
      {"first size grown", [&](uint8_t* b) { put(b + 8, 0x7FFFFFF0); }, false, false},
      {"first size shrunk", [&](uint8_t* b) { put(b + 8, 0); }, false, false},
      {"second size grown", [&](uint8_t* b) { put(b + 28, 5000); }, true, false},
      {"second kind unknown", [&](uint8_t* b) { put(b + 20, 7); }, true, false},
      {"second kind now write", [&](uint8_t* b) { put(b + 20, 2); }, true, false},
      {"write kind now read",
       [&](uint8_t* b) {
         put(b + 40, 1);
         put(b + 48, 0xFFFFFFFF);
       },
       true, true},
      {"end marker now a read",
       [&](uint8_t* b) {
         put(b + 56, 1);
         put(b + 64, 200);
         put(b + 68, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&victim.value)));
       },
       true, true},
      {"destinations moved",
       [&](uint8_t* b) {
         put(b + 12, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&victim.value)));
         put(b + 32, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&victim.value)));
       },
       true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Guarded first, second;
    const uint32_t stored = 5;
    front.tamper = c.tamper;
    ASSERT_TRUE(fsuipc::Read(0x1000, 4, &first.value, &error));
    ASSERT_TRUE(fsuipc::Read(0x2000, 4, &second.value, &error));
    ASSERT_TRUE(fsuipc::Write(0x3000, 4, &stored, &error));
    EXPECT_TRUE(fsuipc::Process(&error));  // the server did answer 1
    EXPECT_EQ(first.value == 0x11111111u, c.firstDelivered);
    EXPECT_EQ(second.value == 0x22222222u, c.secondDelivered);
    EXPECT_TRUE(first.GuardsIntact());
    EXPECT_TRUE(second.GuardsIntact());
    EXPECT_TRUE(victim.GuardsIntact());
    EXPECT_EQ(victim.value, 0xCCCCCCCCu);
  }
}

}  // namespace
}  // namespace kvr
