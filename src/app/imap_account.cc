#include "app/imap_account.h"

#include <glib.h>
#include <libsecret/secret.h>

#include <memory>
#include <stdexcept>

namespace tarvex {
namespace {

const char kGroup[] = "Account";

struct GFreer {
  void operator()(GKeyFile* f) const { g_key_file_free(f); }
  void operator()(GError* e) const { g_error_free(e); }
  void operator()(GUri* u) const { g_uri_unref(u); }
  void operator()(char* s) const { g_free(s); }
};
template <typename T>
using GOwned = std::unique_ptr<T, GFreer>;

std::string Value(GKeyFile* file, const char* key) {
  GOwned<char> value(g_key_file_get_string(file, kGroup, key, nullptr));
  return value ? std::string(value.get()) : std::string();
}

}  // namespace

std::string AccountFilePath(const std::string& settingsFile) {
  const size_t slash = settingsFile.rfind('/');
  return (slash == std::string::npos ? std::string(".") : settingsFile.substr(0, slash)) +
         "/account.conf";
}

std::optional<AccountFile> ReadAccountFile(const std::string& path) {
  GOwned<GKeyFile> file(g_key_file_new());
  GError* raw = nullptr;
  if (!g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_NONE, &raw)) {
    GOwned<GError> error(raw);
    if (g_error_matches(raw, G_FILE_ERROR, G_FILE_ERROR_NOENT)) return std::nullopt;
    throw std::runtime_error(path + ": " + raw->message);
  }
  AccountFile account;
  account.url = Value(file.get(), "Url");
  account.password_command = Value(file.get(), "PasswordCommand");
  account.authentication = Value(file.get(), "Authentication");
  account.certificate_file = Value(file.get(), "CertificateFile");
  return account;
}

void WriteAccountFile(const std::string& path, const AccountFile& account) {
  GOwned<GKeyFile> file(g_key_file_new());
  const std::pair<const char*, const std::string*> keys[] = {
      {"Url", &account.url},
      {"PasswordCommand", &account.password_command},
      {"Authentication", &account.authentication},
      {"CertificateFile", &account.certificate_file}};
  for (const auto& [key, value] : keys) {
    if (!value->empty()) g_key_file_set_string(file.get(), kGroup, key, value->c_str());
  }
  GError* raw = nullptr;
  if (!g_key_file_save_to_file(file.get(), path.c_str(), &raw)) {
    GOwned<GError> error(raw);
    throw std::runtime_error(path + ": " + raw->message);
  }
}

imap::Account ParseAccountUrl(const std::string& url) {
  GError* raw = nullptr;
  GOwned<GUri> uri(g_uri_parse(url.c_str(), G_URI_FLAGS_NONE, &raw));
  if (!uri) {
    GOwned<GError> error(raw);
    throw std::invalid_argument(url + ": " + raw->message);
  }
  imap::Account account;
  const std::string scheme = g_uri_get_scheme(uri.get());
  if (scheme == "imaps") {
    account.security = imap::Account::Security::kTls;
    account.port = 993;
  } else if (scheme == "imap") {
    account.security = imap::Account::Security::kStartTls;
    account.port = 143;
  } else {
    throw std::invalid_argument(url + ": not an imaps:// or imap:// address");
  }
  const char* user = g_uri_get_user(uri.get());
  const char* host = g_uri_get_host(uri.get());
  if (!user || !*user) throw std::invalid_argument(url + ": names no user (imaps://user@host)");
  if (!host || !*host) throw std::invalid_argument(url + ": names no server");
  account.user = user;
  account.host = host;
  if (g_uri_get_port(uri.get()) > 0)
    account.port = static_cast<uint16_t>(g_uri_get_port(uri.get()));
  return account;
}

namespace {

// The desktop's secret service, asked for the password stored for the
// account: by `secret-tool store --label=Tarvex service tarvex server HOST
// user USER`, or by any program that stores those attributes.
std::string StoredSecret(const imap::Account& account, const std::string& path) {
  static const SecretSchema schema = {"org.tarvex.ImapAccount",
                                      SECRET_SCHEMA_DONT_MATCH_NAME,
                                      {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                      0,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr};
  const std::string what = path + ": no PasswordCommand gives the password of " + account.user +
                           ", and the desktop's secret service ";
  GError* raw = nullptr;
  // Freed as a password: wiped first.
  std::unique_ptr<char, void (*)(char*)> secret(
      secret_password_lookup_sync(&schema, nullptr, &raw, "service", "tarvex", "server",
                                  account.host.c_str(), "user", account.user.c_str(), nullptr),
      [](char* password) { secret_password_free(password); });
  if (raw) {
    GOwned<GError> error(raw);
    throw std::runtime_error(what + "cannot be asked (" + raw->message + ")");
  }
  if (!secret || !*secret.get()) {
    throw std::runtime_error(what +
                             "holds none; store it with: secret-tool store --label=Tarvex "
                             "service tarvex server " +
                             account.host + " user " + account.user);
  }
  return secret.get();
}

}  // namespace

imap::Account ResolveAccount(const AccountFile& file, const std::string& path) {
  imap::Account account;
  try {
    account = ParseAccountUrl(file.url);
  } catch (const std::invalid_argument& error) {
    throw std::runtime_error(path + ": Url " + error.what());
  }
  account.certificate_file = file.certificate_file;
  if (file.authentication == "xoauth2") {
    account.oauth = true;
  } else if (!file.authentication.empty() && file.authentication != "password") {
    throw std::runtime_error(path + ": Authentication is \"password\" or \"xoauth2\", not \"" +
                             file.authentication + "\"");
  }
  if (file.password_command.empty()) {
    account.secret = StoredSecret(account, path);
    return account;
  }
  const char* argv[] = {"/bin/sh", "-c", file.password_command.c_str(), nullptr};
  char* out = nullptr;
  int wait_status = 0;
  GError* raw = nullptr;
  const bool ran =
      g_spawn_sync(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_STDERR_TO_DEV_NULL, nullptr,
                   nullptr, &out, nullptr, &wait_status, &raw) &&
      g_spawn_check_wait_status(wait_status, &raw);
  GOwned<char> output(out);
  if (!ran) {
    GOwned<GError> error(raw);
    throw std::runtime_error(path + ": the PasswordCommand failed: " + raw->message);
  }
  std::string secret = output ? output.get() : "";
  secret = secret.substr(0, secret.find('\n'));
  if (!secret.empty() && secret.back() == '\r') secret.pop_back();
  if (secret.empty()) throw std::runtime_error(path + ": the PasswordCommand gave nothing");
  account.secret = secret;
  return account;
}

}  // namespace tarvex
