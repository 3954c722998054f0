#include "cli/commands.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <ostream>

#include "app/filter_app.h"
#include "bayes/bayes_filter.h"
#include "bayes/database_file.h"
#include "classify/verdict_headers.h"
#include "cli/json.h"
#include "cli/message_file.h"
#include "host/host_error_report.h"
#include "host/maildir/maildir_files.h"
#include "host/maildir/mime_message.h"
#include "host/memory/memory_host.h"
#include "platform/codepage.h"
#include "ui/save_failure.h"

namespace tarvex {
namespace {

// Reads a message file the way the command was asked to. A file that cannot
// be read is reported and fails the run, without stopping it.
bool ReadMessage(CommandContext& ctx, const Invocation& v, const std::string& file,
                 RawMessage* message) {
  std::string text, error;
  if (!ReadNativeFile(ctx.Path(file), &text, &error)) {
    ctx.err << "tarvex: " << file << ": " << error << '\n';
    return false;
  }
  *message = ReadableMessage(text, v.raw ? MessageReading::kRaw : MessageReading::kDecoded);
  return true;
}

// Runs each on every message file, with progress on a terminal.
int ForEachMessage(CommandContext& ctx, const Invocation& v, const char* what,
                   const std::function<void(const std::string&, const RawMessage&)>& each) {
  int result = kExitOk;
  RawMessage message;
  for (size_t i = 0; i < v.files.size(); ++i) {
    if (ReadMessage(ctx, v, v.files[i], &message)) {
      each(v.files[i], message);
    } else {
      result = kExitFailure;
    }
    ctx.Progress(what, i + 1, v.files.size());
  }
  ctx.ProgressDone();
  return result;
}

void PrintHeaderLines(CommandContext& ctx, const VerdictHeaders& headers) {
  for (const HeaderValue& h : headers) {
    ctx.out << "  " << h.name << ": " << cp1252::ToUtf8(h.LineValue()) << '\n';
  }
}

void PrintScoreJson(CommandContext& ctx, const std::string& file, const MessageScore& score,
                    bool spam) {
  ctx.out << "{\"file\":" << JsonString(file) << ",\"nonEnglish\":" << score.nonEnglish
          << ",\"score\":" << score.score << ",\"verdict\":\"" << (spam ? "Spam" : "Clean")
          << "\",\"topWords\":" << JsonString(cp1252::ToUtf8(score.topWords)) << "}\n";
}

bool WriteNewFile(Profile& profile, std::ostream& err, const std::string& native_path,
                  const std::string& data) {
  const Status status = WriteWholeFile(profile.fs(), cp1252::FromUtf8(native_path), data);
  if (!status.ok()) err << "tarvex: " << status.message() << '\n';
  return status.ok();
}

int Fail(std::ostream& err, const std::string& what, const std::string& why) {
  err << "tarvex: " << what << ": " << why << '\n';
  return kExitFailure;
}

int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

// The spam folder comes with it, so that delivery agents that do not make
// folders can file spam there.
bool CreateMaildir(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  return maildir::MakeMaildir(path, false) == 0 &&
         maildir::MakeMaildir(path + "/." + kSpamFolderName, true) == 0;
}

// ------------------------------------------------------------------ context

CommandContext::CommandContext(Profile& profile, const RequestOrigin& origin, std::ostream& out,
                               std::ostream& err, MaildirSession* daemon)
    : profile(profile), origin(origin), out(out), err(err), daemon_(daemon) {
  if (daemon_) route_ = std::make_unique<RoutedUi::Route>(daemon_->ui(), ui);
}

CommandContext::~CommandContext() = default;

void CommandContext::RequireProfile() {
  if (Status status = profile.Check(); !status.ok()) throw CommandFailure(status);
}

namespace {

// A word database that is there but cannot be read stops the command before
// it does anything; the file stays as it is.
void RequireDatabase(const BayesFilter& filter) {
  if (!filter.loadStatus().ok()) throw CommandFailure(filter.loadStatus());
}

}  // namespace

BayesFilter& CommandContext::Filter() {
  if (daemon_) return daemon_->app().bayesFilter();
  if (session_) return session_->app().bayesFilter();
  if (!filter_) {
    RequireProfile();
    filter_ = std::make_unique<BayesFilter>(profile.clock(), profile.fs());
    filter_->LoadAtStartup(profile.settings());
    RequireDatabase(*filter_);
  }
  return *filter_;
}

const SenderLists& CommandContext::Lists() {
  if (daemon_) return daemon_->app().lists();
  if (session_) return session_->app().lists();
  if (!lists_) {
    RequireProfile();
    lists_ = std::make_unique<SenderLists>();
    LoadSenderLists(profile.fs(), profile.settings(), lists_.get());
  }
  return *lists_;
}

MaildirSession& CommandContext::Session() {
  if (daemon_) return *daemon_;
  if (!session_) {
    RequireProfile();
    const std::string& maildir = profile.paths().maildir;
    if (!maildir::IsDirectory(maildir)) {
      throw CommandFailure(maildir, "no Maildir here; run 'tarvex init' or give --maildir");
    }
    // The command's own filter, if it made one, must be saved before the
    // session loads the database again.
    CloseFilter();
    session_ = std::make_unique<MaildirSession>(
        SessionServices{profile.clock(), profile.fs(), profile.store(), ui, loop_}, maildir);
    session_->Start();
    RequireDatabase(session_->app().bayesFilter());
  }
  return *session_;
}

void CommandContext::CloseFilter() {
  if (!filter_) return;
  ReportSaveFailure(ui, filter_->Close(), filter_->databasePath());
  filter_.reset();
}

std::string CommandContext::Path(const std::string& path) const {
  if (path.empty() || path[0] == '/' || origin.cwd.empty()) return path;
  return origin.cwd + "/" + path;
}

void CommandContext::Progress(const std::string& what, size_t done, size_t total) {
  if (!origin.terminal) return;
  const int64_t now = SteadyMs();
  if (done != total && lastProgressMs_ >= 0 && now - lastProgressMs_ < 200) return;
  lastProgressMs_ = now;
  err << '\r' << what << ' ' << done;
  if (total) err << '/' << total;
  err << "\x1b[K" << std::flush;
  progressShown_ = true;
}

void CommandContext::ProgressDone() {
  if (progressShown_) err << '\n' << std::flush;
  progressShown_ = false;
  lastProgressMs_ = -1;
}

void CommandContext::RefusedByDialog() {
  if (!ui.log().empty() && ui.log().back().IsMessageBox() && ui.log().back().owner >= 0) {
    refusals_.insert(ui.log().size() - 1);
  }
}

int CommandContext::Finish(int result) {
  ProgressDone();
  session_.reset();
  CloseFilter();
  route_.reset();
  for (size_t i = 0; i < ui.log().size(); ++i) {
    const ScriptedUi::Shown& shown = ui.log()[i];
    if (!shown.IsMessageBox()) continue;
    // A box of a dialog is the dialog talking to its user, unless it refused
    // what the command asked; one outside any dialog is an error report.
    const bool error = shown.owner < 0 || refusals_.count(i);
    (error ? err : out) << HostErrorLine(shown.text, shown.caption, shown.details) << '\n';
    if (error && result == kExitOk) result = kExitFailure;
  }
  return result;
}

// ------------------------------------------------------------------ init

int RunInit(Profile& profile, std::ostream& out, std::ostream& err, bool force) {
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
      return kExitFailure;
    }
  }
  RegFileSettingsStore& store = profile.store();
  if (force && profile.fs().FileExists(store.path())) {
    if (const Status reset = store.Reset(); !reset.ok()) {
      err << "tarvex: " << reset.message() << '\n';
      return kExitFailure;
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
  if (!maildir::IsDirectory(paths.maildir)) {
    if (!CreateMaildir(paths.maildir)) {
      return Fail(err, paths.maildir, "cannot create the Maildir");
    }
    out << "Created the Maildir " << paths.maildir << '\n';
  }
  return kExitOk;
}

// ------------------------------------------------------------------ file commands

namespace {

int RunLearn(CommandContext& ctx, const Invocation& v) {
  BayesFilter& filter = ctx.Filter();
  int learnt = 0;
  const int result =
      ForEachMessage(ctx, v, "Learning", [&](const std::string&, const RawMessage& m) {
        learnt += filter.LearnMessage(m.body, m.header, v.spam);
      });
  ctx.out << "Learnt " << learnt << (learnt == 1 ? " message" : " messages") << " as "
          << (v.spam ? "spam" : "clean") << '\n';
  return result;
}

int RunRelearn(CommandContext& ctx, const Invocation& v) {
  BayesFilter& filter = ctx.Filter();
  return ForEachMessage(ctx, v, "Correcting", [&](const std::string& file, const RawMessage& m) {
    const int32_t passes = filter.RelearnMessage(m.body, m.header, v.spam);
    ctx.out << file << ": " << passes << (passes == 1 ? " correction pass" : " correction passes")
            << '\n';
  });
}

int RunScore(CommandContext& ctx, const Invocation& v) {
  BayesFilter& filter = ctx.Filter();
  const bool non_english_test = ctx.profile.settings().GetConsiderNonEnglishSpam() != 0;
  return ForEachMessage(ctx, v, "Scoring", [&](const std::string& file, const RawMessage& m) {
    MessageScore score;
    score.headerText = m.header;
    const bool spam = filter.ScoreMessage(m.body, score, non_english_test);
    if (v.json) {
      PrintScoreJson(ctx, file, score, spam);
    } else {
      ctx.out << file << '\n';
      PrintHeaderLines(ctx, BayesianHeaders(score));
    }
  });
}

// The words the filter counts in each message, in the order it meets them,
// so that a user can see what a score was made of. Several messages: each
// one's words follow a line with its name and a colon, which no word has.
int RunTokens(CommandContext& ctx, const Invocation& v) {
  const BayesFilter& filter = ctx.Filter();
  const bool several = v.files.size() > 1;
  return ForEachMessage(ctx, v, "Reading", [&](const std::string& file, const RawMessage& m) {
    if (several) ctx.out << file << ":\n";
    filter.VisitMessageWords(
        m.header, m.body, [&](std::string_view word) { ctx.out << cp1252::ToUtf8(word) << '\n'; });
  });
}

// What happened to the message, in words.
std::string Fate(const ClassifyResult& r) {
  std::string fate = r.moved             ? std::string("moved to ") + kSpamFolderName
                     : r.headers.empty() ? "left alone"
                                         : "stamped";
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

// Each message goes into the Inbox of a host held in memory, next to a
// "DedoZarozo" folder, and through the classifier with the profile's lists,
// settings and word database. Whatever the run would write (a learnt message,
// the word database) stays in memory: the profile is not changed.
int RunClassify(CommandContext& ctx, const Invocation& v) {
  // The daemon's word database may hold more than the file: the dry run
  // reads the file.
  if (ctx.InDaemon()) {
    BayesFilter& filter = ctx.Filter();
    ReportSaveFailure(ctx.ui, filter.SaveDatabase(), filter.databasePath());
  }
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
  const int result =
      ForEachMessage(ctx, v, "Classifying", [&](const std::string& file, const RawMessage& m) {
        const ClassifyResult r = app.Classify(AddToMemoryHost(host, m), *inbox);
        if (v.json) return PrintClassifyJson(ctx, file, r);
        ctx.out << file << ": " << OutcomeName(r.outcome) << ", " << Fate(r) << '\n';
        PrintHeaderLines(ctx, r.headers);
      });
  inbox = nullptr;
  app.ExitInstance();
  return result;
}

int RunStats(CommandContext& ctx) {
  BayesFilter& filter = ctx.Filter();
  ctx.out << "Words: " << filter.WordCount() << '\n'
          << "Spam messages: " << filter.SpamMessageCount() << '\n'
          << "Clean messages: " << filter.CleanMessageCount() << '\n';
  return kExitOk;
}

int RunEmptyDb(CommandContext& ctx) {
  BayesFilter& filter = ctx.Filter();
  const uint32_t words = filter.WordCount();
  ReportSaveFailure(ctx.ui, filter.EmptyDatabase(), filter.databasePath());
  if (!filter.databaseClean()) return kExitFailure;
  ctx.out << "Removed " << words << " words\n";
  return kExitOk;
}

int Dispatch(const Invocation& v, CommandContext& ctx) {
  const std::string& c = v.command;
  if (c == "learn") return RunLearn(ctx, v);
  if (c == "relearn") return RunRelearn(ctx, v);
  if (c == "score") return RunScore(ctx, v);
  if (c == "tokens") return RunTokens(ctx, v);
  if (c == "classify") return RunClassify(ctx, v);
  if (c == "stats") return RunStats(ctx);
  if (c == "empty-db") return RunEmptyDb(ctx);
  if (c == "filter") return RunFilter(ctx);
  if (c == "mark-spam") return RunMarkSpam(ctx, v);
  if (c == "not-spam") return RunNotSpam(ctx, v);
  if (c == "headers") return RunHeaders(ctx, v);
  if (c == "train") return RunTrain(ctx, v);
  if (c == "blacklist" || c == "whitelist") return RunList(ctx, v);
  if (c == "settings") return RunSettings(ctx, v);
  if (c == "about") return RunAbout(ctx);
  ctx.err << "tarvex: " << c << ": not a command here\n";
  return kExitUsage;
}

}  // namespace

int32_t AddToMemoryHost(MemoryHost& host, const RawMessage& m) {
  HostHeaders headers;
  for (const auto& [name, value] : ParseHeaderLines(m.header)) {
    const std::string utf8 = cp1252::ToUtf8(value);
    headers.emplace_back(cp1252::ToUtf8(name),
                         m.presented ? maildir::PresentedHeaderValue(name, utf8) : utf8);
  }
  return host.AddMessage(MemoryHost::kInboxId, headers, cp1252::ToUtf8(m.body));
}

int RunCommand(const Invocation& v, CommandContext& ctx) {
  int result;
  try {
    result = Dispatch(v, ctx);
  } catch (const CommandFailure& failure) {
    ctx.err << "tarvex: " << failure.what() << '\n';
    result = v.command == "filter" ? kExitFilterError : kExitFailure;
  }
  return ctx.Finish(result);
}

}  // namespace tarvex
