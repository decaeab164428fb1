// Compiled, not run: for the 64-bit Windows twin the records that cross a binary boundary must have the
// simulator's public 64-bit layout (4-byte packing, a 32-byte table header). The headers assert it.
#include "module/gauge/panel_sdk.h"

static_assert(sizeof(void*) == 8, "compile this file for the 64-bit target");
static_assert(sizeof(kvr::VariableRecord) == 32);

int main() { return 0; }
