// The host's side of loading a gauge module: the library mapped into the process (its static initialisation
// runs), its exported records found by name, and its resources, read as a simulator reads a DLL's.
//   POSIX:   dlopen/dlsym; the resources come from the module file's resource section.
//   Windows: LoadLibraryA/GetProcAddress; the resources through the module's handle (FindResourceA).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kvr::host::platform {

class ModuleLibrary {
 public:
  // Loads `path`. Throws std::runtime_error naming the file and the reason.
  explicit ModuleLibrary(const std::filesystem::path& path);
  ~ModuleLibrary();  // unloads: the module's static clean-up runs
  ModuleLibrary(const ModuleLibrary&) = delete;
  ModuleLibrary& operator=(const ModuleLibrary&) = delete;

  void* Handle() const { return library_; }
  void* Symbol(const char* name) const;  // null when not exported

  // Resources: bitmap by numeric id (a BITMAPINFOHEADER, palette and pixels), data by name (case does not
  // matter). Empty when absent.
  std::vector<uint8_t> Bitmap(uint32_t id) const;
  std::vector<uint8_t> Data(const std::string& name) const;
  size_t ResourceCount() const;

 private:
  void* library_ = nullptr;
  std::vector<uint8_t> resources_;  // POSIX: the module file's resource pack
};

}  // namespace kvr::host::platform
