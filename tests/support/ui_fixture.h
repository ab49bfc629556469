#pragma once
// A fresh console and program state for each component test.

#include <gtest/gtest.h>

#include <memory>

#include "support/memory_console.h"
#include "update/entry.h"

// Puts every piece of program-wide state back as a new process has it
// (ResetProgramState), then starts the console services on a memory console
// with the program's colour scheme, as the main sequence sets it.
void StartConsole(MemoryConsole& console);

class UiTest : public ::testing::Test {
 protected:
  // Replaces the console with one of another size.
  void UseConsole(int columns, int rows);
  void SetUp() override { UseConsole(80, 25); }
  void TearDown() override;

  std::unique_ptr<MemoryConsole> console;
};
