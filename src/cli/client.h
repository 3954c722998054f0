// Where a command runs. With a daemon on the profile, the client sends it the
// arguments (with its working folder and standard input) over the profile's
// socket and relays what comes back: standard output, standard error and the
// exit code, as the daemon produces them. Without one, the client runs the
// command itself, holding the profile lock the daemon would hold.
#ifndef TARVEX_CLI_CLIENT_H_
#define TARVEX_CLI_CLIENT_H_

#include <sys/types.h>

#include <iosfwd>
#include <string>
#include <vector>

#include "app/maildir_session.h"
#include "cli/command_line.h"
#include "cli/profile.h"
#include "platform/command_socket.h"

namespace tarvex {

// Runs the invocation (parsed from args) through the daemon or here.
int RunClient(Profile& profile, const Invocation& invocation, const std::vector<std::string>& args);

// The daemon's side: answers the client's request by running the command on
// the daemon's session.
void ServeClient(UniqueFd client, const Frame& request, Profile& profile, MaildirSession& session);

// Says that the process holder holds the profile's lock file; a failure.
Result ProfileInUse(std::ostream& err, const std::string& lock, pid_t holder);

}  // namespace tarvex

#endif  // TARVEX_CLI_CLIENT_H_
