// The C boundary: what the shared library exports, the defaults of ordinals 14 and 15, refusal of
// unusable arguments, the frame period taken from the own-ship record, and the cost of a frame.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "tests/avertine/encounter_sim.h"

// Counts every allocation in the process, the library's included (its operator new resolves here).
namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++g_allocations;
  return std::malloc(size == 0 ? 1 : size);
}
// These replace the global pair, so free() here does match the malloc() above; GCC, seeing the inlined
// delete of a new-ed pointer, cannot tell and warns.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace avertine_test {
namespace {

using kvr::OperatingMode;
using kvr::ThreatClass;

// The built library: in the build's bin folder under ctest, else the copy this program loaded.
std::string LibraryPath() {
  if (const char* dir = std::getenv("KVR_BIN_DIR")) return std::string(dir) + "/libAvertine.so";
  Dl_info info{};
  dladdr(reinterpret_cast<void*>(&kvr::AvertineCreate), &info);
  return info.dli_fname != nullptr ? info.dli_fname : "libAvertine.so";
}

TEST(Exports, OnlyTheEntryPointsAreVisibleByName) {
  void* library = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  for (const char* name : {"AvertineCreate", "AvertineDestroy", "AvertineResetAdvisory", "AvertineCollectAdvisory",
                           "AvertineUpdateOwnShip", "AvertineProcessIntruder", "AvertineDefaultOwnShip",
                           "AvertineDefaultIntruderInput", "AvertineLatestAdvisory", "AvertineSensitivityLevel"}) {
    EXPECT_NE(dlsym(library, name), nullptr) << name;
  }
  // Internal classes stay hidden, so two copies of the logic can never interpose on each other.
  EXPECT_EQ(dlsym(library, "_ZN8avertine22SelectSensitivityLevelEddb"), nullptr);
  EXPECT_EQ(dlsym(library, "_ZN8avertine14CollisionLogic13UpdateOwnShipERKN3kvr13OwnShipRecordE"), nullptr);

  dlclose(library);
}

TEST(Defaults, RecordsGetTheLibraryDefaults) {
  kvr::OwnShipRecord own;
  std::memset(&own, 0xAB, sizeof own);
  ASSERT_EQ(kvr::AvertineDefaultOwnShip(&own), 1);
  EXPECT_FLOAT_EQ(own.framePeriodS, 1.0f);
  EXPECT_EQ(own.mode, static_cast<int32_t>(OperatingMode::Standby));
  EXPECT_EQ(own.slew, 0);
  EXPECT_EQ(own.reserved36[5], 0);

  kvr::IntruderInputRecord intruder;
  std::memset(&intruder, 0xAB, sizeof intruder);
  ASSERT_EQ(kvr::AvertineDefaultIntruderInput(&intruder), 1);
  EXPECT_EQ(intruder.altitudeReporting, 1);
  EXPECT_EQ(intruder.transponderKind, 3);
  EXPECT_EQ(intruder.coordinationSense, 0);
  EXPECT_EQ(intruder.reserved32[1], 0);
}

TEST(Defaults, AdvisoryBeforeAnyFrameIsEmptyAndInStandby) {
  kvr::AvertineHandle handle = kvr::AvertineCreate(3);
  kvr::AdvisoryRecord advisory{};
  ASSERT_EQ(kvr::AvertineCollectAdvisory(handle, &advisory, 0), 1);
  EXPECT_EQ(advisory.auralCode, 0);
  EXPECT_FLOAT_EQ(advisory.vsLowerLimitFpm, -10000.0f);
  EXPECT_FLOAT_EQ(advisory.vsUpperLimitFpm, 10000.0f);
  EXPECT_FLOAT_EQ(advisory.vsTargetFpm, 10000.0f);
  EXPECT_EQ(advisory.modeStatus, static_cast<int32_t>(OperatingMode::Standby));
  kvr::AvertineDestroy(handle);
}

TEST(Robustness, NullArgumentsAreRefusedWithoutHarm) {
  kvr::AdvisoryRecord advisory{};
  kvr::OwnShipRecord own{};
  kvr::IntruderInputRecord intruder{};
  kvr::IntruderEntry entry{};
  kvr::LatestAdvisory latest{};
  kvr::AvertineHandle handle = kvr::AvertineCreate(3);
  for (kvr::AvertineHandle h : {kvr::AvertineHandle{nullptr}, handle}) {
    EXPECT_EQ(kvr::AvertineCollectAdvisory(h, nullptr, 0), 0);
    EXPECT_EQ(kvr::AvertineResetAdvisory(h, nullptr, 0), 0);
    EXPECT_EQ(kvr::AvertineUpdateOwnShip(h, nullptr), 0);
    EXPECT_EQ(kvr::AvertineProcessIntruder(h, &intruder, nullptr), 0);
    EXPECT_EQ(kvr::AvertineLatestAdvisory(h, nullptr), 0);
    entry.valid = 1;
    EXPECT_EQ(kvr::AvertineProcessIntruder(h, nullptr, &entry), 0);
    EXPECT_EQ(entry.valid, 0);  // a refused entry is never left looking placed
  }
  EXPECT_EQ(kvr::AvertineCollectAdvisory(nullptr, &advisory, 0), 0);
  EXPECT_EQ(kvr::AvertineUpdateOwnShip(nullptr, &own), 0);
  EXPECT_EQ(kvr::AvertineLatestAdvisory(nullptr, &latest), 0);
  EXPECT_EQ(kvr::AvertineDefaultOwnShip(nullptr), 0);
  EXPECT_EQ(kvr::AvertineDefaultIntruderInput(nullptr), 0);
  EXPECT_EQ(kvr::AvertineSensitivityLevel(nullptr, 0.0f), 0);
  EXPECT_EQ(kvr::AvertineDestroy(nullptr), 0);
  EXPECT_EQ(kvr::AvertineDestroy(handle), 1);
}

TEST(Robustness, UnusableInputsPlaceNoIntruder) {
  LogicDriver driver;
  const Aircraft own;
  Aircraft intruder;
  intruder.id = 5;
  intruder.northNm = 2.0;

  // No own-ship frame yet: nothing to measure from.
  kvr::IntruderInputRecord record{};
  kvr::AvertineDefaultIntruderInput(&record);
  record.id = 5;
  kvr::IntruderEntry entry{};
  EXPECT_EQ(kvr::AvertineProcessIntruder(driver.Handle(), &record, &entry), 0);
  EXPECT_EQ(entry.valid, 0);

  // A non-finite own position refuses the frame and every intruder in it.
  Aircraft lost = own;
  lost.northNm = std::numeric_limits<double>::quiet_NaN();
  driver.Frame(lost, {intruder}, 0.0);
  EXPECT_EQ(driver.Entry(0).valid, 0);

  // Identifier 0 and a non-finite intruder altitude are refused; a good neighbour is still placed.
  Aircraft noId = intruder;
  noId.id = 0;
  Aircraft badAltitude = intruder;
  badAltitude.id = 6;
  badAltitude.altitudeFt = std::numeric_limits<double>::infinity();
  driver.Frame(own, {noId, badAltitude, intruder}, 0.0);
  EXPECT_EQ(driver.Entry(0).valid, 0);
  EXPECT_EQ(driver.Entry(1).valid, 0);
  EXPECT_EQ(driver.Entry(2).valid, 1);
  EXPECT_NEAR(driver.Entry(2).rangeNm, 2.0, 0.01);
}

// Flies the standard head-on encounter with frames `periodS` apart and a record claiming `claimedS`.
double TaBeforeCpaS(double periodS, float claimedS) {
  EncounterSpec spec;
  spec.verticalMissFt = 100.0;
  Aircraft own;
  Aircraft intruder;
  BuildEncounter(spec, &own, &intruder);
  LogicDriver driver;
  driver.OwnRecord().framePeriodS = claimedS;
  std::vector<Aircraft> traffic(1);
  for (double t = 0.0; t < spec.timeToCpaS; t += periodS) {
    traffic[0] = intruder;
    driver.Frame(own, traffic, 0.0);
    if (driver.ClassOf(0) == ThreatClass::TrafficAdvisory) return spec.timeToCpaS - t;
    own.Advance(periodS);
    intruder.Advance(periodS);
  }
  return -1.0;
}

TEST(FramePeriod, LogicTimeAdvancesByTheRecordsFramePeriod) {
  const double nominal = TaBeforeCpaS(1.0, 1.0f);
  EXPECT_NEAR(TaBeforeCpaS(0.5, 0.5f), nominal, 1.0);  // twice the frames, same seconds
  // A period the caller does not set keeps the 1 s default; a nonsensical one falls back to it.
  EXPECT_NEAR(TaBeforeCpaS(1.0, 0.0f), nominal, 0.01);
  EXPECT_NEAR(TaBeforeCpaS(1.0, std::numeric_limits<float>::quiet_NaN()), nominal, 0.01);
  EXPECT_NEAR(TaBeforeCpaS(1.0, -3.0f), nominal, 0.01);
}

// A busy sky: 100 intruders within 40 NM, a dozen of them converging on the own aircraft.
std::vector<Aircraft> BusySky() {
  std::vector<Aircraft> traffic;
  for (uint32_t i = 0; i < 100; ++i) {
    Aircraft a;
    a.id = 0x400000u + i;
    const double angle = i * 2.399963;  // golden angle: spread around the own aircraft
    const double rangeNm = i < 12 ? 6.0 + i * 0.3 : 3.0 + (i % 37);
    a.northNm = rangeNm * std::cos(angle);
    a.eastNm = rangeNm * std::sin(angle);
    a.altitudeFt = i < 12 ? 8000.0 + (i % 3) * 200.0 : 4000.0 + (i * 173) % 9000;
    a.groundSpeedKt = 250.0;
    a.trackDeg = i < 12 ? std::fmod(angle * 180.0 / 3.14159265358979 + 180.0, 360.0) : (i * 37) % 360;
    a.verticalRateFpm = (i % 5) * 300.0 - 600.0;
    traffic.push_back(a);
  }
  return traffic;
}

TEST(Performance, FramesOfHundredIntrudersAllocateNothingAndStayFast) {
  std::vector<Aircraft> traffic = BusySky();
  Aircraft own;
  own.altitudeFt = 8000.0;
  own.groundSpeedKt = 250.0;
  LogicDriver driver;
  for (int t = 0; t < 5; ++t) {  // warm-up: tracks start
    driver.Frame(own, traffic, 0.0);
    for (Aircraft& a : traffic) a.Advance(1.0);
    own.Advance(1.0);
  }
  constexpr int kFrames = 60;
  const long allocationsBefore = g_allocations.load();
  double totalUs = 0.0;
  bool sawAdvisory = false;
  for (int t = 0; t < kFrames; ++t) {
    const auto start = std::chrono::steady_clock::now();
    driver.Frame(own, traffic, 0.0);
    totalUs += std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    sawAdvisory |= driver.Latest().active != 0;
    for (Aircraft& a : traffic) a.Advance(1.0);
    own.Advance(1.0);
  }
  EXPECT_EQ(g_allocations.load() - allocationsBefore, 0);
  EXPECT_TRUE(sawAdvisory);  // the frames did real work
  const double perFrameUs = totalUs / kFrames;
  std::printf("one frame with 100 intruders: %.1f us\n", perFrameUs);
  ::testing::Test::RecordProperty("frameWith100IntrudersUs", std::to_string(perFrameUs));
  EXPECT_LT(perFrameUs, 5000.0);  // loose: debug and sanitizer builds run this too
}

}  // namespace
}  // namespace avertine_test
