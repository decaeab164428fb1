// The systems probe: finds the companion module, tells its build by the size of its file and reads three
// answers from fixed places in its loaded image. Every read stays inside the image the loader reports.
#include <cstring>

#include "module/platform/platform.h"
#include "module/probe/probe.h"

namespace kvr {
namespace {

constexpr const char* kModuleName = "Korvel.dll";
// Relative to the simulator's working directory; Windows accepts the forward slash as well.
constexpr const char* kModuleFile = "modules/Korvel.dll";

constexpr uint8_t kNoPowerCode = 21;  // failure-list code that removes power
constexpr uint32_t kStateValidA = 2;  // state values under which the vertical speed is valid
constexpr uint32_t kStateValidB = 5;

// A build of the module: its file size in bytes and the byte offsets of its fixed places from the load
// address.
struct KnownBuild {
  uint64_t fileBytes;
  size_t lightsWordOffset;   // u32, non-zero while the lights are on
  size_t failureListOffset;  // the byte before a zero-terminated list of byte codes
  size_t stateTableOffset;   // array of u32 state values
  size_t stateIndexOffset;   // u32 index into the state table
};

constexpr KnownBuild kKnownBuilds[] = {
    {0x88000, 0x6E830, 0x78EC3, 0x787A8, 0x78848},
    {0x8C000, 0x7E5F0, 0x87D63, 0x57988, 0x57A28},
};

struct ProbeState {
  int32_t probeUsers = 0;  // may go below 0 when closes outnumber opens
  platform::LibraryHandle probeModule = nullptr;
  platform::LibraryImage image{nullptr, 0};  // the loaded module's extent, while the addresses are set
  const uint8_t* lightsWord = nullptr;
  const uint8_t* failureList = nullptr;
  const uint8_t* stateTable = nullptr;
  const uint8_t* stateIndex = nullptr;
};

constinit ProbeState probe;

// The module's memory is unaligned as far as we know; copy rather than dereference a u32 pointer.
uint32_t ReadU32(const uint8_t* place) {
  uint32_t value;
  std::memcpy(&value, place, sizeof value);
  return value;
}

bool PlaceInImage(const platform::LibraryImage& image, size_t offset, size_t width) {
  return image.base != nullptr && offset <= image.size && width <= image.size - offset;
}

bool BuildFitsImage(const KnownBuild& build, const platform::LibraryImage& image) {
  return PlaceInImage(image, build.lightsWordOffset, 4) && PlaceInImage(image, build.failureListOffset, 1) &&
         PlaceInImage(image, build.stateTableOffset, 4) && PlaceInImage(image, build.stateIndexOffset, 4);
}

void ClearAddresses() {
  probe.image = {nullptr, 0};
  probe.lightsWord = nullptr;
  probe.failureList = nullptr;
  probe.stateTable = nullptr;
  probe.stateIndex = nullptr;
}

// Lets go of the held module reference, if any, and of every address into it.
void ReleaseModule() {
  platform::FreeLibraryHandle(probe.probeModule);
  probe.probeModule = nullptr;
  ClearAddresses();
}

}  // namespace

void OpenProbe() {
  if (probe.probeUsers > 0) return;
  probe.probeUsers += 1;

  // With the count back at 0 from below, a module may still be held from an earlier open: this load
  // replaces it, so the probe never holds more than one reference.
  platform::LibraryHandle module = platform::LoadLibraryByName(kModuleName);
  ReleaseModule();
  if (module == nullptr) return;

  const uint64_t fileBytes = platform::FileSizeBytes(kModuleFile);
  const platform::LibraryImage image = platform::ImageOfLibrary(module);
  for (const KnownBuild& build : kKnownBuilds) {
    if (build.fileBytes != fileBytes) continue;
    // A build whose fixed places fall outside the loaded image is not the build we know.
    if (!BuildFitsImage(build, image)) break;
    probe.probeModule = module;
    probe.image = image;
    probe.lightsWord = image.base + build.lightsWordOffset;
    probe.failureList = image.base + build.failureListOffset;
    probe.stateTable = image.base + build.stateTableOffset;
    probe.stateIndex = image.base + build.stateIndexOffset;
    return;
  }
  platform::FreeLibraryHandle(module);
}

void CloseProbe() {
  probe.probeUsers -= 1;
  if (probe.probeUsers == 0) ReleaseModule();
}

int32_t ProbeLit() {
  if (probe.lightsWord == nullptr) return 1;
  return ReadU32(probe.lightsWord) != 0 ? 1 : 0;
}

int32_t ProbePowered() {
  if (probe.failureList == nullptr) return 1;
  // The list starts one byte after its place and ends at a zero byte, or at the image's end when the
  // module's memory holds no zero before it.
  const uint8_t* imageEnd = probe.image.base + probe.image.size;
  for (const uint8_t* code = probe.failureList + 1; code < imageEnd && *code != 0; ++code) {
    if (*code == kNoPowerCode) return 0;
  }
  return 1;
}

int32_t ProbeVsiValid() {
  const uint32_t index = probe.stateIndex != nullptr ? ReadU32(probe.stateIndex) : 0;
  if (probe.stateTable == nullptr) return 1;
  // The index comes from the module's memory: an entry outside the image gives the permissive answer.
  const size_t tableOffset = static_cast<size_t>(probe.stateTable - probe.image.base);
  const uint64_t entryOffset = uint64_t{tableOffset} + uint64_t{index} * 4;
  if (entryOffset > probe.image.size || probe.image.size - entryOffset < 4) return 1;
  const uint32_t state = ReadU32(probe.image.base + entryOffset);
  return state == kStateValidA || state == kStateValidB ? 1 : 0;
}

int32_t ProbeUsersForTest() { return probe.probeUsers; }

void ResetProbeForTest() {
  ReleaseModule();
  probe.probeUsers = 0;
}

}  // namespace kvr
