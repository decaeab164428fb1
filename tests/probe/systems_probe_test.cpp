// The systems probe against stand-in companion modules. Each case plays the simulator: it puts a stand-in
// at modules/Korvel.dll under a fresh working directory, loads it by path (keeping its own reference),
// writes the module's memory at the build's places and asks the probe. Whether the probe let its own
// reference go is read from the loader once the simulator's reference is dropped too.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "module/probe/probe.h"

namespace {

namespace fs = std::filesystem;

struct Build {
  const char* fixture;  // stand-in file in the bin folder, padded to the build's size
  size_t lightsWord;
  size_t failureList;
  size_t stateTable;
  size_t stateIndex;
};

void PrintTo(const Build& build, std::ostream* out) { *out << build.fixture; }

const Build kBuild557056{"libkvr_probe_korvel_557056.so", 0x6E830, 0x78EC3, 0x787A8, 0x78848};
const Build kBuild573440{"libkvr_probe_korvel_573440.so", 0x7E5F0, 0x87D63, 0x57988, 0x57A28};
constexpr size_t kImageEnd = 0x87F00;  // where the stand-ins' writable area, and so their image, ends

class SystemsProbe : public ::testing::Test {
 protected:
  void SetUp() override {
    kvr::ResetProbeForTest();
    // A module left loaded by an earlier case would be found by its soname instead of this case's copy.
    void* stale = dlopen("Korvel.dll", RTLD_NOW | RTLD_NOLOAD);
    if (stale != nullptr) dlclose(stale);
    ASSERT_EQ(stale, nullptr) << "a stand-in module from an earlier case is still loaded";
    const char* binDir = std::getenv("KVR_BIN_DIR");
    ASSERT_NE(binDir, nullptr) << "KVR_BIN_DIR names the folder holding the stand-in modules";
    binDir_ = binDir;
    savedDir_ = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "kvr_probe_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    workDir_ = pattern;
    fs::current_path(workDir_);
  }

  void TearDown() override {
    kvr::ResetProbeForTest();
    if (simulatorHandle_ != nullptr) dlclose(simulatorHandle_);
    if (workDir_.empty()) return;
    fs::current_path(savedDir_);
    fs::remove_all(workDir_);
  }

