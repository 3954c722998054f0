#include "cli/commands.h"

#include <functional>
#include <ostream>

#include "app/filter_app.h"
#include "bayes/bayes_filter.h"
#include "bayes/database_file.h"
#include "classify/verdict_headers.h"
#include "cli/json.h"
#include "cli/message_file.h"
#include "host/memory/memory_host.h"
#include "platform/codepage.h"

namespace tarvex {
namespace {

int Fail(CommandContext& ctx, const std::string& file, const std::string& reason) {
  ctx.err << "tarvex: " << file << ": " << reason << '\n';
  return kExitFailure;
}

bool RequireProfile(CommandContext& ctx) {
  if (ctx.profile.Exists()) return true;
  Fail(ctx, ctx.profile.paths().settings, "no profile here; run 'tarvex init' first");
  return false;
}

// Runs body with the word database loaded from the profile the way start-up
// does; destroying the filter afterwards saves it (forced). A save error was
// shown as a message box and fails the run.
int WithFilter(CommandContext& ctx, const std::function<int(BayesFilter&)>& body) {
  if (!RequireProfile(ctx)) return kExitFailure;
  int result;
  {
    BayesFilter filter(ctx.profile.clock(), ctx.profile.fs(), ctx.profile.ui());
    filter.LoadAtStartup(ctx.profile.settings());
    result = body(filter);
  }
  return ctx.profile.ui().boxes_shown() ? kExitFailure : result;
}

// Runs each on every message file. A file that cannot be read is reported and
// skipped, and fails the run.
int ForEachMessage(CommandContext& ctx, const MessageOptions& options,
                   const std::function<void(const std::string&, const RawMessage&)>& each) {
  int result = kExitOk;
  std::string text, error;
  for (const std::string& file : options.files) {
    if (ReadNativeFile(file, &text, &error)) {
      each(file, SplitRawMessage(text));
    } else {
      result = Fail(ctx, file, error);
    }
  }
  return result;
}

void PrintHeaderLines(CommandContext& ctx, const VerdictHeaders& headers) {
  for (const HeaderValue& h : headers) {
    std::string value = h.value;
    if (value.size() >= 2 && value.compare(value.size() - 2, 2, "\r\n") == 0)
      value.resize(value.size() - 2);
    ctx.out << "  " << h.name << ": " << cp1252::ToUtf8(value) << '\n';
  }
}

void PrintScoreJson(CommandContext& ctx, const std::string& file, const MessageScore& score,
                    bool spam) {
  ctx.out << "{\"file\":" << JsonString(file) << ",\"nonEnglish\":" << score.nonEnglish
          << ",\"score\":" << score.score << ",\"verdict\":\"" << (spam ? "Spam" : "Clean")
          << "\",\"topWords\":" << JsonString(cp1252::ToUtf8(score.topWords)) << "}\n";
}

bool WriteNewFile(CommandContext& ctx, const std::string& native_path, const std::string& data) {
  if (WriteWholeFile(ctx.profile.fs(), cp1252::FromUtf8(native_path), data)) return true;
  Fail(ctx, native_path, "cannot write the file");
  return false;
}

}  // namespace

int RunInit(CommandContext& ctx, bool force) {
  Profile& profile = ctx.profile;
  const ProfilePaths& paths = profile.paths();
  if (!force && profile.fs().FileExists(profile.SettingsSystemPath())) {
    return Fail(ctx, paths.settings, "a profile exists already (use --force to replace it)");
  }
  const std::string data = cp1252::FromUtf8(paths.data_folder);
  if (cp1252::ToUtf8(data) != paths.data_folder) {
    return Fail(ctx, paths.data_folder, "the folder's name has characters outside Windows-1252");
  }
  if (!profile.fs().CreateDirectories(data)) {
    return Fail(ctx, paths.data_folder, "cannot create the folder");
  }
  std::string empty_database;
  AppendHeaderLines({0, 0, 1.01f}, &empty_database);
  Scramble(empty_database.data(), empty_database.size());
  const struct {
    const char* setting;
    const char* name;
    std::string contents;
  } files[] = {
      {"WordFilePath", "words.db", empty_database},
      {"IgnoreFilePath", "ignore.txt", ""},
      {"BlackListPath", "blacklist.xml", "<BlackList />\n"},
      {"WhiteListPath", "whitelist.xml", "<WhiteList />\n"},
  };
  for (const auto& f : files) {
    if (!WriteNewFile(ctx, paths.data_folder + "/" + f.name, f.contents)) return kExitFailure;
  }
  const std::string settings_folder = paths.settings.substr(0, paths.settings.rfind('/'));
  profile.fs().CreateDirectories(cp1252::FromUtf8(settings_folder));
  if (!profile.store().CreateKey()) return Fail(ctx, paths.settings, "cannot write the file");
  SettingsStore& store = profile.store();
  for (const auto& f : files) WriteStringValue(store, f.setting, data + "/" + f.name);
  FilterSettings settings = profile.settings();
  settings.SetMarkReadBeforeMoving(0);
  settings.SetConsiderNonEnglishSpam(1);
  settings.SetBeepAtSpam(0);
  settings.SetLearnFromMarkSpam(1);
  settings.SetLearnFromNotSpam(1);
  settings.SetLearnFromBlackListed(0);
  settings.SetLearnFromWhiteListed(0);
  settings.SetNotSpamFolderName("");
  ctx.out << "Created the profile: settings in " << paths.settings << ", data in "
          << paths.data_folder << '\n';
  return kExitOk;
}

int RunLearn(CommandContext& ctx, const MessageOptions& options) {
  return WithFilter(ctx, [&](BayesFilter& filter) {
    int learnt = 0;
    const int result = ForEachMessage(ctx, options, [&](const std::string&, const RawMessage& m) {
      learnt += filter.LearnMessage(m.body, m.header, options.spam);
    });
    ctx.out << "Learnt " << learnt << (learnt == 1 ? " message" : " messages") << " as "
            << (options.spam ? "spam" : "clean") << '\n';
    return result;
  });
}

int RunRelearn(CommandContext& ctx, const MessageOptions& options) {
  return WithFilter(ctx, [&](BayesFilter& filter) {
    return ForEachMessage(ctx, options, [&](const std::string& file, const RawMessage& m) {
      const int32_t passes = filter.RelearnMessage(m.body, m.header, options.spam);
      ctx.out << file << ": " << passes << (passes == 1 ? " correction pass" : " correction passes")
              << '\n';
    });
  });
}

int RunScore(CommandContext& ctx, const MessageOptions& options) {
  return WithFilter(ctx, [&](BayesFilter& filter) {
    const bool non_english_test = ctx.profile.settings().GetConsiderNonEnglishSpam() != 0;
    return ForEachMessage(ctx, options, [&](const std::string& file, const RawMessage& m) {
      MessageScore score;
      score.headerText = m.header;
      const bool spam = filter.ScoreMessage(m.body, score, non_english_test);
      if (options.json) {
        PrintScoreJson(ctx, file, score, spam);
      } else {
        ctx.out << file << '\n';
        PrintHeaderLines(ctx, BayesianHeaders(score));
      }
    });
  });
}

namespace {

// What happened to the message, in words.
std::string Fate(const ClassifyResult& r) {
  std::string fate = r.moved ? "moved to DedoZarozo" : r.headers.empty() ? "left alone" : "stamped";
  return fate + (r.learnt ? ", learnt" : ", not learnt");
}

void PrintClassifyJson(CommandContext& ctx, const std::string& file, const ClassifyResult& r) {
  ctx.out << "{\"file\":" << JsonString(file) << ",\"outcome\":\"" << OutcomeName(r.outcome)
          << "\",\"headers\":[";
  for (size_t i = 0; i < r.headers.size(); ++i) {
    ctx.out << (i ? "," : "") << "{\"name\":" << JsonString(r.headers[i].name)
            << ",\"value\":" << JsonString(cp1252::ToUtf8(r.headers[i].value)) << "}";
  }
  ctx.out << "],\"moved\":" << (r.moved ? "true" : "false")
          << ",\"learnt\":" << (r.learnt ? "true" : "false") << "}\n";
}

HostHeaders HostHeadersOf(const std::string& header) {
  HostHeaders headers;
  for (const auto& [name, value] : ParseHeaderLines(header)) {
    headers.emplace_back(cp1252::ToUtf8(name), cp1252::ToUtf8(value));
  }
  return headers;
}

}  // namespace

// Each message goes into the Inbox of a host held in memory, next to a
// "DedoZarozo" folder, and through the classifier with the profile's lists,
// settings and word database. Whatever the run would write (a learnt message,
// the word database) stays in memory: the profile is not changed.
int RunClassify(CommandContext& ctx, const MessageOptions& options) {
  if (!RequireProfile(ctx)) return kExitFailure;
  Profile& profile = ctx.profile;
  OverlayFileSystem dry_run(profile.fs());
  MemoryHost host;
  host.AddFolder(MemoryHost::kLocalFoldersId, "DedoZarozo");
  ManualEventLoop loop;  // nothing is scheduled: the messages are handed over directly
  int result;
  {
    FilterApp app({profile.clock(), dry_run, profile.store(), profile.ui(), host, loop});
    app.InitInstance();
    HostRef<HostFolder> inbox = app.controller()->folderManager()->GetFolder(MemoryHost::kInboxId);
    result = ForEachMessage(ctx, options, [&](const std::string& file, const RawMessage& m) {
      const int32_t id =
          host.AddMessage(MemoryHost::kInboxId, HostHeadersOf(m.header), cp1252::ToUtf8(m.body));
      const ClassifyResult r = app.Classify(id, *inbox);
      if (options.json) {
        PrintClassifyJson(ctx, file, r);
        return;
      }
      ctx.out << file << ": " << OutcomeName(r.outcome) << ", " << Fate(r) << '\n';
      PrintHeaderLines(ctx, r.headers);
    });
    app.ExitInstance();
  }
  return profile.ui().boxes_shown() ? kExitFailure : result;
}

int RunStats(CommandContext& ctx) {
  return WithFilter(ctx, [&](BayesFilter& filter) {
    ctx.out << "Words: " << filter.WordCount() << '\n'
            << "Spam messages: " << filter.SpamMessageCount() << '\n'
            << "Clean messages: " << filter.CleanMessageCount() << '\n';
    return kExitOk;
  });
}

int RunEmptyDb(CommandContext& ctx) {
  return WithFilter(ctx, [&](BayesFilter& filter) {
    const uint32_t words = filter.WordCount();
    if (!filter.EmptyDatabase()) return kExitFailure;
    ctx.out << "Removed " << words << " words\n";
    return kExitOk;
  });
}

}  // namespace tarvex
