// Command groups still to come; each is replaced by its own file.
#include "cli.h"

namespace tavikctl {
} // namespace tavikctl
