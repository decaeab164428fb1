// The Windows files themselves, as built by the win32 preset: what a simulator's loader sees. Exactly two
// named exports; Avertine imported by the eight ordinals only; nothing but system DLLs besides; the
// bitmaps and voices in the resource directory; ImportTable, Linkage and the gauge headers with the
// 32-bit layout. Prints what it found, so that a run shows the check's outcome, not only its verdict.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <set>

#include "tests/pe/module_facts.h"
#include "tests/pe/pe_file.h"

namespace kvr::pe {
namespace {

namespace fs = std::filesystem;

// build/win32/bin by default; KVR_WIN32_BIN_DIR names another. Without the files the check is skipped,
// unless KVR_REQUIRE_WIN32 is set (the README's test command sets it, having built them).
fs::path Win32Bin() {
  if (const char* dir = std::getenv("KVR_WIN32_BIN_DIR")) return dir;
  return fs::path(KVR_SOURCE_DIR_DEFAULT) / "build/win32/bin";
}

class PeCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(Win32Bin() / "KVR_TCAS.gau")) {
      if (std::getenv("KVR_REQUIRE_WIN32") != nullptr) FAIL() << "no " << (Win32Bin() / "KVR_TCAS.gau");
      GTEST_SKIP() << "build the win32 preset first: " << Win32Bin();
    }
  }
  static std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  }
};

TEST_F(PeCheck, TheModuleExportsTwoRecordsAndImportsAvertineByTheEightOrdinals) {
  PeFile module(Win32Bin() / "KVR_TCAS.gau");
  EXPECT_EQ(module.Machine(), 0x14C);
  EXPECT_TRUE(module.Is32Bit());
  std::set<std::string> names;
  for (const auto& [name, rva] : module.NamedExports()) names.insert(name);
  EXPECT_EQ(names, (std::set<std::string>{"ImportTable", "Linkage"}));
  std::cout << "KVR_TCAS.gau: i386 PE32 DLL; named exports:";
  for (const std::string& name : names) std::cout << ' ' << name;
  std::cout << " (" << module.ExportedOrdinals().size() << " in all)\n";

  const std::set<std::string> system = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "DSOUND.DLL", "MSVCRT.DLL"};
  bool sawAvertine = false;
  for (const Import& dll : module.Imports()) {
    std::cout << "  imports " << dll.dll << ": " << dll.names.size() << " by name, ordinals";
    for (uint32_t ordinal : dll.ordinals) std::cout << ' ' << ordinal;
    std::cout << '\n';
    if (Upper(dll.dll) == "AVERTINE.DLL") {
      sawAvertine = true;
      std::vector<uint32_t> ordinals = dll.ordinals;
      std::sort(ordinals.begin(), ordinals.end());
      EXPECT_EQ(ordinals, (std::vector<uint32_t>{1, 2, 3, 8, 12, 13, 14, 15}));
      EXPECT_TRUE(dll.names.empty());
    } else {
      EXPECT_TRUE(system.count(Upper(dll.dll))) << "not a system DLL: " << dll.dll;
    }
  }
  EXPECT_TRUE(sawAvertine);
}

TEST_F(PeCheck, AvertineExportsItsOrdinalsAndNeedsOnlySystemDlls) {
  PeFile avertine(Win32Bin() / "Avertine.dll");
  EXPECT_EQ(avertine.ExportedOrdinals(), (std::vector<uint32_t>{1, 2, 3, 8, 12, 13, 14, 15, 16, 17}));
  EXPECT_EQ(avertine.NamedExports().size(), 2u);
  EXPECT_EQ(avertine.NamedExports().count("AvertineLatestAdvisory"), 1u);
  EXPECT_EQ(avertine.NamedExports().count("AvertineSensitivityLevel"), 1u);
  for (const Import& dll : avertine.Imports())
    EXPECT_TRUE(Upper(dll.dll) == "KERNEL32.DLL" || Upper(dll.dll) == "MSVCRT.DLL") << dll.dll;
  std::cout << "Avertine.dll: ordinals 1 2 3 8 12 13 14 15 by number only, 16 and 17 also by name\n";
}

