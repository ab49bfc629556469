#include "support/ui_fixture.h"

#include "platform/file_services.h"
#include "platform/process.h"
#include "textui/console.h"
#include "textui/draw.h"
#include "update/conversion.h"
#include "update/program_state.h"

void StartConsole(MemoryConsole& console) {
  ResetProgramState();
  ScreenInit(console);
  InitTextUi();
  SetMenuColours(11, 1, 30, 113, 7, 3, 7, 14);
  SetDialogColours(112, 30, 16, 112);
  // ScreenInit registers the console's restore; tests end no program.
  Process.FinalProcs.clear();
}

void UiTest::UseConsole(int columns, int rows) {
  console = std::make_unique<MemoryConsole>(columns, rows);
  StartConsole(*console);
}

void UiTest::TearDown() {
  EXPECT_EQ(console->KeysLeft(), 0u) << "scripted keys were not read";
  ResetProgramState();
}
