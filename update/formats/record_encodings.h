#pragma once
// The encodings the record files are made of: counted texts (LenStr) and
// 6-byte reals (Real6).

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

// Copies the counted text at `source` (whose field has `sourceCapacity`
// bytes of text) into the counted text at `target` of capacity `capacity`.
// A length byte above the source field's capacity runs on into the fields
// that follow it, as the old programs read it, but never past the end of the
// old record (`sourceEnd`); bytes of the target beyond the new length stay.
void CopyLenStr(uint8_t* target, size_t capacity, const uint8_t* source, const uint8_t* sourceEnd);

// The exact IEEE 754 double of a 6-byte real. Exponent byte 0 gives +0.0
// whatever the other bytes hold.
double Real6ToDouble(const uint8_t* real6);

// Stores a double little-endian, as the new records hold it.
void StoreDouble(uint8_t* target, double value);

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

// The field-level steps of a record conversion.
inline void CopyText(uint8_t* newRecord, Field to, const uint8_t* oldRecord, Field from,
                     const uint8_t* oldEnd) {
  CopyLenStr(newRecord + to.Offset, to.Size - 1, oldRecord + from.Offset, oldEnd);
}
inline void CopyBytes(uint8_t* newRecord, Field to, const uint8_t* oldRecord, Field from) {
  std::memcpy(newRecord + to.Offset, oldRecord + from.Offset, from.Size);
}
inline void ConvertReal(uint8_t* newRecord, Field to, const uint8_t* oldRecord, Field from) {
  StoreDouble(newRecord + to.Offset, Real6ToDouble(oldRecord + from.Offset));
}
