// Compiled, not run: for the 32-bit Windows target the records that cross a binary boundary must have the
// sizes and offsets of the 32-bit layout. The headers assert them; this file makes the compiler check.
#include "module/gauge/panel_sdk.h"

static_assert(sizeof(void*) == 4, "compile this file for the 32-bit target");
static_assert(sizeof(kvr::GaugeHeader) == 208);

#if __has_include("avertine/avertine.h")
#include "avertine/avertine.h"
#endif

int main() { return 0; }
