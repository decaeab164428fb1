// kvr-panel's Windows commands: none beyond the shared ones. The voice plays through DirectSound and is not
// captured; the live window, the evaluation and the plots are Linux only.
#include "host/cli/commands.h"

namespace kvr::host {

std::vector<PlatformCommand> AddPlatformCommands(CLI::App&, std::filesystem::path&) { return {}; }

std::string PlatformHelpNote() {
  return "\nOn Windows: the voice plays through DirectSound and is not captured (no audio.wav); no panel.gif,\n"
         "no profile.png, and no live, encounters or eval commands.";
}

// DirectSound plays to the machine's device; there is no backend to choose.
void PrepareHeadless() {}

std::unique_ptr<RunExtras> RunExtras::Make(bool) { return std::make_unique<RunExtras>(); }

}  // namespace kvr::host
