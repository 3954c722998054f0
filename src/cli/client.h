// Where a command's work is done. The command always runs in the program
// the user started; with a daemon on the profile, what it asks of the filter
// goes to the daemon as typed requests over the profile's socket
// (app/remote_operations.h). Without one, the command does it itself,
// holding the profile lock the daemon would hold.
#ifndef TARVEX_CLI_CLIENT_H_
#define TARVEX_CLI_CLIENT_H_

#include <sys/types.h>

#include <iosfwd>
#include <string>
#include <vector>

#include "app/profile.h"
#include "cli/command_line.h"
#include "platform/command_socket.h"

namespace tarvex {

// Runs the invocation, with the daemon or on its own.
int RunClient(Profile& profile, const Invocation& invocation);

// Says that the process holder holds the profile's lock file; a failure.
Result ProfileInUse(std::ostream& err, const std::string& lock, pid_t holder);

}  // namespace tarvex

#endif  // TARVEX_CLI_CLIENT_H_
