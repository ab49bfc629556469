#pragma once
// Fatal runtime errors: the one way the program stops on a failure it does
// not test for itself, and the two-line report at the end.

#include <cstdint>
#include <string>

// Records the error number and its code address, runs the end-of-program
// handlers and ends the process (exit code 254 once the handler has run).
[[noreturn]] void RunError(uint16_t number);

// Registered during start-up; at the end of the program it reports a pending
// runtime error on the console and sets exit code 254.
void RuntimeErrorHandler();
void InstallRuntimeErrorHandler();

std::string DosErrorText(uint16_t number);
std::string HexByte(uint8_t value);
std::string HexWord(uint16_t value);
