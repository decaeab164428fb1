// The sound layer over real DirectSound 8 (under wine, on ALSA's null device, which plays in real time):
// a recording from the program's resources, the same-named file when there is no resource, playing to
// the end and again from the start, stopping, the volume range, and formats the device refuses; and, with
// stand-in objects, a buffer lost to a device change and a device refused its cooperative level.
#include <gtest/gtest.h>
#include <windows.h>

#include <dsound.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "module/platform/win32/dsound_steps.h"
#include "module/sound/sound.h"
#include "tests/sound/sound_test_support.h"

namespace kvr {
namespace {

namespace fs = std::filesystem;

bool Playing(SoundBuffer buffer) {
  uint32_t status = 0;
  return QuerySoundStatus(buffer, status) && (status & kSoundStatusPlaying) != 0;
}

// Waits up to `limit` for the buffer to stop playing by itself.
bool EndsWithin(SoundBuffer buffer, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (Playing(buffer)) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// What DirectSound itself says when asked for the default device, for a failure message.
std::string DeviceDiagnosis() {
  IDirectSound8* device = nullptr;
  const HRESULT result = DirectSoundCreate8(nullptr, &device, nullptr);
  if (device != nullptr) device->Release();
  char text[64];
  std::snprintf(text, sizeof text, "DirectSoundCreate8 gives 0x%08lX", static_cast<unsigned long>(result));
  return text;
}

class DirectSoundLayer : public ::testing::Test {
 protected:
  void SetUp() override { CreateSoundDevice(GetModuleHandleA(nullptr)); }
  void TearDown() override { ReleaseSoundDevice(); }
};

TEST_F(DirectSoundLayer, AResourceRecordingPlaysToItsEndAndAgainFromTheStart) {
  SoundBuffer climb = LoadSound("wav_climb");
  ASSERT_NE(climb, nullptr) << "no DirectSound device (" << DeviceDiagnosis() << "), or the resource was not found";
  EXPECT_FALSE(Playing(climb));
  EXPECT_TRUE(SetSoundVolume(climb, 500));  // clamped to full level
  EXPECT_TRUE(StartSound(climb, 0));
  EXPECT_TRUE(Playing(climb));
  EXPECT_TRUE(EndsWithin(climb, std::chrono::seconds(5)));
  EXPECT_TRUE(StartSound(climb, 0));
  EXPECT_TRUE(Playing(climb)) << "a buffer that played to its end must start again";
  EXPECT_TRUE(StopSound(climb));
  EXPECT_FALSE(Playing(climb));
  EXPECT_TRUE(RewindSound(climb, 0));
  EXPECT_TRUE(SetSoundVolume(climb, -20000));
  EXPECT_TRUE(ReleaseSound(climb));
}

TEST_F(DirectSoundLayer, AFileServesWhenThereIsNoResourceAndIsNotKeptMapped) {
  const fs::path file = "kvr_directsound_tone.wav";
  test::Bytes samples(1600, 0);
  test::WriteFile(file, test::RiffWave({test::FormatChunk(), {"data", samples, {}}}));
  SoundBuffer tone = LoadSound(file.string().c_str());
  EXPECT_NE(tone, nullptr);
  // Windows refuses to delete a file that is still mapped.
  EXPECT_TRUE(DeleteFileA(file.string().c_str())) << GetLastError();
  ReleaseSound(tone);
}

TEST_F(DirectSoundLayer, FormatsTheDeviceCannotPlayGiveNoBuffer) {
  struct Case {
    const char* name;
    test::Bytes image;
  } cases[] = {
      {"kvr_empty_data.wav", test::RiffWave({test::FormatChunk(), {"data", {}, {}}})},
      {"kvr_alaw.wav",
       test::RiffWave({{"fmt ", test::FormatRecord(6, 1, 8000, 8), {}}, {"data", test::Bytes(800, 1), {}}})},
  };
  for (const Case& c : cases) {
    test::WriteFile(c.name, c.image);
    EXPECT_EQ(LoadSound(c.name), nullptr) << c.name;
    DeleteFileA(c.name);
  }
  EXPECT_EQ(LoadSound("WAV_NoSuchRecording"), nullptr);
}

// A DirectSound buffer that can be lost: Play answers DSERR_BUFFERLOST while it is, and Restore (unless
// refused) gives it back with its memory cleared.
class StandInBuffer : public IDirectSoundBuffer8 {
 public:
  bool lost = false, lostInStatus = false, restoreRefused = false;
  int plays = 0, restores = 0;
  uint8_t memory[8] = {};

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 0; }
  HRESULT STDMETHODCALLTYPE GetCaps(LPDSBCAPS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurrentPosition(LPDWORD, LPDWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFormat(LPWAVEFORMATEX, DWORD, LPDWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetVolume(LPLONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPan(LPLONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFrequency(LPDWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetStatus(LPDWORD status) override {
    *status = lost && lostInStatus ? DSBSTATUS_BUFFERLOST : 0;
    return DS_OK;
  }
  HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTSOUND, LPCDSBUFFERDESC) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Lock(DWORD, DWORD bytes, LPVOID* first, LPDWORD firstBytes, LPVOID* second,
                                 LPDWORD secondBytes, DWORD) override {
    if (lost) return DSERR_BUFFERLOST;
    *first = memory;
    *firstBytes = std::min<DWORD>(bytes, sizeof memory);
    *second = nullptr;
    *secondBytes = 0;
    return DS_OK;
  }
  HRESULT STDMETHODCALLTYPE Play(DWORD, DWORD, DWORD) override {
    if (lost) return DSERR_BUFFERLOST;
    ++plays;
    return DS_OK;
  }
  HRESULT STDMETHODCALLTYPE SetCurrentPosition(DWORD) override { return DS_OK; }
  HRESULT STDMETHODCALLTYPE SetFormat(LPCWAVEFORMATEX) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetVolume(LONG) override { return DS_OK; }
  HRESULT STDMETHODCALLTYPE SetPan(LONG) override { return DS_OK; }
  HRESULT STDMETHODCALLTYPE SetFrequency(DWORD) override { return DS_OK; }
  HRESULT STDMETHODCALLTYPE Stop() override { return DS_OK; }
  HRESULT STDMETHODCALLTYPE Unlock(LPVOID, DWORD, LPVOID, DWORD) override { return DS_OK; }
  HRESULT STDMETHODCALLTYPE Restore() override {
    if (restoreRefused) return DSERR_BUFFERLOST;
    ++restores;
    lost = false;
    std::fill(std::begin(memory), std::end(memory), uint8_t{0});
    return DS_OK;
  }
  HRESULT STDMETHODCALLTYPE SetFX(DWORD, LPDSEFFECTDESC, LPDWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AcquireResources(DWORD, DWORD, LPDWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetObjectInPath(REFGUID, DWORD, REFGUID, LPVOID*) override { return E_NOTIMPL; }
};

// A device change loses the buffers: the next start restores the buffer, fills it again and plays it,
// rather than the voice staying silent for good.
TEST(DirectSoundSteps, ALostBufferIsRestoredFilledAndPlayed) {
  const uint8_t pcm[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const struct {
    const char* what;
    bool lost, lostInStatus, restoreRefused;
    int plays, restores;
    bool filled;
  } cases[] = {
      {"not lost", false, false, false, 1, 0, false},
      {"Play says lost", true, false, false, 1, 1, true},
      {"the status says lost", true, true, false, 1, 1, true},
      {"cannot be restored yet", true, false, true, 0, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StandInBuffer buffer;
    buffer.lost = c.lost;
    buffer.lostInStatus = c.lostInStatus;
    buffer.restoreRefused = c.restoreRefused;
    platform::dsound::PlayRestoring(&buffer, pcm, sizeof pcm);
    EXPECT_EQ(buffer.plays, c.plays);
    EXPECT_EQ(buffer.restores, c.restores);
    EXPECT_EQ(std::equal(std::begin(pcm), std::end(pcm), buffer.memory), c.filled);
  }
}

// A device that cannot have its cooperative level plays nothing: it is released and there is no device.
class StandInDevice : public IDirectSound8 {
 public:
  HRESULT levelAnswer = DS_OK;
  int releases = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(++releases); }
  HRESULT STDMETHODCALLTYPE CreateSoundBuffer(LPCDSBUFFERDESC, LPLPDIRECTSOUNDBUFFER, IUnknown*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetCaps(LPDSCAPS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER, LPLPDIRECTSOUNDBUFFER) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND, DWORD) override { return levelAnswer; }
  HRESULT STDMETHODCALLTYPE Compact() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSpeakerConfig(LPDWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSpeakerConfig(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Initialize(LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE VerifyCertification(LPDWORD) override { return E_NOTIMPL; }
};

TEST(DirectSoundSteps, ADeviceRefusedItsCooperativeLevelIsNoDevice) {
  StandInDevice refused, granted;
  refused.levelAnswer = DSERR_INVALIDPARAM;
  EXPECT_EQ(platform::dsound::WithCooperativeLevel(&refused, GetDesktopWindow()), nullptr);
  EXPECT_EQ(refused.releases, 1);
  EXPECT_EQ(platform::dsound::WithCooperativeLevel(&granted, GetDesktopWindow()), &granted);
  EXPECT_EQ(granted.releases, 0);
}

}  // namespace
}  // namespace kvr
