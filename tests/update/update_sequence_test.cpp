#include "update/update_sequence.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/dialog_capture.h"
#include "support/faulty_files.h"
#include "support/ui_fixture.h"
#include "textui/dialog.h"
#include "update/conversion.h"
#include "update/program_state.h"

namespace {

const std::vector<std::string> kInteractiveQuestion{
    "Welcome to the TIRVEN update utility", "",
    "Do you want to update the TIRVEN version 4.33/5.x/6.x",
    "configuration files to version 6.01 format ?"};
const std::vector<std::string> kBatchQuestion{
    "Do you want to update the TIRVEN version 4.33/5.x/6.x",
    "configuration files to version 6.01 format ?"};
const std::vector<std::string> kFinishSteps{
    "Please finish the updating procedure with the following steps", "", "Run KORBA",
    "Run TSETUP Index"};
const std::vector<std::string> kCompleted{
    "Update procedure completed", "", "Please run TSETUP Index to complete", "update procedure"};

// The files in batch order, as the status line names them.
const char* const kBatchOrder[] = {"hatch.tvn", "MGICFILE.TVN", "fareas.tvn", "grpfile.tvn",
                                   "nodefile.tvn"};

class UpdateSequenceTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    capture = std::make_unique<DialogCapture>(*console);
    StartCapture(*capture);
    Program.ConfigDir = dir.ConfigDir();
    ASSERT_EQ(ConversionSpecs().size(), 5u);
  }

  // A few old records in every registered file.
  void WriteOldFiles() {
    for (const ConversionSpec& spec : ConversionSpecs())
      dir.Write(spec.FileName, std::string(3 * spec.OldSize, '\x07'));
  }

  const ConversionSpec& Spec(const std::string& fileName) const {
    for (const ConversionSpec& spec : ConversionSpecs()) {
      if (spec.FileName == fileName) return spec;
    }
    throw std::runtime_error("no conversion registered for " + fileName);
  }

  // The wait's dialog, or a failure when the wait showed none.
  ShownDialog DialogAt(size_t wait) const {
    const std::vector<KeyWait>& waits = capture->Waits();
    if (wait >= waits.size() || !waits[wait].Dialog) {
      ADD_FAILURE() << "no dialog at wait " << wait << " of " << waits.size();
      return {};
    }
    return *waits[wait].Dialog;
  }

  TempDir dir;
  std::unique_ptr<DialogCapture> capture;
};

