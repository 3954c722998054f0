// The commands on the word database and on message files: init, learn,
// relearn, score, tokens, classify, stats, empty-db.
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>

#include "app/filter_app.h"
#include "bayes/bayes_filter.h"
#include "bayes/database_file.h"
#include "classify/verdict_headers.h"
#include "cli/client.h"
#include "cli/commands.h"
#include "host/memory/memory_host.h"
#include "mail/message_file.h"
#include "platform/codepage.h"
#include "platform/profile_lock.h"
#include "ui/save_failure.h"
#include "ui/settings_dialog.h"

namespace tarvex {
namespace {

// Reads a message file the way the command was asked to. A file that cannot
// be read is reported and fails the run, without stopping it.
bool ReadMessage(CommandContext& ctx, const Invocation& v, const std::string& file,
                 mail::RawMessage* message) {
  std::string text, error;
  if (!mail::ReadNativeFile(ctx.Path(file), &text, &error)) {
    ctx.err << "tarvex: " << file << ": " << error << '\n';
    return false;
  }
  *message = mail::ReadableMessage(
      text, v.raw ? mail::MessageReading::kRaw : mail::MessageReading::kDecoded);
  return true;
}

// Runs each on every message file, with progress on a terminal.
Result ForEachMessage(
    CommandContext& ctx, const Invocation& v, const char* what,
    const std::function<void(const std::string&, const mail::RawMessage&)>& each) {
  Result result = Result::kOk;
  mail::RawMessage message;
  for (size_t i = 0; i < v.files.size(); ++i) {
    if (ReadMessage(ctx, v, v.files[i], &message)) {
      each(v.files[i], message);
    } else {
      result = Result::kFailed;
    }
    ctx.Progress(what, i + 1, v.files.size());
  }
  ctx.ProgressDone();
  return result;
}

// The verdict header lines the text form shows: the value without the line
// end the word list's value carries. The JSON form has its own fields.
void PrintHeaderLines(Printer& p, const VerdictHeaders& headers) {
  for (const HeaderValue& h : headers) {
    p.Text("  " + h.name + ": " + cp1252::ToUtf8(h.LineValue()) + "\n");
  }
}

bool WriteNewFile(Profile& profile, std::ostream& err, const std::string& native_path,
                  const std::string& data) {
  const Status status = WriteWholeFile(profile.fs(), cp1252::FromUtf8(native_path), data);
  if (!status.ok()) err << "tarvex: " << status.message() << '\n';
  return status.ok();
}

Result Fail(std::ostream& err, const std::string& what, const std::string& why) {
  err << "tarvex: " << what << ": " << why << '\n';
  return Result::kFailed;
}

}  // namespace

Result RunInit(Profile& profile, std::ostream& out, std::ostream& err, bool force) {
  const ProfilePaths& paths = profile.paths();
  if (!force && profile.fs().FileExists(profile.SettingsSystemPath())) {
    return Fail(err, paths.settings, "a profile exists already (use --force to replace it)");
  }
  const std::string data = cp1252::FromUtf8(paths.data_folder);
  if (cp1252::ToUtf8(data) != paths.data_folder) {
    return Fail(err, paths.data_folder, "the folder's name has characters outside Windows-1252");
  }
  if (!profile.fs().CreateDirectories(data)) {
    return Fail(err, paths.data_folder, "cannot create the folder");
  }
  std::string empty_database;
  AppendHeaderLines({0, 0, 1.01f}, &empty_database);
  Scramble(empty_database.data(), empty_database.size());
  // What each data file holds when it is new.
  const std::pair<const SettingInfo*, std::string> files[] = {
      {&setting::kWordFilePath, empty_database},
      {&setting::kIgnoreFilePath, ""},
      {&setting::kBlackListPath, "<BlackList />\n"},
      {&setting::kWhiteListPath, "<WhiteList />\n"},
  };
  // Learnt words and list entries are never thrown away: a data file that is
  // there is kept as it is, whatever state it is in.
  for (const auto& [file, contents] : files) {
    const std::string native = paths.data_folder + "/" + file->initText;
    if (profile.fs().FileExists(data + "/" + file->initText)) {
      out << "Kept " << native << '\n';
    } else if (!WriteNewFile(profile, err, native, contents)) {
      return Result::kFailed;
    }
  }
  RegFileSettingsStore& store = profile.store();
  if (force && profile.fs().FileExists(store.path())) {
    if (const Status reset = store.Reset(); !reset.ok()) {
      err << "tarvex: " << reset.message() << '\n';
      return Result::kFailed;
    }
    out << "Kept the old settings as " << paths.settings << ".bak\n";
  }
  if (!store.CreateKey()) return Fail(err, paths.settings, "cannot write the file");
  // The paths first, then the rest in the table's order.
  for (const auto& [file, contents] : files) {
    WriteStringValue(store, file->name, data + "/" + file->initText);
  }
  for (const SettingInfo* s : setting::kAll) {
    if (s->kind == SettingKind::kFolder) WriteStringValue(store, s->name, s->initText);
    if (s->kind == SettingKind::kOption || s->kind == SettingKind::kNumber) {
      WriteDwordValue(store, s->name, s->initNumber);
    }
  }
  out << "Created the profile: settings in " << paths.settings << ", data in " << paths.data_folder
      << '\n';
  if (!MaildirExists(paths.maildir)) {
    if (!CreateMaildir(paths.maildir)) {
      return Fail(err, paths.maildir, "cannot create the Maildir");
    }
    out << "Created the Maildir " << paths.maildir << '\n';
  }
  return Result::kOk;
}

// init takes the profile lock itself: it runs in the client, and no daemon
// can run before there is a profile.
Result RunInitCommand(CommandContext& ctx, const Invocation& v) {
  const ProfilePaths& paths = ctx.profile.paths();
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(paths.settings).parent_path(), error);
  pid_t holder = 0;
  std::optional<ProfileLock> lock = ProfileLock::TryAcquire(paths.lock, &holder);
  if (!lock) return ProfileInUse(ctx.err, paths.lock, holder);
  const Result made = RunInit(ctx.profile, ctx.out, ctx.err, v.force);
  return made == Result::kOk && !v.profile.imap.empty() ? RecordImapAccount(ctx, v) : made;
}

