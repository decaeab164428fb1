// The outside program behind FSUIPC 0x7B90-0x7B93: interrogations at a set rate in simulated time,
// replies only to an installed head out of standby, IDENT answered as soon as it is written.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/avionics/reply_program.h"
#include "module/platform/window_registry.h"

namespace kvr::host {
namespace {

// Frames at 18 per second, clearing each request as a head's update does; the requests seen.
int Fly(FsuipcServer& server, TransponderReplyProgram& program, int seconds) {
  int seen = 0;
  for (int frame = 0; frame < 18 * seconds; ++frame) {
    program.Advance(1.0 / 18);
    seen += server.Peek<uint8_t>(0x7B92);
    server.Poke<uint8_t>(0x7B92, 0);
  }
  return seen;
}

TEST(TransponderReplyProgram, RaisesRequestsAtTheSetRateOnlyForAnInstalledHeadOutOfStandby) {
  FsuipcServer server;
  TransponderReplyProgram program(server);
  program.SetInterrogationRate(2);
  EXPECT_EQ(Fly(server, program, 3), 0);  // no head installed
  server.Poke<uint8_t>(0x7B90, 1);
  EXPECT_EQ(Fly(server, program, 10), 20);
  program.SetInterrogationRate(0.5);
  EXPECT_EQ(Fly(server, program, 10), 5);
  server.Poke<uint8_t>(0x7B91, 1);
  EXPECT_EQ(Fly(server, program, 4), 0);
  EXPECT_EQ(program.Interrogations(), 6u + 20 + 5 + 2);
}

TEST(TransponderReplyProgram, AnswersIdentAsSoonAsItIsWritten) {
  FsuipcServer server;
  TransponderReplyProgram program(server);
  program.Advance(2.5);
  // One client block: a write of `data` at `offset`.
  auto write = [&](uint32_t offset, std::vector<uint8_t> data) {
    std::vector<uint8_t> block(16 + data.size(), 0);
    const uint32_t header[3] = {2, offset, static_cast<uint32_t>(data.size())};
    std::memcpy(block.data(), header, 12);
    std::memcpy(block.data() + 12, data.data(), data.size());
    return KvrSendMessage(server.Window(), 0x47F, 12 + data.size(), reinterpret_cast<intptr_t>(block.data()));
  };
  ASSERT_EQ(write(0x7B93, {1}), 1u);
  EXPECT_EQ(server.Peek<uint8_t>(0x7B93), 0);
  EXPECT_EQ(program.LastIdentTimeS(), 2.5);
  ASSERT_EQ(write(0x7B90, {3, 0, 0}), 1u);  // short of 0x7B93
  ASSERT_EQ(write(0x7B92, {0, 0}), 1u);     // reaching it with 0
  EXPECT_EQ(program.Idents(), 1u);
  ASSERT_EQ(write(0x7B90, {1, 0, 0, 1}), 1u);
  EXPECT_EQ(program.Idents(), 2u);
}

}  // namespace
}  // namespace kvr::host
