#pragma once

#include <cstdint>
#include <initializer_list>

// A set of the character codes 0 to 255: bit n of byte n / 8, lowest bit first.
struct KeySet {
  uint8_t Bits[32] = {};

  KeySet() = default;
  KeySet(std::initializer_list<uint8_t> keys) {
    for (uint8_t key : keys) Add(key);
  }
  void Add(uint8_t key) { Bits[key / 8] |= static_cast<uint8_t>(1u << (key % 8)); }
  bool Contains(uint8_t key) const { return (Bits[key / 8] >> (key % 8)) & 1u; }
};
