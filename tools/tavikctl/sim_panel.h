// tavikctl sim panel: the unit of this home as a live front panel in a web browser.
#pragma once

#include "cli.h"

namespace tavikctl {

void addSimPanelCommands(CLI::App& sim, Context& ctx);

} // namespace tavikctl