Result RunLearn(CommandContext& ctx, const Invocation& v) {
  // Messages go to the owner in batches: few round trips, bounded memory.
  constexpr size_t kBatchBytes = size_t{16} << 20;
  std::vector<mail::RawMessage> batch;
  size_t batchBytes = 0;
  int32_t learnt = 0;
  auto send = [&] {
    if (!batch.empty()) Check(ctx.Ops().Learn(batch, v.spam, &learnt));
    batch.clear();
    batchBytes = 0;
  };
  const Result result =
      ForEachMessage(ctx, v, "Learning", [&](const std::string&, const mail::RawMessage& m) {
        batch.push_back(m);
        batchBytes += m.header.size() + m.body.size();
        if (batchBytes >= kBatchBytes) send();
      });
  send();
  ctx.out << "Learnt " << learnt << (learnt == 1 ? " message" : " messages") << " as "
          << (v.spam ? "spam" : "clean") << '\n';
  return result;
}

Result RunRelearn(CommandContext& ctx, const Invocation& v) {
  return ForEachMessage(
      ctx, v, "Correcting", [&](const std::string& file, const mail::RawMessage& m) {
        int32_t passes = 0;
        Check(ctx.Ops().Relearn(m, v.spam, &passes));
        ctx.out << file << ": " << passes
                << (passes == 1 ? " correction pass" : " correction passes") << '\n';
      });
}

Result RunScore(CommandContext& ctx, const Invocation& v) {
  Printer& p = ctx.printer();
  return ForEachMessage(ctx, v, "Scoring", [&](const std::string& file, const mail::RawMessage& m) {
    ScoreReport score;
    Check(ctx.Ops().Score(m, &score));
    p.BeginMap();
    p.Key("file", {""});
    p.String(file);
    p.Key("nonEnglish");
    p.Integer(score.nonEnglish);
    p.Key("score");
    p.Integer(score.score);
    p.Key("verdict");
    p.String(score.spam ? "Spam" : "Clean");
    p.Key("topWords");
    p.String(cp1252::ToUtf8(score.topWords));
    PrintHeaderLines(p, score.headers);
    p.End();
  });
}

