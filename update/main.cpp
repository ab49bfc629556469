// tirven-update: converts the TIRVEN configuration files to the 6.01 layout.

#include <string>

#include "platform/process.h"
#include "update/entry.h"
#include "update/program_state.h"

namespace {

constexpr const char* kProgramVersion = "1.0.0";

const char* const kUsage =
    "Usage: tirven-update              convert interactively; the configuration\n"
    "                                  directory is taken from TIRVEN\n"
    "       tirven-update /FORCE DIR/  convert every file in DIR/ in turn\n"
    "       tirven-update -SFI         interactive, dialog text through the console\n"
    "\n"
    "Converts MGICFILE.TVN, hatch.tvn, fareas.tvn, grpfile.tvn and nodefile.tvn\n"
    "from the 4.33/5.x/6.x layout to the 6.01 layout. Each old file is kept\n"
    "under a backup name (hatch.bak, or hatch.ba1 to hatch.ba9 when taken).\n"
    "DIR/ must end in a path separator. Exit status: 0, or 254 after a fatal\n"
    "error, with the configuration directory left as it was.\n";

}  // namespace

int main(int argc, char** argv) {
  SetCommandLine(argc, argv);
  // A user who asks for help gets help, not a full-screen program.
  if (argc == 2) {
    const std::string option = argv[1];
    if (option == "--help" || option == "-h" || option == "/?") {
      WriteStandardOutput(kUsage);
      return 0;
    }
    if (option == "--version") {
      WriteStandardOutput(std::string("tirven-update ") + kProgramVersion +
                          " (converts to version " + TargetVersion + ")\n");
      return 0;
    }
  }
  StartUp();
  MainSequence();
  Halt(0);
}
