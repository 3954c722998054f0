// The daemon on an IMAP account, and the account's recording by init.
#include <unistd.h>

#include <filesystem>
#include <ostream>

#include "app/imap_account.h"
#include "app/imap_session.h"
#include "cli/commands.h"

namespace tarvex {

bool UsesImapAccount(const Profile& profile) {
  if (!profile.options().imap.empty()) return true;
  std::error_code error;
  return profile.options().maildir.empty() &&
         std::filesystem::exists(profile.paths().account, error);
}

std::unique_ptr<StoreSession> OpenImapSession(Profile& profile, const SessionServices& services,
                                              std::ostream& log) {
  const ProfilePaths& paths = profile.paths();
  AccountFile file = ReadAccountFile(paths.account).value_or(AccountFile{});
  if (!profile.options().imap.empty()) file.url = profile.options().imap;
  const imap::Account account = ResolveAccount(file, paths.account);
  std::error_code ignored;
  std::filesystem::create_directories(paths.state_folder, ignored);
  return std::make_unique<ImapSession>(services, account,
                                       ImapStateFile(paths.state_folder, account), log);
}

Result RecordImapAccount(CommandContext& ctx, const Invocation& v) {
  const std::string& path = ctx.profile.paths().account;
  try {
    ParseAccountUrl(v.profile.imap);
    AccountFile file = ReadAccountFile(path).value_or(AccountFile{});
    file.url = v.profile.imap;
    WriteAccountFile(path, file);
    ctx.out << "Recorded the account " << file.url << " in " << path << '\n';
    if (file.password_command.empty()) {
      ctx.out << "Name the command that prints its password there, for example\n"
              << "  PasswordCommand = pass show mail/work\n";
    }
    return Result::kOk;
  } catch (const std::exception& error) {
    ctx.err << "tarvex: " << error.what() << '\n';
    return Result::kFailed;
  }
}

}  // namespace tarvex
