#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <ostream>

#include "settings/filter_settings.h"

namespace tarvex {
namespace {

class Grammar {
 public:
  explicit Grammar(Invocation& v) : v_(v) {
    app_.name("tarvex");
    app_.require_subcommand(1);
    // The global options may follow the command too: what a command does not
    // know, the program takes. Set before any command is added, which
    // inherits it.
    app_.fallthrough();
    app_.set_version_flag("--version", std::string("tarvex ") + TARVEX_VERSION,
                          "print the program's name and version");
    app_.add_option("--config", v.profile.config,
                    "settings file (default: $TARVEX_CONFIG, "
                    "else $XDG_CONFIG_HOME/tarvex/settings.reg)");
    app_.add_option("--maildir", v.profile.maildir,
                    "the Maildir (default: $MAILDIR, else ~/Maildir)");
    now_ = app_.add_option("--now", now_value_,
                           "fix the clock at EPOCH seconds, for reproducible runs")
               ->check(CLI::Range(int64_t{INT32_MIN}, int64_t{INT32_MAX}));
    now_->type_name("EPOCH");
    AddDaemon();
    AddFileCommands();
    AddMailCommands();
    AddLists();
    AddSettings();
  }

  Parsed Parse(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
      app_.parse(reversed);
    } catch (const CLI::Success& e) {  // help or version
      return {std::nullopt, app_.exit(e, out, err)};
    } catch (const CLI::ParseError& e) {
      err << "tarvex: " << UnknownCommand().value_or(e.what())
          << "\nRun 'tarvex --help' for usage.\n";
      return {std::nullopt, kExitUsage};
    }
    if (now_->count()) v_.profile.now = static_cast<int32_t>(now_value_);
    for (CLI::App* command : app_.get_subcommands()) {
      v_.command = command->get_name();
      for (CLI::App* sub : command->get_subcommands()) v_.subcommand = sub->get_name();
    }
    return {v_, kExitOk};
  }

 private:
  // When the arguments name a command that does not exist, where one was
  // expected: the error that names it.
  std::optional<std::string> UnknownCommand() {
    std::string path = "tarvex";
    CLI::App* at = &app_;
    for (std::vector<CLI::App*> parsed = at->get_subcommands(); !parsed.empty();
         parsed = at->get_subcommands()) {
      at = parsed.front();
      path += " " + at->get_name();
    }
    if (at->get_subcommands({}).empty()) return std::nullopt;
    for (const std::string& word : app_.remaining(true)) {
      if (!word.empty() && word[0] != '-') {
        return "'" + word + "' is not a command of '" + path + "'";
      }
    }
    return std::nullopt;
  }

  CLI::App* Command(const std::string& name, const std::string& help) {
    return app_.add_subcommand(name, help);
  }

  void Files(CLI::App* c, const std::string& what = "message files, or Maildir unique names") {
    c->add_option("FILE", v_.files, what)->required();
  }

  void Reading(CLI::App* c, bool json) {
    c->add_flag("--raw", v_.raw,
                "read each file as raw RFC 822 text: header up to the first empty line, "
                "body after it, undecoded");
    if (json) c->add_flag("--json", v_.json, "print one JSON object per line");
    Files(c, "message files");
  }

  // A pair of mutually exclusive flags of which one is required.
  void Side(CLI::App* c, const std::string& spam, const std::string& clean,
            const std::string& what) {
    auto* s = c->add_flag(spam, v_.spam, "the messages " + what + " spam");
    auto* n = c->add_flag(clean, other_, "the messages " + what + " clean");
    s->excludes(n);
    c->callback([s, n] {
      if (s->count() + n->count() == 0) {
        throw CLI::RequiredError(s->get_name() + " or " + n->get_name());
      }
    });
  }

  void AddDaemon() {
    Command("run", "watch the Maildir and judge every message delivered into it (the daemon)");
    auto* init =
        Command("init", "create the profile (settings, word database, lists) and the Maildir");
    init->add_flag("--force", v_.force, "replace an existing profile");
  }

  void AddFileCommands() {
    auto* learn = Command("learn", "learn messages as spam or clean");
    Side(learn, "--spam", "--clean", "are");
    Reading(learn, false);
    auto* relearn = Command("relearn", "correct messages the filter judged wrongly");
    Side(relearn, "--was-spam", "--was-clean", "were judged");
    Reading(relearn, false);
    Reading(Command("score", "print the verdict the filter gives messages"), true);
    Reading(
        Command("tokens", "print the words the filter counts in messages, one a line, in order"),
        false);
    Reading(
        Command("classify", "show what the filter would do with messages arriving in the Inbox"),
        true);
    Command("stats", "print the word count and the message counters");
    Command("empty-db", "remove every word from the word database");
    Command("filter",
            "judge the message on standard input and write it to standard output with the "
            "verdict headers (exit 0 spam, 1 clean, 3 error)");
  }

