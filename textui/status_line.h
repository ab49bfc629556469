#pragma once

#include <cstdint>
#include <string>

// Writes a one-line message on the bottom row of the console. Each tilde
// toggles between the normal and the highlight attribute; the rest of the
// row is blanked in the attribute in force at the end.
void ShowStatus(const std::string& text, uint8_t normal, uint8_t highlight);
