#include "host/input_file.h"

#include <fstream>
#include <system_error>

namespace kvr::host {

std::string SizeText(uintmax_t bytes) {
  constexpr uintmax_t kMb = 1024 * 1024;
  return bytes >= kMb ? std::to_string(bytes / kMb) + " MB" : std::to_string(bytes) + " bytes";
}

void CheckInputFile(const std::filesystem::path& file, uintmax_t maxBytes) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(file, error);
  if (status.type() == fs::file_type::not_found) throw InputFileError("no such file");
  if (error) throw InputFileError("cannot be read: " + error.message());
  if (status.type() == fs::file_type::directory) throw InputFileError("is a folder, not a file");
  if (status.type() != fs::file_type::regular)
    throw InputFileError("is not a regular file (a device, a pipe or a socket cannot be read as input)");
  const uintmax_t size = fs::file_size(file, error);
  if (error) throw InputFileError("cannot be read: " + error.message());
  if (size > maxBytes)
    throw InputFileError("is " + SizeText(size) + ", more than the " + SizeText(maxBytes) + " such a file may hold");
}

std::string ReadInputFile(const std::filesystem::path& file, uintmax_t maxBytes) {
  CheckInputFile(file, maxBytes);
  std::ifstream in(file, std::ios::binary);
  if (!in) throw InputFileError("cannot be opened");
  std::string text;
  char block[65536];
  while (in.read(block, sizeof block) || in.gcount() > 0) {
    if (text.size() + static_cast<size_t>(in.gcount()) > maxBytes)
      throw InputFileError("grew past the " + SizeText(maxBytes) + " such a file may hold while being read");
    text.append(block, static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) throw InputFileError("cannot be read");
  return text;
}

}  // namespace kvr::host