// The words the filter counts in each message, in the order it meets them,
// so that a user can see what a score was made of. Several messages: each
// one's words follow a line with its name and a colon, which no word has.
Result RunTokens(CommandContext& ctx, const Invocation& v) {
  const bool several = v.files.size() > 1;
  Printer& p = ctx.printer();
  return ForEachMessage(ctx, v, "Reading", [&](const std::string& file, const mail::RawMessage& m) {
    std::vector<std::string> words;
    Check(ctx.Ops().Tokens(m, &words));
    p.BeginMap();
    p.Key("file", {several ? "" : nullptr, ":\n"});
    p.String(file);
    p.Key("words", {""});
    p.BeginList();
    for (const std::string& word : words) p.String(cp1252::ToUtf8(word));
    p.End();
    p.End();
  });
}

namespace {

// What happened to the message, in words.
std::string Fate(const ClassifyResult& r) {
  std::string fate = r.moved             ? std::string("moved to ") + kSpamFolderName
                     : r.headers.empty() ? "left alone"
                                         : "stamped";
  return fate + (r.learnt ? ", learnt" : ", not learnt");
}

void PrintClassified(Printer& p, const std::string& file, const ClassifyResult& r) {
  p.BeginMap();
  p.Key("file", {"", ": "});
  p.String(file);
  p.Key("outcome", {"", ", "});
  p.String(OutcomeName(r.outcome));
  p.Text(Fate(r) + "\n");
  p.Key("headers");
  p.BeginList();
  for (const HeaderValue& h : r.headers) {
    p.BeginMap();
    p.Key("name");
    p.String(h.name);
    p.Key("value");
    p.String(cp1252::ToUtf8(h.value));
    p.End();
  }
  p.End();
  PrintHeaderLines(p, r.headers);
  p.Key("moved");
  p.Bool(r.moved);
  p.Key("learnt");
  p.Bool(r.learnt);
  p.End();
}

}  // namespace

// Each message goes into the Inbox of a host held in memory, next to a
// "DedoZarozo" folder, and through the classifier with the profile's lists,
// settings and word database. Whatever the run would write (a learnt message,
// the word database) stays in memory: the profile is not changed.
Result RunClassify(CommandContext& ctx, const Invocation& v) {
  // The daemon's word database may hold more than the file: the dry run
  // reads the file.
  if (ctx.InDaemon()) ctx.Ops().SaveDatabase();
  ctx.RequireProfile();
  Profile& profile = ctx.profile;
  OverlayFileSystem dry_run(profile.fs());
  MemoryHost host;
  host.AddFolder(MemoryHost::kLocalFoldersId, kSpamFolderName);
  ManualEventLoop loop;  // nothing is scheduled: the messages are handed over directly
  FilterApp app({profile.clock(), dry_run, profile.store(), ctx.ui, host, loop});
  app.InitInstance();
  if (!app.bayesFilter().loadStatus().ok()) {
    app.ExitInstance();
    RequireDatabase(app.bayesFilter());
  }
  HostRef<HostFolder> inbox = app.controller()->folderManager()->GetFolder(MemoryHost::kInboxId);
  const Result result = ForEachMessage(
      ctx, v, "Classifying", [&](const std::string& file, const mail::RawMessage& m) {
        PrintClassified(ctx.printer(), file, app.Classify(AddToMemoryHost(host, m), *inbox));
      });
  inbox = nullptr;
  app.ExitInstance();
  return result;
}

Result RunStats(CommandContext& ctx, const Invocation&) {
  DatabaseStats stats;
  Check(ctx.Ops().Stats(&stats));
  Printer& p = ctx.printer();
  p.BeginMap();
  p.Key("words", {"Words: "});
  p.Integer(stats.words);
  p.Key("spamMessages", {"Spam messages: "});
  p.Integer(stats.spamMessages);
  p.Key("cleanMessages", {"Clean messages: "});
  p.Integer(stats.cleanMessages);
  p.End();
  return Result::kOk;
}

Result RunEmptyDb(CommandContext& ctx, const Invocation&) {
  uint32_t words = 0;
  // A failed save was shown, and fails the command.
  if (!ctx.Ops().EmptyDatabase(&words).ok()) return Result::kFailed;
  ctx.out << "Removed " << words << " words\n";
  return Result::kOk;
}
}  // namespace tarvex
