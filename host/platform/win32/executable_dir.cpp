#include <windows.h>

#include "host/platform/executable_dir.h"

namespace kvr::host::platform {

std::filesystem::path ExecutableDir() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::filesystem::current_path();
  return std::filesystem::path(std::string(path, length)).parent_path();
}

}  // namespace kvr::host::platform
