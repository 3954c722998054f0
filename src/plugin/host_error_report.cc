#include "plugin/host_error_report.h"

#include <cstdio>

#include "platform/codepage.h"

namespace tarvex {
namespace {

struct ErrorText {
  HostStatus code;
  const char* text;
};

// The system's texts, with the line break its message table ends them with.
constexpr ErrorText kErrorTexts[] = {
    {0x80004001, "Not implemented.\r\n"},
    {0x80004002, "No such interface supported.\r\n"},
    {0x80004003, "Invalid pointer.\r\n"},
    {0x80004004, "Operation aborted.\r\n"},
    {0x80004005, "Unspecified error\r\n"},
    {0x8000FFFF, "Catastrophic failure\r\n"},
    {0x80020001, "Unknown interface.\r\n"},
    {0x80020003, "Member not found.\r\n"},
    {0x80020004, "Parameter not found.\r\n"},
    {0x80020005, "Type mismatch.\r\n"},
    {0x80020006, "Unknown name.\r\n"},
    {0x80020007, "No named arguments.\r\n"},
    {0x80020008, "Bad variable type.\r\n"},
    {0x80020009, "Exception occurred.\r\n"},
    {0x8002000A, "Out of present range.\r\n"},
    {0x8002000B, "Invalid index.\r\n"},
    {0x8002000C, "Unknown language.\r\n"},
    {0x8002000D, "Memory is locked.\r\n"},
    {0x8002000E, "Invalid number of parameters.\r\n"},
    {0x8002000F, "Parameter not optional.\r\n"},
    {0x80020010, "Invalid callee.\r\n"},
    {0x80020011, "Does not support a collection.\r\n"},
    {0x80020012, "Division by zero.\r\n"},
    {0x80020013, "Buffer too small\r\n"},
    {0x80070002, "The system cannot find the file specified.\r\n"},
    {0x80070003, "The system cannot find the path specified.\r\n"},
    {0x80070005, "Access is denied.\r\n"},
    {0x8007000E, "Not enough memory resources are available to complete this operation.\r\n"},
    {0x80070020,
     "The process cannot access the file because it is being used by another process.\r\n"},
    {0x80070057, "The parameter is incorrect.\r\n"},
    {0x80070070, "There is not enough space on the disk.\r\n"},
    {0x800700AA, "The requested resource is in use.\r\n"},
};

// Codes above this one and up to the end of the interface facility are the
// interface's own errors, numbered from 1.
constexpr HostStatus kInterfaceErrorBase = 0x80040200;
constexpr HostStatus kInterfaceErrorLast = 0x8004FFFF;

}  // namespace

std::string HostErrorText(HostStatus code) {
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.code == code) return entry.text;
  }
  return {};
}

std::string HostErrorReportText(HostStatus code) {
  std::string text = HostErrorText(code);
  if (!text.empty()) {
    if (text.size() > 1 && text.back() == '\n') {
      text.pop_back();
      if (!text.empty() && text.back() == '\r') text.pop_back();
    }
    return text;
  }
  char buffer[64];
  if (code > kInterfaceErrorBase && code <= kInterfaceErrorLast) {
    std::snprintf(buffer, sizeof buffer, "IDispatch error #%d",
                  static_cast<int>(code - kInterfaceErrorBase));
  } else {
    std::snprintf(buffer, sizeof buffer, "Unknown error 0x%0lX", static_cast<unsigned long>(code));
  }
  return buffer;
}

std::string HostErrorLine(const std::string& text, const std::string& caption,
                          const std::string& details) {
  std::string line = cp1252::ToUtf8(caption) + ": " + cp1252::ToUtf8(text);
  if (!details.empty()) line += " (" + cp1252::ToUtf8(details) + ")";
  return line;
}

void ReportHostError(UserInterface& ui, const HostError& error) {
  ui.ShowHostError(HostErrorReportText(error.code()), "Tarvex", error.description());
}

}  // namespace tarvex
