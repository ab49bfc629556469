#pragma once
// The encodings the record files are made of: counted texts (LenStr) and
// 6-byte reals (Real6).

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

// A LenStr[N] field: one length byte, then N bytes of text; N + 1 bytes.
constexpr size_t LenStr(size_t capacity) { return capacity + 1; }

// A field of a fixed record layout: where it starts and how many bytes it has.
struct Field {
  size_t Offset;
  size_t Size;
};

constexpr size_t kReal6Size = 6;
constexpr size_t kDoubleSize = 8;

// Copies the counted text at `source` into the counted text at `target` of
// capacity `capacity`.
// A length byte above the source field's capacity runs on into the fields
// that follow it, as the old programs read it, but never past the end of the
// old record (`sourceEnd`); bytes of the target beyond the new length stay.
void CopyLenStr(uint8_t* target, size_t capacity, const uint8_t* source, const uint8_t* sourceEnd);

// The exact IEEE 754 double of a 6-byte real: exponent byte, then 39 bits
// of fraction and the sign in the last byte's top bit, little-endian.
// Exponent byte 0 gives +0.0 whatever the other bytes hold.
inline double Real6ToDouble(const uint8_t* real6) {
  uint64_t raw = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // In two loads that fill whole registers, not through memory.
    uint32_t low;
    uint16_t high;
    std::memcpy(&low, real6, 4);
    std::memcpy(&high, real6 + 4, 2);
    raw = low | (uint64_t{high} << 32);
  } else {
    for (int i = 5; i >= 0; --i) raw = (raw << 8) | real6[i];
  }
  const uint64_t exponent = raw & 0xFF;
  const uint64_t sign = (raw >> 47) & 1;
  const uint64_t fraction = (raw >> 8) & ((uint64_t{1} << 39) - 1);
  const uint64_t bits = (sign << 63) | ((exponent + 894) << 52) | (fraction << 13);
  // All ones unless the exponent byte is 0: no branch on the value.
  const uint64_t nonZero = uint64_t{0} - static_cast<uint64_t>(exponent != 0);
  return std::bit_cast<double>(bits & nonZero);
}

// Stores a double little-endian, as the new records hold it.
inline void StoreDouble(uint8_t* target, double value) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  if constexpr (std::endian::native == std::endian::little)
    std::memcpy(target, &bits, kDoubleSize);
  else
    for (int i = 0; i < 8; ++i) target[i] = static_cast<uint8_t>(bits >> (8 * i));
}

constexpr size_t End(Field field) { return field.Offset + field.Size; }

// True when the fields follow one another without gap or overlap from offset
// 0 and end exactly at `size`: a layout table that adds up.
constexpr bool Contiguous(std::initializer_list<Field> fields, size_t size) {
  size_t at = 0;
  for (const Field& field : fields) {
    if (field.Offset != at) return false;
    at = End(field);
  }
  return at == size;
}

namespace record_detail {

typedef uint8_t Run16 __attribute__((vector_size(16)));

// 256 bytes of ones, then 256 zero bytes: the bytes from 256 - length on
// select the first `length` bytes of a text and clear the others.
alignas(64) inline constexpr std::array<uint8_t, 512> kTextMask = [] {
  std::array<uint8_t, 512> mask{};
  for (size_t i = 0; i < 256; ++i) mask[i] = 0xFF;
  return mask;
}();

template <typename Run>
[[gnu::always_inline]] inline Run LoadRun(const uint8_t* at) {
  Run run;
  std::memcpy(&run, at, sizeof(Run));
  return run;
}

// One run of text bytes from position `at` on: the source's bytes where the
// mask holds ones, zeros where it holds zeros.
template <typename Run>
[[gnu::always_inline]] inline void MaskRun(uint8_t* text, const uint8_t* sourceText,
                                           const uint8_t* mask, size_t at) {
  const Run run = LoadRun<Run>(sourceText + at) & LoadRun<Run>(mask + at);
  std::memcpy(text + at, &run, sizeof(Run));
}

// The `capacity` text bytes of the new field, in runs that cover it
// exactly: the last run overlaps the one before it instead of reaching past
// the field. No branch depends on the length.
template <typename Run>
[[gnu::always_inline]] inline void MaskText(uint8_t* text, const uint8_t* sourceText,
                                            size_t capacity, uint8_t length) {
  const uint8_t* mask = kTextMask.data() + (256 - length);
  // One base for every run's mask, addressed by the run's constant offset,
  // rather than an index worked out again for each run.
  asm("" : "+r"(mask));
  const size_t last = capacity - sizeof(Run);
  // Unrolled whatever the optimisation level, so that each run's offsets
  // are constants once the field is known.
#pragma GCC unroll 16
  for (size_t at = 0; at < last; at += sizeof(Run)) MaskRun<Run>(text, sourceText, mask, at);
  MaskRun<Run>(text, sourceText, mask, last);
}

}  // namespace record_detail

// The field-level steps of a record conversion.

// A counted text from the old record into the new one, as CopyLenStr copies
// it, with the new field's bytes after the text zero. When the old record
// holds as many bytes after the source's length byte as the new field has
// room for, the text moves in whole runs, which is what a conversion spends
// most of its time on. Always inlined: the field's offsets and sizes are
// constants only in the conversion that names them.
[[gnu::always_inline]] inline void CopyText(uint8_t* newRecord, Field to, const uint8_t* oldRecord,
                                            Field from, const uint8_t* oldEnd) {
  uint8_t* target = newRecord + to.Offset;
  const uint8_t* source = oldRecord + from.Offset;
  const size_t capacity = to.Size - 1;
  if (capacity < 8 || capacity > 255 || capacity > static_cast<size_t>(oldEnd - (source + 1))) {
    CopyLenStr(target, capacity, source, oldEnd);
    std::memset(target + 1 + target[0], 0, capacity - target[0]);
    return;
  }
  // A length above the capacity selects every text byte, as the capacity
  // would: only the stored length needs cutting.
  const uint8_t length = source[0];
  if (capacity >= 16)
    record_detail::MaskText<record_detail::Run16>(target + 1, source + 1, capacity, length);
  else
    record_detail::MaskText<uint64_t>(target + 1, source + 1, capacity, length);
  target[0] = static_cast<uint8_t>(std::min<size_t>(length, capacity));
}
inline void CopyBytes(uint8_t* newRecord, Field to, const uint8_t* oldRecord, Field from) {
  std::memcpy(newRecord + to.Offset, oldRecord + from.Offset, from.Size);
}
inline void ConvertReal(uint8_t* newRecord, Field to, const uint8_t* oldRecord, Field from) {
  StoreDouble(newRecord + to.Offset, Real6ToDouble(oldRecord + from.Offset));
}
