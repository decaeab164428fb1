// Read-only file mapping on POSIX (open, fstat, mmap), through which recordings that are not built into the
// module are read. Regular files only; the descriptor is closed at once, the view stays until unmapped.
#include "module/platform/sound.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvr::platform {

bool MapFileReadOnly(const char* path, MappedFile& file) {
  file = {};
  if (path == nullptr) return false;
  const int descriptor = open(path, O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return false;
  struct stat status {};
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0) {
    close(descriptor);
    return false;
  }
  const auto size = static_cast<size_t>(status.st_size);
  void* view = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, descriptor, 0);
  close(descriptor);
  if (view == MAP_FAILED) return false;
  file = {static_cast<const uint8_t*>(view), size, view};
  return true;
}

void UnmapFile(MappedFile& file) {
  if (file.view != nullptr) munmap(file.view, file.size);
  file = {};
}

}  // namespace kvr::platform
