// kvr-pack-resources: builds the resource pack that the POSIX module carries in its ".kvr_resources"
// section, from the same resource scripts that the Windows resource compiler reads.
//
// Usage: kvr-pack-resources OUTPUT SCRIPT.rc...
// Script lines (paths relative to the script's folder; "//" starts a comment):
//   0x1000 BITMAP "bitmaps/1000.bmp"     a bitmap by id; the file's 14-byte BITMAPFILEHEADER is dropped
//   WAV_Climb WAVE "voices/WAV_Climb.wav" data by name
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "module/platform/resource_pack.h"

namespace fs = std::filesystem;
using namespace kvr::resource_pack;

namespace {

struct Resource {
  Entry entry{};
  std::vector<uint8_t> bytes;
};

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void ReadScript(const fs::path& script, std::vector<Resource>& resources) {
  std::ifstream in(script);
  if (!in) throw std::runtime_error(script.string() + ": cannot read");
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string where = script.string() + ":" + std::to_string(number) + ": ";
    if (auto comment = line.find("//"); comment != std::string::npos) line.erase(comment);
    std::istringstream words(line);
    std::string name, type, quoted;
    if (!(words >> name)) continue;
    if (!(words >> type >> quoted) || quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"')
      throw std::runtime_error(where + "expected: NAME-OR-ID TYPE \"file\"");
    const fs::path file = script.parent_path() / quoted.substr(1, quoted.size() - 2);
    Resource r;
    r.bytes = ReadFile(file);
    if (type == "BITMAP") {
      char* end = nullptr;
      const unsigned long id = std::strtoul(name.c_str(), &end, 0);
      if (*end != '\0') throw std::runtime_error(where + "bitmap id is not a number: " + name);
      if (r.bytes.size() < 14 + 40 || r.bytes[0] != 'B' || r.bytes[1] != 'M')
        throw std::runtime_error(where + file.string() + " is not a bitmap file");
      r.bytes.erase(r.bytes.begin(), r.bytes.begin() + 14);
      r.entry.kind = kKindBitmap;
      r.entry.id = static_cast<uint32_t>(id);
    } else {
      if (name.size() >= kNameBytes) throw std::runtime_error(where + "name longer than 47 characters");
      r.entry.kind = kKindData;
      std::memcpy(r.entry.name, name.data(), name.size());
    }
    resources.push_back(std::move(r));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::string(argv[1]) == "--help") {
    std::cout << "usage: kvr-pack-resources OUTPUT SCRIPT.rc...\n"
                 "Packs the bitmaps and data resources named by the scripts into one resource pack.\n";
    return argc < 2 ? 2 : 0;
  }
  try {
    std::vector<Resource> resources;
    for (int i = 2; i < argc; ++i) ReadScript(argv[i], resources);

    Header header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.count = static_cast<uint32_t>(resources.size());
    size_t offset = sizeof(Header) + resources.size() * sizeof(Entry);
    for (Resource& r : resources) {
      offset = (offset + 3) & ~size_t{3};
      r.entry.offset = static_cast<uint32_t>(offset);
      r.entry.size = static_cast<uint32_t>(r.bytes.size());
      offset += r.bytes.size();
    }
    std::vector<uint8_t> pack(offset, 0);
    std::memcpy(pack.data(), &header, sizeof header);
    for (size_t i = 0; i < resources.size(); ++i) {
      std::memcpy(pack.data() + sizeof(Header) + i * sizeof(Entry), &resources[i].entry, sizeof(Entry));
      std::memcpy(pack.data() + resources[i].entry.offset, resources[i].bytes.data(), resources[i].bytes.size());
    }
    header.checksum = Checksum({pack.data(), pack.size()});
    std::memcpy(pack.data(), &header, sizeof header);
    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(pack.data()), static_cast<std::streamsize>(pack.size()));
    if (!out) throw std::runtime_error(std::string(argv[1]) + ": cannot write");
    std::cout << "packed " << resources.size() << " resources, " << pack.size() << " bytes\n";
  } catch (const std::exception& e) {
    std::cerr << "kvr-pack-resources: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
