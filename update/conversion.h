#pragma once
// The conversion of one configuration record file from the old layout to
// the new one, with its backup and its outcome dialogs.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_services.h"

// Fills a zeroed new record from one old record.
using ConvertRecordRoutine = void (*)(const uint8_t* oldRecord, uint8_t* newRecord);

struct ConversionSpec {
  std::string FileName;    // appended to ConfigDir to form the file's path
  std::string ShownName;   // appended to ConfigDir in the outcome dialogs
  std::string BackupName;  // the first backup name
  std::string BackupStem;  // BackupName without its last character
  uint32_t OldSize = 0;
  uint32_t NewSize = 0;
  std::string StatusText;
  int BatchPosition = 0;
  int MenuPosition = 0;
  std::string MenuText;
  std::string MenuDescription;
  ConvertRecordRoutine ConvertRecord = nullptr;
};

// Appends a spec to the registered specs; each format's unit calls it once
// during start-up.
void RegisterSpec(const ConversionSpec& spec);
const std::vector<ConversionSpec>& ConversionSpecs();

// The result code of the last file operation.
extern uint16_t IoResultCode;

// Converts one file and shows exactly one outcome dialog. A failed file
// operation stops the program with its runtime error, the configuration
// directory put back as it was.
void ConvertFile(const ConversionSpec& spec);
// The same over given file services. Instead of stopping the program it
// returns the code of the failed operation (0 when none failed), after
// putting the directory back.
uint16_t ConvertFileOrFail(const ConversionSpec& spec, FileServices& files);

void ShowNotFound(const std::string& shownName);
void ShowAlreadyUpdated(const std::string& shownName);
void ShowCorrupt(const std::string& shownName);
void ShowShareViolation(const std::string& shownName);
void ShowTooManyBackups(const std::string& shownName);
void ShowCompleted();
