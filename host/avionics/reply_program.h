// The outside program a transponder head talks to through four FSUIPC bytes, standing in for the
// simulator's surroundings that interrogate the transponder:
//
//   0x7B90  heads installed (each head adds 1 at installation, takes 1 at disconnection)   read here
//   0x7B91  1 while the head is in test or standby: no replies then                          read here
//   0x7B92  reply request: set to 1 here as interrogations arrive; the head clears it         written here
//   0x7B93  ident: the head writes 1; cleared here at once and counted                         written here
//
// Interrogations arrive at a settable rate, deterministic in simulated time: after Advance has covered
// n / rate seconds, n interrogations have arrived. One that arrives while no head is installed or the
// head is in standby raises nothing.
#pragma once

#include <cstdint>
#include <optional>

#include "host/fsuipc/fsuipc_server.h"

namespace kvr::host {

class TransponderReplyProgram {
 public:
  static constexpr uint32_t kHeadCountOffset = 0x7B90;
  static constexpr uint32_t kStandbyOffset = 0x7B91;
  static constexpr uint32_t kReplyRequestOffset = 0x7B92;
  static constexpr uint32_t kIdentOffset = 0x7B93;

  // Takes the server's write hook (to answer IDENT as soon as it is written). Destroy before `server`.
  explicit TransponderReplyProgram(FsuipcServer& server);
  ~TransponderReplyProgram();  // leaves the server without a write hook
  TransponderReplyProgram(const TransponderReplyProgram&) = delete;
  TransponderReplyProgram& operator=(const TransponderReplyProgram&) = delete;

  // Interrogations per second; 0 (the start), a negative or a non-finite rate stops them.
  void SetInterrogationRate(double perSecond);
  double InterrogationRate() const { return ratePerS_; }

  // Moves simulated time on by `seconds` (negative or non-finite: ignored) and raises a reply request
  // for the interrogations that arrived meanwhile.
  void Advance(double seconds);
  double TimeS() const { return timeS_; }

  int Heads() const;     // the head count byte as it stands
  bool Standby() const;  // the standby byte is non-zero

  uint64_t Interrogations() const { return interrogations_; }  // arrived, replied to or not
  uint64_t RequestsRaised() const { return requestsRaised_; }  // times 0x7B92 was set
  uint64_t Idents() const { return idents_; }
  std::optional<double> LastIdentTimeS() const { return lastIdentTimeS_; }

 private:
  void OnWrites(std::span<const FsuipcWrite> writes);

  FsuipcServer& server_;
  double ratePerS_ = 0;
  double phase_ = 0;  // fraction of the next interrogation's interval already passed
  double timeS_ = 0;
  uint64_t interrogations_ = 0;
  uint64_t requestsRaised_ = 0;
  uint64_t idents_ = 0;
  std::optional<double> lastIdentTimeS_;
};

}  // namespace kvr::host
