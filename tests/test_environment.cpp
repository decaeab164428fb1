// Linked into every test program: OpenAL plays into its null backend unless a test chooses another (the
// sound tests capture into a file), so that no test depends on, or prints about, a sound card.
#include <stdlib.h>

#ifndef _WIN32
namespace {
const int kQuietSound = setenv("ALSOFT_DRIVERS", "null", /*overwrite=*/0);
}
#endif
