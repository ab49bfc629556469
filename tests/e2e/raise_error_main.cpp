// raise-error: starts up as the program does, up to the screen, then stops
// with runtime error 7, one that has no text of its own, so that the report
// can be watched in a real terminal.

#include "errors/runtime_error.h"
#include "platform/process.h"
#include "textui/console.h"
#include "textui/draw.h"
#include "update/entry.h"

int main(int argc, char** argv) {
  SetCommandLine(argc, argv);
  StartUp();
  ScreenInit();
  InitTextUi();
  RunError(7);
}
