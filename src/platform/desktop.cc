#include "platform/desktop.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvex {

void OpenWithDesktop(const std::string& address) {
  // Fork twice so the opener is adopted by init and never becomes a zombie of
  // a long-running process.
  const pid_t child = fork();
  if (child < 0) return;
  if (child == 0) {
    setsid();
    if (fork() == 0) {
      const int null = open("/dev/null", O_RDWR);
      if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
      }
      execlp("xdg-open", "xdg-open", address.c_str(), static_cast<char*>(nullptr));
    }
    _exit(0);
  }
  waitpid(child, nullptr, 0);
}

}  // namespace tarvex
