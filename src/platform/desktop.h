// The desktop's "open" action.
#ifndef TARVEX_PLATFORM_DESKTOP_H_
#define TARVEX_PLATFORM_DESKTOP_H_

#include <string>

namespace tarvex {

// Opens address (a web or file address, UTF-8) with xdg-open in the
// background: returns at once, never waits for it and ignores its outcome,
// also when no program can open the address.
void OpenWithDesktop(const std::string& address);

}  // namespace tarvex

#endif  // TARVEX_PLATFORM_DESKTOP_H_
