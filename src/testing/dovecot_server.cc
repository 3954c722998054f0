#include "testing/dovecot_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace tarvex::testing {
namespace {

const char* const kPrograms[] = {"/usr/sbin/dovecot", "/usr/local/sbin/dovecot"};

std::string Program() {
  for (const char* program : kPrograms) {
    if (::access(program, X_OK) == 0) return program;
  }
  return {};
}

// A loopback port nothing listens on now.
uint16_t FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("no free loopback port");
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

bool Accepts(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool accepted = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return accepted;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Run(const std::string& command) {
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

}  // namespace

bool DovecotServer::Installed() { return !Program().empty(); }

DovecotServer::DovecotServer(const std::string& extra) {
  const std::string& base = base_.path();
  // Dovecot's mail processes run as an unprivileged user, which must reach
  // the storage.
  ::chmod(base.c_str(), 0755);
  for (const char* dir : {"/run", "/state", "/home"}) ::mkdir((base + dir).c_str(), 0755);
  ::chmod((base + "/home").c_str(), 01777);
  certificate_ = base + "/cert.pem";
  Run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj "
      "/CN=localhost"
      " -addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout " +
      base + "/key.pem -out " + certificate_ + " 2>/dev/null");
  port_ = FreePort();
  WriteConfiguration(extra);
  Start();
}

DovecotServer::~DovecotServer() { Stop(); }

void DovecotServer::WriteConfiguration(const std::string& extra) {
  const std::string& base = base_.path();
  const bool root = ::getuid() == 0;
  const std::string uid = root ? "65534" : std::to_string(::getuid());
  const std::string gid = root ? "65534" : std::to_string(::getgid());
  configuration_ = base + "/dovecot.conf";
  std::ofstream out(configuration_);
  out << "base_dir = " << base << "/run\n"
      << "state_dir = " << base << "/state\n"
      << "log_path = " << base << "/dovecot.log\n"
      << "instance_name = tarvex-test-" << port_ << "\n"
      << "protocols = imap\n"
      << "listen = 127.0.0.1\n"
      << "ssl = required\n"
      << "ssl_cert = <" << certificate_ << "\n"
      << "ssl_key = <" << base << "/key.pem\n"
      << "auth_mechanisms = plain login\n"
      << "first_valid_uid = 0\n"
      << "mail_location = maildir:~/Maildir\n"
      << "passdb {\n  driver = static\n  args = password=" << kPassword << "\n}\n"
      << "userdb {\n  driver = static\n  args = uid=" << uid << " gid=" << gid << " home=" << base
      << "/home/%u\n}\n"
      << "service imap-login {\n"
      << "  inet_listener imap {\n    port = 0\n  }\n"
      << "  inet_listener imaps {\n    address = 127.0.0.1\n    port = " << port_ << "\n  }\n}\n"
      << "namespace inbox {\n  inbox = yes\n  separator = /\n"
      << "  mailbox Gesendet {\n    special_use = \\Sent\n  }\n}\n";
  if (!root) {
    out << "default_internal_user = " << ::getenv("USER") << "\n"
        << "default_login_user = " << ::getenv("USER") << "\n";
  }
  out << extra;
}

void DovecotServer::Start() {
  // In the foreground, so that it is this process's child and its end can
  // be waited for.
  const std::string program = Program();
  const char* argv[] = {program.c_str(), "-F", "-c", configuration_.c_str(), nullptr};
  if (::posix_spawn(&master_, program.c_str(), nullptr, nullptr, const_cast<char**>(argv),
                    environ) != 0) {
    throw std::runtime_error("cannot start " + program);
  }
  for (int i = 0; i < 100; ++i) {
    if (Accepts(port_)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  Stop();
  throw std::runtime_error("dovecot did not come up:\n" + ReadAll(base_.path() + "/dovecot.log"));
}

void DovecotServer::Stop() {
  if (master_ <= 0) return;
  ::kill(master_, SIGTERM);
  ::waitpid(master_, nullptr, 0);
  master_ = 0;
  // The processes serving connections may outlive their master for a
  // moment; a stopped server has none. They are known by the instance name
  // they show.
  const std::string prefix = "dovecot-tarvex-test-" + std::to_string(port_) + "/";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string pid = entry.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    if (ReadAll(entry.path().string() + "/cmdline").rfind(prefix, 0) == 0) {
      ::kill(std::atoi(pid.c_str()), SIGKILL);
    }
  }
  for (int i = 0; i < 100 && Accepts(port_); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
}

imap::Account DovecotServer::NewAccount() {
  imap::Account account;
  account.host = "127.0.0.1";
  account.port = port_;
  account.user = "user" + std::to_string(++users_);
  account.secret = kPassword;
  account.certificate_file = certificate_;
  account.timeout_seconds = 10;
  return account;
}

std::string DovecotServer::Url(const imap::Account& account) const {
  return "imaps://" + account.user + "@" + account.host + ":" + std::to_string(account.port);
}

std::string DovecotServer::Maildir(const std::string& user) const {
  return base_.path() + "/home/" + user + "/Maildir";
}

}  // namespace tarvex::testing
