#include "errors/message_writer.h"

#include "textui/console.h"

void MessageWrite(uint32_t, uint8_t target, char, const std::string& text) {
  // The log-file targets are never selected by this program.
  if (target != 0) return;
  ConsoleWrite(text + "\r\n");
}
