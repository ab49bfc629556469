// The key decoder on random bytes arriving at random times: it never reads
// out of bounds, never makes more keys than it was given bytes, gives every
// key as a character or as 0 and a code, and once the deadline it names has
// passed it holds nothing back (else the key wait would spin on a deadline
// in the past).

#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "platform/common/key_decoder.h"

namespace {

void Drain(KeyDecoder& decoder, int64_t now, size_t& keys) {
  PcKey key;
  while (decoder.Next(key, now)) {
    ++keys;
    FUZZ_CHECK(key.Char != 0 || key.Code != 0);
    FUZZ_CHECK(key.Char == 0 || key.Code == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The ESC delay, 0 to 255 ms; then chunks: a length (low 5 bits) and a
  // gap before it (the high 3 bits, in steps of 8 ms), then its bytes.
  KeyDecoder decoder(data[0]);
  size_t at = 1, fed = 0, keys = 0;
  int64_t now = 1000;
  while (at < size) {
    const uint8_t header = data[at++];
    const size_t length = std::min<size_t>(header & 31, size - at);
    now += (header >> 5) * 8;
    decoder.Feed(data + at, length, now);
    at += length;
    fed += length;
    Drain(decoder, now, keys);
    const int64_t deadline = decoder.Deadline();
    FUZZ_CHECK(deadline == -1 || deadline >= now);
    if (deadline >= 0 && (header & 1) != 0) {
      // Time passes up to the deadline: everything settles.
      now = deadline;
      Drain(decoder, now, keys);
      FUZZ_CHECK(decoder.Deadline() == -1);
    }
    FUZZ_CHECK(keys <= fed);
  }
  now += 20000;
  Drain(decoder, now, keys);
  FUZZ_CHECK(decoder.Deadline() == -1);
  FUZZ_CHECK(keys <= fed);
  return 0;
}
