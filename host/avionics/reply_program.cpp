#include "host/avionics/reply_program.h"

#include <algorithm>
#include <cmath>

namespace kvr::host {

namespace {

// Keeps n intervals of 1 / rate seconds, summed in floating point, from falling just short of n.
constexpr double kPhaseTolerance = 1e-9;
// Most interrogations counted in one step, so that an absurd rate cannot overflow the counter.
constexpr double kMostArrivals = 1e15;

}  // namespace

TransponderReplyProgram::TransponderReplyProgram(FsuipcServer& server) : server_(server) {
  server_.SetWriteHook([this](std::span<const FsuipcWrite> writes) { OnWrites(writes); });
}

TransponderReplyProgram::~TransponderReplyProgram() { server_.SetWriteHook(nullptr); }

void TransponderReplyProgram::SetInterrogationRate(double perSecond) {
  ratePerS_ = std::isfinite(perSecond) && perSecond > 0 ? perSecond : 0;
}

void TransponderReplyProgram::Advance(double seconds) {
  if (!std::isfinite(seconds) || seconds <= 0) return;
  timeS_ += seconds;
  phase_ += seconds * ratePerS_;
  const double arrived = std::min(std::floor(phase_ + kPhaseTolerance), kMostArrivals);
  if (arrived < 1) return;
  phase_ = std::isfinite(phase_) ? std::max(0.0, phase_ - arrived) : 0.0;
  interrogations_ += static_cast<uint64_t>(arrived);
  if (Heads() == 0 || Standby()) return;
  server_.Poke<uint8_t>(kReplyRequestOffset, 1);
  ++requestsRaised_;
}

int TransponderReplyProgram::Heads() const { return server_.Peek<uint8_t>(kHeadCountOffset); }

bool TransponderReplyProgram::Standby() const { return server_.Peek<uint8_t>(kStandbyOffset) != 0; }

void TransponderReplyProgram::OnWrites(std::span<const FsuipcWrite> writes) {
  for (const FsuipcWrite& write : writes) {
    const bool touchesIdent = write.offset <= kIdentOffset && uint64_t{write.offset} + write.size > kIdentOffset;
    if (!touchesIdent || server_.Peek<uint8_t>(kIdentOffset) == 0) continue;
    server_.Poke<uint8_t>(kIdentOffset, 0);
    ++idents_;
    lastIdentTimeS_ = timeS_;
  }
}

}  // namespace kvr::host
