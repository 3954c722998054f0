// Where the "Help" and "Support" menu items lead: the help page installed with
// the program, built from its README, and that page's support section.
#ifndef TARVEX_APP_ADDRESSES_H_
#define TARVEX_APP_ADDRESSES_H_

#include <string>

namespace tarvex {

std::string HelpAddress();
std::string SupportAddress();

}  // namespace tarvex

#endif  // TARVEX_APP_ADDRESSES_H_
