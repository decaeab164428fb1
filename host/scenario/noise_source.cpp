#include "host/scenario/noise_source.h"

#include <cmath>

namespace kvr::host {

uint64_t StableHash(std::string_view text) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (const char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ull;
  }
  return h;
}

uint64_t NoiseSource::Next() {
  uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

double NoiseSource::Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

double NoiseSource::Gaussian() {
  if (hasSpare_) {
    hasSpare_ = false;
    return spare_;
  }
  double u, v, s;
  do {
    u = 2 * Uniform() - 1;
    v = 2 * Uniform() - 1;
    s = u * u + v * v;
  } while (s >= 1 || s == 0);
  const double scale = std::sqrt(-2 * std::log(s) / s);
  spare_ = v * scale;
  hasSpare_ = true;
  return u * scale;
}

}  // namespace kvr::host
