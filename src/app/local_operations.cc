#include "app/local_operations.h"

#include "app/store_session.h"

#include <algorithm>
#include <map>

#include "classify/verdict_headers.h"
#include "host/memory/memory_host.h"
#include "mail/message_text.h"
#include "mail/mime_message.h"
#include "platform/codepage.h"
#include "plugin/new_message.h"
#include "ui/about_dialog.h"
#include "ui/plugin_toolbar.h"
#include "ui/save_failure.h"

namespace tarvex {
namespace {

// Runs an operation's work, turning a part that could not be had into the
// operation's failure.
template <typename Fn>
Status Guarded(Fn work) {
  try {
    return work();
  } catch (const OperationFailure& failure) {
    return failure.status();
  }
}

// The same for a look at the store, where a folder or message that is not
// there (a client may name anything) is the failure too.
template <typename Fn>
Status Viewed(Fn work) {
  return Guarded([&] {
    try {
      work();
    } catch (const OperationFailure&) {
      throw;
    } catch (const std::exception& error) {
      return Status::Failure(0, error.what());
    }
    return Status::Ok();
  });
}

bool IsSpam(Outcome outcome) {
  return outcome == Outcome::kBlacklisted || outcome == Outcome::kNonEnglish ||
         outcome == Outcome::kSpam;
}

// A message the user already judged carries the verdict.
bool JudgedSpam(const mail::RawMessage& message) {
  for (const auto& [name, value] : mail::HeaderLines(message.header)) {
    if (EqualIgnoringCase(name, header::kLearn)) return value == header::kLearnSpam;
  }
  return false;
}

// The user's verdict a message carries, as the commands read it.
void ReadMarker(StoreSession& session, MessageRef* ref) {
  PluginController* controller = session.app().controller();
  if (!controller || !controller->folderManager()) return;
  try {
    HostRef<HostMessage> message =
        controller->folderManager()->GetFolder(ref->folder)->GetMessage(ref->message);
    int32_t found = 0;
    ref->marker = message->GetHeaderValue(message->GetRootPart(), header::kLearn, &found);
    ref->marked = found != 0;
  } catch (const HostError&) {
    // The command itself meets the failure and reports it.
  }
}

// Runs run once per folder that holds some of the messages, with those
// messages selected, folders in the order they are first named.
template <typename Fn>
void RunOnSelections(StoreSession& session, const std::vector<MessageRef>& messages, Fn run) {
  std::vector<int32_t> folders;
  std::map<int32_t, std::vector<int32_t>> selection;
  for (const MessageRef& at : messages) {
    if (!selection.count(at.folder)) folders.push_back(at.folder);
    selection[at.folder].push_back(at.message);
  }
  for (int32_t folder : folders) {
    session.Select(folder, selection[folder]);
    run(selection[folder]);
  }
  session.ClearSelection();
}

}  // namespace

int32_t AddToMemoryHost(MemoryHost& host, const mail::RawMessage& m) {
  HostHeaders headers;
  for (const auto& [name, value] : mail::HeaderLines(m.header)) {
    const std::string utf8 = cp1252::ToUtf8(value);
    headers.emplace_back(cp1252::ToUtf8(name),
                         m.presented ? mail::PresentedHeaderValue(name, utf8) : utf8);
  }
  return host.AddMessage(MemoryHost::kInboxId, headers, cp1252::ToUtf8(m.body));
}

Status LocalOperations::Stats(DatabaseStats* stats) {
  return Guarded([&] {
    BayesFilter& filter = owner_.Filter();
    *stats = {filter.WordCount(), filter.SpamMessageCount(), filter.CleanMessageCount()};
    return Status::Ok();
  });
}

Status LocalOperations::Learn(const std::vector<mail::RawMessage>& messages, bool spam,
                              int32_t* learnt) {
  return Guarded([&] {
    BayesFilter& filter = owner_.Filter();
    for (const mail::RawMessage& m : messages)
      *learnt += filter.LearnMessage(m.body, m.header, spam);
    return Status::Ok();
  });
}

Status LocalOperations::Relearn(const mail::RawMessage& m, bool wasSpam, int32_t* passes) {
  return Guarded([&] {
    *passes = owner_.Filter().RelearnMessage(m.body, m.header, wasSpam);
    return Status::Ok();
  });
}

Status LocalOperations::Score(const mail::RawMessage& m, ScoreReport* report) {
  return Guarded([&] {
    BayesFilter& filter = owner_.Filter();
    MessageScore score;
    score.headerText = m.header;
    const bool nonEnglishTest = FilterSettings(owner_.Settings()).GetConsiderNonEnglishSpam() != 0;
    report->spam = filter.ScoreMessage(m.body, score, nonEnglishTest);
    report->nonEnglish = score.nonEnglish != 0;
    report->score = score.score;
    report->topWords = score.topWords;
    report->headers = BayesianHeaders(score);
    return Status::Ok();
  });
}

Status LocalOperations::Tokens(const mail::RawMessage& m, std::vector<std::string>* words) {
  return Guarded([&] {
    owner_.Filter().VisitMessageWords(m.header, m.body,
                                      [&](std::string_view word) { words->emplace_back(word); });
    return Status::Ok();
  });
}

// The message goes through the classifier in a mail store held in memory,
// with the owner's lists, settings and word database; what it learns stays
// learnt.
Status LocalOperations::Filter(const std::string& message, FilterReport* report) {
  return Guarded([&] {
    MemoryHost host;
    host.AddFolder(MemoryHost::kLocalFoldersId, kSpamFolderName);
    const mail::RawMessage raw = mail::ReadableMessage(message, mail::MessageReading::kDecoded);
    const int32_t id = AddToMemoryHost(host, raw);
    FilterSettings settings(owner_.Settings());
    HostRef<HostFolderManager> manager = host.CreateFolderManager();
    HostRef<HostFolder> inbox = manager->GetInboxFolder();
    SpamFolder spamFolder;
    ClassifierContext context{owner_.Filter(), owner_.Lists(), settings,
                              owner_.Ui(),     *manager,       spamFolder};
    const ClassifyResult result = ClassifyMessage(context, *inbox, id);
    if (result.failed) return Status::Ok();  // not judged; the failure was shown
    std::vector<std::pair<std::string, std::string>> fields;
    for (const HeaderValue& h : result.headers) {
      fields.emplace_back(h.name, cp1252::ToUtf8(h.LineValue()));
    }
    report->message = mail::SetHeaderFields(message, fields);
    const bool spam =
        result.outcome == Outcome::kUntouched ? JudgedSpam(raw) : IsSpam(result.outcome);
    report->verdict = spam ? FilterReport::Verdict::kSpam : FilterReport::Verdict::kClean;
    return Status::Ok();
  });
}

Status LocalOperations::SaveDatabase() {
  return Guarded([&] {
    BayesFilter& filter = owner_.Filter();
    const Status saved = filter.SaveDatabase();
    ReportSaveFailure(owner_.Ui(), saved, filter.databasePath());
    return saved;
  });
}

Status LocalOperations::EmptyDatabase(uint32_t* removed) {
  return Guarded([&] {
    BayesFilter& filter = owner_.Filter();
    *removed = filter.WordCount();
    // A failed save is shown as every failed save is.
    return ReportSaveFailure(owner_.Ui(), filter.EmptyDatabase(), filter.databasePath());
  });
}

Status LocalOperations::FolderNames(std::vector<std::string>* names) {
  return Guarded([&] {
    if (PluginController* controller = owner_.App().controller()) {
      controller->ListFolderNames(names);
    }
    return Status::Ok();
  });
}

Status LocalOperations::InListOrder(const std::vector<std::string>& named,
                                    std::vector<std::string>* ordered) {
  std::vector<std::string> all;
  if (Status listed = FolderNames(&all); !listed.ok()) return listed;
  std::vector<std::string> folders;
  for (const std::string& name : named) {
    folders.push_back(owner_.ShownFolderName(name));
    if (std::find(all.begin(), all.end(), folders.back()) == all.end()) {
      return Status::Invalid(cp1252::ToUtf8(name), "no such folder in " + owner_.StoreName());
    }
  }
  for (const std::string& name : all) {
    if (std::find(folders.begin(), folders.end(), name) != folders.end()) {
      ordered->push_back(name);
    }
  }
  return Status::Ok();
}

Status LocalOperations::FindMessages(const std::vector<std::string>& names,
                                     std::vector<MessageRef>* found) {
  return Guarded([&] {
    StoreSession& session = owner_.Session();
    for (const std::string& name : names) {
      std::optional<MessageRef> ref = session.FindMessage(name);
      if (!ref) return Status::Invalid(name, "no such message in " + session.StoreName());
      ReadMarker(session, &*ref);
      found->push_back(*ref);
    }
    return Status::Ok();
  });
}

Status LocalOperations::FindMessageText(const std::string& text, std::vector<std::string>* names) {
  return Guarded([&] {
    *names = owner_.Session().FilesOfMessage(text);
    return Status::Ok();
  });
}

std::vector<std::string> LocalOperations::WhereNow(const std::vector<MessageRef>& messages) {
  std::vector<std::string> now;
  for (const MessageRef& ref : messages) now.push_back(owner_.Session().WhereIs(ref.name));
  return now;
}

Status LocalOperations::MarkSpam(const std::vector<MessageRef>& messages,
                                 std::vector<std::string>* now) {
  return Guarded([&] {
    StoreSession& session = owner_.Session();
    RunOnSelections(session, messages, [&](const std::vector<int32_t>&) {
      session.app().OnCommand(command::kMarkSpam);
    });
    *now = WhereNow(messages);
    return Status::Ok();
  });
}

Status LocalOperations::NotSpam(const std::vector<MessageRef>& messages,
                                const Destination& destination, NotSpamReport* report) {
  return Guarded([&] {
    StoreSession& session = owner_.Session();
    const std::string folder = owner_.ShownFolderName(destination.folder);
    if (!destination.folder.empty()) {
      std::vector<std::string> known;
      if (Status checked = InListOrder({destination.folder}, &known); !checked.ok()) return checked;
    }
    // Asked only when the messages leave the spam folder and no folder was
    // chosen for good; remembered, it is that folder from now on.
    const DestinationPicker pick = [&](std::vector<std::string>&) -> std::optional<std::string> {
      report->asked = true;
      if (folder.empty()) return std::nullopt;
      if (destination.remember) session.app().settings().SetNotSpamFolderName(folder);
      return folder;
    };
    RunOnSelections(session, messages,
                    [&](const std::vector<int32_t>& ids) { session.app().NotSpam(ids, pick); });
    report->now = WhereNow(messages);
    return Status::Ok();
  });
}

Status LocalOperations::RawHeaders(const MessageRef& message, std::string* headers) {
  return Guarded([&] {
    *headers = owner_.App().RawHeaders(message.folder, message.message).value_or("");
    return Status::Ok();
  });
}

Status LocalOperations::FolderTree(std::vector<FolderEntry>* folders) {
  return Viewed([&] { *folders = owner_.Session().FolderTree(); });
}

Status LocalOperations::FolderMessages(int32_t folder, std::vector<ListedRef>* messages) {
  return Viewed([&] { *messages = owner_.Session().FolderMessages(folder); });
}

Status LocalOperations::MessageSummaries(int32_t folder, const std::vector<int32_t>& ids,
                                         std::vector<MessageSummary>* summaries) {
  return Viewed([&] { *summaries = owner_.Session().MessageSummaries(folder, ids); });
}

Status LocalOperations::MessagePreview(int32_t folder, int32_t message, std::string* text) {
  return Viewed([&] { *text = owner_.Session().MessagePreview(folder, message); });
}

Status LocalOperations::Train(const std::vector<std::string>& spamFolders,
                              const std::vector<std::string>& goodFolders, bool emptyFirst,
                              const Progress& progress, TrainingReport* report) {
  return Guarded([&] {
    FilterApp& app = owner_.App();
    std::vector<std::string> spam, good;
    if (Status s = InListOrder(spamFolders, &spam); !s.ok()) return s;
    if (Status s = InListOrder(goodFolders, &good); !s.ok()) return s;
    BayesFilter& filter = app.bayesFilter();
    const int32_t spamBefore = emptyFirst ? 0 : filter.SpamMessageCount();
    const int32_t cleanBefore = emptyFirst ? 0 : filter.CleanMessageCount();
    app.SetTrainingProgress(progress);
    app.TrainFromFolders(spam, good, emptyFirst);
    app.SetTrainingProgress(nullptr);
    *report = {filter.SpamMessageCount() - spamBefore, filter.CleanMessageCount() - cleanBefore,
               filter.WordCount()};
    return Status::Ok();
  });
}

void LocalOperations::Reload(ListId list) {
  SenderLists* lists = owner_.HeldLists();
  if (!lists) return;
  const bool white = list == ListId::Whitelist;
  ReloadList(owner_.Files(), FilterSettings(owner_.Settings()), list,
             white ? &lists->whitelistAddresses : &lists->blacklistAddresses,
             white ? &lists->whitelistDomains : &lists->blacklistDomains);
}

Status LocalOperations::CheckList(ListId list) {
  return tarvex::CheckList(owner_.Files(), FilterSettings(owner_.Settings()), list);
}

Status LocalOperations::ListEntries(ListId list, EntryKind kind,
                                    std::vector<std::string>* entries) {
  *entries = tarvex::ListEntries(owner_.Files(), FilterSettings(owner_.Settings()), list, kind);
  return Status::Ok();
}

Status LocalOperations::AddListEntry(ListId list, EntryKind kind, const std::string& name,
                                     ListEdit* edit) {
  return Guarded([&] {
    *edit =
        tarvex::AddListEntry(owner_.Files(), FilterSettings(owner_.Settings()), list, kind, name);
    if (edit->ok()) Reload(list);
    return Status::Ok();
  });
}

Status LocalOperations::RenameListEntry(ListId list, EntryKind kind, const std::string& oldName,
                                        const std::string& newName, ListEdit* edit) {
  return Guarded([&] {
    *edit = tarvex::RenameListEntry(owner_.Files(), FilterSettings(owner_.Settings()), list, kind,
                                    oldName, newName);
    if (edit->ok()) Reload(list);
    return Status::Ok();
  });
}

Status LocalOperations::RemoveListEntry(ListId list, EntryKind kind, const std::string& name,
                                        ListEdit* edit) {
  return Guarded([&] {
    *edit = tarvex::RemoveListEntry(owner_.Files(), FilterSettings(owner_.Settings()), list, kind,
                                    name);
    if (edit->ok()) Reload(list);
    return Status::Ok();
  });
}

Status LocalOperations::GetSetting(const std::string& name, SettingValue* value) {
  const SettingInfo* s = FindSetting(name);
  if (!s || !s->ChangedByUser()) return Status::Invalid(name, "not a setting the user changes");
  FilterSettings settings(owner_.Settings());
  if (s->kind == SettingKind::kOption) {
    value->on = ReadDwordValue(owner_.Settings(), s->name) != 0;
  } else {
    value->text = settings.GetNotSpamFolderName();
  }
  return Status::Ok();
}

Status LocalOperations::SetSetting(const std::string& name, const SettingValue& value) {
  const SettingInfo* s = FindSetting(name);
  if (!s || !s->ChangedByUser()) return Status::Invalid(name, "not a setting the user changes");
  if (s->kind == SettingKind::kOption) {
    WriteDwordValue(owner_.Settings(), s->name, value.on ? 1 : 0);
  } else {
    FilterSettings(owner_.Settings()).SetNotSpamFolderName(value.text);
  }
  return Status::Ok();
}

Status LocalOperations::About(std::string* productLine) {
  return Guarded([&] {
    // Like the toolbar's button, nothing while the mail client is not there.
    if (owner_.App().controller()) *productLine = AboutDialog::kProductLine;
    return Status::Ok();
  });
}

Status LocalOperations::StoreName(std::string* name) {
  return Guarded([&] {
    *name = owner_.StoreName();
    return Status::Ok();
  });
}

}  // namespace tarvex
