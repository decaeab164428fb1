#include "host/platform/executable_dir.h"

namespace kvr::host::platform {

std::filesystem::path ExecutableDir() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::current_path() : self.parent_path();
}

}  // namespace kvr::host::platform
