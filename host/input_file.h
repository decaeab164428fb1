// Reading a file a user names as input (scenario, track, panel configuration, encounter, results, module):
// only a regular file is read, and only when its size is within a cap that the caller sets far above any
// real file of its kind, checked before a byte is read. A device (/dev/zero), a pipe or a folder is refused
// at once instead of being read without end, blocking, or failing deep inside a stream.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace kvr::host {

// The message is the reason alone ("is a folder, not a file"); callers add the file and line their own
// way.
class InputFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws InputFileError when `file` is missing, is not a regular file (after following links), or holds
// more than `maxBytes`.
void CheckInputFile(const std::filesystem::path& file, uintmax_t maxBytes);

// CheckInputFile, then the whole file; never more than `maxBytes`, even if the file grows meanwhile.
std::string ReadInputFile(const std::filesystem::path& file, uintmax_t maxBytes);

// "12 MB" for messages: whole megabytes at and above one, else bytes.
std::string SizeText(uintmax_t bytes);

}  // namespace kvr::host