  // Messages named by FILE arguments, or the one on standard input.
  void FilesOrInput(CLI::App* c) {
    auto* files = c->add_option("FILE", v_.files, "message files, or Maildir unique names");
    auto* input = c->add_flag("--stdin", v_.fromInput,
                              "the message whose Message-ID the message on standard input has");
    input->excludes(files);
    c->callback([files, input] {
      if (files->count() + input->count() == 0) throw CLI::RequiredError("FILE or --stdin");
    });
  }

  void AddMailCommands() {
    FilesOrInput(Command(
        "mark-spam", std::string("learn messages as spam and move them into ") + kSpamFolderName));
    auto* notSpam = Command("not-spam", std::string("learn messages as clean; out of ") +
                                            kSpamFolderName + " they move");
    notSpam->add_option("--to", v_.to, "the folder they move to (asked once, else the Inbox)");
    notSpam->add_flag("--remember", v_.remember, "always move them to this folder from now on");
    FilesOrInput(notSpam);
    auto* headers = Command("headers", "print a message's header block as stored");
    headers->add_option("FILE", v_.files, "a message file or Maildir unique name")
        ->required()
        ->expected(1);
    auto* train = Command("train", "learn every message of whole folders");
    train->add_option("--spam", v_.spamFolders, "folders of spam")->expected(1, -1);
    train->add_option("--good", v_.goodFolders, "folders of good mail")->expected(1, -1);
    train->add_flag("--empty-first", v_.emptyFirst, "empty the word database before training");
    train->callback([this] {
      if (v_.spamFolders.empty() && v_.goodFolders.empty()) {
        throw CLI::RequiredError("--spam or --good");
      }
    });
    Command("about", "print the program's name and version");
  }

  void AddLists() {
    for (const char* name : {"blacklist", "whitelist"}) {
      auto* list = Command(name, std::string("show or change the ") + name + " of senders");
      list->require_subcommand(1);
      list->add_subcommand("list", "print the entries");
      auto* add = list->add_subcommand("add", "add entries");
      auto* rename = list->add_subcommand("rename", "rename an entry: OLD NEW");
      auto* remove = list->add_subcommand("remove", "remove entries");
      for (CLI::App* c : {add, rename, remove}) {
        auto* d = c->add_flag("--domain", v_.domain, "domain names");
        auto* a = c->add_flag("--address", other_, "e-mail addresses (the default)");
        d->excludes(a);
      }
      add->add_option("TEXT", v_.files, "addresses or domains")->required();
      rename->add_option("TEXT", v_.files, "the old and the new name")->required()->expected(2);
      remove->add_option("TEXT", v_.files, "addresses or domains")->required();
    }
  }

  // The settings a user changes: the options, and the folder not-spam moves to.
  void AddSettings() {
    auto* settings = Command("settings", "show or change the settings");
    settings->add_subcommand("show", "print the settings (the default)");
    std::vector<std::string> names, folders;
    std::string footer = "Settings:";
    for (const SettingInfo* s : setting::kAll) {
      if (!s->ChangedByUser()) continue;
      names.push_back(s->name);
      if (s->kind == SettingKind::kFolder) folders.push_back(s->name);
      footer += std::string("\n  ") + s->name + ": " + s->help;
    }
    auto* set = settings->add_subcommand(
        "set", "turn an option on or off, or set " + Join(folders) + " to a folder's name");
    set->footer(footer);
    set->add_option("NAME", v_.settingName, "the setting")->required()->check(CLI::IsMember(names));
    set->add_option("VALUE", v_.settingValue, "on or off; a folder's name")->required();
    set->callback([this] {
      if (FindSetting(v_.settingName)->kind == SettingKind::kOption && v_.settingValue != "on" &&
          v_.settingValue != "off") {
        throw CLI::ValidationError("VALUE", v_.settingName + " is on or off");
      }
    });
    auto* clear = settings->add_subcommand(
        "clear", "empty " + Join(folders) + ", so that not-spam asks again");
    clear->add_option("NAME", v_.settingName, "the setting")
        ->required()
        ->check(CLI::IsMember(folders));
    settings->add_subcommand("empty-db", "remove every word from the word database");
  }

  static std::string Join(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : " or ") + name;
    return joined;
  }

  Invocation& v_;
  CLI::App app_{"Tarvex: a personal spam filter"};
  CLI::Option* now_ = nullptr;
  int64_t now_value_ = 0;
  bool other_ = false;  // the flags that only stand for their default
};

}  // namespace

Parsed ParseCommandLine(const std::vector<std::string>& args, std::ostream& out,
                        std::ostream& err) {
  Invocation invocation;
  Grammar grammar(invocation);
  Parsed parsed = grammar.Parse(args, out, err);
  if (parsed.invocation && parsed.invocation->command == "settings" &&
      parsed.invocation->subcommand.empty()) {
    parsed.invocation->subcommand = "show";
  }
  return parsed;
}

}  // namespace tarvex
