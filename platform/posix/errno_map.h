#pragma once

#include <cstdint>

enum class IoKind { Read, Write, Other };

// The DOS result code of an errno. `onTheWay` tells an ENOENT for a directory
// on the way (path not found) from one for the last name (file not found).
uint16_t DosCodeFromErrno(int error, IoKind kind, bool onTheWay = false);
