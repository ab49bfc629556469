#pragma once
// Turns the bytes a terminal sends into PC keys. Pure: bytes and the time in,
// keys out. The decoder never reads a clock; the caller says what time it is.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "platform/console_device.h"

// The default wait before a lone ESC counts as the Esc key, in milliseconds.
constexpr int kDefaultEscDelayMs = 40;

// ESCDELAY as curses programs read it: milliseconds; an unset, empty or
// malformed value gives the default.
int EscDelayFromText(const std::string& value);

class KeyDecoder {
 public:
  explicit KeyDecoder(int escDelayMs = kDefaultEscDelayMs);

  // Appends bytes that arrived at time nowMs.
  void Feed(const uint8_t* bytes, size_t count, int64_t nowMs);

  // Takes the next decoded key, if any. A pending prefix (a lone ESC, or an
  // unfinished sequence) is settled once nowMs reaches Deadline().
  bool Next(PcKey& key, int64_t nowMs);

  // When an unfinished prefix is pending: the time at which Next settles it.
  // -1 when nothing is pending.
  int64_t Deadline() const;

 private:
  void Decode(bool timedOut);
  int escDelayMs_;
  std::string pending_;  // bytes not yet decoded
  int64_t lastByteMs_ = 0;
  std::deque<PcKey> keys_;
};
