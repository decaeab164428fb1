// Random numbers that are the same on every machine and with every C++ library: a 64-bit string hash
// (FNV-1a) for seeds made from names, and a generator (SplitMix64) with its own uniform and Gaussian
// draws. The standard library's distributions and std::hash are free to differ between implementations,
// which would make a noisy evaluation give other figures elsewhere.
#pragma once

#include <cstdint>
#include <string_view>

namespace kvr::host {

// FNV-1a over the bytes of `text`, 64 bits.
uint64_t StableHash(std::string_view text);

class NoiseSource {
 public:
  explicit NoiseSource(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  // Uniform in [0, 1), in steps of 2^-53.
  double Uniform();
  // Standard normal (mean 0, deviation 1), by Marsaglia's polar method; the second value of each pair is
  // kept for the next call.
  double Gaussian();

 private:
  uint64_t state_;
  double spare_ = 0;
  bool hasSpare_ = false;
};

}  // namespace kvr::host
