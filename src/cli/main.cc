// tarvex: the command-line program. Parses arguments and hands each
// subcommand to its function in commands.cc.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>

#include "cli/commands.h"
#include "platform/memory.h"

namespace tarvex {
namespace {

struct Arguments {
  ProfileOptions profile;
  int64_t now = 0;
  bool force = false;
  bool spam = false, clean = false;
  MessageOptions messages;
};

void AddMessageOptions(CLI::App* command, Arguments& args, bool json) {
  command->add_flag("--raw", args.messages.raw,
                    "read each file as raw RFC 822 text: header up to the first empty line, "
                    "body after it, undecoded");
  if (json) command->add_flag("--json", args.messages.json, "print one JSON object per line");
  command->add_option("FILE", args.messages.files, "message files")->required();
}

// Adds a pair of mutually exclusive flags of which one is required.
void AddSide(CLI::App* command, Arguments& args, const std::string& spam, const std::string& clean,
             const std::string& what) {
  auto* s = command->add_flag(spam, args.spam, "the messages " + what + " spam");
  auto* c = command->add_flag(clean, args.clean, "the messages " + what + " clean");
  s->excludes(c);
  command->callback([s, c] {
    if (s->count() + c->count() == 0) {
      throw CLI::RequiredError(s->get_name() + " or " + c->get_name());
    }
  });
}

int Main(int argc, char** argv) {
  CLI::App app{"Tarvex: a personal spam filter"};
  app.require_subcommand(1);
  Arguments args;
  app.add_option("--config", args.profile.config,
                 "settings file (default: $TARVEX_CONFIG, "
                 "else $XDG_CONFIG_HOME/tarvex/settings.reg)");
  auto* now = app.add_option("--now", args.now,
                             "fix the clock at EPOCH seconds, for "
                             "reproducible runs")
                  ->check(CLI::Range(int64_t{INT32_MIN}, int64_t{INT32_MAX}));
  now->type_name("EPOCH");

  auto* init = app.add_subcommand("init", "create the profile: settings, word database, lists");
  init->add_flag("--force", args.force, "replace an existing profile");
  auto* learn = app.add_subcommand("learn", "learn messages as spam or clean");
  AddSide(learn, args, "--spam", "--clean", "are");
  AddMessageOptions(learn, args, false);
  auto* relearn = app.add_subcommand("relearn", "correct messages the filter judged wrongly");
  AddSide(relearn, args, "--was-spam", "--was-clean", "were judged");
  AddMessageOptions(relearn, args, false);
  auto* score = app.add_subcommand("score", "print the verdict the filter gives messages");
  AddMessageOptions(score, args, true);
  auto* classify = app.add_subcommand(
      "classify", "show what the filter would do with messages arriving in the Inbox");
  AddMessageOptions(classify, args, true);
  auto* stats = app.add_subcommand("stats", "print the word count and the message counters");
  auto* empty = app.add_subcommand("empty-db", "remove every word from the word database");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "tarvex: " << e.what() << "\nRun 'tarvex --help' for usage.\n";
    return kExitUsage;
  }
  if (now->count()) args.profile.now = static_cast<int32_t>(args.now);
  args.messages.spam = args.spam;

  Profile profile(
      args.profile, [](const char* name) { return std::getenv(name); }, std::cerr);
  CommandContext ctx{profile, std::cout, std::cerr};
  if (init->parsed()) return RunInit(ctx, args.force);
  if (learn->parsed()) return RunLearn(ctx, args.messages);
  if (relearn->parsed()) return RunRelearn(ctx, args.messages);
  if (score->parsed()) return RunScore(ctx, args.messages);
  if (classify->parsed()) return RunClassify(ctx, args.messages);
  if (stats->parsed()) return RunStats(ctx);
  if (empty->parsed()) return RunEmptyDb(ctx);
  return kExitUsage;
}

}  // namespace
}  // namespace tarvex

int main(int argc, char** argv) {
  tarvex::PreferLargePages(size_t{64} << 20);
  return tarvex::Main(argc, argv);
}
