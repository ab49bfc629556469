#include "update/formats/record_encodings.h"

#include <algorithm>
#include <bit>

void CopyLenStr(uint8_t* target, size_t capacity, const uint8_t* source, const uint8_t* sourceEnd) {
  const size_t available = static_cast<size_t>(sourceEnd - (source + 1));
  const size_t length = std::min<size_t>({source[0], capacity, available});
  std::memcpy(target + 1, source + 1, length);
  target[0] = static_cast<uint8_t>(length);
}

double Real6ToDouble(const uint8_t* real6) {
  const uint64_t exponent = real6[0];
  if (exponent == 0) return 0.0;
  uint64_t fraction = 0;
  for (int i = 5; i >= 1; --i) fraction = (fraction << 8) | real6[i];
  const uint64_t sign = (fraction >> 39) & 1;
  fraction &= (uint64_t{1} << 39) - 1;
  const uint64_t bits = (sign << 63) | ((exponent + 894) << 52) | (fraction << 13);
  return std::bit_cast<double>(bits);
}

void StoreDouble(uint8_t* target, double value) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  for (int i = 0; i < 8; ++i) target[i] = static_cast<uint8_t>(bits >> (8 * i));
}
