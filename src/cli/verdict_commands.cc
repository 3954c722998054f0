// The commands on messages of the Maildir, as the mail client's toolbar has
// them: mark-spam, not-spam, headers, train. Each one finds the messages or
// folders the user names. not-spam and headers call the plug-in's operations with the
// answers given on the command line; mark-spam runs the toolbar's command on
// the messages, selected; train trains on the folders named.
#include <algorithm>
#include <functional>
#include <map>
#include <ostream>

#include "classify/verdict_headers.h"
#include "cli/commands.h"
#include "mail/maildir_names.h"
#include "mail/message_text.h"
#include "platform/codepage.h"
#include "ui/plugin_toolbar.h"

namespace tarvex {
namespace {

using Location = MaildirHost::NewMessage;

Location Locate(CommandContext& ctx, MaildirHost& host, const std::string& name) {
  const std::string path = name.find('/') == std::string::npos ? name : ctx.Path(name);
  std::optional<Location> found = host.FindMessage(path);
  if (!found) throw CommandFailure(name, "no such message in " + host.root());
  return *found;
}

std::vector<Location> LocateAll(CommandContext& ctx, const std::vector<std::string>& names) {
  std::vector<Location> found;
  for (const std::string& name : names) found.push_back(Locate(ctx, ctx.Session().host(), name));
  return found;
}

// What a command does with the messages of one folder, selected in it.
using FolderRun = std::function<void(const std::vector<int32_t>& messages)>;

// The toolbar's command on the messages of one folder, selected.
FolderRun ToolbarCommand(MaildirSession& session, uint32_t command) {
  return [&session, command](const std::vector<int32_t>&) { session.app().OnCommand(command); };
}

// Runs run once per folder that holds some of the messages, with those
// messages selected, folders in the order they are first named.
void RunOnSelections(CommandContext& ctx, const std::vector<Location>& messages,
                     const FolderRun& run) {
  MaildirSession& session = ctx.Session();
  std::vector<int32_t> folders;
  std::map<int32_t, std::vector<int32_t>> selection;
  for (const Location& at : messages) {
    if (!selection.count(at.folder)) folders.push_back(at.folder);
    selection[at.folder].push_back(at.message);
  }
  for (int32_t folder : folders) {
    session.Select(folder, selection[folder]);
    run(selection[folder]);
  }
  session.Select(MaildirHost::kInboxId, {});
}

// The user's verdict a message carries ("X-TVX-LEARN"), as the commands read
// it; none when it carries no such header or cannot be read.
std::optional<std::string> LearnMarker(MaildirSession& session, const Location& at) {
  PluginController* controller = session.app().controller();
  if (!controller || !controller->folderManager()) return std::nullopt;
  try {
    HostRef<HostMessage> message =
        controller->folderManager()->GetFolder(at.folder)->GetMessage(at.message);
    int32_t found = 0;
    std::string value = message->GetHeaderValue(message->GetRootPart(), header::kLearn, &found);
    if (found) return value;
  } catch (const HostError&) {
    // The command itself meets the failure and reports it.
  }
  return std::nullopt;
}

// Runs a command that leaves alone the messages the user already judged, and
// says which it left alone and why. skips tells from a marker whether the
// command passes over the message.
void RunVerdictCommand(CommandContext& ctx, const std::vector<std::string>& names,
                       const FolderRun& command, bool (*skips)(const std::string& marker)) {
  const std::vector<Location> messages = LocateAll(ctx, names);
  std::vector<std::optional<std::string>> markers;
  for (const Location& at : messages) markers.push_back(LearnMarker(ctx.Session(), at));
  RunOnSelections(ctx, messages, command);
  for (size_t i = 0; i < names.size(); ++i) {
    if (!markers[i] || !skips(*markers[i])) continue;
    ctx.err << "tarvex: " << names[i] << ": left alone: it already carries \"" << header::kLearn
            << ": " << cp1252::ToUtf8(*markers[i])
            << "\"; to change the verdict, remove that header or use 'tarvex relearn'\n";
  }
}

// Where each named message is now.
void PrintWhereMessagesAre(CommandContext& ctx, const std::vector<std::string>& names) {
  MaildirHost& host = ctx.Session().host();
  for (const std::string& name : names) {
    const std::string file = name.substr(name.rfind('/') + 1);
    std::optional<Location> at = host.FindMessage(mail::ParseMessageFileName(file).unique);
    Printer& p = ctx.printer();
    p.BeginMap();
    p.Key("message", {"", ": "});
    p.String(name);
    if (at) {
      p.Key("file", {""});
      p.String(at->file);
    } else {
      p.Key("gone");
      p.Bool(true);
      p.Text("gone\n");
    }
    p.End();
  }
}

// ------------------------------------------------------------------ by Message-ID

// The file of the message on standard input: the one of its Message-ID, or
// of those the one with its body.
std::string FileOfInput(CommandContext& ctx) {
  const MaildirHost& host = ctx.Session().host();
  const std::vector<std::string> files = host.FilesOfMessage(ctx.origin.input);
  if (files.size() == 1) return files[0];
  const std::string id =
      mail::FirstHeaderValue(mail::WithoutMboxFromLine(ctx.origin.input), "Message-ID");
  if (id.empty()) {
    throw CommandFailure("standard input", "the message has no Message-ID; name its file instead");
  }
  if (files.empty()) throw CommandFailure(id, "no message with this Message-ID in " + host.root());
  std::string list;
  for (const std::string& file : files) list += "\n  " + file;
  throw CommandFailure(id, "more than one message has this Message-ID; name the file:" + list);
}

std::vector<std::string> NamedMessages(CommandContext& ctx, const Invocation& v) {
  return v.fromInput ? std::vector<std::string>{FileOfInput(ctx)} : v.files;
}

// The folders as the training dialog's folder list gives them back: in the
// order of the list, each once.
std::vector<std::string> InListOrder(MaildirSession& session,
                                     const std::vector<std::string>& folders) {
  std::vector<std::string> ordered;
  for (const std::string& name : FolderNames(session)) {
    if (std::find(folders.begin(), folders.end(), name) != folders.end() &&
        std::find(ordered.begin(), ordered.end(), name) == ordered.end()) {
      ordered.push_back(name);
    }
  }
  return ordered;
}

}  // namespace

Result RunMarkSpam(CommandContext& ctx, const Invocation& v) {
  const std::vector<std::string> names = NamedMessages(ctx, v);
  RunVerdictCommand(ctx, names, ToolbarCommand(ctx.Session(), command::kMarkSpam),
                    [](const std::string&) { return true; });
  PrintWhereMessagesAre(ctx, names);
  return Result::kOk;
}

Result RunNotSpam(CommandContext& ctx, const Invocation& v) {
  MaildirSession& session = ctx.Session();
  const std::string to = v.to.empty() ? "Inbox" : v.to;
  const std::string shown = ShownFolderNames(session, {to})[0];
  // The destination is asked for only when the messages leave the spam
  // folder and no folder was chosen for good; remembered, it is that folder.
  bool asked = false;
  const DestinationPicker pick = [&](std::vector<std::string>&) -> std::optional<std::string> {
    if (v.remember) session.app().settings().SetNotSpamFolderName(shown);
    asked = true;
    return shown;
  };
  const std::vector<std::string> names = NamedMessages(ctx, v);
  // A message marked as spam is corrected; one without a marker is learnt.
  RunVerdictCommand(
      ctx, names, [&](const std::vector<int32_t>& ids) { session.app().NotSpam(ids, pick); },
      [](const std::string& marker) { return !marker.empty() && marker != header::kLearnSpam; });
  if (!asked && (!v.to.empty() || v.remember)) {
    ctx.err << "tarvex: --to and --remember were not needed: the messages stayed where they "
               "were, or went to the folder chosen for good (settings)\n";
  }
  PrintWhereMessagesAre(ctx, names);
  return Result::kOk;
}

Result RunHeaders(CommandContext& ctx, const Invocation& v) {
  MaildirSession& session = ctx.Session();
  const Location at = Locate(ctx, session.host(), v.files[0]);
  std::string text = cp1252::ToUtf8(session.app().RawHeaders(at.folder, at.message).value_or(""));
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  ctx.out << text;
  return Result::kOk;
}

Result RunTrain(CommandContext& ctx, const Invocation& v) {
  MaildirSession& session = ctx.Session();
  const std::vector<std::string> spam = ShownFolderNames(session, v.spamFolders);
  const std::vector<std::string> good = ShownFolderNames(session, v.goodFolders);
  BayesFilter& filter = session.app().bayesFilter();
  const int32_t spamBefore = v.emptyFirst ? 0 : filter.SpamMessageCount();
  const int32_t cleanBefore = v.emptyFirst ? 0 : filter.CleanMessageCount();
  session.app().SetTrainingProgress([&ctx](const std::string& folder, size_t learnt) {
    ctx.Progress("Training on " + cp1252::ToUtf8(folder) + ":", learnt, 0);
  });
  session.app().TrainFromFolders(InListOrder(session, spam), InListOrder(session, good),
                                 v.emptyFirst);
  session.app().SetTrainingProgress(nullptr);
  ctx.ProgressDone();
  ctx.out << "Learnt " << filter.SpamMessageCount() - spamBefore << " spam and "
          << filter.CleanMessageCount() - cleanBefore << " good messages; " << filter.WordCount()
          << " words\n";
  return Result::kOk;
}
}  // namespace tarvex
