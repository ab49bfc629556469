#include "update/update_sequence.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "textui/dialog.h"
#include "textui/pick_menu.h"
#include "update/conversion.h"
#include "update/program_state.h"

namespace {

std::vector<const ConversionSpec*> SpecsBy(int ConversionSpec::*position) {
  std::vector<const ConversionSpec*> specs;
  for (const ConversionSpec& spec : ConversionSpecs()) specs.push_back(&spec);
  std::stable_sort(specs.begin(), specs.end(),
                   [position](const ConversionSpec* a, const ConversionSpec* b) {
                     return a->*position < b->*position;
                   });
  return specs;
}

}  // namespace

void AskToUpdate() {
  auto dialog = std::make_unique<DialogBox>();
  DialogInit(*dialog, {kEnter, kEsc, 'N', 'Y'});
  if (!Program.BatchMode) {
    DialogAddLine(*dialog, "Welcome to the TIRVEN update utility");
    DialogAddLine(*dialog, "");
  }
  DialogAddLine(*dialog, "Do you want to update the TIRVEN version 4.33/5.x/6.x");
  DialogAddLine(*dialog, "configuration files to version " + TargetVersion + " format ?");
  DialogAddButton(*dialog, "Yes");
  DialogAddButton(*dialog, "No");
  const char answer = DialogRun(*dialog);
  DialogDone(*dialog);
  dialog.reset();
  if (answer != 'Y') return;

  if (Program.BatchMode) {
    // Batch mode goes on whatever each file's outcome.
    for (const ConversionSpec* spec : SpecsBy(&ConversionSpec::BatchPosition)) ConvertFile(*spec);
  } else {
    RunConversionMenu();
  }
  if (Program.ConvertedAny) ShowFinishSteps();
}

void RunConversionMenu() {
  auto menu = std::make_unique<PickMenu>();
  MenuInit(*menu, 31, 11, 53, 19, "Convert -> " + TargetVersion);
  const std::vector<const ConversionSpec*> items = SpecsBy(&ConversionSpec::MenuPosition);
  for (size_t k = 1; k <= items.size(); ++k) {
    const ConversionSpec& spec = *items[k - 1];
    menu->AddItem(2, 1 + static_cast<int>(k), spec.MenuText, spec.MenuDescription);
  }
  MenuCentre(*menu);
  MenuOpen(*menu);
  uint8_t choice = 1;
  MenuRun(*menu, choice);
  while (choice != 0) {
    MenuDeactivate(*menu);
    ConvertFile(*items[choice - 1]);
    MenuActivate(*menu);
    MenuRun(*menu, choice);
  }
  MenuClose(*menu);
}

void ShowFinishSteps() {
  DialogBox dialog;
  DialogInit(dialog, {kEnter, kEsc});
  dialog.Align = 1;
  DialogAddLine(dialog, "Please finish the updating procedure with the following steps");
  DialogAddLine(dialog, "");
  DialogAddLine(dialog, "  Run KORBA");
  DialogAddLine(dialog, "  Run TSETUP Index");
  DialogAddButton(dialog, "Ok");
  DialogRun(dialog);
  DialogDone(dialog);
}
