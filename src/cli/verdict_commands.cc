// The commands on messages of the Maildir, as the mail client's toolbar has
// them: mark-spam, not-spam, headers, train. Each finds the messages or
// folders the user names and calls the user's operation on them, with the
// answers a dialog would have asked for given on the command line.
#include <algorithm>
#include <functional>
#include <ostream>

#include "classify/verdict_headers.h"
#include "cli/commands.h"
#include "mail/message_text.h"
#include "platform/codepage.h"

namespace tarvex {
namespace {

// The messages named, by path (relative to the request's folder) or by the
// store's name.
std::vector<MessageRef> Locate(CommandContext& ctx, const std::vector<std::string>& names) {
  std::vector<std::string> paths;
  for (const std::string& name : names) {
    paths.push_back(name.find('/') == std::string::npos ? name : ctx.Path(name));
  }
  std::vector<MessageRef> found;
  Check(ctx.Ops().FindMessages(paths, &found));
  return found;
}

// Where each named message is now (empty: gone).
void PrintWhereMessagesAre(CommandContext& ctx, const std::vector<std::string>& names,
                           const std::vector<std::string>& now) {
  for (size_t i = 0; i < names.size(); ++i) {
    Printer& p = ctx.printer();
    p.BeginMap();
    p.Key("message", {"", ": "});
    p.String(names[i]);
    if (i < now.size() && !now[i].empty()) {
      p.Key("file", {""});
      p.String(now[i]);
    } else {
      p.Key("gone");
      p.Bool(true);
      p.Text("gone\n");
    }
    p.End();
  }
}

// Runs a command that leaves alone the messages the user already judged, and
// says which it left alone and why. skips tells from a marker whether the
// command passes over the message; the command tells where each message is
// afterwards.
void RunVerdictCommand(
    CommandContext& ctx, const std::vector<std::string>& names,
    const std::function<std::vector<std::string>(const std::vector<MessageRef>&)>& command,
    bool (*skips)(const std::string& marker)) {
  const std::vector<MessageRef> messages = Locate(ctx, names);
  const std::vector<std::string> now = command(messages);
  for (size_t i = 0; i < names.size(); ++i) {
    if (!messages[i].marked || !skips(messages[i].marker)) continue;
    ctx.err << "tarvex: " << names[i] << ": left alone: it already carries \"" << header::kLearn
            << ": " << cp1252::ToUtf8(messages[i].marker)
            << "\"; to change the verdict, remove that header or use 'tarvex relearn'\n";
  }
  PrintWhereMessagesAre(ctx, names, now);
}

// ------------------------------------------------------------------ by Message-ID

// The file of the message on standard input: the one of its Message-ID, or
// of those the one with its body.
std::string FileOfInput(CommandContext& ctx) {
  std::vector<std::string> files;
  Check(ctx.Ops().FindMessageText(ctx.origin.input, &files));
  if (files.size() == 1) return files[0];
  const std::string id =
      mail::FirstHeaderValue(mail::WithoutMboxFromLine(ctx.origin.input), "Message-ID");
  if (id.empty()) {
    throw CommandFailure("standard input", "the message has no Message-ID; name its file instead");
  }
  if (files.empty()) {
    std::string store;
    Check(ctx.Ops().StoreName(&store));
    throw CommandFailure(id, "no message with this Message-ID in " + store);
  }
  std::string list;
  for (const std::string& file : files) list += "\n  " + file;
  throw CommandFailure(id, "more than one message has this Message-ID; name the file:" + list);
}

std::vector<std::string> NamedMessages(CommandContext& ctx, const Invocation& v) {
  return v.fromInput ? std::vector<std::string>{FileOfInput(ctx)} : v.files;
}

}  // namespace

Result RunMarkSpam(CommandContext& ctx, const Invocation& v) {
  RunVerdictCommand(
      ctx, NamedMessages(ctx, v),
      [&](const std::vector<MessageRef>& messages) {
        std::vector<std::string> now;
        Check(ctx.Ops().MarkSpam(messages, &now));
        return now;
      },
      [](const std::string&) { return true; });
  return Result::kOk;
}

Result RunNotSpam(CommandContext& ctx, const Invocation& v) {
  // The destination is used only when the messages leave the spam folder
  // and no folder was chosen for good; remembered, it is that folder.
  const Destination destination{cp1252::FromUtf8(v.to.empty() ? "Inbox" : v.to), v.remember};
  bool asked = false;
  // A message marked as spam is corrected; one without a marker is learnt.
  RunVerdictCommand(
      ctx, NamedMessages(ctx, v),
      [&](const std::vector<MessageRef>& messages) {
        NotSpamReport report;
        Check(ctx.Ops().NotSpam(messages, destination, &report));
        asked = report.asked;
        return report.now;
      },
      [](const std::string& marker) { return !marker.empty() && marker != header::kLearnSpam; });
  if (!asked && (!v.to.empty() || v.remember)) {
    ctx.err << "tarvex: --to and --remember were not needed: the messages stayed where they "
               "were, or went to the folder chosen for good (settings)\n";
  }
  return Result::kOk;
}

Result RunHeaders(CommandContext& ctx, const Invocation& v) {
  std::string headers;
  Check(ctx.Ops().RawHeaders(Locate(ctx, {v.files[0]})[0], &headers));
  std::string text = cp1252::ToUtf8(headers);
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  ctx.out << text;
  return Result::kOk;
}

Result RunTrain(CommandContext& ctx, const Invocation& v) {
  TrainingReport report;
  const Progress progress = [&ctx](const std::string& folder, size_t learnt) {
    ctx.Progress("Training on " + cp1252::ToUtf8(folder) + ":", learnt, 0);
  };
  const Status trained = ctx.Ops().Train(ShownNames(v.spamFolders), ShownNames(v.goodFolders),
                                         v.emptyFirst, progress, &report);
  ctx.ProgressDone();
  Check(trained);
  ctx.out << "Learnt " << report.spamLearnt << " spam and " << report.cleanLearnt
          << " good messages; " << report.words << " words\n";
  return Result::kOk;
}

}  // namespace tarvex
