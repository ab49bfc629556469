#include "update/formats/record_encodings.h"

#include <algorithm>

void CopyLenStr(uint8_t* target, size_t capacity, const uint8_t* source, const uint8_t* sourceEnd) {
  const size_t available = static_cast<size_t>(sourceEnd - (source + 1));
  const size_t length = std::min<size_t>({source[0], capacity, available});
  std::memcpy(target + 1, source + 1, length);
  target[0] = static_cast<uint8_t>(length);
}
