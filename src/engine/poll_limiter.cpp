#include "engine/poll_limiter.h"

#include <algorithm>

namespace artnet {

void PollAnswerLimiter::Bucket::Refill(double burst, double perSecond, double now) {
  // The monotonic clock never runs backwards; a bucket made before the
  // first reading is simply full.
  const double elapsed = std::max(0.0, now - updated);
  tokens = std::min(burst, tokens + elapsed * perSecond);
  updated = now;
}

bool PollAnswerLimiter::Bucket::Take() {
  if (tokens < 1) return false;
  tokens -= 1;
  return true;
}

bool PollAnswerLimiter::Allow(std::uint32_t sender, double now) {
  Entry* idle = nullptr;
  for (Entry& entry : entries_) {
    if (!entry.used) {
      if (idle == nullptr) idle = &entry;
      continue;
    }
    entry.bucket.Refill(kBurst, kRefillPerSecond, now);
    if (entry.sender == sender) {
      entry.regular = true;
      entry.lastPoll = now;
      if (entry.bucket.Take()) return true;
      ++refused_;
      return false;
    }
    const bool keep = entry.regular && now - entry.lastPoll < kRegularForSeconds;
    if (idle == nullptr && !keep && entry.bucket.tokens >= kBurst) idle = &entry;
  }
  if (idle != nullptr) {
    // A sender not in the table has a full bucket.
    *idle = Entry{sender, true, false, now, Bucket{kBurst - 1, now}};
    return true;
  }
  overflow_.Refill(kOverflowBurst, kOverflowPerSecond, now);
  if (overflow_.Take()) return true;
  ++refused_;
  return false;
}

}  // namespace artnet
