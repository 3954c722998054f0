// The one way the user hears that the word database could not be saved,
// whoever saved it: a box that names the file. The reason (the status's
// message) is left to whoever keeps a log.
#ifndef TARVEX_UI_SAVE_FAILURE_H_
#define TARVEX_UI_SAVE_FAILURE_H_

#include <string>

#include "platform/status.h"
#include "ui/user_interface.h"

namespace tarvex {

// Shows "Cannot save database (path)" when saved failed; nothing when it is
// ok. Returns saved, for the caller to go on with.
Status ReportSaveFailure(UserInterface& ui, const Status& saved, const std::string& path);

}  // namespace tarvex

#endif  // TARVEX_UI_SAVE_FAILURE_H_
