#pragma once

// The confirmation question, then every file in batch order or the pick
// menu, then the closing instructions when a conversion started.
void AskToUpdate();
void RunConversionMenu();
void ShowFinishSteps();
