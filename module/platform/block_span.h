// Cutting a block copy to the pixels a surface has, for the drawing layers of both platforms. A block's
// coordinates are taken in 64 bits, so that no start plus size can overflow.
#pragma once

#include <algorithm>
#include <cstdint>

namespace kvr::platform {

// Cuts one axis of a block to [0, limit) on one side: `at` is the block's start on that side, `other` its
// start on the other side (moved along with it), `size` its extent.
inline void CutSpan(int64_t& at, int64_t& other, int64_t& size, int64_t limit) {
  if (at < 0) {
    other -= at;
    size += at;
    at = 0;
  }
  size = std::min(size, limit - at);
}

}  // namespace kvr::platform
