#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <ostream>

#include "settings/filter_settings.h"

namespace tarvex {
namespace {

class Grammar {
 public:
  explicit Grammar(Invocation& v) : v_(v), commands_(v) {
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
    app_.add_option("--imap", v.profile.imap,
                    "the IMAP account, imaps://user@host[:port] or imap://user@host[:port] "
                    "(default: Url in account.conf beside the settings file)");
    now_ = app_.add_option("--now", now_value_,
                           "fix the clock at EPOCH seconds, for reproducible runs")
               ->check(CLI::Range(int64_t{INT32_MIN}, int64_t{INT32_MAX}));
    now_->type_name("EPOCH");
    for (const Command& entry : Commands()) {
      CLI::App* c = app_.add_subcommand(entry.name, entry.help);
      c->preparse_callback([this, &entry](size_t) { v_.command = &entry; });
      if (entry.prints) c->add_flag("--json", v_.json, "print one JSON object per line");
      if (entry.grammar) entry.grammar(commands_, *c);
    }
  }

  Parsed Parse(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
      app_.parse(reversed);
    } catch (const CLI::Success& e) {  // help or version
      return {std::nullopt, app_.exit(e, out, err) == 0 ? Result::kOk : Result::kUsage};
    } catch (const CLI::ParseError& e) {
      err << "tarvex: " << UnknownCommand().value_or(e.what())
          << "\nRun 'tarvex --help' for usage.\n";
      return {std::nullopt, Result::kUsage};
    }
    if (now_->count()) v_.profile.now = static_cast<int32_t>(now_value_);
    return {v_, Result::kOk};
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

  Invocation& v_;
  CommandGrammar commands_;
  CLI::App app_{"Tarvex: a personal spam filter"};
  CLI::Option* now_ = nullptr;
  int64_t now_value_ = 0;
};

std::string JoinedByOr(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : " or ") + name;
  return joined;
}

}  // namespace

bool Invocation::ReadsInput() const {
  return command->input == Input::kMessage || (command->input == Input::kWhenAsked && fromInput);
}

void CommandGrammar::MessageFiles(CLI::App& c) {
  c.add_flag("--raw", v.raw,
             "read each file as raw RFC 822 text: header up to the first empty line, "
             "body after it, undecoded");
  c.add_option("FILE", v.files, "message files")->required();
}

void CommandGrammar::Side(CLI::App& c, const std::string& spam, const std::string& clean,
                          const std::string& what) {
  auto* s = c.add_flag(spam, v.spam, "the messages " + what + " spam");
  auto* n = c.add_flag(clean, other, "the messages " + what + " clean");
  s->excludes(n);
  c.callback([s, n] {
    if (s->count() + n->count() == 0) {
      throw CLI::RequiredError(s->get_name() + " or " + n->get_name());
    }
  });
}

void CommandGrammar::FilesOrInput(CLI::App& c) {
  auto* files = c.add_option("FILE", v.files, "message files, or Maildir unique names");
  auto* input = c.add_flag("--stdin", v.fromInput,
                           "the message whose Message-ID the message on standard input has");
  input->excludes(files);
  c.callback([files, input] {
    if (files->count() + input->count() == 0) throw CLI::RequiredError("FILE or --stdin");
  });
}

CLI::App& CommandGrammar::Sub(CLI::App& c, const std::string& name, const std::string& help,
                              Action action) {
  CLI::App* sub = c.add_subcommand(name, help);
  sub->preparse_callback([this, action](size_t) { v.action = action; });
  return *sub;
}