  // The simulator's part: the stand-in sits at modules/Korvel.dll and is loaded before any gauge runs.
  void LoadModule(const char* fixture) {
    fs::create_directories(workDir_ / "modules");
    modulePath_ = workDir_ / "modules" / "Korvel.dll";
    fs::copy_file(fs::path(binDir_) / fixture, modulePath_);
    simulatorHandle_ = dlopen("./modules/Korvel.dll", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(simulatorHandle_, nullptr) << dlerror();
    link_map* map = nullptr;
    ASSERT_EQ(dlinfo(simulatorHandle_, RTLD_DI_LINKMAP, &map), 0);
    base_ = reinterpret_cast<uint8_t*>(map->l_addr);
  }

  void Poke32(size_t offset, uint32_t value) { std::memcpy(base_ + offset, &value, sizeof value); }
  void PokeBytes(size_t offset, const std::vector<uint8_t>& bytes) {
    std::memcpy(base_ + offset, bytes.data(), bytes.size());
  }

  // Drops the simulator's reference; true when the module stays loaded, i.e. the probe still holds one.
  // The loader finds a loaded module by its soname even when its file is gone.
  bool ProbeHoldsModuleAfterSimulatorLetsGo() {
    dlclose(simulatorHandle_);
    simulatorHandle_ = nullptr;
    void* handle = dlopen("Korvel.dll", RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
  }

  void ExpectPermissive() {
    EXPECT_EQ(kvr::ProbeLit(), 1);
    EXPECT_EQ(kvr::ProbePowered(), 1);
    EXPECT_EQ(kvr::ProbeVsiValid(), 1);
  }

  std::string binDir_;
  fs::path savedDir_;
  fs::path workDir_;
  fs::path modulePath_;
  void* simulatorHandle_ = nullptr;
  uint8_t* base_ = nullptr;
};

class SystemsProbeBuild : public SystemsProbe, public ::testing::WithParamInterface<Build> {};

INSTANTIATE_TEST_SUITE_P(KnownBuilds, SystemsProbeBuild, ::testing::Values(kBuild557056, kBuild573440),
                         [](const auto& info) { return std::string(info.index == 0 ? "Size557056" : "Size573440"); });

TEST_P(SystemsProbeBuild, LightsWordDecidesLit) {
  const Build& build = GetParam();
  LoadModule(build.fixture);
  kvr::OpenProbe();
  EXPECT_EQ(kvr::ProbeLit(), 0);  // the zero-filled image: lights off
  Poke32(build.lightsWord, 0x00010000);
  EXPECT_EQ(kvr::ProbeLit(), 1);  // any non-zero word, read afresh on every call
  Poke32(build.lightsWord, 0);
  EXPECT_EQ(kvr::ProbeLit(), 0);
}

TEST_P(SystemsProbeBuild, Code21InFailureListRemovesPower) {
  const Build& build = GetParam();
  LoadModule(build.fixture);
  kvr::OpenProbe();
  EXPECT_EQ(kvr::ProbePowered(), 1);  // empty list: a zero right after the first byte

  PokeBytes(build.failureList, {0x00, 0x03, 0x15, 0x00});
  EXPECT_EQ(kvr::ProbePowered(), 0);
  PokeBytes(build.failureList, {0x00, 0x03, 0x16, 0x00});
  EXPECT_EQ(kvr::ProbePowered(), 1);
  // The first byte is not part of the list, and nothing after the terminating zero is either.
  PokeBytes(build.failureList, {0x15, 0x00});
  EXPECT_EQ(kvr::ProbePowered(), 1);
  PokeBytes(build.failureList, {0x15, 0x03, 0x00, 0x15});
  EXPECT_EQ(kvr::ProbePowered(), 1);
}

TEST_P(SystemsProbeBuild, StateValuesTwoAndFiveAtTheIndexMeanValid) {
  const Build& build = GetParam();
  LoadModule(build.fixture);
  kvr::OpenProbe();
  Poke32(build.stateIndex, 3);
  Poke32(build.stateTable, 5);  // entry 0: must not be the one read
  for (uint32_t state : {0u, 1u, 2u, 3u, 4u, 5u}) {
    Poke32(build.stateTable + 3 * 4, state);
    EXPECT_EQ(kvr::ProbeVsiValid(), state == 2 || state == 5 ? 1 : 0) << "state " << state;
  }
}

TEST_F(SystemsProbe, AbsentModuleAnswersPermissively) {
  kvr::OpenProbe();
  EXPECT_EQ(kvr::ProbeUsersForTest(), 1);
  ExpectPermissive();
  kvr::CloseProbe();
  ExpectPermissive();
}

// Modules the probe must not read. In each case the zero-filled image, read as the 557056 build would
// be, answers unlit and invalid, so 1, 1, 1 shows the probe did not read it.
struct Unrecognised {
  const char* name;
  const char* fixture;
  bool fileGone;  // loaded, but nothing to measure under the working directory: size 0
};
void PrintTo(const Unrecognised& module, std::ostream* out) { *out << module.name; }

class SystemsProbeUnrecognised : public SystemsProbe, public ::testing::WithParamInterface<Unrecognised> {};

INSTANTIATE_TEST_SUITE_P(Modules, SystemsProbeUnrecognised,
                         ::testing::Values(Unrecognised{"Size557057", "libkvr_probe_korvel_557057.so", false},
                                           Unrecognised{"FileGone", kBuild557056.fixture, true},
                                           Unrecognised{"PlacesOutsideImage", "libkvr_probe_korvel_small.so", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(SystemsProbeUnrecognised, IsReleasedAndAnswersPermissively) {
  LoadModule(GetParam().fixture);
  if (GetParam().fileGone) fs::remove(modulePath_);
  kvr::OpenProbe();
  ExpectPermissive();
  EXPECT_EQ(kvr::ProbeUsersForTest(), 1);  // the count rises all the same
  EXPECT_FALSE(ProbeHoldsModuleAfterSimulatorLetsGo());
}

TEST_F(SystemsProbe, OnlyTheFirstOpenCountsAndOneCloseReleases) {
  LoadModule(kBuild557056.fixture);
  kvr::OpenProbe();
  kvr::OpenProbe();
  EXPECT_EQ(kvr::ProbeUsersForTest(), 1);
  EXPECT_EQ(kvr::ProbeLit(), 0);
  kvr::CloseProbe();
  EXPECT_EQ(kvr::ProbeUsersForTest(), 0);
  ExpectPermissive();
  EXPECT_FALSE(ProbeHoldsModuleAfterSimulatorLetsGo());
}

// Below 0 the module stays held until the count returns to 0 from 1; a count of 0 is not "open", so
// the next open loads again, and the probe still holds a single reference.
TEST_F(SystemsProbe, CountBelowZeroLoadsAgainAndKeepsOneReference) {
  LoadModule(kBuild573440.fixture);
  kvr::CloseProbe();
  kvr::OpenProbe();
  kvr::CloseProbe();
  EXPECT_EQ(kvr::ProbeUsersForTest(), -1);
  EXPECT_EQ(kvr::ProbeLit(), 0);  // still held and read
  kvr::OpenProbe();
  kvr::OpenProbe();
  EXPECT_EQ(kvr::ProbeUsersForTest(), 1);
  EXPECT_EQ(kvr::ProbeLit(), 0);
  kvr::CloseProbe();
  ExpectPermissive();
  EXPECT_FALSE(ProbeHoldsModuleAfterSimulatorLetsGo());
}

// The 573440 build's failure list lies near the image's end, which the stand-ins put mid-page: the
// bytes just past the end are mapped, so a scan that overran would find the 21 placed there.
TEST_F(SystemsProbe, FailureListWithoutTerminatorEndsAtTheImageEnd) {
  LoadModule(kBuild573440.fixture);
  kvr::OpenProbe();
  const size_t first = kBuild573440.failureList + 1;
  PokeBytes(first, std::vector<uint8_t>(kImageEnd - first, 0x03));
  PokeBytes(kImageEnd, {0x15});
  EXPECT_EQ(kvr::ProbePowered(), 1);
  PokeBytes(kImageEnd - 1, {0x15});  // the last byte of the image is still part of the list
  EXPECT_EQ(kvr::ProbePowered(), 0);
}

TEST_F(SystemsProbe, StateIndexPastTheImageAnswersValid) {
  LoadModule(kBuild573440.fixture);
  kvr::OpenProbe();
  const uint32_t lastEntry = (kImageEnd - kBuild573440.stateTable) / 4 - 1;
  Poke32(kBuild573440.stateIndex, lastEntry);  // entry ends exactly at the image end: read
  EXPECT_EQ(kvr::ProbeVsiValid(), 0);
  Poke32(kBuild573440.stateIndex, lastEntry + 1);  // first entry outside, mapped and zero
  EXPECT_EQ(kvr::ProbeVsiValid(), 1);
  Poke32(kBuild573440.stateIndex, 0xFFFFFFFF);
  EXPECT_EQ(kvr::ProbeVsiValid(), 1);
}

}  // namespace
