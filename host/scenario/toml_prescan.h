// A look over a TOML text before it is parsed, for the two things the parser cannot be trusted with: how
// deep tables, dotted keys, arrays and inline tables nest (toml++ follows a key of 50,000 dotted parts by
// recursion until the stack runs out), and how many [[name]] tables there are (each costs memory long
// before a count after parsing could refuse them). One pass, no recursion; it does not judge the syntax,
// which the parser then reports.
#pragma once

#include <string_view>

namespace kvr::host {

struct TomlPreScan {
  int tooDeepLine = 0;  // the first line nesting deeper than the limit; 0 when none does
  int tooManyLine = 0;  // the line of the first [[name]] header past the count; 0 when none is
};

// Depth counts each part of a table header and of a key, and each array or inline table a value opens.
TomlPreScan PreScanToml(std::string_view text, int maxDepth, std::string_view arrayName, int maxCount);

}  // namespace kvr::host
