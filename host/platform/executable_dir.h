// The folder of the running program: where kvr-panel looks for the module by default.
#pragma once

#include <filesystem>

namespace kvr::host::platform {

// The running program's folder; the current folder when it cannot be found.
std::filesystem::path ExecutableDir();

}  // namespace kvr::host::platform
