// Helpers shared by the sound tests: RIFF WAVE images built chunk by chunk, exact-size copies (so that
// AddressSanitizer sees any read past the end), and a scratch directory made the working directory.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace kvr::test {

using Bytes = std::vector<uint8_t>;

inline void PutU16(Bytes& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void PutU32(Bytes& out, uint32_t value) {
  PutU16(out, static_cast<uint16_t>(value));
  PutU16(out, static_cast<uint16_t>(value >> 16));
}

struct Chunk {
  std::string id;  // four characters
  Bytes payload;
  std::optional<uint32_t> claimedLength;  // the length field, when it is to lie
};

// "RIFF", the RIFF length (the true one unless given), "WAVE", then each chunk with its pad byte.
inline Bytes RiffWave(const std::vector<Chunk>& chunks, std::optional<uint32_t> riffLength = {}) {
  Bytes body;
  for (const Chunk& chunk : chunks) {
    body.insert(body.end(), chunk.id.begin(), chunk.id.end());
    PutU32(body, chunk.claimedLength.value_or(static_cast<uint32_t>(chunk.payload.size())));
    body.insert(body.end(), chunk.payload.begin(), chunk.payload.end());
    if (chunk.payload.size() % 2 == 1) body.push_back(0);
  }
  Bytes image = {'R', 'I', 'F', 'F'};
  PutU32(image, riffLength.value_or(static_cast<uint32_t>(4 + body.size())));
  image.insert(image.end(), {'W', 'A', 'V', 'E'});
  image.insert(image.end(), body.begin(), body.end());
  return image;
}

// A wave format record of `bytes` bytes (14 leaves out bits per sample; more adds zeros).
inline Bytes FormatRecord(uint16_t tag = 1, uint16_t channels = 1, uint32_t rate = 8000, uint16_t bits = 16,
                          size_t bytes = 16) {
  Bytes out;
  const auto align = static_cast<uint16_t>(channels * bits / 8);
  PutU16(out, tag);
  PutU16(out, channels);
  PutU32(out, rate);
  PutU32(out, rate * align);
  PutU16(out, align);
  PutU16(out, bits);
  out.resize(bytes, 0);
  return out;
}

inline Chunk FormatChunk(size_t bytes = 16) { return {"fmt ", FormatRecord(1, 1, 8000, 16, bytes), {}}; }

// A heap block of exactly the image's size.
struct ExactCopy {
  explicit ExactCopy(const Bytes& image) : size(image.size()), data(new uint8_t[image.size()]) {
    if (size != 0) std::memcpy(data.get(), image.data(), size);
  }
  size_t size;
  std::unique_ptr<uint8_t[]> data;
};

inline void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The repository root: KVR_SOURCE_DIR when the test runs under ctest, the configured one otherwise.
inline std::filesystem::path SourceDir() {
  const char* fromEnvironment = std::getenv("KVR_SOURCE_DIR");
  return fromEnvironment != nullptr ? fromEnvironment : KVR_DEFAULT_SOURCE_DIR;
}

// A new, empty directory under the system's temporary folder, named `prefix` and random digits.
inline std::filesystem::path NewTemporaryDirectory(const std::string& prefix) {
  std::random_device random;
  for (;;) {
    auto path = std::filesystem::temp_directory_path() / (prefix + std::to_string(random()));
    if (std::filesystem::create_directory(path)) return path;
  }
}

inline std::filesystem::path VoicesDir() { return SourceDir() / "module/resources/voices"; }

// A fresh directory that is the working directory while this lives.
class ScratchDirectory {
 public:
  ScratchDirectory() : previous_(std::filesystem::current_path()), path_(NewTemporaryDirectory("kvr_sound_")) {
    std::filesystem::current_path(path_);
  }
  ~ScratchDirectory() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

}  // namespace kvr::test
