// Showing a failed host call to the user: the system's text for the status
// code in a message box.
#ifndef TARVEX_PLUGIN_HOST_ERROR_REPORT_H_
#define TARVEX_PLUGIN_HOST_ERROR_REPORT_H_

#include <string>

#include "host/host.h"
#include "ui/user_interface.h"

namespace tarvex {

// The system's message text for code, as its message table gives it (English,
// ending with "\r\n"); empty when the table has no text for it.
std::string HostErrorText(HostStatus code);

// The text shown for code: the table's text without its final line break, or,
// when the table has none, "IDispatch error #n" for the interface-specific
// codes above 0x80040200 and "Unknown error 0x..." for anything else.
std::string HostErrorReportText(HostStatus code);

// Shows the error's text in a message box with an OK button under the caption
// "Tarvex" and returns when the user has closed it; the error's description
// goes along for a log (UserInterface::ShowHostError).
void ReportHostError(UserInterface& ui, const HostError& error);

// A reported host error as one line of a log or of the command line's error
// output (UTF-8): "caption: text (details)", or without the parentheses when
// the host gave no details. The texts are Windows-1252, as shown.
std::string HostErrorLine(const std::string& text, const std::string& caption,
                          const std::string& details);

}  // namespace tarvex

#endif  // TARVEX_PLUGIN_HOST_ERROR_REPORT_H_
