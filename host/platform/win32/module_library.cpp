// Module libraries on Windows: LoadLibraryA and GetProcAddress, and the resources through the module's
// handle, found as the module finds its own (module/platform/win32/resource_lookup.h).
#include <windows.h>

#include <stdexcept>
#include <string>

#include "host/platform/module_library.h"
#include "module/platform/win32/resource_lookup.h"

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

std::vector<uint8_t> Copy(std::span<const uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }

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
  return Copy(::kvr::platform::FindBitmapBytes(static_cast<HMODULE>(library_), id));
}

std::vector<uint8_t> ModuleLibrary::Data(const std::string& name) const {
  return Copy(::kvr::platform::FindDataBytes(static_cast<HMODULE>(library_), name.c_str()));
}

size_t ModuleLibrary::ResourceCount() const {
  size_t count = 0;
  for (WORD type : {::kvr::platform::kBitmapResourceType, ::kvr::platform::kDataResourceType})
    EnumResourceNamesA(static_cast<HMODULE>(library_), MAKEINTRESOURCEA(type), CountName,
                       reinterpret_cast<LONG_PTR>(&count));
  return count;
}

}  // namespace kvr::host::platform
