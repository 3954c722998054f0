#include "app/addresses.h"

namespace tarvex {

// TARVEX_HELP_FILE is the installed help page's path, set by the build.
std::string HelpAddress() { return std::string("file://") + TARVEX_HELP_FILE; }

std::string SupportAddress() { return HelpAddress() + "#help-and-support"; }

}  // namespace tarvex
