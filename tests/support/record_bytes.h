#pragma once
// Records built field by field at their offsets, for the record conversion
// tests, and a byte comparison that names the offsets that differ.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

class RecordBytes {
 public:
  explicit RecordBytes(size_t size, uint8_t fill = 0) : bytes_(size, fill) {}

  // A counted text: the length byte, then the characters.
  RecordBytes& Text(size_t offset, const std::string& text) {
    return Length(offset, static_cast<uint8_t>(text.size())).Chars(offset + 1, text);
  }
  // A length byte alone, such as a damaged one.
  RecordBytes& Length(size_t offset, uint8_t length) { return Byte(offset, length); }
  RecordBytes& Chars(size_t offset, const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) bytes_.at(offset + i) = static_cast<uint8_t>(text[i]);
    return *this;
  }
  RecordBytes& Byte(size_t offset, uint8_t value) {
    bytes_.at(offset) = value;
    return *this;
  }
  RecordBytes& Bytes(size_t offset, std::initializer_list<uint8_t> values) {
    for (uint8_t value : values) bytes_.at(offset++) = value;
    return *this;
  }
  RecordBytes& Word(size_t offset, uint16_t value) {
    return Bytes(offset, {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)});
  }
  RecordBytes& Long(size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
    return *this;
  }
  RecordBytes& Double(size_t offset, double value) {
    const auto bits = std::bit_cast<uint64_t>(value);
    for (int i = 0; i < 8; ++i) bytes_.at(offset + i) = static_cast<uint8_t>(bits >> (8 * i));
    return *this;
  }
  // `count` bytes that differ from their neighbours: seed, seed + 7, ...
  RecordBytes& Pattern(size_t offset, size_t count, uint8_t seed) {
    for (size_t i = 0; i < count; ++i) bytes_.at(offset + i) = static_cast<uint8_t>(seed + 7 * i);
    return *this;
  }
  // Bytes copied from another record.
  RecordBytes& CopyFrom(size_t offset, const RecordBytes& other, size_t from, size_t count) {
    for (size_t i = 0; i < count; ++i) bytes_.at(offset + i) = other.bytes_.at(from + i);
    return *this;
  }

  uint8_t operator[](size_t offset) const { return bytes_.at(offset); }
  const uint8_t* data() const { return bytes_.data(); }
  size_t size() const { return bytes_.size(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// Runs a record conversion the way the conversion procedure does: the old
// record exactly as long as its layout (so a read past its end is caught by
// the sanitizers), the new one all zero.
template <typename Routine>
std::vector<uint8_t> ConvertOne(Routine convert, const RecordBytes& old, size_t newSize) {
  std::vector<uint8_t> oldRecord(old.bytes());
  std::vector<uint8_t> newRecord(newSize, 0);
  convert(oldRecord.data(), newRecord.data());
  return newRecord;
}

// Equal bytes, or the offsets that differ (the first few) with both values.
inline ::testing::AssertionResult SameBytes(const std::vector<uint8_t>& actual,
                                            const RecordBytes& expected) {
  if (actual.size() != expected.size()) {
    return ::testing::AssertionFailure()
           << "size " << actual.size() << ", expected " << expected.size();
  }
  std::ostringstream differences;
  int count = 0;
  for (size_t i = 0; i < actual.size(); ++i) {
    if (actual[i] == expected[i]) continue;
    if (++count <= 12) {
      differences << "\n  offset " << i << ": " << int{actual[i]} << ", expected "
                  << int{expected[i]};
    }
  }
  if (count == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << count << " bytes differ:" << differences.str();
}
