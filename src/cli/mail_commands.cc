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

std::vector<Location> LocateAll(CommandContext& ctx, const std::vector<std::string>& names) {
  std::vector<Location> found;
  for (const std::string& name : names) found.push_back(Locate(ctx, ctx.Session().host(), name));
  return found;
}

// Runs command once per folder that holds some of the messages, with those
// messages selected, folders in the order they are first named.
void RunOnSelections(CommandContext& ctx, const std::vector<Location>& messages, uint32_t command) {
  MaildirSession& session = ctx.Session();
  std::vector<int32_t> folders;
  std::map<int32_t, std::vector<int32_t>> selection;
  for (const Location& at : messages) {
    if (!selection.count(at.folder)) folders.push_back(at.folder);
    selection[at.folder].push_back(at.message);
  }
  for (int32_t folder : folders) {
    session.Select(folder, selection[folder]);
    session.app().OnCommand(command);
  }
  session.Select(MaildirHost::kInboxId, {});
}

void RunOnSelections(CommandContext& ctx, const std::vector<std::string>& names, uint32_t command) {
  RunOnSelections(ctx, LocateAll(ctx, names), command);
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
void RunVerdictCommand(CommandContext& ctx, const std::vector<std::string>& names, uint32_t command,
                       bool (*skips)(const std::string& marker)) {
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

// Folder names match byte for byte.
int RowOf(const DialogDriver& d, int control, const std::string& text) {
  const std::vector<std::string> rows = d.Rows(control);
  const auto row = std::find(rows.begin(), rows.end(), text);
  return row == rows.end() ? -1 : static_cast<int>(row - rows.begin());
}

// List entries match ignoring case, as the lists compare them; an exact
// match comes first.
int EntryRowOf(const DialogDriver& d, int control, const std::string& text) {
  const int exact = RowOf(d, control, text);
  if (exact >= 0) return exact;
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
  RunVerdictCommand(ctx, names, command::kMarkSpam, [](const std::string&) { return true; });
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
  // A message marked as spam is corrected; one without a marker is learnt.
  RunVerdictCommand(ctx, names, command::kNotSpam, [](const std::string& marker) {
    return !marker.empty() && marker != header::kLearnSpam;
  });
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

const char* KindName(bool domain) { return domain ? "domain" : "address"; }

// A name for the list as the command line takes it: refused when the list
// could never match it, or could not store it as given.
void CheckEntryName(const std::string& text, bool domain) {
  if (cp1252::ToUtf8(cp1252::FromUtf8(text)) != text) {
    throw CommandFailure(text, "the name has characters outside Windows-1252");
  }
  const bool at = text.find('@') != std::string::npos;
  if (domain && at) {
    throw CommandFailure(text, "not a domain name (for an address, leave out --domain)");
  }
  if (!domain && !text.empty() && !at) {
    throw CommandFailure(text, "not an e-mail address (for a domain name, give --domain)");
  }
}

class ListEditor {
 public:
  ListEditor(CommandContext& ctx, const Invocation& v, DialogDriver& d) : ctx_(ctx), v_(v), d_(d) {}

  // What the list command does in the dialog; false when the dialog refused
  // a name or an entry was not found.
  bool Edit() {
    if (v_.subcommand == "list") {
      for (bool domain : {true, false}) {
        ChooseType(domain);
        for (const std::string& entry : d_.Rows(kList)) {
          ctx_.out << KindName(domain) << ' ' << cp1252::ToUtf8(entry) << '\n';
        }
      }
      return true;
    }
    ChooseType(v_.domain);
    if (v_.subcommand == "add") {
      bool ok = true;
      for (const std::string& text : v_.files) {
        const int before = d_.RowCount(kList);
        d_.Type(ListDialog::kItemName, cp1252::FromUtf8(text));
        d_.Click(ListDialog::kAddToList);
        ok = Accepted(d_.RowCount(kList) > before) && ok;
      }
      return ok;
    }
    if (v_.subcommand == "rename") {
      const int row = Row(v_.files[0]);
      if (row < 0) return false;
      d_.DoubleClick(kList, row);
      d_.Type(ListDialog::kItemName, cp1252::FromUtf8(v_.files[1]));
      d_.Click(kIdOk);
      // A refused name leaves the dialog editing the row.
      return Accepted(!static_cast<const ListDialog&>(d_.presenter()).updating);
    }
    // remove: all the names, or none.
    bool ok = true;
    for (const std::string& text : v_.files) {
      const int row = Row(text);
      if (row >= 0) d_.TickRow(kList, row, true);
      ok = ok && row >= 0;
    }
    if (ok) d_.Click(ListDialog::kRemove);
    return ok;
  }

 private:
  static constexpr int kList = ListDialog::kEntryList;

  void ChooseType(bool domain) {
    const char* type = domain ? ListDialog::kDomainType : ListDialog::kAddressType;
    d_.Select(ListDialog::kTypeBox, RowOf(d_, ListDialog::kTypeBox, type));
  }

  // The entry's row; -1, said on standard error, when there is none.
  int Row(const std::string& text) {
    const int row = EntryRowOf(d_, kList, cp1252::FromUtf8(text));
    if (row < 0) {
      ctx_.err << "tarvex: " << text << ": no such " << KindName(v_.domain) << " in the "
               << v_.command << '\n';
    }
    return row;
  }

  bool Accepted(bool accepted) {
    if (!accepted) ctx_.RefusedByDialog();
    return accepted;
  }

  CommandContext& ctx_;
  const Invocation& v_;
  DialogDriver& d_;
};

}  // namespace

int RunList(CommandContext& ctx, const Invocation& v) {
  if (v.subcommand == "add") {
    for (const std::string& text : v.files) CheckEntryName(text, v.domain);
  } else if (v.subcommand == "rename") {
    CheckEntryName(v.files[1], v.domain);
  }
  MaildirSession& session = ctx.Session();
  const ListId list = v.command == "blacklist" ? ListId::Blacklist : ListId::Whitelist;
  // The list's own operations fail silently; the user at the command line
  // learns why the list looks empty.
  if (Status status = CheckList(ctx.profile.fs(), session.app().settings(), list); !status.ok()) {
    ctx.err << "tarvex: warning: " << status.message() << '\n';
  }
  bool ok = true;
  ctx.ui.QueueScript([&](DialogDriver& d) {
    ok = ListEditor(ctx, v, d).Edit();
    d.Click(ListDialog::kClose);
  });
  session.app().OnCommand(list == ListId::Blacklist ? command::kBlackList : command::kWhiteList);
  return ok ? kExitOk : kExitFailure;
}

namespace {

// The settings are read and written one by one, so that changing one leaves
// every other as it was.
void PrintSetting(CommandContext& ctx, const std::string& name) {
  FilterSettings settings = ctx.profile.settings();
  ctx.out << name << ": ";
  if (FindSetting(name)->kind == SettingKind::kOption) {
    ctx.out << (ReadDwordValue(settings.store(), name) ? "on" : "off") << '\n';
    return;
  }
  const std::string folder = settings.GetNotSpamFolderName();
  if (folder.empty()) {
    ctx.out << "(none: not-spam asks each time, answered by --to, else the Inbox)\n";
  } else {
    ctx.out << cp1252::ToUtf8(folder) << '\n';
  }
}

}  // namespace

int RunSettings(CommandContext& ctx, const Invocation& v) {
  if (v.subcommand == "empty-db") {
    MaildirSession& session = ctx.Session();
    ctx.ui.QueueScript([&](DialogDriver& d) {
      ctx.ui.QueueAnswer(mb::kIdYes);
      d.Click(SettingsDialog::kEmptyDatabase);
    });
    session.app().OnCommand(command::kSettings);
    return kExitOk;
  }
  ctx.RequireProfile();
  FilterSettings settings = ctx.profile.settings();
  if (v.subcommand == "show") {
    for (const SettingInfo* s : setting::kAll) {
      if (s->ChangedByUser()) PrintSetting(ctx, s->name);
    }
    ctx.out << "Words: " << ctx.Filter().WordCount() << '\n';
    return kExitOk;
  }
  if (FindSetting(v.settingName)->kind == SettingKind::kOption) {
    WriteDwordValue(settings.store(), v.settingName, v.settingValue == "on" ? 1 : 0);
  } else if (v.subcommand == "clear") {
    settings.SetNotSpamFolderName("");
  } else {
    settings.SetNotSpamFolderName(ShownFolderNames(ctx.Session(), {v.settingValue})[0]);
  }
  PrintSetting(ctx, v.settingName);
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
  host.AddFolder(MemoryHost::kLocalFoldersId, kSpamFolderName);
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
