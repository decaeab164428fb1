// The aircraft-systems probe: power, lighting and vertical-speed validity read from fixed places in the
// companion systems module "Korvel.dll" when one of its two known builds is loaded. Without the module, or
// with a build it does not know, every answer is the permissive 1 (lit, powered, valid).
//
// One module-wide instance; every function is called on the simulator's panel thread only.
#pragma once

#include <cstdint>

namespace kvr {

// Counts one user in; the first user (count coming up from 0 or below) loads the module and recognises
// its build by the size of "modules/Korvel.dll" under the working directory.
void OpenProbe();

// Counts one user out; when the count comes back to 0 the module is released and every answer is 1.
// More closes than opens take the count below 0; the next OpenProbe then loads again.
void CloseProbe();

int32_t ProbeLit();       // 1 while the module's lights word is non-zero (or no module), else 0
int32_t ProbePowered();   // 0 when the module's failure list holds code 21, else 1
int32_t ProbeVsiValid();  // 1 when the indexed state value is 2 or 5 (or no module), else 0

// ---- Test-only -----------------------------------------------------------------------------------------
// Not for the gauges: let tests observe the open count and start each case from the closed state.

int32_t ProbeUsersForTest();

// Releases the module if one is held and returns to the initial state (count 0, no addresses).
void ResetProbeForTest();

}  // namespace kvr
