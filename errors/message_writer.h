#pragma once

#include <cstdint>
#include <string>

// Shows one message line. Target 0 is the screen: the text goes through the
// console's text path at the cursor, followed by CR LF. Level mask and tag
// do not change what is shown.
void MessageWrite(uint32_t levelMask, uint8_t target, char tag, const std::string& text);
