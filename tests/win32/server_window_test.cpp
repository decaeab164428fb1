// The FSUIPC link on Windows against a real server window: a window of class "UIPCMAIN" made by this
// test answers message 0x47F by walking the request block at the address it is given, as a simulator's
// server does. The client finds it with FindWindowExA and reaches it with SendMessageA.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <map>

#include "module/link/fsuipc.h"

namespace kvr {
namespace {

// The server's side: a flat space of bytes, the version and simulator words, and the answer it gives.
struct Server {
  std::map<uint32_t, uint8_t> bytes;
  LRESULT answer = 1;
  WPARAM lastLength = 0;
  uint32_t wordAfterBlock = 0xFFFFFFFF;
  uint16_t clientVersion = 0;  // written at 0x330A, which reads give back as the 0xFADE mark
} server;

uint32_t U32(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, 4);
  return value;
}

void PutU32(uint32_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) server.bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

LRESULT CALLBACK ServerProcedure(HWND window, UINT message, WPARAM length, LPARAM block) {
  if (message != kFsuipcMessage) return DefWindowProcA(window, message, length, block);
  server.lastLength = length;
  auto* at = reinterpret_cast<uint8_t*>(block);
  server.wordAfterBlock = U32(at + length);
  if (server.answer != 1) return server.answer;
  for (uint8_t* end = at + length; at < end;) {
    const uint32_t kind = U32(at), offset = U32(at + 4), size = U32(at + 8);
    if (kind == kFsuipcReadKind) {
      for (uint32_t i = 0; i < size; ++i) at[16 + i] = server.bytes[offset + i];
      at += 16 + size;
    } else if (kind == kFsuipcWriteKind) {
      if (offset == 0x330A && size == 2) std::memcpy(&server.clientVersion, at + 12, 2);
      else
        for (uint32_t i = 0; i < size; ++i) server.bytes[offset + i] = at[12 + i];
      at += 12 + size;
    } else {
      break;
    }
  }
  return 1;
}

class ServerWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ServerProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kFsuipcWindowClass;
    RegisterClassA(&windowClass);
  }
  void SetUp() override {
    fsuipc::testing::Reset();
    server = Server{};
    PutU32(0x3304, 0x19980006);
    PutU32(0x3308, 0xFADE0009);
    window = CreateWindowExA(0, kFsuipcWindowClass, "FS98MAIN", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr) << GetLastError();
  }
  void TearDown() override {
    fsuipc::testing::Reset();
    DestroyWindow(window);
  }
  HWND window = nullptr;
  uint8_t buffer[kFsuipcBufferBytes] = {};
  uint32_t error = 0xFFFF;
};

TEST_F(ServerWindow, OpenFindsTheWindowChecksItsWordsAndAnnouncesTheClient) {
  ASSERT_TRUE(fsuipc::Open(0, &error, buffer, sizeof buffer)) << error;
  EXPECT_EQ(fsuipc::SimulatorVersion(), 9u);
  EXPECT_EQ(server.clientVersion, 1100);
  fsuipc::Close();
  EXPECT_FALSE(fsuipc::Open(8, &error, buffer, sizeof buffer));
  EXPECT_EQ(error, FsuipcErrWrongSimulator);
}

TEST_F(ServerWindow, ReadsAndWritesTravelThroughTheMessage) {
  ASSERT_TRUE(fsuipc::Open(0, &error, buffer, sizeof buffer));
  PutU32(0x0264, 0x00010001);
  const uint8_t code[2] = {0x34, 0x12};
  uint32_t paused = 0;
  ASSERT_TRUE(fsuipc::Read(0x0264, 4, &paused, &error));
  ASSERT_TRUE(fsuipc::Write(0x7B91, 2, code, &error));
  ASSERT_TRUE(fsuipc::Process(&error)) << error;
  EXPECT_EQ(paused, 0x00010001u);
  EXPECT_EQ(server.bytes[0x7B91], 0x34);
  EXPECT_EQ(server.bytes[0x7B92], 0x12);
  EXPECT_EQ(server.lastLength, 20u + 14u);
  EXPECT_EQ(server.wordAfterBlock, 0u);
}

TEST_F(ServerWindow, ARefusedBlockDeliversNothingAndNoWindowMeansNoServer) {
  ASSERT_TRUE(fsuipc::Open(0, &error, buffer, sizeof buffer));
  server.answer = 0;
  uint32_t value = 77;
  ASSERT_TRUE(fsuipc::Read(0x3304, 4, &value, &error));
  EXPECT_FALSE(fsuipc::Process(&error));
  EXPECT_EQ(error, FsuipcErrServerRefused);
  EXPECT_EQ(value, 77u);

  fsuipc::Close();
  DestroyWindow(window);
  window = nullptr;
  EXPECT_FALSE(fsuipc::Open(0, &error, buffer, sizeof buffer));
  EXPECT_EQ(error, FsuipcErrNoServer);
}

}  // namespace
}  // namespace kvr