TEST_F(PeCheck, TheResourcesHoldSixteenBitmapsAndSixteenVoices) {
  PeFile module(Win32Bin() / "KVR_TCAS.gau");
  const std::vector<Resource> resources = module.Resources();
  int bitmaps = 0, voices = 0;
  for (const module_facts::BitmapFact& fact : module_facts::kBitmaps) {
    auto found = std::find_if(resources.begin(), resources.end(),
                              [&](const Resource& r) { return r.type == 2 && r.id == fact.id; });
    ASSERT_NE(found, resources.end()) << std::hex << fact.id;
    const std::vector<uint8_t>& b = found->bytes;
    ASSERT_GE(b.size(), 40u);
    auto word = [&](int at) {
      return static_cast<int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24);
    };
    EXPECT_EQ(word(4), fact.width) << std::hex << fact.id;
    EXPECT_EQ(word(8), fact.height) << std::hex << fact.id;
    EXPECT_EQ(b[14], fact.bits) << std::hex << fact.id;
    EXPECT_EQ(word(16) != 0, fact.runLength) << std::hex << fact.id;
    ++bitmaps;
  }
  for (const char* voice : module_facts::kVoices) {
    auto found = std::find_if(resources.begin(), resources.end(),
                              [&](const Resource& r) { return r.type == 10 && r.name == Upper(voice); });
    ASSERT_NE(found, resources.end()) << voice;
    const std::string head(found->bytes.begin(), found->bytes.begin() + std::min<size_t>(12, found->bytes.size()));
    EXPECT_EQ(head.substr(0, 4), "RIFF") << voice;
    EXPECT_EQ(head.substr(8, 4), "WAVE") << voice;
    ++voices;
  }
  EXPECT_EQ(std::count_if(resources.begin(), resources.end(), [](const Resource& r) { return r.type == 2; }), 16);
  EXPECT_EQ(std::count_if(resources.begin(), resources.end(), [](const Resource& r) { return r.type == 10; }), 16);
  std::cout << "resources: " << bitmaps << " bitmaps of the stated sizes and formats, " << voices
            << " RIFF WAVE voices by name\n";
}

TEST_F(PeCheck, LinkageAndTheGaugeHeadersHaveThe32BitLayout) {
  PeFile module(Win32Bin() / "KVR_TCAS.gau");
  const auto exports = module.NamedExports();
  const uint32_t imports = exports.at("ImportTable"), linkage = exports.at("Linkage");
  EXPECT_EQ(module.WordAt(imports), 0x0Fu);
  EXPECT_EQ(module.WordAt(imports + 4), 0u);
  EXPECT_EQ(module.WordAt(imports + 8), 0u);
  EXPECT_EQ(module.WordAt(linkage), 0x13u);
  EXPECT_EQ(module.WordAt(linkage + 20), 0x900u);
  EXPECT_EQ(module.WordAt(linkage + 56), 0u);
  const auto rvaOf = [&](uint32_t address) { return static_cast<uint32_t>(address - module.ImageBase()); };
  const char* names[] = {"IVSI", "IVSI2", "IVSI3", "IVSIb", "IVSI2b", "IVSI3b", "Transponder", "Logic"};
  const uint32_t widths[] = {158, 158, 158, 158, 158, 158, 228, 1};
  std::cout << "Linkage at rva 0x" << std::hex << linkage << ", ImportTable at 0x" << imports << std::dec
            << "; headers:";
  for (int i = 0; i < 8; ++i) {
    const uint32_t header = rvaOf(module.WordAt(linkage + 24 + 4 * i));
    EXPECT_EQ(module.WordAt(header), 0x320u) << names[i];
    EXPECT_EQ(module.TextAt(rvaOf(module.WordAt(header + 4))), names[i]);
    EXPECT_EQ(module.WordAt(header + 44), widths[i]) << names[i];
    for (int routine = 1; routine < 7; ++routine)  // the seven routines are shared by every header
      EXPECT_EQ(module.WordAt(header + 12 + 4 * routine),
                module.WordAt(rvaOf(module.WordAt(linkage + 24)) + 12 + 4 * routine));
    EXPECT_NE(module.WordAt(header + 84), 0u) << names[i];           // callback
    EXPECT_EQ(module.WordAt(header + 88), 0u) << names[i];           // user data
    EXPECT_EQ(module.WordAt(header + 80) == 0, i == 7) << names[i];  // mouse areas, none for Logic
    std::cout << ' ' << names[i] << '(' << module.WordAt(header + 44) << ')';
  }
  std::cout << '\n';
}

}  // namespace
}  // namespace kvr::pe
