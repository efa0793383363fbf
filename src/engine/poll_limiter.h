#pragma once

#include <array>
#include <cstdint>

namespace artnet {

// Caps the ArtPollReply answers one sender can draw: a 14-byte poll buys a
// 239-byte answer, so an unchecked stream of polls (possibly with a forged
// sender) turns us into an amplifier. Each sender has a token bucket; a
// controller polling every few seconds never empties it.
//
// Memory is a fixed table. A sender whose bucket has refilled carries no
// state worth keeping, so its slot may go to another, unless it is a regular:
// it polled more than once and recently. Regulars thus keep their own bucket
// even while a flood of forged addresses churns the rest of the table. When
// no slot is free, a newcomer is answered from one shared bucket.
class PollAnswerLimiter {
 public:
  static constexpr int kSenders = 64;
  static constexpr double kBurst = 8;            // answers a sender may draw at once
  static constexpr double kRefillPerSecond = 2;  // sustained answers per second per sender
  static constexpr double kOverflowBurst = 16;
  static constexpr double kOverflowPerSecond = 8;
  static constexpr double kRegularForSeconds = 15;  // how long a regular's slot is kept after its last poll

  // Whether a poll from `sender` (IPv4, any byte order, used as a key) at
  // monotonic time `now` (seconds) may be answered; charges one answer if so.
  bool Allow(std::uint32_t sender, double now);

  int Refused() const { return refused_; }

 private:
  struct Bucket {
    double tokens = 0;
    double updated = 0;
    void Refill(double burst, double perSecond, double now);
    bool Take();
  };
  struct Entry {
    std::uint32_t sender = 0;
    bool used = false;
    bool regular = false;  // polled at least twice
    double lastPoll = 0;
    Bucket bucket;
  };

  std::array<Entry, kSenders> entries_{};
  Bucket overflow_{kOverflowBurst, 0};
  int refused_ = 0;
};

}  // namespace artnet
