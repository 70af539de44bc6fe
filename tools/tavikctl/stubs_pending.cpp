// Command groups still to come; each is replaced by its own file.
#include "cli.h"

namespace tavikctl {
void addAboutCommands(CLI::App&, Context&) {}
void addSimEepromCommands(CLI::App&, Context&) {}
} // namespace tavikctl
