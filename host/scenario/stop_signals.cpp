#include "host/scenario/stop_signals.h"

#include <csignal>
#include <cstdlib>
#include <string>

namespace kvr::host {
namespace {

volatile std::sig_atomic_t caught = 0;

extern "C" void OnStopSignal(int signal) { caught = signal; }

}  // namespace

Stopped::Stopped(int signal)
    : std::runtime_error(std::string("stopped by ") + (signal == SIGINT    ? "SIGINT"
                                                       : signal == SIGTERM ? "SIGTERM"
                                                                           : "a signal")),
      signal_(signal) {}

StopSignals::StopSignals()
    : previousInt_(std::signal(SIGINT, OnStopSignal)), previousTerm_(std::signal(SIGTERM, OnStopSignal)) {}

StopSignals::~StopSignals() {
  std::signal(SIGINT, previousInt_ == SIG_ERR ? SIG_DFL : previousInt_);
  std::signal(SIGTERM, previousTerm_ == SIG_ERR ? SIG_DFL : previousTerm_);
}

int StopSignals::Caught() { return caught; }

void StopSignals::ThrowIfCaught() {
  if (caught != 0) throw Stopped(caught);
}

void StopSignals::Reraise(int signal) {
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  std::_Exit(128 + signal);  // where the default action does not end the process
}

}  // namespace kvr::host
