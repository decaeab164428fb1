// The host's FSUIPC server, driven with hand-built request blocks through its window.
#include <algorithm>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "host/fsuipc/fsuipc_server.h"
#include "module/platform/window_registry.h"

namespace kvr::host {
namespace {

constexpr uint32_t kMessage = 0x47F;

// Builds a block in `bytes`, starting `lead` bytes in so that tests can watch the bytes around it.
struct Block {
  static constexpr size_t lead = 8;
  std::vector<uint8_t> bytes = std::vector<uint8_t>(lead, 0xEE);

  void Word(uint32_t v) {
    bytes.insert(bytes.end(), reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 4);
  }
  void Read(uint32_t offset, uint32_t size) {
    Word(1);
    Word(offset);
    Word(size);
    Word(0);
    bytes.insert(bytes.end(), size, 0);
  }
  void Write(uint32_t offset, std::vector<uint8_t> data, uint32_t size) {
    Word(2);
    Word(offset);
    Word(size);
    bytes.insert(bytes.end(), data.begin(), data.end());
  }
  void Write(uint32_t offset, const std::vector<uint8_t>& data) {
    Write(offset, data, static_cast<uint32_t>(data.size()));
  }
  uint32_t Length() const { return static_cast<uint32_t>(bytes.size() - lead); }
  uintptr_t Send(const FsuipcServer& server, uint32_t length) {
    bytes.insert(bytes.end(), 8, 0xEE);  // bytes behind the block that must stay as they are
    return KvrSendMessage(server.Window(), kMessage, length, reinterpret_cast<intptr_t>(bytes.data() + lead));
  }
  uint32_t U32(size_t at) const {
    uint32_t v;
    std::memcpy(&v, bytes.data() + lead + at, 4);
    return v;
  }
};

TEST(FsuipcServer, ServesIdentityAndKeepsItFromClients) {
  FsuipcServer server;
  EXPECT_EQ(KvrFindWindow("UIPCMAIN"), server.Window());
  EXPECT_EQ(KvrSendMessage(server.Window(), 0x400, 0, 0), 0u);

  Block block;
  block.Write(0x330A, {0x4C, 0x04});  // 1100
  block.Read(0x3304, 8);
  ASSERT_EQ(block.Send(server, block.Length()), 1u);
  EXPECT_EQ(block.U32(14 + 16), 0x39990000u);
  EXPECT_EQ(block.U32(14 + 20), 0xFADE0007u);
  EXPECT_EQ(server.ClientVersion(), 1100);

  FsuipcServer other(FsuipcServerOptions{0x20000000, 9});
  EXPECT_EQ(other.Peek<uint32_t>(0x3304), 0x20000000u);
  EXPECT_EQ(other.Peek<uint32_t>(0x3308), 0xFADE0009u);
  EXPECT_THROW(other.Peek<uint32_t>(0xFFFE), std::out_of_range);
}

TEST(FsuipcServer, WritesThenReadsInOrderAndReportsWrites) {
  FsuipcServer server;
  std::vector<FsuipcWrite> reported;
  server.SetWriteHook([&](std::span<const FsuipcWrite> writes) { reported.assign(writes.begin(), writes.end()); });
  Block block;
  block.Read(0x7B90, 4);
  block.Write(0x7B90, {1, 2, 3, 4});
  block.Read(0x7B90, 4);
  block.Write(0xFFFC, {9, 9, 9, 9});  // the last bytes of the space
  ASSERT_EQ(block.Send(server, block.Length()), 1u);
  EXPECT_EQ(block.U32(16), 0u);
  EXPECT_EQ(block.U32(20 + 16 + 16), 0x04030201u);
  EXPECT_EQ(server.Peek<uint32_t>(0x7B90), 0x04030201u);
  EXPECT_EQ(server.Peek<uint32_t>(0xFFFC), 0x09090909u);
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_EQ(reported[0].offset, 0x7B90u);
  EXPECT_EQ(reported[1].size, 4u);
  EXPECT_EQ(server.BlocksServed(), 1u);
}

TEST(FsuipcServer, RefusesMalformedBlockWithoutTouchingAnything) {
  FsuipcServer server;
  int hookCalls = 0;
  server.SetWriteHook([&](std::span<const FsuipcWrite>) { ++hookCalls; });
  const std::vector<uint8_t> spaceBefore(server.Bytes(), server.Bytes() + FsuipcServer::kSpaceBytes);

  struct Case {
    const char* name;
    Block block;
    uint32_t length;
  };
  std::vector<Case> cases;
  const auto add = [&](const char* name, auto build, int lengthChange) {
    Case c{name, {}, 0};
    c.block.Write(0x1000, {1, 2, 3, 4});  // a good record first: it must not be carried out either
    build(c.block);
    c.length = c.block.Length() + lengthChange;
    cases.push_back(std::move(c));
  };
  add(
      "header cut short", [](Block& b) { b.Read(0x2000, 0); }, -6);
  add(
      "read data past length", [](Block& b) { b.Read(0x2000, 8); }, -1);
  add(
      "write size past length",
      [](Block& b) {
        b.Write(0x2000, {1, 2}, 50);
      },
      0);
  add(
      "size near 2^32",
      [](Block& b) {
        b.Write(0x2000, {1, 2}, 0xFFFFFFFE);
      },
      0);
  add(
      "unknown kind",
      [](Block& b) {
        b.Word(3);
        b.Word(0x2000);
        b.Word(0);
      },
      0);
  add(
      "kind zero inside length",
      [](Block& b) {
        b.Word(0);
        b.Word(0x2000);
        b.Word(0);
      },
      0);
  add(
      "offset past the space", [](Block& b) { b.Read(0xFFFE, 4); }, 0);
  add(
      "offset far past the space", [](Block& b) { b.Write(0xFFFFFFFF, {1}); }, 0);
  add(
      "stray bytes after the last record", [](Block& b) { b.Word(2); }, -2);

  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> expected = c.block.bytes;
    expected.insert(expected.end(), 8, 0xEE);
    EXPECT_EQ(c.block.Send(server, c.length), 0u);
    EXPECT_EQ(c.block.bytes, expected);
  }
  EXPECT_EQ(KvrSendMessage(server.Window(), kMessage, 20, 0), 0u);  // no block at all
  EXPECT_TRUE(std::equal(spaceBefore.begin(), spaceBefore.end(), server.Bytes()));
  EXPECT_EQ(server.BlocksRefused(), cases.size() + 1);
  EXPECT_EQ(server.BlocksServed(), 0u);
  EXPECT_EQ(hookCalls, 0);
}

}  // namespace
}  // namespace kvr::host
