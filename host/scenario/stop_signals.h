// SIGINT and SIGTERM turned into a request to stop, which a long job (a run, an evaluation) checks between
// its steps: it then unwinds, and its destructors remove what it staged, instead of the process dying
// where it stands and leaving a staging folder behind. Once the job is cleaned up, Reraise ends the
// process by the same signal, so that the caller still sees it killed.
#pragma once

#include <stdexcept>

namespace kvr::host {

// What a job throws when a stop was requested.
class Stopped : public std::runtime_error {
 public:
  explicit Stopped(int signal);
  int Signal() const { return signal_; }

 private:
  int signal_;
};

class StopSignals {
 public:
  StopSignals();   // catches SIGINT and SIGTERM from now on
  ~StopSignals();  // gives them their previous handlers back
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The signal caught since the first guard was made; 0 when none.
  static int Caught();
  // Throws Stopped when a signal was caught.
  static void ThrowIfCaught();
  // Ends the process by `signal` with its default action.
  [[noreturn]] static void Reraise(int signal);

 private:
  void (*previousInt_)(int);
  void (*previousTerm_)(int);
};

}  // namespace kvr::host
