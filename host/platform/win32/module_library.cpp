// Module libraries on Windows: LoadLibraryA and GetProcAddress, and the resources through the module's
// handle: bitmaps are resource type 2 by numeric id, data is RCDATA by name (matched without regard to case).
#include <windows.h>

#include <stdexcept>
#include <string>

#include "host/platform/module_library.h"

namespace kvr::host::platform {
namespace {

std::string LastError() {
  char text[256] = {};
  const DWORD code = GetLastError();
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                 nullptr);
  std::string message = text;
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  return message.empty() ? "error " + std::to_string(code) : message;
}

std::vector<uint8_t> Find(HMODULE module, LPCSTR name, LPCSTR type) {
  HRSRC resource = FindResourceA(module, name, type);
  HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
  const auto* bytes = static_cast<const uint8_t*>(loaded != nullptr ? LockResource(loaded) : nullptr);
  if (bytes == nullptr) return {};
  return {bytes, bytes + SizeofResource(module, resource)};
}

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR, LONG_PTR count) {
  ++*reinterpret_cast<size_t*>(count);
  return TRUE;
}

}  // namespace

ModuleLibrary::ModuleLibrary(const std::filesystem::path& path) {
  library_ = LoadLibraryA(path.string().c_str());
  if (library_ == nullptr) throw std::runtime_error(path.string() + ": cannot load: " + LastError());
}

ModuleLibrary::~ModuleLibrary() { FreeLibrary(static_cast<HMODULE>(library_)); }

void* ModuleLibrary::Symbol(const char* name) const {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library_), name));
}

std::vector<uint8_t> ModuleLibrary::Bitmap(uint32_t id) const {
  if (id == 0 || id > 0xFFFF) return {};
  return Find(static_cast<HMODULE>(library_), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2));
}

std::vector<uint8_t> ModuleLibrary::Data(const std::string& name) const {
  if (name.empty()) return {};
  return Find(static_cast<HMODULE>(library_), name.c_str(), MAKEINTRESOURCEA(10));
}

size_t ModuleLibrary::ResourceCount() const {
  size_t count = 0;
  for (LPCSTR type : {MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(10)})
    EnumResourceNamesA(static_cast<HMODULE>(library_), type, CountName, reinterpret_cast<LONG_PTR>(&count));
  return count;
}

}  // namespace kvr::host::platform
