// Input files: only a regular file within its size cap is read; a folder, a device or a pipe is refused
// at once, before a byte is read (a pipe with no writer would otherwise block for ever).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/input_file.h"

namespace kvr::host {
namespace {

namespace fs = std::filesystem;

TEST(InputFile, OnlyARegularFileWithinItsCapIsRead) {
  const fs::path dir = fs::temp_directory_path() / ("kvr_input_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "ten.txt") << "0123456789";
  ASSERT_EQ(::mkfifo((dir / "pipe.csv").c_str(), 0600), 0);
  EXPECT_EQ(ReadInputFile(dir / "ten.txt", 10), "0123456789");

  const struct {
    fs::path file;
    uintmax_t maxBytes;
    const char* reason;
  } cases[] = {
      {dir / "missing.txt", 100, "no such file"},
      {dir, 100, "is a folder, not a file"},
      {dir / "pipe.csv", 100, "is not a regular file"},
      {"/dev/zero", 100, "is not a regular file"},
      {dir / "ten.txt", 9, "is 10 bytes, more than the 9 bytes such a file may hold"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.string());
    try {
      ReadInputFile(c.file, c.maxBytes);
      ADD_FAILURE() << "read";
    } catch (const InputFileError& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kvr::host
