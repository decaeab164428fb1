// The built module file, located through the build's bin folder, for tests that load it as a host does.
#pragma once

#include <cstdlib>
#include <filesystem>

namespace kvr::testing {

// ctest sets KVR_BIN_DIR; run by hand, a test program finds the module beside itself.
inline std::filesystem::path BinDir() {
  if (const char* dir = std::getenv("KVR_BIN_DIR")) return dir;
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

inline std::filesystem::path ModuleFile() { return BinDir() / "KVR_TCAS.gau"; }

inline std::filesystem::path SourceDir() {
  if (const char* dir = std::getenv("KVR_SOURCE_DIR")) return dir;
  return KVR_SOURCE_DIR_DEFAULT;
}

}  // namespace kvr::testing
