#include "host/cli/commands.h"

#include <iostream>
#include <new>

namespace kvr::host {

std::string Reason(const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr)
    return "out of memory: the input asks for more than this machine can give";
  return e.what();
}

int ReportFailure(const std::function<int()>& command) {
  try {
    return command();
  } catch (const std::exception& e) {
    std::cerr << "kvr-panel: " << Reason(e) << "\n";
    return 1;
  }
}

}  // namespace kvr::host