namespace grammar {

void Init(CommandGrammar& g, CLI::App& c) {
  c.add_flag("--force", g.v.force, "replace an existing profile");
}

void Learn(CommandGrammar& g, CLI::App& c) {
  g.Side(c, "--spam", "--clean", "are");
  g.MessageFiles(c);
}

void Relearn(CommandGrammar& g, CLI::App& c) {
  g.Side(c, "--was-spam", "--was-clean", "were judged");
  g.MessageFiles(c);
}

void MessageFiles(CommandGrammar& g, CLI::App& c) { g.MessageFiles(c); }

void MarkSpam(CommandGrammar& g, CLI::App& c) { g.FilesOrInput(c); }

void NotSpam(CommandGrammar& g, CLI::App& c) {
  c.add_option("--to", g.v.to, "the folder they move to (asked once, else the Inbox)");
  c.add_flag("--remember", g.v.remember, "always move them to this folder from now on");
  g.FilesOrInput(c);
}

void Headers(CommandGrammar& g, CLI::App& c) {
  c.add_option("FILE", g.v.files, "a message file or Maildir unique name")->required()->expected(1);
}

void Train(CommandGrammar& g, CLI::App& c) {
  Invocation& v = g.v;
  c.add_option("--spam", v.spamFolders, "folders of spam")->expected(1, -1);
  c.add_option("--good", v.goodFolders, "folders of good mail")->expected(1, -1);
  c.add_flag("--empty-first", v.emptyFirst, "empty the word database before training");
  c.callback([&v] {
    if (v.spamFolders.empty() && v.goodFolders.empty()) {
      throw CLI::RequiredError("--spam or --good");
    }
  });
}

void SenderList(CommandGrammar& g, CLI::App& c) {
  c.require_subcommand(1);
  g.Sub(c, "list", "print the entries", Action::kList);
  CLI::App& add = g.Sub(c, "add", "add entries", Action::kAdd);
  CLI::App& rename = g.Sub(c, "rename", "rename an entry: OLD NEW", Action::kRename);
  CLI::App& remove = g.Sub(c, "remove", "remove entries", Action::kRemove);
  for (CLI::App* sub : {&add, &rename, &remove}) {
    auto* d = sub->add_flag("--domain", g.v.domain, "domain names");
    auto* a = sub->add_flag("--address", g.other, "e-mail addresses (the default)");
    d->excludes(a);
  }
  add.add_option("TEXT", g.v.files, "addresses or domains")->required();
  rename.add_option("TEXT", g.v.files, "the old and the new name")->required()->expected(2);
  remove.add_option("TEXT", g.v.files, "addresses or domains")->required();
}

// The settings a user changes: the options, and the folder not-spam moves to.
void Settings(CommandGrammar& g, CLI::App& c) {
  Invocation& v = g.v;
  g.Sub(c, "show", "print the settings (the default)", Action::kShow);
  std::vector<std::string> names, folders;
  std::string footer = "Settings:";
  for (const SettingInfo* s : setting::kAll) {
    if (!s->ChangedByUser()) continue;
    names.push_back(s->name);
    if (s->kind == SettingKind::kFolder) folders.push_back(s->name);
    footer += std::string("\n  ") + s->name + ": " + s->help;
  }
  CLI::App& set = g.Sub(
      c, "set", "turn an option on or off, or set " + JoinedByOr(folders) + " to a folder's name",
      Action::kSet);
  set.footer(footer);
  set.add_option("NAME", v.settingName, "the setting")->required()->check(CLI::IsMember(names));
  set.add_option("VALUE", v.settingValue, "on or off; a folder's name")->required();
  set.callback([&v] {
    if (FindSetting(v.settingName)->kind == SettingKind::kOption && v.settingValue != "on" &&
        v.settingValue != "off") {
      throw CLI::ValidationError("VALUE", v.settingName + " is on or off");
    }
  });
  CLI::App& clear = g.Sub(
      c, "clear", "empty " + JoinedByOr(folders) + ", so that not-spam asks again", Action::kClear);
  clear.add_option("NAME", v.settingName, "the setting")->required()->check(CLI::IsMember(folders));
  g.Sub(c, "empty-db", "remove every word from the word database", Action::kEmptyDb);
}

}  // namespace grammar

Parsed ParseCommandLine(const std::vector<std::string>& args, std::ostream& out,
                        std::ostream& err) {
  Invocation invocation;
  Grammar grammar(invocation);
  return grammar.Parse(args, out, err);
}

}  // namespace tarvex
