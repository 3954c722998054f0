// The commands of the mail client's toolbar and menus. Each one selects what
// the user would select, queues on the command's scripted interface what the
// user would do in the dialogs that come up, and runs the command's entry of
// the command table; then it prints what the dialogs showed.
#include <algorithm>
#include <map>
#include <ostream>

#include "classify/classifier.h"
#include "cli/commands.h"
#include "host/maildir/maildir_files.h"
#include "host/maildir/maildir_names.h"
#include "host/maildir/message_text.h"
#include "platform/codepage.h"
#include "ui/about_dialog.h"
#include "ui/folder_dialogs.h"
#include "ui/list_dialogs.h"
#include "ui/plugin_toolbar.h"
#include "ui/settings_dialog.h"

namespace tarvex {
namespace {

using Location = MaildirHost::NewMessage;

Location Locate(CommandContext& ctx, MaildirHost& host, const std::string& name) {
  const std::string path = name.find('/') == std::string::npos ? name : ctx.Path(name);
  std::optional<Location> found = host.FindMessage(path);
  if (!found) throw CommandFailure(name, "no such message in " + host.root());
  return *found;
}

// Runs command once per folder that holds some of the named messages, with
// those messages selected, folders in the order they are first named.
void RunOnSelections(CommandContext& ctx, const std::vector<std::string>& names, uint32_t command) {
  MaildirSession& session = ctx.Session();
  std::vector<int32_t> folders;
  std::map<int32_t, std::vector<int32_t>> selection;
  for (const std::string& name : names) {
    const Location at = Locate(ctx, session.host(), name);
    if (!selection.count(at.folder)) folders.push_back(at.folder);
    selection[at.folder].push_back(at.message);
  }
  for (int32_t folder : folders) {
    session.Select(folder, selection[folder]);
    session.app().OnCommand(command);
  }
  session.Select(MaildirHost::kInboxId, {});
}

// Where each named message is now.
void PrintWhereMessagesAre(CommandContext& ctx, const std::vector<std::string>& names) {
  MaildirHost& host = ctx.Session().host();
  for (const std::string& name : names) {
    const std::string file = name.substr(name.rfind('/') + 1);
    std::optional<Location> at = host.FindMessage(maildir::ParseMessageFileName(file).unique);
    ctx.out << name << ": " << (at ? at->file : "gone") << '\n';
  }
}

// The texts a dialog showed right after it opened.
std::string DialogText(const ScriptedUi& ui, int resourceId, int control) {
  for (const ScriptedUi::Shown& shown : ui.log()) {
    if (shown.IsDialog() && shown.resourceId == resourceId) {
      auto text = shown.controlTexts.find(control);
      if (text != shown.controlTexts.end()) return text->second;
    }
  }
  return {};
}

int RowOf(const DialogDriver& d, int control, const std::string& text) {
  const std::vector<std::string> rows = d.Rows(control);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (EqualIgnoringCase(rows[i], text)) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::string> FolderNames(MaildirSession& session) {
  std::vector<std::string> names;
  if (PluginController* controller = session.app().controller()) {
    controller->ListFolderNames(&names);
  }
  return names;
}

// The folder names as the interface shows them (Windows-1252); unknown ones
// end the command.
std::vector<std::string> ShownFolderNames(MaildirSession& session,
                                          const std::vector<std::string>& names) {
  const std::vector<std::string> all = FolderNames(session);
  std::vector<std::string> shown;
  for (const std::string& name : names) {
    shown.push_back(cp1252::FromUtf8(name));
    if (std::find(all.begin(), all.end(), shown.back()) == all.end()) {
      throw CommandFailure(name, "no such folder in " + session.host().root());
    }
  }
  return shown;
}

// ------------------------------------------------------------------ by Message-ID

// The first Message-ID of a header block, unfolded; empty when none.
std::string MessageIdOf(std::string_view message) {
  const std::string_view header = message.substr(0, maildir::LayOut(message).header_end);
  for (const maildir::HeaderField& field : maildir::HeaderFields(header)) {
    if (EqualIgnoringCase(field.name, "Message-ID")) return maildir::UnfoldedValue(header, field);
  }
  return {};
}

std::string_view BodyOf(std::string_view message) {
  return message.substr(maildir::LayOut(message).body_start);
}

// A message piped by a mail reader: without the mbox "From " line it may
// start with and the extra line end it may end with.
std::string_view StoredForm(std::string_view piped) {
  if (piped.rfind("From ", 0) == 0)
    piped.remove_prefix(std::min(piped.size(), piped.find('\n') + 1));
  return piped;
}

bool SameBody(std::string_view stored, std::string_view piped) {
  if (stored == piped) return true;
  return piped.size() == stored.size() + 1 && piped.back() == '\n' &&
         piped.substr(0, stored.size()) == stored;
}

// The message files of the Maildir whose Message-ID is id, every folder.
std::vector<std::string> FilesWithMessageId(const std::string& root, const std::string& id) {
  std::vector<std::string> folders = {root}, files;
  std::vector<std::string> names;
  if (maildir::ListDirectory(root, &names) == 0) {
    for (const std::string& name : names) {
      if (name.size() > 1 && name[0] == '.' && name != "..") folders.push_back(root + "/" + name);
    }
  }
  for (const std::string& folder : folders) {
    for (const char* sub : {"/new", "/cur"}) {
      if (maildir::ListDirectory(folder + sub, &names) != 0) continue;
      for (const std::string& name : names) {
        std::string head;
        const std::string file = folder + sub + "/" + name;
        if (maildir::ReadHead(file, &head) == 0 && MessageIdOf(head) == id) files.push_back(file);
      }
    }
  }
  return files;
}

// The file of the message on standard input: the one of its Message-ID, or
// of those the one with its body.
std::string FileOfInput(CommandContext& ctx) {
  const std::string_view piped = StoredForm(ctx.origin.input);
  const std::string id = MessageIdOf(piped);
  if (id.empty()) {
    throw CommandFailure("standard input", "the message has no Message-ID; name its file instead");
  }
  const std::string& root = ctx.Session().host().root();
  std::vector<std::string> files = FilesWithMessageId(root, id);
  if (files.size() > 1) {
    std::vector<std::string> same;
    for (const std::string& file : files) {
      std::string text;
      if (maildir::ReadFile(file, &text) == 0 && SameBody(BodyOf(text), BodyOf(piped))) {
        same.push_back(file);
      }
    }
    files = same.empty() ? files : same;
  }
  if (files.empty()) throw CommandFailure(id, "no message with this Message-ID in " + root);
  if (files.size() > 1) {
    std::string list;
    for (const std::string& file : files) list += "\n  " + file;
    throw CommandFailure(id, "more than one message has this Message-ID; name the file:" + list);
  }
  return files[0];
}

std::vector<std::string> NamedMessages(CommandContext& ctx, const Invocation& v) {
  return v.fromInput ? std::vector<std::string>{FileOfInput(ctx)} : v.files;
}

}  // namespace

int RunMarkSpam(CommandContext& ctx, const Invocation& v) {
  const std::vector<std::string> names = NamedMessages(ctx, v);
  RunOnSelections(ctx, names, command::kMarkSpam);
  PrintWhereMessagesAre(ctx, names);
  return kExitOk;
}

int RunNotSpam(CommandContext& ctx, const Invocation& v) {
  MaildirSession& session = ctx.Session();
  const std::string to = v.to.empty() ? "Inbox" : v.to;
  const std::string shown = ShownFolderNames(session, {to})[0];
  // The destination is asked for only when the messages leave the spam
  // folder and no folder was chosen for good.
  ctx.ui.QueueScript([&](DialogDriver& d) {
    d.Select(DestinationFolderDialog::kFolderBox,
             RowOf(d, DestinationFolderDialog::kFolderBox, shown));
    d.Tick(DestinationFolderDialog::kPermanent, v.remember);
    d.Click(kIdOk);
  });
  const std::vector<std::string> names = NamedMessages(ctx, v);
  RunOnSelections(ctx, names, command::kNotSpam);
  if (ctx.ui.pendingScripts() && (!v.to.empty() || v.remember)) {
    ctx.err << "tarvex: --to and --remember were not needed: the messages stayed where they "
               "were, or went to the folder chosen for good (settings)\n";
  }
  PrintWhereMessagesAre(ctx, names);
  return kExitOk;
}

int RunHeaders(CommandContext& ctx, const Invocation& v) {
  RunOnSelections(ctx, v.files, command::kMailHeaders);
  std::string text =
      cp1252::ToUtf8(DialogText(ctx.ui, RawHeadersDialog::kResourceId, RawHeadersDialog::kHeaders));
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  ctx.out << text;
  return kExitOk;
}

int RunTrain(CommandContext& ctx, const Invocation& v) {
  MaildirSession& session = ctx.Session();
  const std::vector<std::string> spam = ShownFolderNames(session, v.spamFolders);
  const std::vector<std::string> good = ShownFolderNames(session, v.goodFolders);
  ctx.ui.QueueScript([&](DialogDriver& d) {
    d.Tick(TrainingDialog::kEmptyFirst, v.emptyFirst);
    if (!spam.empty()) d.Click(TrainingDialog::kSpamPick);
    if (!good.empty()) d.Click(TrainingDialog::kGoodPick);
    d.Click(TrainingDialog::kStartTraining);
  });
  for (const std::vector<std::string>* folders : {&spam, &good}) {
    if (folders->empty()) continue;
    ctx.ui.QueueScript([folders](DialogDriver& d) {
      for (const std::string& name : *folders) {
        d.TickRow(FolderPickDialog::kFolderList, RowOf(d, FolderPickDialog::kFolderList, name),
                  true);
      }
      d.Click(kIdOk);
    });
  }
  BayesFilter& filter = session.app().bayesFilter();
  const int32_t spamBefore = v.emptyFirst ? 0 : filter.SpamMessageCount();
  const int32_t cleanBefore = v.emptyFirst ? 0 : filter.CleanMessageCount();
  session.app().SetTrainingProgress([&ctx](const std::string& folder, size_t learnt) {
    ctx.Progress("Training on " + cp1252::ToUtf8(folder) + ":", learnt, 0);
  });
  session.app().OnCommand(command::kTrainFilter);
  session.app().SetTrainingProgress(nullptr);
  ctx.ProgressDone();
  ctx.out << "Learnt " << filter.SpamMessageCount() - spamBefore << " spam and "
          << filter.CleanMessageCount() - cleanBefore << " good messages; " << filter.WordCount()
          << " words\n";
  return kExitOk;
}

namespace {

const char* TypeRow(bool domain) {
  return domain ? ListDialog::kDomainType : ListDialog::kAddressType;
}

void ChooseType(DialogDriver& d, bool domain) {
  d.Select(ListDialog::kTypeBox, RowOf(d, ListDialog::kTypeBox, TypeRow(domain)));
}

// What a list command does in the dialog; false when a name was refused or
// not found.
bool EditList(DialogDriver& d, const Invocation& v, std::ostream& out) {
  constexpr int kList = ListDialog::kEntryList;
  if (v.subcommand == "list") {
    for (bool domain : {true, false}) {
      ChooseType(d, domain);
      for (const std::string& entry : d.Rows(kList)) {
        out << (domain ? "domain " : "address ") << cp1252::ToUtf8(entry) << '\n';
      }
    }
    return true;
  }
  ChooseType(d, v.domain);
  bool ok = true;
  if (v.subcommand == "add") {
    for (const std::string& text : v.files) {
      const int before = d.RowCount(kList);
      d.Type(ListDialog::kItemName, cp1252::FromUtf8(text));
      d.Click(ListDialog::kAddToList);
      ok = ok && d.RowCount(kList) > before;
    }
  } else if (v.subcommand == "rename") {
    const int row = RowOf(d, kList, cp1252::FromUtf8(v.files[0]));
    if (row < 0) return false;
    d.DoubleClick(kList, row);
    d.Type(ListDialog::kItemName, cp1252::FromUtf8(v.files[1]));
    d.Click(kIdOk);
    ok = RowOf(d, kList, cp1252::FromUtf8(v.files[1])) >= 0;
  } else if (v.subcommand == "remove") {
    for (const std::string& text : v.files) {
      const int row = RowOf(d, kList, cp1252::FromUtf8(text));
      if (row >= 0) d.TickRow(kList, row, true);
      ok = ok && row >= 0;
    }
    if (ok) d.Click(ListDialog::kRemove);
  }
  return ok;
}

}  // namespace

int RunList(CommandContext& ctx, const Invocation& v) {
  MaildirSession& session = ctx.Session();
  bool ok = true;
  ctx.ui.QueueScript([&](DialogDriver& d) {
    ok = EditList(d, v, ctx.out);
    d.Click(ListDialog::kClose);
  });
  session.app().OnCommand(v.command == "blacklist" ? command::kBlackList : command::kWhiteList);
  if (!ok) ctx.err << "tarvex: " << v.command << ": some names were refused or not found\n";
  return ok ? kExitOk : kExitFailure;
}

namespace {

struct SettingBox {
  const char* name;
  int control;
};
constexpr SettingBox kSettingBoxes[] = {
    {"MarkReadBeforeMoving", SettingsDialog::kMarkRead},
    {"ConsiderNonEnglishSpam", SettingsDialog::kNonEnglish},
    {"BeepAtSpam", SettingsDialog::kBeep},
    {"LearnFromMarkSpam", SettingsDialog::kLearnSpam},
    {"LearnFromNotSpam", SettingsDialog::kLearnNotSpam},
    {"LearnFromBlackListed", SettingsDialog::kLearnBlackListed},
    {"LearnFromWhiteListed", SettingsDialog::kLearnWhiteListed},
};

void ShowSettings(DialogDriver& d, std::ostream& out) {
  for (const SettingBox& box : kSettingBoxes) {
    out << box.name << ": " << (d.Checked(box.control) ? "on" : "off") << '\n';
  }
  out << "AskNotSpamFolder: " << (d.Checked(SettingsDialog::kAskDestination) ? "on" : "off") << '\n'
      << cp1252::ToUtf8(d.Text(SettingsDialog::kWordCount)) << '\n';
}

}  // namespace

int RunSettings(CommandContext& ctx, const Invocation& v) {
  MaildirSession& session = ctx.Session();
  ctx.ui.QueueScript([&](DialogDriver& d) {
    if (v.subcommand == "show") return ShowSettings(d, ctx.out);
    if (v.subcommand == "empty-db") {
      ctx.ui.QueueAnswer(mb::kIdYes);
      d.Click(SettingsDialog::kEmptyDatabase);
      return;
    }
    for (const SettingBox& box : kSettingBoxes) {
      if (v.settingName == box.name) d.Tick(box.control, v.settingValue == "on");
    }
    d.Click(kIdOk);
  });
  session.app().OnCommand(command::kSettings);
  return kExitOk;
}

int RunAbout(CommandContext& ctx) {
  ctx.Session().app().OnCommand(command::kAbout);
  for (int control : {AboutDialog::kName, AboutDialog::kFramedName}) {
    const std::string text = DialogText(ctx.ui, AboutDialog::kResourceId, control);
    if (!text.empty()) ctx.out << cp1252::ToUtf8(text) << '\n';
  }
  return kExitOk;
}

namespace {

bool IsSpam(Outcome outcome) {
  return outcome == Outcome::kBlacklisted || outcome == Outcome::kNonEnglish ||
         outcome == Outcome::kSpam;
}

std::vector<std::pair<std::string, std::string>> HeaderFields(const VerdictHeaders& headers) {
  std::vector<std::pair<std::string, std::string>> fields;
  for (const HeaderValue& h : headers) fields.emplace_back(h.name, cp1252::ToUtf8(h.LineValue()));
  return fields;
}

// A message the user already judged carries the verdict.
bool JudgedSpam(const RawMessage& message) {
  for (const auto& [name, value] : ParseHeaderLines(message.header)) {
    if (EqualIgnoringCase(name, header::kLearn)) return value == header::kLearnSpam;
  }
  return false;
}

}  // namespace

// The message goes through the classifier in a mail store held in memory,
// with the profile's lists, settings and word database; what it would write
// into the message is written into the copy on standard output, and what it
// learns stays learnt.
//
// A message above the size limit is not judged: it goes out as it came.
int RunFilter(CommandContext& ctx) {
  const std::string& message = ctx.origin.input;
  const uint32_t limit = ctx.profile.settings().GetMaxMessageSize();
  if (message.size() > limit) {
    ctx.out << message;
    ctx.err << "tarvex: standard input: " << MaildirHost::TooBigToJudge(message.size(), limit)
            << "; passed on unchanged\n";
    return kExitFilterError;
  }
  MemoryHost host;
  host.AddFolder(MemoryHost::kLocalFoldersId, "DedoZarozo");
  const RawMessage raw = ReadableMessage(message, MessageReading::kDecoded);
  const int32_t id = AddToMemoryHost(host, raw);
  FilterSettings settings = ctx.profile.settings();
  BayesFilter& filter = ctx.Filter();
  HostRef<HostFolderManager> manager = host.CreateFolderManager();
  HostRef<HostFolder> inbox = manager->GetInboxFolder();
  ClassifierContext context{filter, ctx.Lists(), settings, ctx.ui, *manager};
  const ClassifyResult result = ClassifyMessage(context, *inbox, id);
  if (result.failed) return kExitFilterError;
  ctx.out << maildir::SetHeaderFields(message, HeaderFields(result.headers));
  if (result.outcome == Outcome::kUntouched)
    return JudgedSpam(raw) ? kExitFilterSpam : kExitFilterClean;
  return IsSpam(result.outcome) ? kExitFilterSpam : kExitFilterClean;
}

}  // namespace tarvex