TEST_F(UpdateSequenceTest, AnswersOtherThanYesTouchNothing) {
  WriteOldFiles();
  const DirectorySnapshot before = SnapshotDirectory(dir.Path());
  struct Case {
    const char* name;
    void (*keys)(MemoryConsole&);
  };
  const Case cases[] = {
      {"No",
       [](MemoryConsole& c) {
         c.PressChar(kTab);
         c.PressChar(kEnter);
       }},
      {"Esc", [](MemoryConsole& c) { c.PressChar(kEsc); }},
      {"N", [](MemoryConsole& c) { c.Type("N"); }},
      {"n", [](MemoryConsole& c) { c.Type("n"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t waitsBefore = capture->Waits().size();
    c.keys(*console);
    AskToUpdate();
    // The question, and after it no menu and no closing dialog.
    const ShownDialog question = DialogAt(waitsBefore);
    EXPECT_EQ(question.Lines, kInteractiveQuestion);
    EXPECT_EQ(question.Buttons, (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(question.Focused, 0);
    const size_t keys = c.name == std::string("No") ? 2 : 1;
    EXPECT_EQ(capture->Waits().size(), waitsBefore + keys);
    EXPECT_EQ(SnapshotDirectory(dir.Path()), before);
    EXPECT_FALSE(Program.ConvertedAny);
  }
}

TEST_F(UpdateSequenceTest, BatchModeConvertsEveryFileInBatchOrder) {
  Program.BatchMode = true;
  WriteOldFiles();
  console->PressChar(kEnter);  // Yes
  // One outcome dialog each; Esc in one of them does not stop the others.
  for (int file = 0; file < 5; ++file) console->PressChar(file == 1 ? kEsc : kEnter);
  console->PressChar(kEnter);  // the closing instructions
  AskToUpdate();

  const std::vector<KeyWait>& waits = capture->Waits();
  ASSERT_EQ(waits.size(), 7u);
  EXPECT_EQ(DialogAt(0).Lines, kBatchQuestion);
  for (size_t file = 0; file < 5; ++file) {
    const ConversionSpec& spec = Spec(kBatchOrder[file]);
    SCOPED_TRACE(spec.FileName);
    EXPECT_EQ(DialogAt(1 + file).Lines, kCompleted);
    EXPECT_EQ(waits[1 + file].StatusLine(), spec.StatusText);
    EXPECT_EQ(dir.Read(spec.FileName).size(), 3 * spec.NewSize);
    EXPECT_EQ(dir.Read(spec.BackupName), std::string(3 * spec.OldSize, '\x07'));
  }
  EXPECT_EQ(DialogAt(6).Lines, kFinishSteps);
  EXPECT_TRUE(Program.ConvertedAny);
}

TEST_F(UpdateSequenceTest, BatchModeWithNothingConvertedEndsWithoutClosingDialog) {
  Program.BatchMode = true;
  for (int key = 0; key < 6; ++key) console->PressChar(kEnter);
  AskToUpdate();
  // Every file not found, in batch order; no closing instructions.
  ASSERT_EQ(capture->Waits().size(), 6u);
  for (size_t file = 0; file < 5; ++file) {
    const ConversionSpec& spec = Spec(kBatchOrder[file]);
    EXPECT_EQ(DialogAt(1 + file).Lines,
              (std::vector<std::string>{Program.ConfigDir + spec.ShownName, "not found"}));
  }
  EXPECT_FALSE(Program.ConvertedAny);
}

TEST_F(UpdateSequenceTest, ShiftF6AnswersYes) {
  console->Press(89);        // Shift-F6: its code is 'Y'
  console->PressChar(kEsc);  // the menu
  AskToUpdate();
  ASSERT_EQ(capture->Waits().size(), 2u);
  EXPECT_FALSE(capture->Waits()[1].Dialog.has_value());
  EXPECT_TRUE(capture->Waits()[1].Shows("Convert -> 6.01"));
}

TEST_F(UpdateSequenceTest, MenuConvertsTheChosenFileThenShowsTheClosingSteps) {
  WriteOldFiles();
  const DirectorySnapshot before = SnapshotDirectory(dir.Path());
  console->PressChar(kEnter);  // Yes
  console->Press(kDown);       // to "Convert Hatch entries"
  console->PressChar(kEnter);  // convert it
  console->PressChar(kEnter);  // "Update procedure completed"
  console->PressChar(kEsc);    // leave the menu
  console->PressChar(kEnter);  // the closing instructions
  AskToUpdate();

  const std::vector<KeyWait>& waits = capture->Waits();
  ASSERT_EQ(waits.size(), 6u);
  EXPECT_EQ(DialogAt(0).Lines, kInteractiveQuestion);

  // The menu lists the files in menu order, the first one's description on
  // the status line; after Down the hatch file's.
  const KeyWait& menu = waits[1];
  EXPECT_FALSE(menu.Dialog.has_value());
  EXPECT_TRUE(menu.Shows("Convert -> 6.01"));
  int previousRow = -1;
  for (const char* item :
       {"Convert Magicfile names", "Convert Hatch entries", "Convert File Manager entries",
        "Convert Group entries", "Convert Node entries"}) {
    int row = -1;
    for (size_t r = 0; r < menu.Rows.size(); ++r) {
      if (menu.Rows[r].find(item) != std::string::npos) row = static_cast<int>(r);
    }
    EXPECT_GT(row, previousRow) << item;
    previousRow = row;
  }
  EXPECT_EQ(menu.StatusLine(), "Convert the Magic filename configuration to 6.01 format");
  EXPECT_EQ(waits[2].StatusLine(), "Convert the Hatch configuration to 6.01 format");

  EXPECT_EQ(DialogAt(3).Lines, kCompleted);
  EXPECT_EQ(waits[3].StatusLine(), "Converting HATCH.TVN, please wait");
  EXPECT_FALSE(waits[4].Dialog.has_value());  // the menu again

  // Left-aligned: every line starts at the same column, the last two after
  // two blanks.
  const ShownDialog finish = DialogAt(5);
  EXPECT_EQ(finish.Lines, kFinishSteps);
  ASSERT_EQ(finish.LineColumns.size(), 4u);
  EXPECT_EQ(finish.LineColumns[1], -1);
  EXPECT_EQ(finish.LineColumns[2], finish.LineColumns[0] + 2);
  EXPECT_EQ(finish.LineColumns[3], finish.LineColumns[0] + 2);
  EXPECT_EQ(finish.Buttons, std::vector<std::string>{"Ok"});

  // Only the hatch file converted, its old records kept as hatch.bak.
  DirectorySnapshot expected = before;
  const ConversionSpec& hatch = Spec("hatch.tvn");
  expected["hatch.bak"] = before.at("hatch.tvn");
  expected["hatch.tvn"] = SnapshotDirectory(dir.Path())["hatch.tvn"];
  EXPECT_EQ(expected["hatch.tvn"].Size, 3 * hatch.NewSize);
  EXPECT_EQ(SnapshotDirectory(dir.Path()), expected);
}

TEST_F(UpdateSequenceTest, EscAtTheFirstMenuPromptEndsWithoutClosingDialog) {
  WriteOldFiles();
  const DirectorySnapshot before = SnapshotDirectory(dir.Path());
  console->PressChar(kEnter);
  console->PressChar(kEsc);
  AskToUpdate();
  ASSERT_EQ(capture->Waits().size(), 2u);
  EXPECT_FALSE(capture->Waits()[1].Dialog.has_value());
  EXPECT_EQ(SnapshotDirectory(dir.Path()), before);
  EXPECT_FALSE(Program.ConvertedAny);
}

}  // namespace
