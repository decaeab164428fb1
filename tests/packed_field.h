// The records shared with a panel host are 4-byte packed, so on 64-bit targets their address fields may
// sit at addresses that are not multiples of 8. GoogleTest's assertions take their arguments by reference,
// and a reference may not bind to such a field; Field() hands the assertion a copy instead.
#pragma once

namespace kvr::testing {

template <typename T>
T Field(T value) {
  return value;
}

}  // namespace kvr::testing
