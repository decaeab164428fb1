// What happens while the module is loaded and unloaded: the FSUIPC link is opened during static
// initialisation (before the host reads Linkage) and closed at unload; the IVSI range starts at its first
// entry. On Windows the library entry routine answers success to every notification and does nothing.
#include "module/display/display.h"
#include "module/link/fsuipc.h"

namespace kvr {
namespace {

struct ModuleLifetime {
  ModuleLifetime() {
    OpenLinkAtLoad();
    selectedRangeNm = kRangeTableNm[0];
  }
  ~ModuleLifetime() { CloseLinkAtUnload(); }
};

ModuleLifetime lifetime;

}  // namespace
}  // namespace kvr
