#include "cli/command_table.h"

#include "cli/command_line.h"
#include "cli/commands.h"
#include "settings/filter_settings.h"

namespace tarvex {

const std::vector<Command>& Commands() {
  using I = Input;
  using W = RunsIn;
  const std::string spamFolder = kSpamFolderName;
  static const std::vector<Command> commands = {
      // daemon_commands.cc (init: database_commands.cc)
      {"run", "watch the Maildir and judge every message delivered into it (the daemon)",
       W::kClient, I::kNone, false, nullptr, RunDaemonCommand},
      {"init", "create the profile (settings, word database, lists) and the Maildir", W::kClient,
       I::kNone, false, grammar::Init, RunInitCommand},
      // database_commands.cc
      {"learn", "learn messages as spam or clean", W::kOwner, I::kNone, false, grammar::Learn,
       RunLearn},
      {"relearn", "correct messages the filter judged wrongly", W::kOwner, I::kNone, false,
       grammar::Relearn, RunRelearn},
      {"score", "print the verdict the filter gives messages", W::kOwner, I::kNone, true,
       grammar::MessageFiles, RunScore},
      {"tokens", "print the words the filter counts in messages, one a line, in order", W::kOwner,
       I::kNone, true, grammar::MessageFiles, RunTokens},
      {"classify", "show what the filter would do with messages arriving in the Inbox", W::kOwner,
       I::kNone, true, grammar::MessageFiles, RunClassify},
      {"stats", "print the word count and the message counters", W::kOwner, I::kNone, true, nullptr,
       RunStats},
      {"empty-db", "remove every word from the word database", W::kOwner, I::kNone, false, nullptr,
       RunEmptyDb},
      // daemon_commands.cc
      {"filter",
       "judge the message on standard input and write it to standard output with the "
       "verdict headers (exit " +
           std::to_string(kExitSpam) + " spam, " + std::to_string(kExitClean) + " clean, " +
           std::to_string(kExitNotJudged) + " error)",
       W::kOwner, I::kMessage, false, nullptr, RunFilter},
      // verdict_commands.cc
      {"mark-spam", "learn messages as spam and move them into " + spamFolder, W::kOwner,
       I::kWhenAsked, true, grammar::MarkSpam, RunMarkSpam},
      {"not-spam", "learn messages as clean; out of " + spamFolder + " they move", W::kOwner,
       I::kWhenAsked, true, grammar::NotSpam, RunNotSpam},
      {"headers", "print a message's header block as stored", W::kOwner, I::kNone, false,
       grammar::Headers, RunHeaders},
      {"train", "learn every message of whole folders", W::kOwner, I::kNone, false, grammar::Train,
       RunTrain},
      // daemon_commands.cc
      {"about", "print the program's name and version", W::kOwner, I::kNone, false, nullptr,
       RunAbout},
      // list_commands.cc
      {"blacklist", "show or change the blacklist of senders", W::kOwner, I::kNone, true,
       grammar::SenderList, RunBlacklist},
      {"whitelist", "show or change the whitelist of senders", W::kOwner, I::kNone, true,
       grammar::SenderList, RunWhitelist},
      // settings_commands.cc
      {"settings", "show or change the settings", W::kOwner, I::kNone, true, grammar::Settings,
       RunSettings},
  };
  return commands;
}

int ExitStatus(Result result, const Command* command) {
  const bool judges = command && command->input == Input::kMessage;
  switch (result) {
    case Result::kOk:
      return kExitOk;
    case Result::kUsage:
      return kExitUsage;
    case Result::kSpam:
      return kExitSpam;
    case Result::kClean:
      return kExitClean;
    case Result::kFailed:
      break;
  }
  return judges ? kExitNotJudged : kExitFailure;
}

}  // namespace tarvex
