// What eval resumes and merges from, over any text: each line as a row of results.csv, which reads back
// exactly as it is written again, or is refused with a reason; the whole as eval_run.txt, which reads or is
// refused with the file and line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

#include "host/eval/eval_runner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    try {
      const std::string written = kvr::host::ResultLine(kvr::host::ParseResultLine(line, "fuzz.csv:2"));
      if (kvr::host::ResultLine(kvr::host::ParseResultLine(written, "written")) != written) std::abort();
    } catch (const std::runtime_error&) {
    }
  }
  try {
    kvr::host::ParseRecord(text, "eval_run.txt");
  } catch (const std::runtime_error&) {
  }
  return 0;
}
